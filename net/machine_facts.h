// The facts about the machine and the program that go with a highscore: a speed count on
// the calendar clock, the processor's name, and the checksum and length of the program's
// own file.
#pragma once

#include "platform/clock.h"
#include "platform/machine.h"

#include <cstdint>
#include <string>
#include <string_view>

// Where the facts come from: the calendar clock, and the machine with the program's file.
struct FactSources {
    Clock& clock;
    Machine& machine;
};

// Clock readings counted in two whole seconds of the calendar clock, after it has ticked
// over; 0 when the clock is too slow to count or is set back meanwhile.
std::int32_t measureCpuSpeed(Clock& clock);
std::string describeCpu(Machine& machine);

struct OwnFile {
    std::uint32_t checksum = 0; // CRC-32 of every byte
    std::uint32_t length = 0;   // bytes read; 0 when the file did not open
};
OwnFile checksumOwnFile(Machine& machine);
std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0);
