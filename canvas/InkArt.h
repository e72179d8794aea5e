#pragma once

#include "engine/Color.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace tessivo {

// How each cell's row is chosen. Tone is the tone scale of the active table (the program's
// own); ink picks, from every row of the loaded table, the one whose ink in the font the art is
// read in is nearest the cell's darkness; shape the one whose ink lies in the cell most as the
// picture's darkness does, part by part.
enum class CharacterChoice { Tone, Ink, Shape };

// The rows of a loaded table as the ink mode uses them: each padded with spaces to the widest
// row's cells and measured in a font, its ink stretched so that the darkest row counts as black
// and the lightest (the blank row) as white.
class InkPalette {
public:
    // With shapes, each row's ink is also measured part by part (shapes()).
    InkPalette(const QStringList& rows, const QString& family, double pointSize,
               bool shapes = false);

    // A cell is cut into this many parts across and down for the shape mode. Measured on the
    // art-quality corpus (docs/quality.md), two by two did best: finer parts give sparse glyphs
    // parts far darker than any picture, and the choice then follows them.
    static constexpr int ShapeColumnsPerCell = 2;
    static constexpr int ShapeRowsPerCell = 2;

    // The rows as they are written into the art, all cellsPerRow() cells wide.
    const QStringList& rows() const { return m_rows; }
    // Stretched ink of each row: 1 the darkest, 0 the lightest.
    const QList<double>& inks() const { return m_inks; }
    int cellsPerRow() const { return m_cellsPerRow; }
    // With shapes, the stretched ink of each row in each part of its cells: shapeParts() values a
    // row, ShapeColumnsPerCell x cellsPerRow() across and ShapeRowsPerCell down, row by row.
    // Ink beyond the cells counts to the nearest part, so a part may exceed 1. Else empty.
    const std::vector<float>& shapes() const { return m_shapes; }
    int shapeParts() const { return ShapeColumnsPerCell * m_cellsPerRow * ShapeRowsPerCell; }
    // Whether the rows had different widths before they were padded.
    bool unevenWidths() const { return m_uneven; }
    // One cell of the art in pixels at 96 dots per inch: a half-width character's advance, and
    // the font's line height.
    double cellWidth() const { return m_cellWidth; }
    double lineHeight() const { return m_lineHeight; }
    // The family the rows were drawn in, where the one asked for is not installed; else empty.
    const QString& fallbackFamily() const { return m_fallback; }

    // The row for a lightness from 0 (black) to 1 (white): the one of nearest ink; of rows of
    // equal ink, the first.
    int rowFor(double lightness) const
    {
        return m_rowForLevel[std::size_t(lightness * (Levels - 1) + 0.5)];
    }

private:
    static constexpr int Levels = 1024;
    QStringList m_rows;
    QList<double> m_inks;
    int m_cellsPerRow = 1;
    bool m_uneven = false;
    double m_cellWidth = 1;
    double m_lineHeight = 1;
    QString m_fallback;
    std::array<int, Levels> m_rowForLevel{};
    std::vector<float> m_shapes;
};

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
    // a run records them.
    QList<ColorValue> colours;
};

// Tiles the whole picture with options.lines lines of options.columns cells, from its top-left
// corner to its bottom-right one, and gives each cell the row for the mean lightness of every
// picture pixel it covers (luma of ITU-R BT.601). A picture smaller than the grid is first
// enlarged so that every cell covers a pixel.
InkArt DrawInkArt(const QImage& picture, const InkPalette& palette, const InkOptions& options);

} // namespace tessivo
