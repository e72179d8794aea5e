#include "art/ColourFit.h"

#include "engine/TerminalPalette.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessivo {

namespace {

const std::array<float, 256>& linearTable()
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double v = i / 255.0;
            t[std::size_t(i)] =
                float(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table;
}

float distance2(const Oklab& x, const Oklab& y)
{
    const float l = x.l - y.l, a = x.a - y.a, b = x.b - y.b;
    return l * l + a * a + b * b;
}

LinearRgb mix(const LinearRgb& back, const LinearRgb& ink, float cover)
{
    return {back.r + cover * (ink.r - back.r), back.g + cover * (ink.g - back.g),
            back.b + cover * (ink.b - back.b)};
}

float clamp01(float v)
{
    return std::clamp(v, 0.0f, 1.0f);
}

// How many rows are fitted in colour after the first look at their luminance, how many of the
// best of those are weighed again in Oklab, and how many of the colours allowed nearest each
// fitted colour are tried with a terminal's colours.
constexpr int RowsByLuminance = 6;
constexpr int RowsWeighed = 2;
constexpr int ColoursTried = 2;

} // namespace

float LinearOf(int srgb)
{
    return linearTable()[std::size_t(std::clamp(srgb, 0, 255))];
}

int SrgbOf(float linear)
{
    const double v = std::clamp(double(linear), 0.0, 1.0);
    const double s = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return int(std::lround(s * 255));
}

LinearRgb LinearColourOf(ColorValue colour)
{
    const Channels c = SplitColor(colour);
    return {LinearOf(c.ChannelR), LinearOf(c.ChannelG), LinearOf(c.ChannelB)};
}

ColorValue ColorOf(const LinearRgb& colour)
{
    return ComposeColor(SrgbOf(colour.r), SrgbOf(colour.g), SrgbOf(colour.b));
}

namespace {

// A cube root of a number from 0 to 1 without the library's exactness for every float: a first
// guess from the exponent's bits, then two of Newton's steps (a relative error near 1e-7).
float cubeRoot(float x)
{
    if (!(x > 0))
        return 0;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    bits = bits / 3 + 709921077u;
    float y = 0;
    std::memcpy(&y, &bits, sizeof y);
    y -= (y * y * y - x) / (3 * y * y);
    y -= (y * y * y - x) / (3 * y * y);
    return y;
}

} // namespace

Oklab OklabOf(const LinearRgb& c)
{
    const float l = cubeRoot(0.4122214708f * c.r + 0.5363325363f * c.g + 0.0514459929f * c.b);
    const float m = cubeRoot(0.2119034982f * c.r + 0.6806995451f * c.g + 0.1073969566f * c.b);
    const float s = cubeRoot(0.0883024619f * c.r + 0.2817188376f * c.g + 0.6299787005f * c.b);
    return {0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s,
            1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s,
            0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s};
}

ColourFitter::ColourFitter(const std::vector<float>& coverage, int partsAcross, int partsDown,
                           FitColours colours)
    : m_coverage(coverage)
    , m_parts(std::max(1, partsAcross * partsDown))
    , m_colours(colours)
    , m_rows(int(coverage.size() / std::size_t(m_parts)))
{
    const int blocksAcross = (partsAcross + 1) / 2;
    m_blocks = blocksAcross * ((partsDown + 1) / 2);
    for (int j = 0; j < partsDown; ++j)
        for (int i = 0; i < partsAcross; ++i)
            m_blockOf.push_back(j / 2 * blocksAcross + i / 2);
    std::vector<int> partsOf(std::size_t(m_blocks), 0);
    for (const int block : m_blockOf)
        ++partsOf[std::size_t(block)];
    m_blockCoverage.assign(std::size_t(m_rows) * std::size_t(m_blocks), 0);
    for (int row = 0; row < m_rows; ++row)
        for (int k = 0; k < m_parts; ++k) {
            const std::size_t block = std::size_t(m_blockOf[std::size_t(k)]);
            m_blockCoverage[std::size_t(row) * std::size_t(m_blocks) + block] +=
                coverage[std::size_t(row) * std::size_t(m_parts) + std::size_t(k)] /
                float(partsOf[block]);
        }
    for (int row = 0; row < m_rows; ++row) {
        const float* c = coverage.data() + std::size_t(row) * std::size_t(m_parts);
        float s1 = 0, s2 = 0;
        for (int k = 0; k < m_parts; ++k) {
            s1 += c[k];
            s2 += c[k] * c[k];
        }
        const float saa = float(m_parts) - 2 * s1 + s2, sab = s1 - s2, sbb = s2;
        m_sums.push_back({s1, s2, saa * sbb - sab * sab});
    }
    if (colours == FitColours::Full)
        return;
    if (colours == FitColours::Xterm256) {
        for (int i = 16; i < 256; ++i)
            m_allowed.push_back(ColorValue(Xterm256Colour(i)));
    } else {
        for (int i = 0; i < 16; ++i)
            m_allowed.push_back(ColorValue(Basic16Colour(i)));
    }
    for (ColorValue& c : m_allowed) {
        // From 0xRRGGBB to the program's 0x00BBGGRR.
        c = ComposeColor(int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF));
        m_allowedLinear.push_back(LinearColourOf(c));
        m_allowedLab.push_back(OklabOf(m_allowedLinear.back()));
    }
}

