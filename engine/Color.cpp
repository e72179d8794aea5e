#include "engine/Color.h"

#include <array>

namespace tessivo {

namespace {

constexpr ColorValue Rgb(unsigned hex)
{
    return ComposeColor(int((hex >> 16) & 0xFF), int((hex >> 8) & 0xFF), int(hex & 0xFF));
}

// The system colours behind top byte 0x80, by index, as a classic grey desktop scheme shows
// them. Index 25 is unassigned and does not translate.
constexpr ColorValue Unassigned = -1;
constexpr std::array<ColorValue, 31> SystemColors = {
    Rgb(0xD4D0C8), // 0 scroll bar
    Rgb(0x3A6EA5), // 1 desktop
    Rgb(0x0A246A), // 2 active caption
    Rgb(0x808080), // 3 inactive caption
    Rgb(0xD4D0C8), // 4 menu
    Rgb(0xFFFFFF), // 5 window
    Rgb(0x000000), // 6 window frame
    Rgb(0x000000), // 7 menu text
    Rgb(0x000000), // 8 window text
    Rgb(0xFFFFFF), // 9 caption text
    Rgb(0xD4D0C8), // 10 active border
    Rgb(0xD4D0C8), // 11 inactive border
    Rgb(0x808080), // 12 application workspace
    Rgb(0x0A246A), // 13 highlight
    Rgb(0xFFFFFF), // 14 highlight text
    Rgb(0xD4D0C8), // 15 button face
    Rgb(0x808080), // 16 button shadow
    Rgb(0x808080), // 17 grey text
    Rgb(0x000000), // 18 button text
    Rgb(0xD4D0C8), // 19 inactive caption text
    Rgb(0xFFFFFF), // 20 button highlight
    Rgb(0x404040), // 21 3-D dark shadow
    Rgb(0xD4D0C8), // 22 3-D light
    Rgb(0x000000), // 23 tooltip text
    Rgb(0xFFFFE1), // 24 tooltip background
    Unassigned,    // 25
    Rgb(0x0000FF), // 26 hot-tracked item
    Rgb(0xA6CAF0), // 27 active caption gradient
    Rgb(0xC0C0C0), // 28 inactive caption gradient
    Rgb(0x316AC5), // 29 menu highlight
    Rgb(0xD4D0C8), // 30 menu bar
};

} // namespace

ColorValue TranslateColor(ColorValue c)
{
    const auto bits = static_cast<std::uint32_t>(c);
    switch (bits >> 24) {
    case 0x00: return c;
    case 0x02: return ColorValue(bits & 0x00FFFFFFu);
    case 0x80: {
        const std::uint32_t index = bits & 0xFFu;
        if (index < SystemColors.size() && SystemColors[index] != Unassigned)
            return SystemColors[index];
        return 0;
    }
    default:
        // 0x01 needs a palette, which is never supplied; everything else is invalid.
        return 0;
    }
}

Channels SplitColor(ColorValue c)
{
    const ColorValue t = TranslateColor(c);
    return Channels{std::uint8_t(t & 255), std::uint8_t((t / 256) & 255),
                    std::uint8_t((t / 65536) & 255)};
}

} // namespace tessivo
