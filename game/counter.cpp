// Counter arithmetic, the integrity guard, and the two ways a display draws itself.
#include "game/counter.h"

#include "gfx/screen_buffer.h"

#include <string>

namespace {
constexpr std::uint32_t guardKey = 0x5A17C3E9u;
constexpr std::uint32_t guardFactor = 0x9E3779B1u; // odd: the scramble is one-to-one
// The digits' colours, for the minus sign no digit image carries.
constexpr std::uint8_t digitInk = 186, digitPaper = 201;

// Wrapping arithmetic: a score cannot overflow into undefined behaviour.
std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
} // namespace

std::uint32_t Counter::scramble(std::int32_t stored) {
    const std::uint32_t u = static_cast<std::uint32_t>(stored) ^ guardKey;
    return ((u << 13) | (u >> 19)) * guardFactor;
}

void Counter::verify() const {
    if (scramble(stored_) != guard_) {
        tampered_ = true;
    }
}

void Counter::set(std::int32_t value) {
    stored_ = wrappingAdd(value, 1);
    guard_ = scramble(stored_);
}

std::int32_t Counter::value() const {
    verify();
    return wrappingAdd(stored_, -1);
}

void Counter::add(std::int32_t delta) {
    verify();
    stored_ = wrappingAdd(stored_, delta);
    guard_ = scramble(stored_);
}

CounterDisplay::CounterDisplay(Image* const digits[10]) {
    for (int d = 0; d < 10; ++d) {
        digitImages[d] = digits[d];
    }
}

CounterDisplay::CounterDisplay(Image* icon, std::int32_t maximum)
    : maximumIcons(maximum), spacing(3), iconMode(true), iconImage(icon) {}

std::int32_t CounterDisplay::firstPosition(std::int32_t step, std::int32_t n) const {
    switch (alignment) {
    case centred:
        return x - (step * n) / 2;
    case fromRight:
        return x - step * n;
    default:
        return x;
    }
}

void CounterDisplay::draw(ScreenBuffer& screen) {
    const std::int32_t shown = value();
    if (iconMode) {
        const std::int32_t n = shown > maximumIcons ? maximumIcons : shown;
        if (n <= 0 || iconImage == nullptr) {
            return;
        }
        const std::int32_t step = iconImage->width + spacing;
        const std::int32_t x0 = firstPosition(step, n);
        for (std::int32_t k = 0; k < n; ++k) {
            screen.draw(*iconImage, x0 + k * step, y);
        }
        return;
    }
    if (digitImages[0] == nullptr) {
        return;
    }
    const std::string text = std::to_string(static_cast<long long>(shown));
    const auto n = static_cast<std::int32_t>(text.size());
    const std::int32_t step = digitImages[0]->width + spacing;
    const std::int32_t x0 = firstPosition(step, n);
    for (std::int32_t k = 0; k < n; ++k) {
        const std::int32_t at = x0 + k * step;
        if (text[k] == '-') {
            // No image carries a minus: a bar in the digits' ink on their paper.
            const Image& zero = *digitImages[0];
            if (screen.initialised) {
                screen.fillRect(at, y, zero.width, zero.height, digitPaper);
                screen.fillRect(at + 1, y + zero.height / 2 - 1, zero.width - 2, 2, digitInk);
            }
            continue;
        }
        if (Image* digit = digitImages[text[k] - '0']) {
            screen.draw(*digit, at, y);
        }
    }
}
