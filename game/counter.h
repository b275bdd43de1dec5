// Counters hold every number of the game: score, level, lives, extra lives awarded, best
// score. A Counter stores a raw number r whose value is r - 1: set(1) means 0, get()
// returns r, add(k) changes the value by k - 1. Every reader and writer keeps to this.
//
// A Counter also guards its raw number against being changed from outside the program
// (a memory editor): beside r it keeps a scrambled copy, and get() and add() raise
// scoreTampered when the two no longer agree.
#pragma once

#include <array>
#include <cstdint>

class Image;
class ScreenBuffer;

class Counter {
  public:
    Counter() { set(1); }
    virtual ~Counter() = default;

    void set(std::int32_t r);
    std::int32_t get();
    void add(std::int32_t k);

  private:
    static std::uint32_t scramble(std::int32_t r);
    void verify();

    std::int32_t raw_ = 0;
    std::uint32_t guard_ = 0;
};

// A Counter that draws itself into the frame buffer, as decimal digits or as a row of icons.
class CounterDisplay : public Counter {
  public:
    enum Alignment : std::int32_t { centred = 0, fromLeft = 1, fromRight = 2 };

    CounterDisplay() = default; // no screen: never drawn
    CounterDisplay(Image* const digits[10], ScreenBuffer* screen);
    CounterDisplay(Image* icon, std::int32_t maximumIcons, ScreenBuffer* screen);

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
    ScreenBuffer* screen = nullptr;

  private:
    std::int32_t firstPosition(std::int32_t step, std::int32_t n) const;
};

// Raised when a Counter finds its raw number changed behind its back; cleared by each new
// World and carried with a highscore submission.
extern bool scoreTampered;
// The best score since start-up, without a screen.
extern CounterDisplay bestScore;
