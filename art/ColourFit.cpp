#include "art/ColourFit.h"

#include "engine/TerminalPalette.h"

#include <algorithm>
#include <cmath>

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

// How many of the best rows by least squares are weighed again in Oklab, and how many of the
// colours allowed nearest each fitted colour are tried with a terminal's colours.
constexpr int RowsWeighed = 3;
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

Oklab OklabOf(const LinearRgb& c)
{
    const float l = std::cbrt(0.4122214708f * c.r + 0.5363325363f * c.g + 0.0514459929f * c.b);
    const float m = std::cbrt(0.2119034982f * c.r + 0.6806995451f * c.g + 0.1073969566f * c.b);
    const float s = std::cbrt(0.0883024619f * c.r + 0.2817188376f * c.g + 0.6299787005f * c.b);
    return {0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s,
            1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s,
            0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s};
}

ColourFitter::ColourFitter(const std::vector<float>& coverage, int parts, FitColours colours)
    : m_coverage(coverage)
    , m_parts(std::max(1, parts))
    , m_colours(colours)
    , m_rows(int(coverage.size() / std::size_t(std::max(1, parts))))
{
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

ColourFitter::Fit ColourFitter::fit(const LinearRgb* parts) const
{
    const std::size_t count = std::size_t(m_parts);
    LinearRgb sum;
    for (std::size_t k = 0; k < count; ++k) {
        sum.r += parts[k].r;
        sum.g += parts[k].g;
        sum.b += parts[k].b;
    }
    const LinearRgb mean{sum.r / float(count), sum.g / float(count), sum.b / float(count)};

    // The rows that come nearest by least squares in linear light.
    std::array<Candidate, RowsWeighed> best{};
    int kept = 0;
    for (int row = 0; row < m_rows; ++row) {
        const float* c = m_coverage.data() + std::size_t(row) * count;
        const auto& [s1, s2, det] = m_sums[std::size_t(row)];
        // Of rows that fit alike (a flat cell fits every row in one colour), the least inked.
        Candidate candidate{row, mean, mean, 1e-6f * s1};
        if (det > 1e-6f) {
            LinearRgb u;
            for (std::size_t k = 0; k < count; ++k) {
                u.r += c[k] * parts[k].r;
                u.g += c[k] * parts[k].g;
                u.b += c[k] * parts[k].b;
            }
            const float saa = float(count) - 2 * s1 + s2, sab = s1 - s2, sbb = s2;
            const auto solve = [&](float total, float inked, float& back, float& ink) {
                back = clamp01((sbb * (total - inked) - sab * inked) / det);
                ink = clamp01((saa * inked - sab * (total - inked)) / det);
            };
            solve(sum.r, u.r, candidate.back.r, candidate.ink.r);
            solve(sum.g, u.g, candidate.back.g, candidate.ink.g);
            solve(sum.b, u.b, candidate.back.b, candidate.ink.b);
        }
        for (std::size_t k = 0; k < count; ++k) {
            const LinearRgb model = mix(candidate.back, candidate.ink, c[k]);
            const float r = model.r - parts[k].r, g = model.g - parts[k].g,
                        b = model.b - parts[k].b;
            candidate.miss += r * r + g * g + b * b;
        }
        // Kept in order, best first.
        int at = kept < RowsWeighed ? kept++ : RowsWeighed;
        while (at > 0 && candidate.miss < best[std::size_t(at - 1)].miss) {
            if (at < RowsWeighed)
                best[std::size_t(at)] = best[std::size_t(at - 1)];
            --at;
        }
        if (at < RowsWeighed)
            best[std::size_t(at)] = candidate;
    }

    // Of those, with the colours allowed, the nearest in Oklab.
    std::vector<Oklab> wanted(count);
    for (std::size_t k = 0; k < count; ++k)
        wanted[k] = OklabOf(parts[k]);
    Fit chosen;
    float chosenMiss = -1;
    std::vector<int> inks, backs;
    const auto weigh = [&](int row, const LinearRgb& ink, const LinearRgb& back,
                           ColorValue inkValue, ColorValue backValue) {
        const float* c = m_coverage.data() + std::size_t(row) * count;
        float miss = 1e-6f * m_sums[std::size_t(row)][0];
        for (std::size_t k = 0; k < count && (chosenMiss < 0 || miss < chosenMiss); ++k)
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
