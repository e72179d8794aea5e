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

// The ink of a row: over its cells, and over each part of them in a grid of partsAcross x
// partsDown, left to right and then top to bottom.
struct RowInk {
    double whole = 0;
    std::vector<double> parts;
};

// Darkness a row puts on its cells, drawn left to right from its cell's left edge as a terminal or
// a text box in a fixed-pitch font draws it: 0 white paper, 1 solid black. The row is drawn with
// room all round, so that what a glyph draws beyond its cells (an underscore below the line, a
// wide glyph into its neighbour) counts too, as it does on the page, against the area of the
// cells alone; in the parts, such ink counts to the part nearest it.
RowInk inkOf(const QString& row, const QFont& font, double cellsWidth, double lineHeight,
             double ascent, int partsAcross, int partsDown)
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
    RowInk ink;
    ink.parts.assign(std::size_t(partsAcross) * partsDown, 0);
    qint64 whole = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const int partY =
            std::clamp(int((y - margin + 0.5) * partsDown / lineHeight), 0, partsDown - 1);
        double* parts = ink.parts.data() + std::size_t(partY) * partsAcross;
        for (int x = 0; x < image.width(); ++x) {
            const int dark = 255 - qGray(line[x]);
            whole += dark;
            if (dark != 0 && partsAcross > 0)
                parts[std::clamp(int((x - margin + 0.5) * partsAcross / cellsWidth), 0,
                                 partsAcross - 1)] += dark;
        }
    }
    const double area = 255.0 * cellsWidth * lineHeight;
    ink.whole = double(whole) / area;
    for (double& part : ink.parts)
        part = part * double(ink.parts.size()) / area;
    return ink;
}

} // namespace

InkPalette::InkPalette(const QStringList& rows, const QString& family, double pointSize,
                       bool shapes)
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
    const int partsAcross = shapes ? ShapeColumnsPerCell * m_cellsPerRow : 0;
    for (QString& row : m_rows) {
        row += QString(m_cellsPerRow - CellsOf(row), QLatin1Char(' '));
        RowInk ink = inkOf(row, font, m_cellsPerRow * m_cellWidth, m_lineHeight, metrics.ascent(),
                           partsAcross, ShapeRowsPerCell);
        m_inks.append(ink.whole);
        m_shapes.insert(m_shapes.end(), ink.parts.cbegin(), ink.parts.cend());
    }

    const auto [lightest, darkest] = std::minmax_element(m_inks.cbegin(), m_inks.cend());
    const double low = *lightest, range = *darkest - *lightest;
    for (double& ink : m_inks)
        ink = range > 0 ? (ink - low) / range : 0;
    for (float& part : m_shapes)
        part = range > 0 ? float((part - low) / range) : 0;

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

// Chooses each cell's row by how its ink lies in the cell's parts. A row's cost is the squared
// difference of its ink and the picture's darkness, part by part, plus that of the whole cell
// weighted WholeCellWeight times as heavily as all the parts together, so that the tone stays
// near the ink mode's and the parts decide among rows of near ink. Rows are tried outward from the
// cell's darkness in order of ink; once the whole cell's term alone exceeds the best cost, no row
// further out can do better.
class ShapeChooser {
public:
    // Measured on the art-quality corpus: 1 and 2 gave the same likeness, 2 the smaller tone
    // error; 0.5 a lower likeness.
    static constexpr double WholeCellWeight = 2;

    ShapeChooser(const InkPalette& palette, const std::vector<double>& toneForStep, int steps)
        : m_palette(palette)
        , m_toneForStep(toneForStep)
        , m_steps(steps)
        , m_parts(std::size_t(palette.shapeParts()))
        , m_order(std::size_t(palette.inks().size()))
    {
        std::iota(m_order.begin(), m_order.end(), 0);
        std::stable_sort(m_order.begin(), m_order.end(),
                         [&](int a, int b) { return palette.inks()[a] < palette.inks()[b]; });
        for (const int row : m_order)
            m_sortedInks.push_back(palette.inks()[row]);
    }

    // Darkness, from 0 white to 1 black, of count pixels of this luma sum, after the settings.
    double darknessOf(qint64 luma, qint64 count) const
    {
        const double mean = double(luma) / (255000.0 * double(count));
        return 1 - m_toneForStep[std::min<std::size_t>(std::size_t(m_steps),
                                                       std::size_t(mean * m_steps + 0.5))];
    }

