#include "art/ArtFont.h"

#include "engine/TextCells.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tessivo {

const QStringList& ArtFontFamilies()
{
    static const QStringList families = {
        QStringLiteral("新宋体"),         QStringLiteral("NSimSun"),
        QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans Mono CJK SC"),
        QStringLiteral("Sarasa Mono SC"), QStringLiteral("WenQuanYi Zen Hei Mono"),
        QStringLiteral("monospace")};
    return families;
}

QString SingleArtFamily()
{
    return QStringLiteral("AR PL UMing CN");
}

bool IsResultFamily(const QString& family)
{
    return family.isEmpty() || family == ArtFontFamilies().front();
}

ArtFont::ArtFont(const QString& family, double pointSize)
    : m_family(IsResultFamily(family) ? QString() : family)
    , m_pointSize(pointSize > 0 ? pointSize : 9)
{
    // Points to pixels at 96 dots per inch: 9 pt is 12 pixels.
    m_em = m_pointSize * 4 / 3;
    m_margin = int(std::ceil(m_em / 2));
    m_families = ArtFontFamilies();
    if (!m_family.isEmpty()) {
        // Qt's font matching does not take a family twice in a list.
        m_families.removeAll(m_family);
        m_families.prepend(m_family);
    }
    m_font.setFamilies(m_families);
    m_font.setPixelSize(std::max(1, int(std::lround(m_em))));
    if (m_family.isEmpty()) {
        m_cellWidth = m_em / 2;
        m_lineHeight = m_em;
        m_baseline = m_em * 0.86;
        return;
    }
    if (const QFontInfo drawn(m_font); drawn.family().compare(m_family, Qt::CaseInsensitive) != 0 &&
                                       QFont::substitutes(m_family).isEmpty())
        m_fallback = drawn.family();
    const QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    const QFontMetricsF metrics(m_font, &probe);
    // Whole pixels, as a terminal lays out its cells: a cell of a fractional advance drawn at
    // rounded places would be a pixel wider every few columns, and lighter for it.
    m_cellWidth = std::max(1.0, std::round(metrics.horizontalAdvance(QLatin1Char('M'))));
    m_lineHeight = std::max(1.0, std::round(metrics.height()));
    m_baseline = std::round(metrics.ascent());
}

int ArtFont::cellLeft(int cell) const
{
    return int(std::lround(cell * m_cellWidth));
}

const QImage& ArtFont::mask(QStringView character) const
{
    const QString key = character.toString();
    auto found = m_masks.find(key);
    if (found == m_masks.end()) {
        int cells = 0;
        for (const char32_t c : character.toUcs4())
            cells += CellsOf(c);
        QImage mask(int(std::ceil(cells * m_cellWidth + m_em)) + 2 * m_margin,
                    int(std::ceil(m_lineHeight)) + 2 * m_margin,
                    QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        QPainter painter(&mask);
        painter.setFont(m_font);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(m_margin, m_margin + m_baseline), key);
        painter.end();
        found = m_masks.insert(key, mask);
    }
    return *found;
}

void BlendMask(QImage& image, const QImage& mask, int left, int top, QRgb ink)
{
    const int x0 = std::max(0, -left);
    const int y0 = std::max(0, -top);
    const int x1 = std::min(mask.width(), image.width() - left);
    const int y1 = std::min(mask.height(), image.height() - top);
    const int r = qRed(ink), g = qGreen(ink), b = qBlue(ink);
    for (int y = y0; y < y1; ++y) {
        const QRgb* from = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        QRgb* to = reinterpret_cast<QRgb*>(image.scanLine(top + y)) + left;
        for (int x = x0; x < x1; ++x) {
            const int a = qAlpha(from[x]);
            if (a == 0)
                continue;
            const QRgb d = to[x];
            const auto mix = [a](int over, int under) {
                return (over * a + under * (255 - a) + 127) / 255;
            };
            to[x] = qRgb(mix(r, qRed(d)), mix(g, qGreen(d)), mix(b, qBlue(d)));
        }
    }
}

