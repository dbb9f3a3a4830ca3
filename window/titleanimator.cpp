#include "titleanimator.h"

void TitleAnimator::reset()
{
    animationEnabled = 1;
    titleRed = 10;
    titleGreen = 10;
    titleBlue = 10;
    redStep = 1;
    greenStep = 1;
    blueStep = 1;
}

bool TitleAnimator::tick(Colour& shown)
{
    if (animationEnabled != 1)
        return false;
    shown = {titleRed, titleGreen, titleBlue};
    advance(titleRed, redStep, 2);
    advance(titleGreen, greenStep, 5);
    advance(titleBlue, blueStep, 7);
    // A part turns once it has passed a bound, so it goes one step beyond it first.
    turnAtUpperBound(titleRed, redStep);
    turnAtUpperBound(titleGreen, greenStep);
    turnAtUpperBound(titleBlue, blueStep);
    turnAtLowerBound(titleRed, redStep);
    turnAtLowerBound(titleGreen, greenStep);
    turnAtLowerBound(titleBlue, blueStep);
    return true;
}

void TitleAnimator::toggle()
{
    animationEnabled = animationEnabled == 0 ? 1 : 0;
}

void TitleAnimator::advance(std::int16_t& part, std::int16_t& step, std::int16_t speed)
{
    part = std::int16_t(part + step * speed);
}

void TitleAnimator::turnAtUpperBound(std::int16_t part, std::int16_t& step)
{
    if (part > upperBound)
        step = std::int16_t(-step);
}

void TitleAnimator::turnAtLowerBound(std::int16_t part, std::int16_t& step)
{
    if (part < lowerBound)
        step = std::int16_t(-step);
}
