#include "art/InkPalette.h"

#include "art/ArtFont.h"
#include "engine/TextCells.h"

#include <algorithm>
#include <numeric>

namespace tessivo {

InkPalette::InkPalette(const QStringList& rows, const QString& family, double pointSize,
                       bool shapes, bool coverage)
    : InkPalette(rows, ArtFont(family, pointSize), shapes, coverage)
{
}

InkPalette::InkPalette(const QStringList& rows, const ArtFont& font, bool shapes, bool coverage)
    : m_cellWidth(font.cellWidth())
    , m_lineHeight(font.lineHeight())
    , m_fallback(font.fallbackFamily())
{
    for (const QString& row : rows) {
        const int cells = CellsOf(row);
        m_uneven = m_uneven || (!m_rows.isEmpty() && cells != m_cellsPerRow);
        m_cellsPerRow = std::max(m_cellsPerRow, cells);
        m_rows.append(row);
    }
    if (m_rows.isEmpty())
        m_rows.append(QStringLiteral(" "));
    const int partsAcross = ShapeColumnsPerCell * m_cellsPerRow;
    const int partsDown = ShapeRowsPerCell;
    std::vector<float> parts;
    for (QString& row : m_rows) {
        row += QString(m_cellsPerRow - CellsOf(row), QLatin1Char(' '));
        const ArtFont::RowInk ink = font.inkOf(row, partsAcross, partsDown);
        m_inks.append(ink.whole);
        parts.insert(parts.end(), ink.parts.cbegin(), ink.parts.cend());
        if (coverage) {
            const ArtFont::RowInk fine =
                font.inkOf(row, FitColumnsPerCell * m_cellsPerRow, FitRowsPerCell);
            for (const double part : fine.parts)
                m_coverage.push_back(float(std::clamp(part, 0.0, 1.0)));
        }
    }

    const auto [lightest, darkest] = std::minmax_element(m_inks.cbegin(), m_inks.cend());
    const double low = *lightest, range = *darkest - *lightest;
    for (double& ink : m_inks)
        ink = range > 0 ? (ink - low) / range : 0;
    // How unevenly each row's ink lies over its parts: the mean squared difference of a part's
    // ink and the whole row's.
    const std::size_t partCount = std::size_t(partsAcross) * std::size_t(partsDown);
    std::vector<double> unevenness(std::size_t(m_rows.size()), 0);
    for (std::size_t r = 0; r < unevenness.size(); ++r) {
        for (std::size_t k = 0; k < partCount; ++k) {
            const double part = range > 0 ? (parts[r * partCount + k] - low) / range : 0;
            const double d = part - m_inks[qsizetype(r)];
            unevenness[r] += d * d / double(partCount);
        }
    }
    if (shapes) {
        for (float& part : parts)
            part = range > 0 ? float((part - low) / range) : 0;
        m_shapes = std::move(parts);
    }

    // Each level of lightness takes the row whose ink is nearest its darkness, found among the
    // rows in order of ink (on a tie, the first of the table).
    std::vector<int> order(std::size_t(m_rows.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return m_inks[a] < m_inks[b]; });
    // Of rows of one ink, a blank one (a glyph drawn wholly outside its cell measures as
    // blank, but shows in a text box), else the first of the table: the sort is stable.
    const auto firstOfInk = [&](double ink) {
        const auto from = std::lower_bound(order.cbegin(), order.cend(), ink,
                                           [this](int row, double v) { return m_inks[row] < v; });
        const auto to = std::upper_bound(from, order.cend(), ink,
                                         [this](double v, int row) { return v < m_inks[row]; });
        const auto blank =
            std::find_if(from, to, [this](int row) { return IsBlankRow(m_rows[row]); });
        return blank != to ? *blank : *from;
    };
    // Each level's row: of the rows within EvenReach of the darkness wanted (or as near as the
    // nearest), the most even. A row of the same ink whose ink sits in a corner of its cell
    // draws stripes and speckle where the picture is smooth.
    for (int level = 0; level < Levels; ++level) {
        const double wanted = 1 - double(level) / (Levels - 1);
        const auto above =
            std::lower_bound(order.cbegin(), order.cend(), wanted,
                             [this](int row, double ink) { return m_inks[row] < ink; });
        double ink = above == order.cend() ? m_inks[order.back()] : m_inks[*above];
        if (above != order.cbegin()) {
            const double below = m_inks[*std::prev(above)];
            if (above == order.cend() || wanted - below < ink - wanted)
                ink = below;
        }
        int chosen = firstOfInk(ink);
        const double reach = std::max(std::abs(ink - wanted), EvenReach);
        for (const int row : order) {
            if (std::abs(m_inks[row] - wanted) <= reach &&
                unevenness[std::size_t(row)] < unevenness[std::size_t(chosen)])
                chosen = row;
        }
        m_rowForLevel[std::size_t(level)] = chosen;
    }
}

} // namespace tessivo
