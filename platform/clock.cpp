// The calendar clock every system has.
#include "platform/clock.h"

#include <ctime>

std::int64_t Clock::calendarSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}
