// Fuzzes the replay's reading: the input as replay bytes, and as the base64url form value
// that carries them. What decodes must encode back to exactly the input (one encoding per
// game) and goes to the portal's proof as the claim it makes of itself: what the proof
// accepts must run to the claimed score. Any fault is the sanitizers' to find, a wrong
// result aborts. Long replays are decoded but proven only up to a bound, to keep runs fast.
#include "game/replay.h"
#include "net/form_field.h"
#include "platform/resources.h"
#include "portal/proof.h"

#include <cstdlib>
#include <string_view>

namespace {
void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::uint32_t runBound = 3000;

void readReplay(std::string_view bytes, const Resources& resources) {
    const replay::Decoded d = replay::decode(bytes);
    check(d.replay.has_value() == d.reason.empty());
    if (!d.replay) {
        return;
    }
    check(replay::encode(*d.replay) == bytes);
    check(d.replay->updates <= replay::maxUpdates);
    if (d.replay->updates <= runBound) {
        const replay::Replay& r = *d.replay;
        const Claim claim{r.score,
                          static_cast<std::int32_t>(r.updates * 20 + 40),
                          {r.buildChecksum, r.buildLength}};
        if (disproof(r, claim, resources).empty()) {
            const replay::Outcome outcome = replay::run(r, resources);
            check(outcome.score == r.score && !outcome.overBeforeEnd);
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const EmbeddedResources resources;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    readReplay(input, resources);
    if (const auto bytes = decodeBase64Url(input, replay::maxBytes)) {
        check(encodeBase64Url(*bytes) == input);
        readReplay(*bytes, resources);
    }
    return 0;
}
