#pragma once

#include "engine/Color.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tessivo {

// The colours a fitted cell may be painted in: any 24-bit colour, or those of a terminal's 256
// (the cube and the greys) or 16.
enum class FitColours { Full, Xterm256, Basic16 };

// A colour in linear light, each channel 0 to 1.
struct LinearRgb {
    float r = 0, g = 0, b = 0;
};
// 8-bit sRGB to linear light, and back (rounded).
float LinearOf(int srgb);
int SrgbOf(float linear);
LinearRgb LinearColourOf(ColorValue colour);
ColorValue ColorOf(const LinearRgb& colour);

// A colour in Oklab, where distances are about as far apart as they look.
struct Oklab {
    float l = 0, a = 0, b = 0;
};
Oklab OklabOf(const LinearRgb& colour);

// Chooses, for a cell, the row and the two colours that together come nearest its pixels: the
// row's ink in one colour over its cell in the other. The cell is read as the mean colour of
// each of its parts, in linear light; each row as the share of each part its glyphs cover, as
// the art draws them. For every row the two colours that come nearest the parts are found by
// least squares in linear light, where ink and paper mix as the eye mixes them from afar; of the
// rows that come nearest there, the one whose colours, taken from the colours allowed, come
// nearest in Oklab is chosen.
class ColourFitter {
public:
    // coverage: partsAcross x partsDown values a row, row by row (InkPalette::coverage()).
    ColourFitter(const std::vector<float>& coverage, int partsAcross, int partsDown,
                 FitColours colours);

    struct Fit {
        int row = 0;
        ColorValue ink = 0;
        ColorValue back = 0;
    };
    // parts: the cell's mean colour in each part, in linear light.
    Fit fit(const LinearRgb* parts) const;

private:
    struct Candidate {
        int row = 0;
        LinearRgb ink, back;
        float miss = 0;
    };
    // The colours allowed nearest a colour, best first (one for 24-bit colours).
    void nearestAllowed(const LinearRgb& colour, int count, std::vector<int>& out) const;

    // The parts in blocks of two by two, where Oklab weighs a fit: each part's block.
    std::vector<int> m_blockOf;
    int m_blocks = 0;
    std::vector<float> m_blockCoverage; // m_blocks values a row, the mean of their parts'

    const std::vector<float>& m_coverage;
    int m_parts;
    FitColours m_colours;
    int m_rows;
    // Of each row: the sums the least squares need.
    std::vector<std::array<float, 3>> m_sums; // sum of c, sum of c squared, and their determinant
    // The colours allowed, with their Oklab.
    std::vector<ColorValue> m_allowed;
    std::vector<LinearRgb> m_allowedLinear;
    std::vector<Oklab> m_allowedLab;
};

} // namespace tessivo
