#pragma once

#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace tessivo {

// The fonts the art is shown in by default, the result box's first, then fonts with the same cell
// widths found on this system.
const QStringList& ArtFontFamilies();
// The one font named where a viewer takes a single name: the Song-style font of the list that
// Linux systems ship.
QString SingleArtFamily();
// Whether a family asked for is the result box's font, which ArtFontFamilies() stands for.
bool IsResultFamily(const QString& family);

// Lays ink on image where mask (one of ArtFont::mask()) covers it, the mask's top-left corner at
// (left, top).
void BlendMask(QImage& image, const QImage& mask, int left, int top, QRgb ink);

// The font the art is drawn in and the grid it is laid on: the one description that the PNG and
// SVG exports draw with and that the ink and shape modes, the table workshop and tessivo-table
// measure glyphs with, so that what is measured is what is drawn.
//
// In the result font (the default) a cell is half an em wide and a line an em high, so that a
// character of two cells is square, as in the result box. In any other family the grid is the
// font's own: the advance of a half-width character and the font's height, as a terminal lays
// it out, in whole pixels. Characters the family lacks are drawn from the result font's families.
class ArtFont {
public:
    explicit ArtFont(const QString& family = QString(), double pointSize = 9);

    // The family asked for; empty for the result font.
    const QString& family() const { return m_family; }
    double pointSize() const { return m_pointSize; }
    // The families in the order a viewer should try them.
    const QStringList& families() const { return m_families; }
    const QFont& font() const { return m_font; }
    // The family glyphs are drawn in where the one asked for is not installed; else empty.
    const QString& fallbackFamily() const { return m_fallback; }

    // Pixels at 96 dots per inch.
    double em() const { return m_em; }
    double cellWidth() const { return m_cellWidth; }
    double lineHeight() const { return m_lineHeight; }
    // From a line's top to its baseline.
    double baseline() const { return m_baseline; }
    // Where cell `cell` of a line starts, in whole pixels.
    int cellLeft(int cell) const;

    // A character's glyph as its coverage in the alpha of a premultiplied image, drawn with the
    // top-left corner of its cells at (margin(), margin()); the margin holds what a glyph draws
    // beyond its cells. Drawn once and kept: drawing text goes through the font machinery, which
    // other threads wait on. Not for use by two threads at once.
    const QImage& mask(QStringView character) const;
    int margin() const { return m_margin; }

    // The darkness a row of characters puts on its cells when drawn as the art draws it, each
    // character from its cell's left edge: 0 white paper, 1 solid black. Ink a glyph draws
    // beyond the row's cells (an underscore below the line, a wide glyph into its neighbour)
    // counts too, as it does on the page, against the area of the cells alone.
    struct RowInk {
        double whole = 0;
        // With parts, the ink of each part of the row's cells in a grid of partsAcross x
        // partsDown, left to right then top to bottom, each against its own area; ink beyond the
        // cells counts to the nearest part.
        std::vector<double> parts;
    };
    RowInk inkOf(QStringView row, int partsAcross = 0, int partsDown = 0) const;
    // The row drawn black on white, as inkOf() measures it: its cells and the margin all round.
    QImage drawRow(QStringView row) const;

private:
    QString m_family;
    double m_pointSize = 9;
    QStringList m_families;
    QFont m_font;
    QString m_fallback;
    double m_em = 12;
    double m_cellWidth = 6;
    double m_lineHeight = 12;
    double m_baseline = 12 * 0.86;
    int m_margin = 6;
    mutable QHash<QString, QImage> m_masks;
};

} // namespace tessivo
