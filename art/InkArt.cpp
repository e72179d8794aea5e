#include "art/InkArt.h"

#include "art/ColourFit.h"
#include "engine/GenerationRun.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numeric>
#include <thread>
#include <type_traits>
#include <vector>

namespace tessivo {

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

// A line of the art covers at most this many scan lines, so that a column's sums fit in 32 bits.
constexpr int MostLineHeight = 16000;

// In the shape mode, how far a row's ink may miss a cell's darkness (1 the darkest row's ink)
// and the miss be dropped rather than carried to the next cells: the reach within which rows
// count as one tone. And how near in darkness cells count as one flat area, whose cells keep one
// row while it is within that reach.
constexpr float ShapeTolerance = float(InkPalette::EvenReach);
constexpr float Flatness = 0.01f;

// The picture as the cells read it: a small picture, of under two pixels a part of a cell, is
// first enlarged smoothly to four pixels a part, so that the parts' edges fall between its pixels
// as they would on the picture itself rather than on whole pixels of it. A larger one is read as
// it is, or, where that would make too large a picture, enlarged only to a pixel a cell. Opaque
// 24 or 32 bits are read as they are, anything else converted.
QImage readablePixels(const QImage& picture, int partsAcross, int partsDown)
{
    QImage pixels = picture;
    if (pixels.isNull()) {
        pixels = QImage(1, 1, QImage::Format_RGB32);
        pixels.fill(Qt::white);
    }
    constexpr qint64 MostEnlargedPixels = 1024 * 1024;
    if (pixels.width() < 2 * partsAcross || pixels.height() < 2 * partsDown) {
        const int width = std::max(pixels.width(), 4 * partsAcross);
        const int height = std::max(pixels.height(), 4 * partsDown);
        if (qint64(width) * height <= MostEnlargedPixels)
            pixels = pixels.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        else if (pixels.width() < partsAcross || pixels.height() < partsDown)
            pixels = pixels.scaled(std::max(pixels.width(), partsAcross),
                                   std::max(pixels.height(), partsDown));
    }
    return pixels;
}

// Where n spans cut length pixels: span i covers the pixels from edges[i] up to edges[i + 1].
std::vector<int> edgesOf(int length, qint64 spans)
{
    std::vector<int> edges(std::size_t(spans) + 1);
    for (std::size_t i = 0; i < edges.size(); ++i)
        edges[i] = int(qint64(i) * length / spans);
    return edges;
}

// A mean lightness, read in steps, as a darkness after ColorLevel, IgnoreValue and Contrast.
class ToneCurve {
public:
    explicit ToneCurve(const InkOptions& options)
        : m_darkness(Steps + 1)
    {
        const double threshold = (options.ignoreValue - 1) / 100.0;
        const double contrast = options.contrast / 750.0;
        for (int step = 0; step <= Steps; ++step) {
            const double read = double(step) / Steps;
            double lightness =
                std::min(1.0, (options.negative ? 1 - read : read) * options.colorLevel);
            if (lightness < threshold)
                lightness = 1;
            lightness = std::clamp(0.5 + (lightness - 0.5) * contrast, 0.0, 1.0);
            m_darkness[std::size_t(step)] = float(1 - lightness);
        }
    }

    // The darkness, 0 white to 1 black, of count pixels whose luma (weights of 1000 a channel
    // step) adds up to luma.
    float darknessOf(quint64 luma, quint64 count) const
    {
        const double mean = double(luma) / (255000.0 * double(count));
        return m_darkness[std::min<std::size_t>(Steps, std::size_t(mean * Steps + 0.5))];
    }

private:
    static constexpr int Steps = 4096;
    std::vector<float> m_darkness;
};

// The sums of the pixel columns of a band of scan lines, as running totals along the band: luma
// (weights of 1000), and the channels when colours are kept.
class BandSums {
public:
    BandSums(int width, bool colours)
        : m_columns(std::size_t(width))
        , m_luma(std::size_t(width) + 1)
        , m_channelColumns(colours ? std::size_t(width) * 3 : 0)
        , m_channels(colours ? (std::size_t(width) + 1) * 3 : 0)
    {
    }

