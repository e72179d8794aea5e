#include "engine/TerminalPalette.h"

#include <algorithm>

namespace tessivo {

namespace {

constexpr std::uint32_t Basic16[16] = {0x000000, 0xcd0000, 0x00cd00, 0xcdcd00, 0x0000ee, 0xcd00cd,
                                       0x00cdcd, 0xe5e5e5, 0x7f7f7f, 0xff0000, 0x00ff00, 0xffff00,
                                       0x5c5cff, 0xff00ff, 0x00ffff, 0xffffff};
constexpr int CubeLevels[6] = {0, 95, 135, 175, 215, 255};

int red(std::uint32_t c)
{
    return int(c >> 16 & 0xFF);
}
int green(std::uint32_t c)
{
    return int(c >> 8 & 0xFF);
}
int blue(std::uint32_t c)
{
    return int(c & 0xFF);
}

int distance(std::uint32_t a, std::uint32_t b)
{
    const int r = red(a) - red(b), g = green(a) - green(b), bl = blue(a) - blue(b);
    return r * r + g * g + bl * bl;
}

std::uint32_t rgb(int r, int g, int b)
{
    return std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
}

} // namespace

int Xterm256Index(std::uint32_t c)
{
    const auto step = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; };
    const int r = step(red(c)), g = step(green(c)), b = step(blue(c));
    const std::uint32_t cube = rgb(CubeLevels[r], CubeLevels[g], CubeLevels[b]);
    const int mean = (red(c) + green(c) + blue(c)) / 3;
    const int greyStep = mean > 238 ? 23 : std::max(0, (mean - 3) / 10);
    const int greyLevel = 8 + 10 * greyStep;
    if (distance(c, rgb(greyLevel, greyLevel, greyLevel)) < distance(c, cube))
        return 232 + greyStep;
    return 16 + 36 * r + 6 * g + b;
}

std::uint32_t Xterm256Colour(int index)
{
    if (index >= 232) {
        const int level = 8 + 10 * (std::min(index, 255) - 232);
        return rgb(level, level, level);
    }
    const int i = std::max(index, 16) - 16;
    return rgb(CubeLevels[i / 36], CubeLevels[i / 6 % 6], CubeLevels[i % 6]);
}

int Basic16Index(std::uint32_t c)
{
    int best = 0;
    for (int i = 1; i < 16; ++i) {
        if (distance(c, Basic16[i]) < distance(c, Basic16[best]))
            best = i;
    }
    return best;
}

std::uint32_t Basic16Colour(int index)
{
    return Basic16[std::clamp(index, 0, 15)];
}

} // namespace tessivo
