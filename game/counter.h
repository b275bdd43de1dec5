// Counters hold every number of the game: score, level, lives, extra lives awarded, and the
// shell's best score. They speak values: value(), set(v), add(delta).
//
// A Counter also guards its number against being changed from outside the program (a
// memory editor): it stores the number plainly, one above the value, and beside it a
// scrambled copy; value() and add() raise scoreTampered when the two no longer agree.
// The plain number and its copy sit next to each other as the first members, where an
// editor finds them.
#pragma once

#include <array>
#include <cstdint>

class Image;
class ScreenBuffer;

class Counter {
  public:
    Counter() { set(0); }
    virtual ~Counter() = default;

    void set(std::int32_t value);
    std::int32_t value() const;
    void add(std::int32_t delta);

  private:
    static std::uint32_t scramble(std::int32_t stored);
    void verify() const;

    std::int32_t stored_ = 0; // value + 1, wrapping
    std::uint32_t guard_ = 0; // scramble(stored_)
};

// A Counter that draws itself into the frame buffer, as decimal digits or as a row of icons.
class CounterDisplay : public Counter {
  public:
    enum Alignment : std::int32_t { centred = 0, fromLeft = 1, fromRight = 2 };

    CounterDisplay(Image* const digits[10], ScreenBuffer& screen);
    CounterDisplay(Image* icon, std::int32_t maximumIcons, ScreenBuffer& screen);

    void setPosition(std::int32_t px, std::int32_t py) {
        x = px;
        y = py;
    }
    void draw();

    std::int32_t maximumIcons = 0;
    std::int32_t spacing = 0;
    std::int32_t alignment = fromLeft;
    bool iconMode = false;
    std::int32_t x = 0, y = 0;
    std::array<Image*, 10> digitImages{};
    Image* iconImage = nullptr;
    ScreenBuffer& screen;

  private:
    std::int32_t firstPosition(std::int32_t step, std::int32_t n) const;
};

// Raised when a Counter finds its number changed behind its back; cleared by each new
// World and carried with a highscore submission. It is process-wide on purpose: any
// Counter anywhere (the game's or the shell's best score) may find the tampering, and the
// finding must reach the next submission whichever object made it.
extern bool scoreTampered;