    void add(const QImage& pixels, int top, int bottom)
    {
        if (pixels.format() == QImage::Format_RGB32)
            addLines<4>(pixels, top, bottom);
        else
            addLines<3>(pixels, top, bottom);
        for (std::size_t x = 0; x < m_columns.size(); ++x)
            m_luma[x + 1] = m_luma[x] + m_columns[x];
        for (std::size_t x = 0; 3 * x < m_channelColumns.size(); ++x) {
            for (std::size_t k = 0; k < 3; ++k)
                m_channels[3 * (x + 1) + k] = m_channels[3 * x + k] + m_channelColumns[3 * x + k];
        }
    }

    quint64 luma(int from, int to) const
    {
        return m_luma[std::size_t(to)] - m_luma[std::size_t(from)];
    }
    quint64 channel(int k, int from, int to) const
    {
        return m_channels[3 * std::size_t(to) + std::size_t(k)] -
               m_channels[3 * std::size_t(from) + std::size_t(k)];
    }

private:
    // Bytes per pixel: 4 for 32-bit pixels (blue, green, red in memory order), 3 for 24-bit
    // ones (red, green, blue). A loop over a scan line's pixels that the compiler can run several
    // pixels at a time.
    template <int Bytes> void addLines(const QImage& pixels, int top, int bottom)
    {
        constexpr int R = Bytes == 4 ? 2 : 0, B = Bytes == 4 ? 0 : 2;
        std::fill(m_columns.begin(), m_columns.end(), 0);
        std::fill(m_channelColumns.begin(), m_channelColumns.end(), 0);
        const std::size_t width = m_columns.size();
        quint32* luma = m_columns.data();
        for (int y = top; y < bottom; ++y) {
            const uchar* p = pixels.constScanLine(y);
            for (std::size_t x = 0; x < width; ++x)
                luma[x] +=
                    299u * p[x * Bytes + R] + 587u * p[x * Bytes + 1] + 114u * p[x * Bytes + B];
            if (!m_channelColumns.empty()) {
                quint32* c = m_channelColumns.data();
                for (std::size_t x = 0; x < width; ++x) {
                    c[3 * x] += p[x * Bytes + R];
                    c[3 * x + 1] += p[x * Bytes + 1];
                    c[3 * x + 2] += p[x * Bytes + B];
                }
            }
        }
    }

    std::vector<quint32> m_columns;
    std::vector<quint64> m_luma;
    std::vector<quint32> m_channelColumns;
    std::vector<quint64> m_channels;
};

// One line of cells at a time: each cell's darkness, over the whole cell and over each of its
// parts, and its mean colour when colours are kept.
class CellReader {
public:
    CellReader(const QImage& pixels, int across, int down, int partsAcross, int partsDown,
               const ToneCurve& tones, bool colours)
        : m_pixels(pixels)
        , m_across(across)
        , m_partsAcross(partsAcross)
        , m_partsDown(partsDown)
        , m_tones(tones)
        , m_columnEdges(edgesOf(pixels.width(), qint64(across) * partsAcross))
        , m_rowEdges(edgesOf(pixels.height(), qint64(down) * partsDown))
        , m_means(std::size_t(across))
        , m_parts(std::size_t(across) * partsAcross * partsDown)
        , m_colours(colours ? std::size_t(across) : 0)
    {
        for (int j = 0; j < partsDown; ++j)
            m_bands.emplace_back(pixels.width(), colours);
    }

    int partsPerCell() const { return m_partsAcross * m_partsDown; }

