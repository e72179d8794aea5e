// Text of the metafile players: the selected font found through the system's fonts, its size,
// slant, weight and escapement, the alignment on the reference point, and the background.

#include "metafile/MetafilePlayer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tessivo {

namespace {

constexpr double DefaultFontHeight = 12; // logical units, for a font of height 0
constexpr int LargestPixelSize = 4096;   // beyond this glyphs are scaled up instead
constexpr double TenthsPerDegree = 10;

} // namespace

bool MetafileFontsAvailable()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

void MetafilePlayer::drawText(QPointF at, const QString& text, const std::vector<double>& advances,
                              quint32 options, const QRectF& box)
{
    if (m_repeatFill)
        return;
    forgetAliased();
    const QTransform toImage = logicalToImage();
    if ((options & EtoOpaque) && box.isValid()) {
        QPainterPath area;
        area.addRect(box.normalized());
        MetafileBrush background;
        background.color = m_dc.backgroundColor;
        fillWith(area, background);
    }
    if (text.isEmpty())
        return;
    if (m_dc.textAlign & TaUpdateCp)
        at = m_dc.current;
    // Device pixels per logical unit, on average over both directions.
    const double perUnit = std::sqrt(std::abs(toImage.determinant()));
    if (!std::isfinite(perUnit) || perUnit <= 0)
        return;
    if (!MetafileFontsAvailable()) {
        if (!m_painter)
            note(QRectF(toImage.map(at), QSizeF(1, 1)));
        return;
    }

    const MetafileFont& f = m_dc.font;
    QFont font(f.face);
    font.setWeight(QFont::Weight(std::clamp(f.weight == 0 ? 400 : f.weight, 1, 1000)));
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);
    double pixels = (f.height == 0 ? DefaultFontHeight : std::abs(f.height)) * perUnit;
    if (f.height > 0) {
        // A positive height is that of the whole cell, the face's ascent and descent.
        font.setPixelSize(100);
        const QFontMetricsF cell(font);
        if (cell.height() > 0)
            pixels *= 100 / cell.height();
    }
    if (!std::isfinite(pixels) || pixels < 0.01)
        return;
    const int pixelSize = int(std::lround(std::clamp(pixels, 1.0, double(LargestPixelSize))));
    font.setPixelSize(pixelSize);
    const QFontMetricsF metrics(font);
    // Local units: pixels of the font at pixelSize, y down along the text's upright.
    const double toLogical = pixels / pixelSize / perUnit;
    double stretch = 1;
    if (f.width != 0 && metrics.averageCharWidth() > 0)
        stretch = std::abs(f.width) / toLogical / metrics.averageCharWidth();
    const double localPerLogicalX = 1 / (toLogical * stretch);

    double width = 0;
    std::vector<double> positions;
    const bool spaced = !advances.empty() && advances.size() >= std::size_t(text.size());
    if (spaced) {
        positions.reserve(std::size_t(text.size()));
        for (qsizetype i = 0; i < text.size(); ++i) {
            positions.push_back(width);
            width += advances[std::size_t(i)] * localPerLogicalX;
        }
    } else {
        width = metrics.horizontalAdvance(text);
    }
    double x = 0;
    switch (m_dc.textAlign & TaHorizontalMask) {
    case TaRight: x = -width; break;
    case TaCenter: x = -width / 2; break;
    default: break;
    }
    double baseline = metrics.ascent(); // top
    switch (m_dc.textAlign & TaVerticalMask) {
    case TaBaseline: baseline = 0; break;
    case TaBottom: baseline = -metrics.descent(); break;
    default: break;
    }

    // Text stays upright on a device whose y runs up the page, and turns counterclockwise by
    // its escapement.
    const bool flipped = toImage.determinant() < 0;
    const QTransform textToImage = QTransform::fromScale(toLogical * stretch, toLogical) *
                                   QTransform().rotate(-double(f.escapement) / TenthsPerDegree) *
                                   QTransform::fromScale(1, flipped ? -1 : 1) *
                                   QTransform::fromTranslate(at.x(), at.y()) * toImage;
    const QRectF cell(x, baseline - metrics.ascent(), width, metrics.height());
    if (m_dc.textAlign & TaUpdateCp)
        m_dc.current = at + QPointF(width / localPerLogicalX, 0);
    if (!m_painter) {
        note(textToImage.mapRect(cell));
        return;
    }

    m_painter->save();
    if ((options & EtoClipped) && box.isValid()) {
        m_painter->setTransform(toImage);
        m_painter->setClipRect(box.normalized(),
                               m_painter->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    m_painter->setTransform(textToImage);
    if (m_dc.backgroundMode == BkOpaque)
        m_painter->fillRect(cell, m_dc.backgroundColor);
    // As outlines: glyphs rendered through the font engine's caches at an extreme size or
    // stretch make it fail, and a metafile can ask for any.
    QPainterPath glyphs;
    if (spaced) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            // A character of two UTF-16 units goes whole, at the first one's place.
            const qsizetype units = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            glyphs.addText(QPointF(x + positions[std::size_t(i)], baseline), font,
                           text.mid(i, units));
            i += units - 1;
        }
    } else {
        glyphs.addText(QPointF(x, baseline), font, text);
    }
    m_painter->fillPath(glyphs, m_dc.textColor);
    m_painter->restore();
}

} // namespace tessivo
