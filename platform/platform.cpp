// The process-wide pointer to the installed platform backend.
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
Platform* installed = nullptr;
}

Platform& platform() {
    if (installed == nullptr) {
        std::fputs("pingel: no platform installed\n", stderr);
        std::abort();
    }
    return *installed;
}

Platform* setPlatform(Platform* p) {
    Platform* previous = installed;
    installed = p;
    return previous;
}

std::int64_t Platform::calendarSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

void Platform::runResponsive(const std::function<void()>& work) {
    work();
}
