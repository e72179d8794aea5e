#pragma once

#include "art/ColourFit.h"
#include "art/InkPalette.h"
#include "engine/Color.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <optional>

namespace tessivo {

// How each cell's row is chosen. Tone is the tone scale of the active table (the program's
// own); ink picks, from every row of the loaded table, the one whose ink in the font the art is
// drawn in is nearest the cell's darkness; shape the one whose ink lies in the cell most as the
// picture's darkness does, part by part.
enum class CharacterChoice { Tone, Ink, Shape };

// Whether what a cell's row cannot show of its darkness is carried to the cells after it.
enum class Dither { None, Diffusion };

// What an ink-mode conversion reads besides the picture and the palette.
struct InkOptions {
    int columns = 80; // cells in a line
    int lines = 24;
    int colorLevel = 1;  // each cell's lightness is multiplied by it, up to white
    int ignoreValue = 1; // lightness below (IgnoreValue - 1) / 100 counts as white
    int contrast = 750;  // a contrast curve about mid-grey, 750 leaving the tones as they are
    bool recordColours = false;
    // Each cell's row by its shape (the palette's shapes()), not its ink alone.
    bool shape = false;
    Dither dither = Dither::Diffusion;
    // Rows chosen for the picture's negative (for a dark terminal); colours stay the picture's.
    bool negative = false;
    // With a palette that has coverage(): each cell's row, its ink's colour and its cell's colour
    // chosen together from these colours (ColourFitter), in either mode.
    std::optional<FitColours> fit;
};

// The columns a generation run at SampleX gives on a Canvas this many twips wide: the ink mode's
// columns where no size is given.
int RunColumns(int canvasWidthTwips, int sampleX);

// The lines a picture needs at this many columns, or the columns at this many lines, for its art
// to keep the picture's proportions in the palette's font; at least 1.
int InkLinesFor(QSize picture, int columns, const InkPalette& palette);
int InkColumnsFor(QSize picture, int lines, const InkPalette& palette);

struct InkArt {
    QString text; // the lines, each ending in CR LF
    // With recordColours, the colour of each character's cell (each CR LF two entries of 0), as
    // a run records them; with a fit, the colour of each character's ink.
    QList<ColorValue> colours;
    // With a fit, the colour of each character's cell, as the colours.
    QList<ColorValue> backgrounds;
};

// Tiles the whole picture with options.lines lines of options.columns cells, from its top-left
// corner to its bottom-right one, and gives each cell the row for the mean lightness of every
// picture pixel it covers (luma of ITU-R BT.601), or in the shape mode for the lightness of each
// of its parts. A picture smaller than the grid is first enlarged so that every cell covers a
// pixel.
//
// With diffusion, the darkness a cell's row misses by more than a row's tolerance is carried to
// the cells after it (Floyd and Steinberg's shares, lines read back and forth), so that a tone
// between two rows far apart in ink, a light grey above all between blank and the lightest
// glyph, comes out as a mix of the two. A miss within the tolerance is dropped, and a cell as
// dark as the one before it keeps that cell's row while the row is within the tolerance of it:
// flat areas take one row rather than a speckle of rows of near ink.
InkArt DrawInkArt(const QImage& picture, const InkPalette& palette, const InkOptions& options);

} // namespace tessivo
