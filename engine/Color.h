#pragma once

#include <cstdint>

namespace tessivo {

// A colour as the pixel reads and colour properties hold it: 0x00BBGGRR, red in the low byte.
// A read outside the picture gives -1. The top byte tells how the rest is to be read
// (0x00 plain RGB, 0x02 palette-relative RGB, 0x80 system colour).
using ColorValue = std::int32_t;

constexpr ColorValue ComposeColor(int red, int green, int blue)
{
    return red + 256 * green + 65536 * blue;
}

struct Channels {
    std::uint8_t ChannelR = 0;
    std::uint8_t ChannelG = 0;
    std::uint8_t ChannelB = 0;
    friend bool operator==(const Channels&, const Channels&) = default;
};

// Translates a colour value into plain RGB; a value that cannot be translated gives black (0).
// Top byte 0x80 reads the low byte as an index into a fixed table of system colours.
ColorValue TranslateColor(ColorValue c);

// Splits a colour value into its red, green and blue bytes after translating it.
Channels SplitColor(ColorValue c);

} // namespace tessivo
