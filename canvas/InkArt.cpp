#include "canvas/InkArt.h"

#include "canvas/TableMeter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace tessivo {

namespace {

// Glyphs are drawn at the resolution of a common screen, where the art is read.
constexpr double DotsPerInch = 96;

// Darkness of a row drawn left to right from its cell's left edge, as a terminal or a text box
// in a fixed-pitch font draws it: 0 white paper, 1 solid black.
double inkOf(const QString& row, const QFont& font, int width, int height, double ascent)
{
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(0, ascent), row);
    }
    qint64 ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            ink += 255 - qGray(line[x]);
    }
    return double(ink) / (255.0 * image.width() * image.height());
}

} // namespace

InkPalette::InkPalette(const QStringList& rows, const QString& family, double pointSize)
{
    QFont font(family);
    font.setPixelSize(std::max(1, int(std::lround(pointSize * DotsPerInch / 72))));
    font.setStyleStrategy(
        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    const QImage probe(1, 1, QImage::Format_RGB32);
    const QFontMetricsF metrics(font, &probe);
    m_cellWidth = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('M')));
    m_lineHeight = std::max(1.0, metrics.height());

    for (const QString& row : rows) {
        const int cells = CellsOf(row);
        m_uneven = m_uneven || (!m_rows.isEmpty() && cells != m_cellsPerRow);
        m_cellsPerRow = std::max(m_cellsPerRow, cells);
        m_rows.append(row);
    }
    if (m_rows.isEmpty())
        m_rows.append(QStringLiteral(" "));
    const int width = int(std::lround(m_cellsPerRow * m_cellWidth));
    const int height = int(std::lround(m_lineHeight));
    for (QString& row : m_rows) {
        row += QString(m_cellsPerRow - CellsOf(row), QLatin1Char(' '));
        m_inks.append(inkOf(row, font, width, height, metrics.ascent()));
    }

    const auto [lightest, darkest] = std::minmax_element(m_inks.cbegin(), m_inks.cend());
    const double low = *lightest, range = *darkest - *lightest;
    for (double& ink : m_inks)
        ink = range > 0 ? (ink - low) / range : 0;

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
        const auto blank = std::find_if(from, to, [this](int row) {
            return m_rows[row].count(QLatin1Char(' ')) == m_rows[row].size();
        });
        return blank != to ? *blank : *from;
    };
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
        // Stably sorted: the first row of an ink is the first of the table with it.
        m_rowForLevel[std::size_t(level)] = firstOfInk(ink);
    }
}

int InkLinesFor(QSize picture, int columns, const InkPalette& palette)
{
    if (picture.isEmpty())
        return 1;
    const double lines = double(columns) * palette.cellWidth() * picture.height() /
                         (picture.width() * palette.lineHeight());
    return std::max(1, int(std::lround(lines)));
}

int InkColumnsFor(QSize picture, int lines, const InkPalette& palette)
{
    if (picture.isEmpty())
        return 1;
    const double columns = double(lines) * palette.lineHeight() * picture.width() /
                           (picture.height() * palette.cellWidth());
    return std::max(1, int(std::lround(columns)));
}

InkArt DrawInkArt(const QImage& picture, const InkPalette& palette, const InkOptions& options)
{
    const int across = std::max(1, options.columns / palette.cellsPerRow());
    const int down = std::max(1, options.lines);
    const QString padding(std::max(0, options.columns - across * palette.cellsPerRow()),
                          QLatin1Char(' '));
    QImage pixels = picture.isNull() ? QImage(1, 1, QImage::Format_RGB32) : picture;
    if (picture.isNull())
        pixels.fill(Qt::white);
    if (pixels.width() < across || pixels.height() < down)
        pixels = pixels.scaled(std::max(pixels.width(), across), std::max(pixels.height(), down));
    pixels = std::move(pixels).convertToFormat(QImage::Format_RGB32);
    const int width = pixels.width(), height = pixels.height();

    // Cell c of a line covers the pixels from c * width / across up to the next cell's; every
    // cell covers at least one, and the last ends at the picture's edge.
    std::vector<int> cellOfX(static_cast<std::size_t>(width));
    for (int c = 0; c < across; ++c) {
        for (int x = int(qint64(c) * width / across); x < int(qint64(c + 1) * width / across); ++x)
            cellOfX[std::size_t(x)] = c;
    }

    const double threshold = (options.ignoreValue - 1) / 100.0;
    const double contrast = options.contrast / 750.0;
    InkArt art;
    const qsizetype rowLength = palette.rows().first().size();
    art.text.reserve(qsizetype(down) * (across * rowLength + padding.size() + 2));
    // Sums of each cell of a line: luma, then red, green and blue when colours are kept.
    std::vector<qint64> luma(static_cast<std::size_t>(across)), red, green, blue;
    std::vector<qint64> count(static_cast<std::size_t>(across));
    if (options.recordColours) {
        red.resize(std::size_t(across));
        green.resize(std::size_t(across));
        blue.resize(std::size_t(across));
    }
    for (int line = 0; line < down; ++line) {
        std::fill(luma.begin(), luma.end(), 0);
        std::fill(count.begin(), count.end(), 0);
        std::fill(red.begin(), red.end(), 0);
        std::fill(green.begin(), green.end(), 0);
        std::fill(blue.begin(), blue.end(), 0);
        const int top = int(qint64(line) * height / down);
        const int bottom = int(qint64(line + 1) * height / down);
        for (int y = top; y < bottom; ++y) {
            const auto* scan = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                const QRgb p = scan[x];
                const std::size_t c = std::size_t(cellOfX[std::size_t(x)]);
                luma[c] += 299 * qRed(p) + 587 * qGreen(p) + 114 * qBlue(p);
                ++count[c];
                if (options.recordColours) {
                    red[c] += qRed(p);
                    green[c] += qGreen(p);
                    blue[c] += qBlue(p);
                }
            }
        }
        for (int c = 0; c < across; ++c) {
            const std::size_t i = std::size_t(c);
            double lightness = double(luma[i]) / (255000.0 * double(count[i]));
            lightness = std::min(1.0, lightness * options.colorLevel);
            if (lightness < threshold)
                lightness = 1;
            lightness = std::clamp(0.5 + (lightness - 0.5) * contrast, 0.0, 1.0);
            art.text += palette.rows()[palette.rowFor(lightness)];
            if (options.recordColours) {
                const auto mean = [&](const std::vector<qint64>& sum) {
                    return int((sum[i] + count[i] / 2) / count[i]);
                };
                art.colours.insert(art.colours.size(), rowLength,
                                   ComposeColor(mean(red), mean(green), mean(blue)));
            }
        }
        art.text += padding;
        art.text += QLatin1String("\r\n");
        if (options.recordColours) {
            art.colours.insert(art.colours.size(), padding.size(), ColorValue(0xFFFFFF));
            art.colours.insert(art.colours.size(), 2, ColorValue(0));
        }
    }
    return art;
}

} // namespace tessivo
