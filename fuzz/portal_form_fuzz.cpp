// A libFuzzer target for the portal's reading of a highscore body: arbitrary bytes as the
// form must never crash the form parser or the field decoding, and what they accept must
// keep its promises: a decoded field encodes back to the same bytes (in upper case), and
// a body that passes every check is the game's own: written out again from what was read,
// with the game's encoding, it reads back the same.
#include "net/form_field.h"
#include "portal/submission.h"
#include "portal/text.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void check(bool promise) {
    if (!promise) {
        __builtin_trap();
    }
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 32);
        }
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);

    if (const auto form = parseForm(body)) {
        for (const FormField& field : *form) {
            if (const auto decoded = decodeField(field.value)) {
                check(encodeField(*decoded) == upper(field.value));
            }
        }
    }

    const auto read = decodeSubmission(body);
    if (!read) {
        return 0;
    }
    const auto email = strictLatin1(read->email), password = strictLatin1(read->password),
               cpu = strictLatin1(read->cpu);
    check(email && password && cpu);
    const std::string score = std::to_string(read->score);
    const std::string again =
        "f1=" + encodeField(*email) + "&f2=8&f3=" + encodeField(*password) +
        "&f4=" + encodeField(score) + "&f5=" + encodeField(std::to_string(read->playTimeMs)) +
        "&f6=" + encodeField(std::to_string(read->cpuSpeed)) + "&f7=" + encodeField(*cpu) +
        "&f8=" + encodeField(std::to_string(read->build.checksum)) +
        "&f9=" + encodeField(std::to_string(read->build.length)) +
        "&fa=" + encodeField(score + *email) + "&fb=" +
        encodeField(std::to_string(static_cast<std::int32_t>(
            read->build.length + static_cast<std::uint32_t>(read->score))));
    const auto reread = decodeSubmission(again);
    check(reread && reread->email == read->email && reread->password == read->password &&
          reread->score == read->score && reread->playTimeMs == read->playTimeMs &&
          reread->cpuSpeed == read->cpuSpeed && reread->cpu == read->cpu &&
          reread->build == read->build);
    return 0;
}