    void read(int line)
    {
        const std::size_t firstBand = std::size_t(line) * std::size_t(m_partsDown);
        for (std::size_t j = 0; j < m_bands.size(); ++j)
            m_bands[j].add(m_pixels, m_rowEdges[firstBand + j], m_rowEdges[firstBand + j + 1]);
        const std::size_t parts = std::size_t(partsPerCell());
        for (std::size_t c = 0; c < std::size_t(m_across); ++c) {
            quint64 cellLuma = 0, cellCount = 0;
            float* part = m_parts.data() + c * parts;
            bool empty = false;
            for (std::size_t j = 0; j < m_bands.size(); ++j) {
                const quint64 rows =
                    quint64(m_rowEdges[firstBand + j + 1] - m_rowEdges[firstBand + j]);
                for (std::size_t i = 0; i < std::size_t(m_partsAcross); ++i) {
                    const std::size_t at = c * std::size_t(m_partsAcross) + i;
                    const int from = m_columnEdges[at], to = m_columnEdges[at + 1];
                    const quint64 luma = m_bands[j].luma(from, to);
                    const quint64 count = quint64(to - from) * rows;
                    cellLuma += luma;
                    cellCount += count;
                    *part = count > 0 ? m_tones.darknessOf(luma, count) : -1;
                    empty = empty || count == 0;
                    ++part;
                }
            }
            const float mean = m_tones.darknessOf(cellLuma, std::max<quint64>(1, cellCount));
            m_means[c] = mean;
            // A part without pixels (a picture too small to enlarge) takes the cell's mean.
            if (empty)
                std::replace(m_parts.begin() + std::ptrdiff_t(c * parts),
                             m_parts.begin() + std::ptrdiff_t((c + 1) * parts), -1.0f, mean);
            if (!m_colours.empty())
                m_colours[c] = colourOf(c, cellCount);
        }
    }

    float mean(std::size_t cell) const { return m_means[cell]; }
    const float* parts(std::size_t cell) const
    {
        return m_parts.data() + cell * std::size_t(partsPerCell());
    }
    ColorValue colour(std::size_t cell) const { return m_colours[cell]; }

private:
    ColorValue colourOf(std::size_t c, quint64 count) const
    {
        const int from = m_columnEdges[c * std::size_t(m_partsAcross)];
        const int to = m_columnEdges[(c + 1) * std::size_t(m_partsAcross)];
        const quint64 pixels = std::max<quint64>(1, count);
        int mean[3];
        for (int k = 0; k < 3; ++k) {
            quint64 sum = 0;
            for (const BandSums& band : m_bands)
                sum += band.channel(k, from, to);
            mean[k] = int((sum + pixels / 2) / pixels);
        }
        return ComposeColor(mean[0], mean[1], mean[2]);
    }

    const QImage& m_pixels;
    int m_across;
    int m_partsAcross;
    int m_partsDown;
    const ToneCurve& m_tones;
    std::vector<int> m_columnEdges; // of the parts, across the whole line
    std::vector<int> m_rowEdges;    // of the parts, down the whole picture
    std::vector<BandSums> m_bands;  // one for each row of parts
    std::vector<float> m_means;
    std::vector<float> m_parts;
    std::vector<ColorValue> m_colours;
};

// Chooses each cell's row. In the ink mode, the row whose ink is nearest the cell's darkness, or
// within the palette's reach of it and more even. In the shape mode, the row of least cost: the
// squared difference of its ink and the cell's darkness, part by part, plus that of the whole
// cell weighted WholeCellWeight times as heavily as all the parts together, so that the tone
// stays near the ink mode's and the parts decide among rows of near ink. Rows are
// tried outward from the cell's ink, and the search stops once the whole-cell term alone is worse
// than the best cost found.
class RowChooser {
public:
    // Measured on the art-quality corpus (docs/quality.md): 1 and 2 give about the same likeness,
    // 2 the smaller tone error; 0.5 a lower likeness.
    static constexpr double WholeCellWeight = 2;

