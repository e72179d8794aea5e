#pragma once

#include "engine/Rounding.h"

#include <algorithm>
#include <limits>

namespace tessivo {

// Positions and sizes on the Canvas and in the window layout are twips. The screen has 96 dots
// per inch and an inch has 1440 twips, so one pixel is 15 twips.
inline constexpr int TwipsPerPixel = 15;

// A position or size in twips. Where a value is kept fractional (a zoomed size, a pointer
// position), it stays a double until it is turned into pixels.
using Twips = double;
// A position or size in pixels of the Canvas image or of the screen.
using Pixels = int;

// Twips to whole pixels: nearest, ties to even (7.5 pixels give 8, 2.5 give 2), saturating.
inline int TwipsToPixels(Twips twips)
{
    return int(std::clamp<std::int64_t>(RoundEven(twips / TwipsPerPixel),
                                        std::numeric_limits<int>::min(),
                                        std::numeric_limits<int>::max()));
}

// Twips to the pixel that contains them: the floor, for a pixel read at a twip position.
constexpr int PixelUnder(int twips)
{
    return twips < 0 ? -1 : twips / TwipsPerPixel;
}

// Twips to pixels without rounding, for drawing at fractional positions.
constexpr double TwipsToPixelsExact(Twips twips)
{
    return twips / TwipsPerPixel;
}

constexpr Twips PixelsToTwips(double pixels)
{
    return pixels * TwipsPerPixel;
}

constexpr int PixelsToTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}

} // namespace tessivo