void ColourFitter::nearestAllowed(const LinearRgb& colour, int count, std::vector<int>& out) const
{
    out.clear();
    const Oklab lab = OklabOf(colour);
    std::vector<std::pair<float, int>> order;
    order.reserve(m_allowed.size());
    for (std::size_t i = 0; i < m_allowed.size(); ++i)
        order.emplace_back(distance2(lab, m_allowedLab[i]), int(i));
    const auto end = order.begin() + std::min<std::ptrdiff_t>(count, std::ptrdiff_t(order.size()));
    std::partial_sort(order.begin(), end, order.end());
    for (auto it = order.begin(); it != end; ++it)
        out.push_back(it->second);
}

namespace {

// The least-squares colours of a row for one channel of a cell, given the sums: total, the
// channel over the parts; inked, the channel weighted by the row's cover; and the row's sums. And
// the squared miss of any two colours, exactly, from the same sums and square, the sum of the
// channel's squares.
struct ChannelFit {
    float back = 0, ink = 0, miss = 0;
};

ChannelFit fitChannel(float total, float inked, float square, float saa, float sab, float sbb,
                      float det)
{
    ChannelFit fit;
    const float plain = total - inked;
    if (det > 1e-6f) {
        const float inverse = 1 / det;
        fit.back = clamp01((sbb * plain - sab * inked) * inverse);
        fit.ink = clamp01((saa * inked - sab * plain) * inverse);
    } else {
        fit.back = fit.ink = clamp01(total / (saa + 2 * sab + sbb));
    }
    fit.miss = fit.back * fit.back * saa + 2 * fit.back * fit.ink * sab + fit.ink * fit.ink * sbb -
               2 * (fit.back * plain + fit.ink * inked) + square;
    return fit;
}

// The dot product of a row's cover and a cell's channel, in eight running sums.
float dot(const float* cover, const float* values, std::size_t count)
{
    float sums[8] = {};
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8)
        for (std::size_t j = 0; j < 8; ++j)
            sums[j] += cover[k + j] * values[k + j];
    for (; k < count; ++k)
        sums[0] += cover[k] * values[k];
    return ((sums[0] + sums[1]) + (sums[2] + sums[3])) +
           ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}

} // namespace

