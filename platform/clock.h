// The clocks: the millisecond clock that paces the game and seeds it, waiting, and the
// calendar clock.
#pragma once

#include <cstdint>

// Milliseconds of the system clock, as timeGetTime counts them: unsigned 32-bit, wrapping
// after about 49.7 days. Take differences in unsigned arithmetic and the wrap is harmless.
using Millis = std::uint32_t;

class Clock {
  public:
    virtual ~Clock() = default;
    virtual Millis now() = 0;
    // Gives the processor away for about ms milliseconds (0: a fraction of one).
    virtual void pause(Millis ms) = 0;
    // The calendar clock in whole seconds (what time() counts). Only the highscore
    // submission reads it, in a loop that may last seconds: a backend whose page must go
    // on drawing meanwhile yields to it here. The default asks the C library.
    virtual std::int64_t calendarSeconds();
};