    RowChooser(const InkPalette& palette, bool shape)
        : m_palette(palette)
        , m_shape(shape)
        , m_parts(shape ? std::size_t(palette.shapeParts()) : 1)
        , m_order(std::size_t(palette.inks().size()))
    {
        std::iota(m_order.begin(), m_order.end(), 0);
        std::stable_sort(m_order.begin(), m_order.end(),
                         [&](int a, int b) { return palette.inks()[a] < palette.inks()[b]; });
        for (const int row : m_order)
            m_sortedInks.push_back(palette.inks()[row]);
    }

    float inkOf(int row) const { return float(m_palette.inks()[row]); }

    int rowFor(float darkness, const float* parts) const
    {
        return m_shape ? shapeRowFor(darkness, parts) : m_palette.rowFor(1 - darkness);
    }

private:
    int shapeRowFor(double mean, const float* darkness) const
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

    const InkPalette& m_palette;
    bool m_shape;
    std::size_t m_parts;
    std::vector<int> m_order;
    std::vector<double> m_sortedInks;
};

// What the rows of a line miss of their cells' darkness, carried to the cells not yet chosen in
// Floyd and Steinberg's shares: 7/16 to the next cell, 3/16, 5/16 and 1/16 to the cells below.
// Lines are read in turn from the left and from the right, so that the misses do not all drift
// one way.
class Diffusion {
public:
    // Misses within tolerance are dropped.
    Diffusion(int across, bool on, float tolerance)
        : m_on(on)
        , m_tolerance(tolerance)
        , m_here(std::size_t(across) + 2, 0)
        , m_below(std::size_t(across) + 2, 0)
    {
    }

    bool fromLeft() const { return m_fromLeft; }
    float carried(std::size_t cell) const { return m_here[cell + 1]; }

    void spread(std::size_t cell, float miss)
    {
        if (!m_on || std::abs(miss) <= m_tolerance)
            return;
        const std::size_t at = cell + 1;
        const std::size_t ahead = m_fromLeft ? at + 1 : at - 1;
        const std::size_t behind = m_fromLeft ? at - 1 : at + 1;
        m_here[ahead] += miss * (7.0f / 16);
        m_below[behind] += miss * (3.0f / 16);
        m_below[at] += miss * (5.0f / 16);
        m_below[ahead] += miss * (1.0f / 16);
    }

    void nextLine()
    {
        std::swap(m_here, m_below);
        std::fill(m_below.begin(), m_below.end(), 0.0f);
        m_fromLeft = !m_fromLeft;
    }

private:
    bool m_on;
    float m_tolerance;
    bool m_fromLeft = true;
    std::vector<float> m_here;  // the line being chosen, a cell of room at either end
    std::vector<float> m_below; // the next line
};

// Whether a cell's parts are all within Flatness of its darkness.
bool isFlat(const float* parts, int count, float mean)
{
    return std::all_of(parts, parts + count,
                       [mean](float part) { return std::abs(part - mean) <= Flatness; });
}

// The art's text, and each character's colour when kept, a line of chosen rows at a time.
class ArtWriter {
public:
    ArtWriter(const InkPalette& palette, int across, int columns, int down, bool colours)
        : m_rows(palette.rows())
        , m_padding(std::max(0, columns - across * palette.cellsPerRow()), QLatin1Char(' '))
        , m_colours(colours)
    {
        // Rows of one width in cells may differ in characters (a full-width character against
        // two spaces): room for the longest, the text cut to what was written at the end.
        qsizetype longestRow = 0;
        for (const QString& row : m_rows)
            longestRow = std::max(longestRow, row.size());
        const qsizetype lineLength = across * longestRow + m_padding.size() + 2;
        m_art.text.resize(down * lineLength);
        m_out = m_art.text.data();
        if (colours)
            m_art.colours.reserve(down * lineLength);
    }