    int rowFor(const std::vector<double>& darkness, double mean) const
    {
        const double wholeWeight = WholeCellWeight * double(m_parts);
        const float* shapes = m_palette.shapes().data();
        const auto costOf = [&](std::size_t at) {
            const int row = m_order[at];
            const double off = m_sortedInks[at] - mean;
            double cost = wholeWeight * off * off;
            const float* parts = shapes + std::size_t(row) * m_parts;
            for (std::size_t k = 0; k < m_parts; ++k) {
                const double d = double(parts[k]) - darkness[k];
                cost += d * d;
            }
            return cost;
        };
        const std::size_t start =
            std::size_t(std::lower_bound(m_sortedInks.cbegin(), m_sortedInks.cend(), mean) -
                        m_sortedInks.cbegin());
        const std::size_t first = std::min(start, m_sortedInks.size() - 1);
        std::size_t best = first;
        double bestCost = costOf(first);
        const auto bound = [&](std::size_t at) {
            const double off = m_sortedInks[at] - mean;
            return wholeWeight * off * off;
        };
        for (std::size_t up = first + 1; up < m_sortedInks.size() && bound(up) < bestCost; ++up)
            if (const double cost = costOf(up); cost < bestCost)
                bestCost = cost, best = up;
        for (std::size_t down = first; down-- > 0 && bound(down) < bestCost;)
            if (const double cost = costOf(down); cost < bestCost)
                bestCost = cost, best = down;
        return m_order[best];
    }

private:
    const InkPalette& m_palette;
    const std::vector<double>& m_toneForStep;
    int m_steps;
    std::size_t m_parts;
    std::vector<int> m_order;
    std::vector<double> m_sortedInks;
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
    // The shape mode wants a pixel for every part of a cell.
    constexpr qint64 MostEnlargedPixels = 1024 * 1024;
    const bool shape = options.shape && !palette.shapes().empty();
    const int partsAcross = shape ? InkPalette::ShapeColumnsPerCell * palette.cellsPerRow() : 1;
    const int partsDown = shape ? InkPalette::ShapeRowsPerCell : 1;
    if (pixels.width() < 2 * partsAcross * across || pixels.height() < 2 * partsDown * down) {
        const int width = std::max(pixels.width(), 4 * partsAcross * across);
        const int height = std::max(pixels.height(), 4 * partsDown * down);
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
    std::vector<double> toneForStep(MeanSteps + 1);
    std::vector<int> rowForStep(MeanSteps + 1);
    for (int step = 0; step <= MeanSteps; ++step) {
        double lightness = std::min(1.0, double(step) / MeanSteps * options.colorLevel);
        if (lightness < threshold)
            lightness = 1;
        lightness = std::clamp(0.5 + (lightness - 0.5) * contrast, 0.0, 1.0);
        toneForStep[std::size_t(step)] = lightness;
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
    // Steps per unit of a cell's luma sum (1000 luma units a channel step), in fixed point of
    // 40 fraction bits, for each cell of a line and both heights a line may have. A sum times
    // its scale is about the step times 2^40, well within 64 bits.
    constexpr int FractionBits = 40;
    const int shortLine = std::max(1, height / down);
    std::array<std::vector<quint64>, 2> stepsPerSum;
    for (int taller = 0; taller < 2; ++taller) {
        std::vector<quint64>& scales = stepsPerSum[std::size_t(taller)];
        scales.resize(std::size_t(across));
        for (std::size_t c = 0; c < scales.size(); ++c)
            scales[c] = quint64(std::llround(std::ldexp(
                MeanSteps / (255000.0 * (edges[c + 1] - edges[c]) * (shortLine + taller)),
                FractionBits)));
    }

    std::vector<qint64> runningLuma(oneCharacterRows ? std::size_t(width) + 1 : 0);

    const qsizetype lineLength = across * longestRow + padding.size() + 2;
    InkArt art;
    art.text.resize(down * lineLength);
    QChar* out = art.text.data();
    if (options.recordColours)
        art.colours.reserve(down * lineLength);
    ColumnSums columns(width, options.recordColours);
    const bool wide = pixels.format() == QImage::Format_RGB32;
    // The mean colour of cell c of a line, for each character its row writes.
    const auto recordColour = [&](std::size_t c, int top, int bottom, qsizetype characters,
                                  const CellSums& sums) {
        const qint64 count = qint64(edges[c + 1] - edges[c]) * (bottom - top);
        const auto mean = [count](qint64 sum) { return int((sum + count / 2) / count); };
        art.colours.insert(art.colours.size(), characters,
                           ComposeColor(mean(sums.red), mean(sums.green), mean(sums.blue)));
    };
    // The padding and line end after a line's cells.
    const auto endLine = [&] {
        out = std::copy(padding.cbegin(), padding.cend(), out);
        *out++ = QLatin1Char('\r');
        *out++ = QLatin1Char('\n');
        if (options.recordColours) {
            art.colours.insert(art.colours.size(), padding.size(), ColorValue(0xFFFFFF));
            art.colours.insert(art.colours.size(), 2, ColorValue(0));
        }
    };
    if (shape) {
        ShapeChooser chooser(palette, toneForStep, MeanSteps);
        // Parts of cells, across the whole line and down the whole picture.
        std::vector<int> partEdges(std::size_t(across) * partsAcross + 1);
        for (std::size_t i = 0; i < partEdges.size(); ++i)
            partEdges[i] = int(qint64(i) * width / (qint64(across) * partsAcross));
        std::vector<ColumnSums> partLines;
        for (int j = 0; j < partsDown; ++j)
            partLines.emplace_back(width, false);
        std::vector<double> darkness(std::size_t(partsAcross) * partsDown);
        for (int line = 0; line < down; ++line) {
            const int top = int(qint64(line) * height / down);
            const int bottom = int(qint64(line + 1) * height / down);
            std::vector<int> partTops(std::size_t(partsDown) + 1);
            for (int j = 0; j <= partsDown; ++j)
                partTops[std::size_t(j)] =
                    int((qint64(line) * partsDown + j) * height / (qint64(down) * partsDown));
            for (int j = 0; j < partsDown; ++j) {
                if (wide)
                    partLines[std::size_t(j)].addLine<4>(pixels, partTops[std::size_t(j)],
                                                         partTops[std::size_t(j) + 1]);
                else
                    partLines[std::size_t(j)].addLine<3>(pixels, partTops[std::size_t(j)],
                                                         partTops[std::size_t(j) + 1]);
            }
            if (options.recordColours) {
                if (wide)
                    columns.addLine<4>(pixels, top, bottom);
                else
                    columns.addLine<3>(pixels, top, bottom);
            }
            for (std::size_t c = 0; c + 1 < edges.size(); ++c) {
                // The cell's mean, and each part's, as a darkness after the settings.
                qint64 cellLuma = 0, cellCount = 0;
                for (int j = 0; j < partsDown; ++j) {
                    const int rows = partTops[std::size_t(j) + 1] - partTops[std::size_t(j)];
                    for (int i = 0; i < partsAcross; ++i) {
                        const std::size_t at = c * std::size_t(partsAcross) + std::size_t(i);
                        const qint64 luma =
                            partLines[std::size_t(j)].cell(partEdges[at], partEdges[at + 1]).luma;
                        const qint64 count = qint64(partEdges[at + 1] - partEdges[at]) * rows;
                        cellLuma += luma;
                        cellCount += count;
                        darkness[std::size_t(j) * partsAcross + std::size_t(i)] =
                            count > 0 ? chooser.darknessOf(luma, count) : -1;
                    }
                }
                const double mean = chooser.darknessOf(cellLuma, std::max<qint64>(1, cellCount));
                // A part without pixels (a picture too small to enlarge) takes the cell's mean.
                for (double& part : darkness)
                    if (part < 0)
                        part = mean;
                const QString& row = rows[chooser.rowFor(darkness, mean)];
                out = std::copy(row.cbegin(), row.cend(), out);
                if (options.recordColours)
                    recordColour(c, top, bottom, row.size(), columns.cell(edges[c], edges[c + 1]));
            }
            endLine();
        }
        art.text.truncate(out - art.text.constData());
        return art;
    }
    for (int line = 0; line < down; ++line) {
        const int top = int(qint64(line) * height / down);
        const int bottom = int(qint64(line + 1) * height / down);
        if (wide)
            columns.addLine<4>(pixels, top, bottom);
        else
            columns.addLine<3>(pixels, top, bottom);
        const std::vector<quint64>& scales = stepsPerSum[bottom - top > shortLine ? 1 : 0];
        const auto stepOf = [&](std::size_t c, qint64 luma) {
            return std::min<std::size_t>(
                MeanSteps,
                (quint64(luma) * scales[c] + (quint64(1) << (FractionBits - 1))) >> FractionBits);
        };

        if (oneCharacterRows) {
            // Cells of one or two columns alternate unpredictably; running totals give each
            // cell's sum without a loop of its own.
            const quint32* sums = columns.luma();
            for (int x = 0; x < width; ++x)
                runningLuma[std::size_t(x) + 1] = runningLuma[std::size_t(x)] + sums[x];
            for (std::size_t c = 0; c < scales.size(); ++c) {
                const qint64 luma =
                    runningLuma[std::size_t(edges[c + 1])] - runningLuma[std::size_t(edges[c])];
                out[c] = QChar(characterForStep[stepOf(c, luma)]);
            }
            out += scales.size();
        } else {
            for (std::size_t c = 0; c + 1 < edges.size(); ++c) {
                const CellSums sums = columns.cell(edges[c], edges[c + 1]);
                const QString& row = rows[rowForStep[stepOf(c, sums.luma)]];
                out = std::copy(row.cbegin(), row.cend(), out);
                if (options.recordColours)
                    recordColour(c, top, bottom, row.size(), sums);
            }
        }
        endLine();
    }
    art.text.truncate(out - art.text.constData());
    return art;
}

} // namespace tessivo