ColourFitter::Fit ColourFitter::fit(const LinearRgb* parts) const
{
    const std::size_t count = std::size_t(m_parts);
    // The cell's channels and luminance part by part, their sums and sums of squares.
    thread_local std::vector<float> channels;
    channels.resize(4 * count);
    float* red = channels.data();
    float* green = red + count;
    float* blue = green + count;
    float* luma = blue + count;
    std::array<float, 4> total{}, square{};
    for (std::size_t k = 0; k < count; ++k) {
        red[k] = parts[k].r;
        green[k] = parts[k].g;
        blue[k] = parts[k].b;
        luma[k] = 0.2126f * parts[k].r + 0.7152f * parts[k].g + 0.0722f * parts[k].b;
        for (std::size_t j = 0; j < 4; ++j) {
            total[j] += channels[j * count + k];
            square[j] += channels[j * count + k] * channels[j * count + k];
        }
    }

    // The rows whose two shades of luminance come nearest, then of those the ones whose two
    // colours do, each kept best first.
    const auto keep = [](auto& best, int& kept, const Candidate& candidate) {
        const int size = int(best.size());
        int at = kept < size ? kept++ : size;
        while (at > 0 && candidate.miss < best[std::size_t(at - 1)].miss) {
            if (at < size)
                best[std::size_t(at)] = best[std::size_t(at - 1)];
            --at;
        }
        if (at < size)
            best[std::size_t(at)] = candidate;
    };
    std::array<Candidate, RowsByLuminance> byLuminance{};
    int keptByLuminance = 0;
    for (int row = 0; row < m_rows; ++row) {
        const float* c = m_coverage.data() + std::size_t(row) * count;
        const auto& [s1, s2, det] = m_sums[std::size_t(row)];
        const float saa = float(count) - 2 * s1 + s2, sab = s1 - s2, sbb = s2;
        const ChannelFit y =
            fitChannel(total[3], dot(c, luma, count), square[3], saa, sab, sbb, det);
        // Of rows that fit alike (a flat cell fits every row in one colour), the least inked.
        keep(byLuminance, keptByLuminance, Candidate{row, {}, {}, y.miss + 1e-6f * s1});
    }
    std::array<Candidate, RowsWeighed> best{};
    int kept = 0;
    for (int i = 0; i < keptByLuminance; ++i) {
        const int row = byLuminance[std::size_t(i)].row;
        const float* c = m_coverage.data() + std::size_t(row) * count;
        const auto& [s1, s2, det] = m_sums[std::size_t(row)];
        const float saa = float(count) - 2 * s1 + s2, sab = s1 - s2, sbb = s2;
        const ChannelFit r =
            fitChannel(total[0], dot(c, red, count), square[0], saa, sab, sbb, det);
        const ChannelFit g =
            fitChannel(total[1], dot(c, green, count), square[1], saa, sab, sbb, det);
        const ChannelFit b =
            fitChannel(total[2], dot(c, blue, count), square[2], saa, sab, sbb, det);
        keep(best, kept,
             Candidate{row,
                       {r.ink, g.ink, b.ink},
                       {r.back, g.back, b.back},
                       r.miss + g.miss + b.miss + 1e-6f * s1});
    }

    // Of those, with the colours allowed, the nearest in Oklab, weighed over blocks of parts.
    const std::size_t blocks = std::size_t(m_blocks);
    thread_local std::vector<LinearRgb> blockColours;
    thread_local std::vector<Oklab> wanted;
    blockColours.assign(blocks, LinearRgb{});
    wanted.resize(blocks);
    std::array<int, 64> inBlock{};
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t block = std::size_t(m_blockOf[k]);
        blockColours[block].r += parts[k].r;
        blockColours[block].g += parts[k].g;
        blockColours[block].b += parts[k].b;
        if (block < inBlock.size())
            ++inBlock[block];
    }
    for (std::size_t b = 0; b < blocks; ++b) {
        const float n = float(b < inBlock.size() ? std::max(1, inBlock[b]) : 4);
        wanted[b] = OklabOf({blockColours[b].r / n, blockColours[b].g / n, blockColours[b].b / n});
    }
    Fit chosen;
    float chosenMiss = -1;
    std::vector<int> inks, backs;
    const auto weigh = [&](int row, const LinearRgb& ink, const LinearRgb& back,
                           ColorValue inkValue, ColorValue backValue) {
        const float* c = m_blockCoverage.data() + std::size_t(row) * blocks;
        float miss = 1e-6f * m_sums[std::size_t(row)][0];
        for (std::size_t k = 0; k < blocks && (chosenMiss < 0 || miss < chosenMiss); ++k)
            miss += distance2(OklabOf(mix(back, ink, c[k])), wanted[k]);
        if (chosenMiss < 0 || miss < chosenMiss) {
            chosenMiss = miss;
            chosen = Fit{row, inkValue, backValue};
        }
    };
    for (int i = 0; i < kept; ++i) {
        const Candidate& candidate = best[std::size_t(i)];
        if (m_colours == FitColours::Full) {
            const ColorValue ink = ColorOf(candidate.ink), back = ColorOf(candidate.back);
            weigh(candidate.row, LinearColourOf(ink), LinearColourOf(back), ink, back);
            continue;
        }
        nearestAllowed(candidate.ink, ColoursTried, inks);
        nearestAllowed(candidate.back, ColoursTried, backs);
        for (const int ink : inks)
            for (const int back : backs)
                weigh(candidate.row, m_allowedLinear[std::size_t(ink)],
                      m_allowedLinear[std::size_t(back)], m_allowed[std::size_t(ink)],
                      m_allowed[std::size_t(back)]);
    }
    return chosen;
}

} // namespace tessivo