    // A line of rows, each cell's characters in the colour inkOf(cell) gives and, when backOf
    // is given, on the colour it gives.
    template <typename Ink, typename Back = std::nullptr_t>
    void writeLine(const std::vector<int>& rows, Ink inkOf, Back backOf = nullptr)
    {
        constexpr bool backs = !std::is_same_v<Back, std::nullptr_t>;
        for (std::size_t c = 0; c < rows.size(); ++c) {
            const QString& row = m_rows[rows[c]];
            m_out = std::copy(row.cbegin(), row.cend(), m_out);
            if (m_colours)
                m_art.colours.insert(m_art.colours.size(), row.size(), inkOf(c));
            if constexpr (backs)
                m_art.backgrounds.insert(m_art.backgrounds.size(), row.size(), backOf(c));
        }
        m_out = std::copy(m_padding.cbegin(), m_padding.cend(), m_out);
        *m_out++ = QLatin1Char('\r');
        *m_out++ = QLatin1Char('\n');
        if (m_colours) {
            m_art.colours.insert(m_art.colours.size(), m_padding.size(), ColorValue(0xFFFFFF));
            m_art.colours.insert(m_art.colours.size(), 2, ColorValue(0));
        }
        if constexpr (backs) {
            m_art.backgrounds.insert(m_art.backgrounds.size(), m_padding.size(),
                                     ColorValue(0xFFFFFF));
            m_art.backgrounds.insert(m_art.backgrounds.size(), 2, ColorValue(0));
        }
    }

    InkArt finish()
    {
        m_art.text.truncate(m_out - m_art.text.constData());
        return std::move(m_art);
    }

private:
    const QStringList& m_rows;
    QString m_padding;
    bool m_colours;
    InkArt m_art;
    QChar* m_out = nullptr;
};

// Each cell's parts as their mean colour in linear light, a line of cells at a time.
class LinearParts {
public:
    LinearParts(const QImage& pixels, int across, int down, int partsAcross, int partsDown)
        : m_pixels(pixels)
        , m_across(across)
        , m_partsAcross(partsAcross)
        , m_partsDown(partsDown)
        , m_columnEdges(edgesOf(pixels.width(), qint64(across) * partsAcross))
        , m_rowEdges(edgesOf(pixels.height(), qint64(down) * partsDown))
        , m_columns(std::size_t(pixels.width()) * 3)
        , m_running((std::size_t(pixels.width()) + 1) * 3)
        , m_parts(std::size_t(across) * std::size_t(partsAcross) * std::size_t(partsDown))
    {
        for (int i = 0; i < 256; ++i)
            m_linear[std::size_t(i)] = quint16(std::lround(LinearOf(i) * 65535));
    }

    void read(int line)
    {
        const std::size_t width = std::size_t(m_pixels.width());
        const std::size_t perCell = std::size_t(m_partsAcross) * std::size_t(m_partsDown);
        for (int j = 0; j < m_partsDown; ++j) {
            const std::size_t band = std::size_t(line) * std::size_t(m_partsDown) + std::size_t(j);
            const int top = m_rowEdges[band], bottom = m_rowEdges[band + 1];
            if (m_pixels.format() == QImage::Format_RGB32)
                addLines<4>(top, bottom);
            else
                addLines<3>(top, bottom);
            for (std::size_t x = 0; x < width; ++x)
                for (std::size_t k = 0; k < 3; ++k)
                    m_running[3 * (x + 1) + k] = m_running[3 * x + k] + m_columns[3 * x + k];
            const double rows = std::max(1, bottom - top);
            for (std::size_t c = 0; c < std::size_t(m_across); ++c) {
                for (std::size_t i = 0; i < std::size_t(m_partsAcross); ++i) {
                    const std::size_t at = c * std::size_t(m_partsAcross) + i;
                    const int from = m_columnEdges[at], to = m_columnEdges[at + 1];
                    const double count = 65535.0 * rows * std::max(1, to - from);
                    const auto mean = [&](std::size_t k) {
                        return float(double(m_running[3 * std::size_t(to) + k] -
                                            m_running[3 * std::size_t(from) + k]) /
                                     count);
                    };
                    m_parts[c * perCell + std::size_t(j) * std::size_t(m_partsAcross) + i] = {
                        mean(0), mean(1), mean(2)};
                }
            }
        }
    }

