#include "canvas/TableMeter.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tessivo {

namespace {

// Images are measured at the resolution of a common screen, where the result is read.
constexpr double DotsPerInch = 96;
constexpr int DotsPerMeter = int(DotsPerInch / 0.0254 + 0.5);

QImage blankImage(int width, int height)
{
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image.setDotsPerMeterX(DotsPerMeter);
    image.setDotsPerMeterY(DotsPerMeter);
    image.fill(Qt::white);
    return image;
}

double inkOf(const QImage& image)
{
    qint64 ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            ink += 255 - qGray(line[x]);
    }
    return double(ink) / (255.0 * double(image.width()) * double(image.height()));
}

} // namespace

int CellsOf(QStringView row)
{
    int cells = 0;
    for (const char32_t c : row.toUcs4())
        cells += CellsOf(c);
    return cells;
}

TableMeter::TableMeter(const QString& family, double pointSize)
    : font_(family)
{
    font_.setPointSizeF(pointSize > 0 ? pointSize : 9);
    font_.setStyleStrategy(
        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    const QImage probe = blankImage(1, 1);
    const QFontMetricsF metrics(font_, &probe);
    // A half-width cell is half an em wide; a line of the result is the font's height.
    const double em = pointSize * DotsPerInch / 72.0;
    cellWidth_ = std::max(1, int(std::lround(em / 2)));
    cellHeight_ = std::max(1, int(std::lround(metrics.height())));
    ascent_ = int(std::lround(metrics.ascent()));
}

QImage TableMeter::render(QStringView row) const
{
    QImage image = blankImage(CellsOf(row) * cellWidth_, cellHeight_);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(font_, &image);
    int cell = 0;
    for (const char32_t c : row.toUcs4()) {
        const int cells = CellsOf(c);
        const QString text = QString::fromUcs4(&c, 1);
        // Each character sits in the middle of its own cells, as in a fixed-pitch font; a
        // wider glyph spills into its neighbours' cells, a narrower one leaves paper around it.
        const double left =
            cell * cellWidth_ + (cells * cellWidth_ - metrics.horizontalAdvance(text)) / 2;
        painter.drawText(QPointF(left, ascent_), text);
        cell += cells;
    }
    return image;
}

double TableMeter::measure(QStringView row) const
{
    if (row.isEmpty())
        return 0;
    return inkOf(render(row));
}

QList<RowTone> TableMeter::measure(const QStringList& rows) const
{
    QList<RowTone> tones;
    tones.reserve(rows.size());
    for (const QString& row : rows)
        tones.append(RowTone{row, measure(row), CellsOf(row)});
    return tones;
}

QList<RowTone> SortDarkestFirst(QList<RowTone> rows)
{
    std::stable_sort(rows.begin(), rows.end(),
                     [](const RowTone& a, const RowTone& b) { return a.tone > b.tone; });
    return rows;
}

namespace {

QList<ToneStep> stepsOf(const QList<RowTone>& sorted)
{
    QList<ToneStep> steps;
    for (int i = 0; i + 1 < int(sorted.size()); ++i)
        steps.append(ToneStep{i, i + 1, std::abs(sorted[i].tone - sorted[i + 1].tone)});
    return steps;
}

} // namespace

QList<ToneStep> CloseTones(const QList<RowTone>& sorted, double threshold)
{
    QList<ToneStep> close;
    for (const ToneStep& step : stepsOf(sorted)) {
        if (step.difference < threshold)
            close.append(step);
    }
    return close;
}

QList<ToneStep> LargestGaps(const QList<RowTone>& sorted, int count)
{
    QList<ToneStep> steps = stepsOf(sorted);
    std::stable_sort(steps.begin(), steps.end(), [](const ToneStep& a, const ToneStep& b) {
        return a.difference > b.difference;
    });
    steps.resize(std::clamp(qsizetype(count), qsizetype(0), steps.size()));
    return steps;
}

QList<int> SuggestDrops(const QList<RowTone>& sorted, int keep)
{
    const int n = int(sorted.size());
    if (keep >= n || n == 0)
        return {};
    keep = std::max(keep, 1);
    std::vector<int> kept;
    if (keep == 1) {
        kept.push_back(0);
    } else {
        // Equal steps between the kept tones give the least sum of squared steps, and two rows
        // of nearly the same tone make the other steps larger, so that sum is what is kept
        // small. cost[k][i] is the least sum over the steps up to row i as the k-th kept row;
        // the first row is always the 0-th, the last row the final one.
        const auto step = [&](int j, int i) {
            const double d = sorted[j].tone - sorted[i].tone;
            return d * d;
        };
        constexpr double None = std::numeric_limits<double>::infinity();
        std::vector<std::vector<double>> cost(keep, std::vector<double>(n, None));
        std::vector<std::vector<int>> from(keep, std::vector<int>(n, -1));
        cost[0][0] = 0;
        for (int k = 1; k < keep; ++k) {
            // Rows that leave too few rows after them for the remaining places are passed over.
            for (int i = k; i <= n - keep + k; ++i) {
                for (int j = k - 1; j < i; ++j) {
                    // Strictly less: on a tie the earlier row stays.
                    const double total = cost[k - 1][j] + step(j, i);
                    if (total < cost[k][i]) {
                        cost[k][i] = total;
                        from[k][i] = j;
                    }
                }
            }
        }
        for (int k = keep - 1, i = n - 1; k >= 0; i = from[k][i], --k)
            kept.push_back(i);
        std::reverse(kept.begin(), kept.end());
    }
    QList<int> drops;
    for (int i = 0, next = 0; i < n; ++i) {
        if (next < int(kept.size()) && kept[next] == i)
            ++next;
        else
            drops.append(i);
    }
    return drops;
}

} // namespace tessivo
