#pragma once

#include <cstdint>

// The colour state of the title: each of red, green and blue runs up and down between the
// turning bounds at its own speed, one step per tick, while the cycling is on.
class TitleAnimator {
public:
    struct Colour {
        std::int16_t red;
        std::int16_t green;
        std::int16_t blue;
    };

    static constexpr std::int16_t upperBound = 245;
    static constexpr std::int16_t lowerBound = 10;

    TitleAnimator() { reset(); }

    // Back to the start: on, all parts at 10, all directions up.
    void reset();
    // One tick. When the cycling is on, returns true and the colour to show now (taken
    // before the parts move on); when off, returns false and changes nothing.
    bool tick(Colour& shown);
    // Switches the cycling off when on, and on when off.
    void toggle();

private:
    static void advance(std::int16_t& part, std::int16_t& step, std::int16_t speed);
    static void turnAtUpperBound(std::int16_t part, std::int16_t& step);
    static void turnAtLowerBound(std::int16_t part, std::int16_t& step);

    std::int16_t animationEnabled = 1;
    std::int16_t titleRed = 10;
    std::int16_t titleGreen = 10;
    std::int16_t titleBlue = 10;
    std::int16_t redStep = 1;
    std::int16_t greenStep = 1;
    std::int16_t blueStep = 1;
};
