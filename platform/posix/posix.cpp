// POSIX implementations: dlopen/dlsym, /proc/self/exe, the compiler's idea of the machine.
#include "platform/posix/posix.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace posix {

void* loadLibrary(const std::string& name) {
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* findFunction(void* library, const std::string& name) {
    return library == nullptr ? nullptr : dlsym(library, name.c_str());
}

std::string ownExecutablePath() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n <= 0 ? std::string() : std::string(path, static_cast<std::size_t>(n));
}

int processorType() {
#if defined(__i386__) || defined(__x86_64__)
    return 586;
#else
    return 0;
#endif
}

} // namespace posix