QImage ArtFont::drawRow(QStringView row) const
{
    int cells = 0;
    for (const char32_t c : row.toUcs4())
        cells += CellsOf(c);
    QImage image(int(std::ceil(cells * m_cellWidth + m_em)) + 2 * m_margin,
                 int(std::ceil(m_lineHeight)) + 2 * m_margin, QImage::Format_RGB32);
    image.fill(Qt::white);
    int cell = 0;
    for (qsizetype i = 0; i < row.size();) {
        const qsizetype units = row[i].isHighSurrogate() && i + 1 < row.size() ? 2 : 1;
        const QStringView character = row.mid(i, units);
        const char32_t c = character.toUcs4().front();
        if (c != U' ')
            BlendMask(image, mask(character), cellLeft(cell), 0, qRgb(0, 0, 0));
        cell += CellsOf(c);
        i += units;
    }
    return image;
}

namespace {

// How much of pixel i (from 0 to count - 1, the first starting at from) lies in each of parts
// spans of span pixels each, starting at 0: weights[i * parts + k]. Pixels before the first span
// count to it, pixels after the last to the last, and a pixel across a span's edge to both.
std::vector<double> shares(int count, int from, int parts, double span)
{
    std::vector<double> weights(std::size_t(count) * std::size_t(parts), 0);
    for (int i = 0; i < count; ++i) {
        const double left = from + i, right = left + 1;
        for (int k = 0; k < parts; ++k) {
            const double start = k == 0 ? left : std::max(left, k * span);
            const double end = k == parts - 1 ? right : std::min(right, (k + 1) * span);
            if (end > start)
                weights[std::size_t(i) * std::size_t(parts) + std::size_t(k)] = end - start;
        }
    }
    return weights;
}

} // namespace

ArtFont::RowInk ArtFont::inkOf(QStringView row, int partsAcross, int partsDown) const
{
    int cells = 0;
    for (const char32_t c : row.toUcs4())
        cells += CellsOf(c);
    const QImage image = drawRow(row);
    const double cellsWidth = std::max(1, cells) * m_cellWidth;
    const double area = 255.0 * cellsWidth * m_lineHeight;
    std::vector<double> columns(std::size_t(image.width()), 0);
    std::vector<double> lines(std::size_t(image.height()), 0);
    std::vector<double> inkAt; // of every pixel, for the parts
    const bool parts = partsAcross > 0 && partsDown > 0;
    if (parts)
        inkAt.resize(std::size_t(image.width()) * std::size_t(image.height()));
    qint64 whole = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int dark = 255 - qGray(line[x]);
            whole += dark;
            if (parts)
                inkAt[std::size_t(y) * std::size_t(image.width()) + std::size_t(x)] = dark;
        }
    }
    RowInk ink;
    ink.whole = double(whole) / area;
    if (!parts)
        return ink;
    // The row's cells start at (margin, margin) of the image.
    const std::vector<double> across =
        shares(image.width(), -m_margin, partsAcross, cellsWidth / partsAcross);
    const std::vector<double> down =
        shares(image.height(), -m_margin, partsDown, m_lineHeight / partsDown);
    ink.parts.assign(std::size_t(partsAcross) * std::size_t(partsDown), 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double dark = inkAt[std::size_t(y) * std::size_t(image.width()) + std::size_t(x)];
            if (dark == 0)
                continue;
            for (int j = 0; j < partsDown; ++j) {
                const double dy = down[std::size_t(y) * std::size_t(partsDown) + std::size_t(j)];
                if (dy == 0)
                    continue;
                for (int i = 0; i < partsAcross; ++i)
                    ink.parts[std::size_t(j) * std::size_t(partsAcross) + std::size_t(i)] +=
                        dark * dy *
                        across[std::size_t(x) * std::size_t(partsAcross) + std::size_t(i)];
            }
        }
    }
    for (double& part : ink.parts)
        part = part * double(ink.parts.size()) / area;
    return ink;
}

} // namespace tessivo