    const LinearRgb* parts(std::size_t cell) const
    {
        return m_parts.data() + cell * std::size_t(m_partsAcross) * std::size_t(m_partsDown);
    }

private:
    template <int Bytes> void addLines(int top, int bottom)
    {
        constexpr int R = Bytes == 4 ? 2 : 0, B = Bytes == 4 ? 0 : 2;
        std::fill(m_columns.begin(), m_columns.end(), 0);
        const std::size_t width = std::size_t(m_pixels.width());
        for (int y = top; y < bottom; ++y) {
            const uchar* p = m_pixels.constScanLine(y);
            for (std::size_t x = 0; x < width; ++x) {
                m_columns[3 * x] += m_linear[p[x * Bytes + R]];
                m_columns[3 * x + 1] += m_linear[p[x * Bytes + 1]];
                m_columns[3 * x + 2] += m_linear[p[x * Bytes + B]];
            }
        }
    }

    const QImage& m_pixels;
    int m_across;
    int m_partsAcross;
    int m_partsDown;
    std::vector<int> m_columnEdges;
    std::vector<int> m_rowEdges;
    std::array<quint16, 256> m_linear{};
    std::vector<quint32> m_columns;
    std::vector<quint64> m_running;
    std::vector<LinearRgb> m_parts;
};

// The picture ready for reading: enlarged where small, made shorter where a line would be taller
// than its sums hold, in 24 or 32 bits.
QImage readyPixels(const QImage& picture, int partsAcross, int partsDown, int down)
{
    QImage pixels = readablePixels(picture, partsAcross, partsDown);
    if (pixels.height() / down >= MostLineHeight)
        pixels = pixels.scaled(pixels.width(), down * (MostLineHeight - 1), Qt::IgnoreAspectRatio,
                               Qt::SmoothTransformation);
    if (pixels.format() != QImage::Format_RGB888 && pixels.format() != QImage::Format_RGB32)
        pixels = std::move(pixels).convertToFormat(QImage::Format_RGB32);
    return pixels;
}

// Every cell's row and two colours chosen together (ColourFitter).
InkArt drawFitted(const QImage& picture, const InkPalette& palette, const InkOptions& options,
                  int across, int down)
{
    const int partsAcross = InkPalette::FitColumnsPerCell * palette.cellsPerRow();
    const int partsDown = InkPalette::FitRowsPerCell;
    const QImage pixels = readyPixels(picture, across * partsAcross, down * partsDown, down);
    const ColourFitter fitter(palette.coverage(), partsAcross, partsDown, *options.fit);
    const std::size_t cells = std::size_t(across) * std::size_t(down);
    std::vector<ColourFitter::Fit> fits(cells);
    // Lines are fitted on every processor, each taking the next line not yet taken; the text is
    // then written in order.
    std::atomic<int> next{0};
    const auto work = [&] {
        LinearParts reader(pixels, across, down, partsAcross, partsDown);
        for (int line = next++; line < down; line = next++) {
            reader.read(line);
            for (std::size_t c = 0; c < std::size_t(across); ++c)
                fits[std::size_t(line) * std::size_t(across) + c] = fitter.fit(reader.parts(c));
        }
    };
    // A thread pays for itself from some thousand cells.
    const int threads =
        std::clamp(int(std::thread::hardware_concurrency()), 1, std::max(1, int(cells / 2048)));
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();

    ArtWriter writer(palette, across, options.columns, down, true);
    std::vector<int> rows(static_cast<std::size_t>(across));
    for (int line = 0; line < down; ++line) {
        const ColourFitter::Fit* fit = fits.data() + std::size_t(line) * std::size_t(across);
        for (std::size_t c = 0; c < rows.size(); ++c)
            rows[c] = fit[c].row;
        writer.writeLine(
            rows, [&](std::size_t c) { return fit[c].ink; },
            [&](std::size_t c) { return fit[c].back; });
    }
    return writer.finish();
}

} // namespace

