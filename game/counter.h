// Counters hold every number of the game: score, level, lives, extra lives awarded, and the
// shell's best score. They speak values: value(), set(v), add(delta).
//
// A Counter also guards its number against being changed from outside the program (a
// memory editor): it stores the number plainly, one above the value, and beside it a
// scrambled copy; value() and add() raise the counter's tamper flag when the two no longer
// agree, and it stays raised until clearTampered(). The plain number and its copy sit next
// to each other as the first members, where an editor finds them. Whoever owns counters
// owns their flags: the World those of its game, the shell that of its best score.
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
    // Whether this counter has found its number changed behind its back.
    bool tampered() const { return tampered_; }
    void clearTampered() { tampered_ = false; }

  private:
    static std::uint32_t scramble(std::int32_t stored);
    void verify() const;

    std::int32_t stored_ = 0; // value + 1, wrapping
    std::uint32_t guard_ = 0; // scramble(stored_)
    mutable bool tampered_ = false;
};

// A Counter that draws itself into the frame buffer, as decimal digits or as a row of icons.
class CounterDisplay : public Counter {
  public:
    enum Alignment : std::int32_t { centred = 0, fromLeft = 1, fromRight = 2 };

    explicit CounterDisplay(Image* const digits[10]);
    CounterDisplay(Image* icon, std::int32_t maximumIcons);

    void setPosition(std::int32_t px, std::int32_t py) {
        x = px;
        y = py;
    }
    void draw(ScreenBuffer& screen);

    std::int32_t maximumIcons = 0;
    std::int32_t spacing = 0;
    std::int32_t alignment = fromLeft;
    bool iconMode = false;
    std::int32_t x = 0, y = 0;
    std::array<Image*, 10> digitImages{};
    Image* iconImage = nullptr;

  private:
    std::int32_t firstPosition(std::int32_t step, std::int32_t n) const;
};
