#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace tessivo {

class ArtFont;

// The rows of a loaded table as the ink and shape modes use them: each padded with spaces to the
// widest row's cells and measured as the art draws it (ArtFont), its ink stretched so that the
// darkest row counts as black and the lightest (the blank row) as white.
class InkPalette {
public:
    // With shapes, each row's ink is also measured part by part (shapes()); with coverage, the
    // share of each of its finer parts its glyphs cover (coverage()).
    InkPalette(const QStringList& rows, const ArtFont& font, bool shapes = false,
               bool coverage = false);
    // The same in the family at the size, or in the result font where family is empty.
    InkPalette(const QStringList& rows, const QString& family, double pointSize,
               bool shapes = false, bool coverage = false);

    // A cell is cut into this many parts across and down for the shape mode. Measured on the
    // art-quality corpus (docs/quality.md), two by two did best: finer parts give sparse glyphs
    // parts far darker than any picture, and the choice then follows them.
    static constexpr int ShapeColumnsPerCell = 2;
    static constexpr int ShapeRowsPerCell = 2;
    // Rows whose ink is this near a darkness count as one tone, of which rowFor() takes the most
    // even. Measured on the art-quality corpus: 0.02 to 0.04 raise the ink mode's likeness by
    // 0.015 to 0.02, the larger reach at the cost of plain SSIM and tone error.
    static constexpr double EvenReach = 0.025;

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
    // With coverage, the share of each part of its cells that each row's glyphs cover, from 0 to
    // 1 as they are drawn (not stretched): coverageParts() values a row, FitColumnsPerCell x
    // cellsPerRow() across and FitRowsPerCell down, row by row. Else empty. The two-colour fit
    // reads cells in these parts.
    const std::vector<float>& coverage() const { return m_coverage; }
    static constexpr int FitColumnsPerCell = 8;
    static constexpr int FitRowsPerCell = 14;
    int coverageParts() const { return FitColumnsPerCell * m_cellsPerRow * FitRowsPerCell; }
    // Whether the rows had different widths before they were padded.
    bool unevenWidths() const { return m_uneven; }
    // One cell of the art in pixels at 96 dots per inch, as the art is drawn.
    double cellWidth() const { return m_cellWidth; }
    double lineHeight() const { return m_lineHeight; }
    // The family the rows were drawn in, where the one asked for is not installed; else empty.
    const QString& fallbackFamily() const { return m_fallback; }

    // The row for a lightness from 0 (black) to 1 (white): of the rows of nearest ink, or within
    // EvenReach of it, the one whose ink lies most evenly over its cells; of rows as even, a
    // blank one, else the first of the table.
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
    std::vector<float> m_coverage;
};

} // namespace tessivo