InkArt DrawInkArt(const QImage& picture, const InkPalette& palette, const InkOptions& options)
{
    const int across = std::max(1, options.columns / palette.cellsPerRow());
    const int down = std::max(1, options.lines);
    if (options.fit && !palette.coverage().empty())
        return drawFitted(picture, palette, options, across, down);
    const bool shape = options.shape && !palette.shapes().empty();
    // The shape mode reads each cell's parts; the ink mode the cell as one part.
    const int partsAcross = shape ? InkPalette::ShapeColumnsPerCell * palette.cellsPerRow() : 1;
    const int partsDown = shape ? InkPalette::ShapeRowsPerCell : 1;
    const QImage pixels = readyPixels(picture, across * partsAcross, down * partsDown, down);

    const ToneCurve tones(options);
    CellReader cells(pixels, across, down, partsAcross, partsDown, tones, options.recordColours);
    const RowChooser chooser(palette, shape);
    // The ink mode carries every miss: its rows of near ink are already the most even ones.
    Diffusion diffusion(across, options.dither == Dither::Diffusion, shape ? ShapeTolerance : 0);
    ArtWriter writer(palette, across, options.columns, down, options.recordColours);

    const int parts = cells.partsPerCell();
    const auto cellCount = static_cast<std::size_t>(across);
    std::vector<int> rows(cellCount, -1);
    // Each cell's darkness and whether it is flat, of this line and of the line above.
    std::vector<float> means(cellCount), meansAbove(cellCount);
    std::vector<char> flat(cellCount), flatAbove(cellCount);
    std::vector<float> target(static_cast<std::size_t>(parts));
    for (int line = 0; line < down; ++line) {
        cells.read(line);
        std::size_t previous = std::size_t(-1);
        for (int k = 0; k < across; ++k) {
            const std::size_t c = std::size_t(diffusion.fromLeft() ? k : across - 1 - k);
            const float carried = diffusion.carried(c);
            const float mean = cells.mean(c);
            const float wanted = std::clamp(mean + carried, 0.0f, 1.0f);
            const float* cellParts = cells.parts(c);
            for (int p = 0; p < parts; ++p)
                target[std::size_t(p)] = std::clamp(cellParts[p] + carried, 0.0f, 1.0f);
            means[c] = mean;
            flat[c] = isFlat(cellParts, parts, mean);
            // In the shape mode a flat cell as dark as a flat neighbour already chosen (the one
            // before it on this line, else the one above) keeps that neighbour's row while its
            // ink is within reach, rather than a row of another shape and near ink.
            const auto keeps = [&](int row, bool neighbourFlat, float neighbourMean) {
                return neighbourFlat && std::abs(neighbourMean - mean) <= Flatness &&
                       std::abs(chooser.inkOf(row) - wanted) <= ShapeTolerance;
            };
            int row = -1;
            if (shape && flat[c]) {
                if (previous != std::size_t(-1) &&
                    keeps(rows[previous], flat[previous], means[previous]))
                    row = rows[previous];
                else if (line > 0 && keeps(rows[c], flatAbove[c], meansAbove[c]))
                    row = rows[c];
            }
            if (row < 0)
                row = chooser.rowFor(wanted, target.data());
            rows[c] = row;
            diffusion.spread(c, wanted - chooser.inkOf(row));
            previous = c;
        }
        writer.writeLine(rows, [&](std::size_t c) { return cells.colour(c); });
        std::swap(means, meansAbove);
        std::swap(flat, flatAbove);
        diffusion.nextLine();
    }
    return writer.finish();
}

} // namespace tessivo
