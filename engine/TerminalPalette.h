#pragma once

#include <cstdint>

namespace tessivo {

// The colours a terminal shows besides 24-bit ones, as 0xRRGGBB: xterm's 256, of which only the
// 6 x 6 x 6 cube and the 24 greys past the first 16 are used (terminals set the first 16 as they
// please), and the 16 named ones as xterm shows them.

// The nearest colour of the cube or the greys, by its index (16 to 255).
int Xterm256Index(std::uint32_t rgb);
std::uint32_t Xterm256Colour(int index);

// The nearest of the 16 (0 to 7 the plain ones, 8 to 15 the bright ones).
int Basic16Index(std::uint32_t rgb);
std::uint32_t Basic16Colour(int index);

} // namespace tessivo
