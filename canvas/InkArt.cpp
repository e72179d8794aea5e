#include "canvas/InkArt.h"

#include "canvas/TableMeter.h"
#include "engine/GenerationRun.h"

#include <QFont>
#include <QFontInfo>
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

// Darkness a row puts on its cells, drawn left to right from its cell's left edge as a terminal or
// a text box in a fixed-pitch font draws it: 0 white paper, 1 solid black. The row is drawn with
// room all round, so that what a glyph draws beyond its cells (an underscore below the line, a
// wide glyph into its neighbour) counts too, as it does on the page, against the area of the
// cells alone.
double inkOf(const QString& row, const QFont& font, double cellsWidth, double lineHeight,
             double ascent)
{
    const int margin = int(std::ceil(lineHeight));
    QImage image(int(std::ceil(cellsWidth)) + 2 * margin, 3 * margin, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(margin, margin + ascent), row);
    }
    qint64 ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            ink += 255 - qGray(line[x]);
    }
    return double(ink) / (255.0 * cellsWidth * lineHeight);
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
    if (const QFontInfo drawn(font); !drawn.exactMatch() && QFont::substitutes(family).isEmpty())
        m_fallback = drawn.family();
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
    for (QString& row : m_rows) {
        row += QString(m_cellsPerRow - CellsOf(row), QLatin1Char(' '));
        m_inks.append(
            inkOf(row, font, m_cellsPerRow * m_cellWidth, m_lineHeight, metrics.ascent()));
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

int RunColumns(int canvasWidthTwips, int sampleX)
{
    if (canvasWidthTwips < GenerationRun::LineEndMargin || sampleX < 1)
        return 1;
    return (canvasWidthTwips - GenerationRun::LineEndMargin) / sampleX + 1;
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

namespace {

// Sums over one cell's pixels of a line: luma (weights of 1000), and the channels when colours
// are kept.
struct CellSums {
    qint64 luma = 0;
    qint64 red = 0, green = 0, blue = 0;
};

// A line of the art covers at most this many scan lines, so that a column's sums fit in 32 bits.
constexpr int MostLineHeight = 16000;

// The sums of a line's pixel columns, each column's pixels added one scan line at a time: a loop
// over the pixels of a scan line that the compiler can run several pixels at a time.
class ColumnSums {
public:
    ColumnSums(int width, bool colours)
        : m_luma(std::size_t(width))
        , m_channels(colours ? std::size_t(width) * 3 : 0)
    {
    }

    // Bytes per pixel: 4 for 32-bit pixels (blue, green, red in memory order), 3 for 24-bit
    // ones (red, green, blue).
    template <int Bytes> void addLine(const QImage& pixels, int top, int bottom)
    {
        constexpr int R = Bytes == 4 ? 2 : 0, B = Bytes == 4 ? 0 : 2;
        std::fill(m_luma.begin(), m_luma.end(), 0);
        std::fill(m_channels.begin(), m_channels.end(), 0);
        const std::size_t width = m_luma.size();
        quint32* luma = m_luma.data();
        for (int y = top; y < bottom; ++y) {
            const uchar* p = pixels.constScanLine(y);
            for (std::size_t x = 0; x < width; ++x)
                luma[x] +=
                    299u * p[x * Bytes + R] + 587u * p[x * Bytes + 1] + 114u * p[x * Bytes + B];
            if (!m_channels.empty()) {
                quint32* c = m_channels.data();
                for (std::size_t x = 0; x < width; ++x) {
                    c[3 * x] += p[x * Bytes + R];
                    c[3 * x + 1] += p[x * Bytes + 1];
                    c[3 * x + 2] += p[x * Bytes + B];
                }
            }
        }
    }

    const quint32* luma() const { return m_luma.data(); }

    CellSums cell(int from, int to) const
    {
        CellSums sums;
        for (int x = from; x < to; ++x)
            sums.luma += m_luma[std::size_t(x)];
        if (!m_channels.empty()) {
            for (int x = from; x < to; ++x) {
                sums.red += m_channels[3 * std::size_t(x)];
                sums.green += m_channels[3 * std::size_t(x) + 1];
                sums.blue += m_channels[3 * std::size_t(x) + 2];
            }
        }
        return sums;
    }

private:
    std::vector<quint32> m_luma;
    std::vector<quint32> m_channels; // red, green, blue of each column
};

} // namespace

InkArt DrawInkArt(const QImage& picture, const InkPalette& palette, const InkOptions& options)
{
    const int across = std::max(1, options.columns / palette.cellsPerRow());
    const int down = std::max(1, options.lines);
    const QString padding(std::max(0, options.columns - across * palette.cellsPerRow()),
                          QLatin1Char(' '));
    QImage pixels = picture;
    if (pixels.isNull()) {
        pixels = QImage(1, 1, QImage::Format_RGB32);
        pixels.fill(Qt::white);
    }
    // A small picture, of under two pixels a cell, is first enlarged smoothly to four pixels a
    // cell, so that the cells' edges fall between its pixels as they would on the picture itself
    // rather than on whole pixels of it. A larger one is read as it is, or, where that would
    // make too large a picture, enlarged only to a pixel a cell.
    constexpr qint64 MostEnlargedPixels = 1024 * 1024;
    if (pixels.width() < 2 * across || pixels.height() < 2 * down) {
        const int width = std::max(pixels.width(), 4 * across);
        const int height = std::max(pixels.height(), 4 * down);
        if (qint64(width) * height <= MostEnlargedPixels)
            pixels = pixels.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        else if (pixels.width() < across || pixels.height() < down)
            pixels =
                pixels.scaled(std::max(pixels.width(), across), std::max(pixels.height(), down));
    }
    // A line of the art taller than its sums can hold: the picture is first made shorter.
    if (pixels.height() / down >= MostLineHeight)
        pixels = pixels.scaled(pixels.width(), down * (MostLineHeight - 1), Qt::IgnoreAspectRatio,
                               Qt::SmoothTransformation);
    // Read as they are where the pixels are opaque 24 or 32 bits, else converted.
    if (pixels.format() != QImage::Format_RGB888 && pixels.format() != QImage::Format_RGB32)
        pixels = std::move(pixels).convertToFormat(QImage::Format_RGB32);
    const int width = pixels.width(), height = pixels.height();

    // Cell c of a line covers the pixels from edges[c] up to edges[c + 1]: every cell covers at
    // least one, and the last ends at the picture's edge.
    std::vector<int> edges(static_cast<std::size_t>(across) + 1);
    for (int c = 0; c <= across; ++c)
        edges[std::size_t(c)] = int(qint64(c) * width / across);

    // Each cell's mean lightness is read in MeanSteps steps, and a table made once gives each
    // step's row with ColorLevel, IgnoreValue and Contrast applied.
    constexpr int MeanSteps = 4096;
    const double threshold = (options.ignoreValue - 1) / 100.0;
    const double contrast = options.contrast / 750.0;
    std::vector<int> rowForStep(MeanSteps + 1);
    for (int step = 0; step <= MeanSteps; ++step) {
        double lightness = std::min(1.0, double(step) / MeanSteps * options.colorLevel);
        if (lightness < threshold)
            lightness = 1;
        lightness = std::clamp(0.5 + (lightness - 0.5) * contrast, 0.0, 1.0);
        rowForStep[std::size_t(step)] = palette.rowFor(lightness);
    }
    const QStringList& rows = palette.rows();
    // Rows of one width in cells may differ in characters (a full-width character against two
    // spaces): room for the longest, the text cut to what was written at the end.
    qsizetype longestRow = 0;
    for (const QString& row : rows)
        longestRow = std::max(longestRow, row.size());
    // Where every row is one character, as in most tables, each cell's character is looked up
    // straight from the step and written at its own place in the line.
    const bool oneCharacterRows = longestRow == 1 && !options.recordColours;
    std::vector<char16_t> characterForStep;
    if (oneCharacterRows) {
        characterForStep.resize(rowForStep.size());
        for (std::size_t step = 0; step < rowForStep.size(); ++step)
            characterForStep[step] = rows[rowForStep[step]].front().unicode();
    }
    // Steps per unit of luma sum, for a cell one pixel high: 1000 luma units a channel step.
    std::vector<double> stepsPerSum(static_cast<std::size_t>(across));
    for (std::size_t c = 0; c < stepsPerSum.size(); ++c)
        stepsPerSum[c] = MeanSteps / (255000.0 * (edges[c + 1] - edges[c]));

    const qsizetype lineLength = across * longestRow + padding.size() + 2;
    InkArt art;
    art.text.resize(down * lineLength);
    QChar* out = art.text.data();
    if (options.recordColours)
        art.colours.reserve(down * lineLength);
    ColumnSums columns(width, options.recordColours);
    const bool wide = pixels.format() == QImage::Format_RGB32;
    for (int line = 0; line < down; ++line) {
        const int top = int(qint64(line) * height / down);
        const int bottom = int(qint64(line + 1) * height / down);
        if (wide)
            columns.addLine<4>(pixels, top, bottom);
        else
            columns.addLine<3>(pixels, top, bottom);
        const double perScanLine = 1.0 / (bottom - top);
        const auto stepOf = [&](std::size_t c, qint64 luma) {
            return std::min<std::size_t>(
                MeanSteps, std::size_t(double(luma) * stepsPerSum[c] * perScanLine + 0.5));
        };

        if (oneCharacterRows) {
            const quint32* sums = columns.luma();
            for (std::size_t c = 0; c < stepsPerSum.size(); ++c) {
                qint64 luma = 0;
                for (int x = edges[c]; x < edges[c + 1]; ++x)
                    luma += sums[x];
                out[c] = QChar(characterForStep[stepOf(c, luma)]);
            }
            out += stepsPerSum.size();
        } else {
            for (std::size_t c = 0; c + 1 < edges.size(); ++c) {
                const CellSums sums = columns.cell(edges[c], edges[c + 1]);
                const QString& row = rows[rowForStep[stepOf(c, sums.luma)]];
                out = std::copy(row.cbegin(), row.cend(), out);
                if (options.recordColours) {
                    const qint64 count = qint64(edges[c + 1] - edges[c]) * (bottom - top);
                    const auto mean = [count](qint64 sum) {
                        return int((sum + count / 2) / count);
                    };
                    art.colours.insert(
                        art.colours.size(), row.size(),
                        ComposeColor(mean(sums.red), mean(sums.green), mean(sums.blue)));
                }
            }
        }
        out = std::copy(padding.cbegin(), padding.cend(), out);
        *out++ = QLatin1Char('\r');
        *out++ = QLatin1Char('\n');
        if (options.recordColours) {
            art.colours.insert(art.colours.size(), padding.size(), ColorValue(0xFFFFFF));
            art.colours.insert(art.colours.size(), 2, ColorValue(0));
        }
    }
    art.text.truncate(out - art.text.constData());
    return art;
}

} // namespace tessivo
