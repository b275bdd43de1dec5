// POSIX implementations: dlopen/dlsym, /proc/self/exe, the compiler's idea of the machine,
// posix_spawnp for helpers, which are collected with a non-blocking waitpid.
#include "backends/posix/posix.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

extern char** environ;

namespace {
std::vector<pid_t> children;
} // namespace

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

bool launch(const std::string& program, const std::string& argument) {
    if (program.empty() || argument.empty() || argument.front() == '-') {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return false;
    }
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    // The helper starts with no signal blocked and the usual handling of the ones that a
    // game library may have taken over.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD}) {
        sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string programArg = program;
    std::string argumentArg = argument;
    char* argv[] = {programArg.data(), argumentArg.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return false;
    }
    children.push_back(pid);
    return true;
}

void reapChildren() {
    std::erase_if(children, [](pid_t pid) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
}

int unreapedChildren() {
    return static_cast<int>(children.size());
}

} // namespace posix
