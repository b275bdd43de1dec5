// The machine's facts; see machine_facts.h.
#include "net/machine_facts.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <limits>

namespace {

struct ProcessorName {
    int type;
    const char* text;
};

constexpr std::array<ProcessorName, 5> processorNames = {{
    {386, "CPU INTEL 386"},
    {486, "CPU INTEL 486"},
    {586, "CPU INTEL PENTIUM"},
    {4000, "CPU MIPS R4000"},
    {21064, "CPU ALPHA 21064"},
}};
constexpr const char* unknownProcessor = "CPU UNKNOWN";

constexpr std::array<std::uint32_t, 256> crcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[i] = c;
    }
    return table;
}();

} // namespace

std::int32_t measureCpuSpeed(Clock& p) {
    // Wait for the clock to tick over, so that the count starts at the start of a second.
    const std::int64_t t0 = p.calendarSeconds();
    std::int64_t t = t0;
    while (t < t0 + 2) {
        t = p.calendarSeconds();
        if (t < t0) {
            return 0; // the clock was set back: no measure
        }
    }
    const std::int64_t t1 = p.calendarSeconds();
    if (p.calendarSeconds() >= t1 + 2) {
        return 0;
    }
    std::int64_t n = 0;
    do {
        ++n;
        t = p.calendarSeconds();
        if (t < t1) {
            return 0;
        }
    } while (t < t1 + 2);
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(n, std::numeric_limits<std::int32_t>::max()));
}

std::string describeCpu(Machine& machine) {
    const int type = machine.processorType();
    for (const ProcessorName& p : processorNames) {
        if (p.type == type) {
            return p.text;
        }
    }
    return unknownProcessor;
}

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc) {
    crc = ~crc;
    for (char c : bytes) {
        crc = crcTable[(crc ^ static_cast<std::uint8_t>(c)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

OwnFile checksumOwnFile(Machine& machine) {
    OwnFile own;
    const std::string path = machine.ownExecutablePath();
    if (path.empty()) {
        return own;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return own;
    }
    std::array<char, 65536> chunk;
    while (file) {
        file.read(chunk.data(), chunk.size());
        const auto n = static_cast<std::size_t>(file.gcount());
        own.checksum = crc32(std::string_view(chunk.data(), n), own.checksum);
        own.length += static_cast<std::uint32_t>(n);
    }
    return own;
}
