#include "export/ArtLines.h"

namespace tessivo {

QList<ArtLine> LinesOf(const QString& text)
{
    QList<ArtLine> lines;
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf(QLatin1String("\r\n"), from);
        if (end < 0)
            end = text.size();
        lines.append({from, end - from});
        from = end + 2;
    }
    return lines;
}

QRgb RgbOf(ColorValue colour)
{
    const Channels c = SplitColor(colour);
    return qRgb(c.ChannelR, c.ChannelG, c.ChannelB);
}

CellPaint PaintOf(QRgb colour, ColourMode mode, QRgb plainInk)
{
    switch (mode) {
    case ColourMode::Foreground: break;
    case ColourMode::Background: return {plainInk, true, colour};
    case ColourMode::Both: {
        // Halfway to the plain ink: the character stays in the cell's hue and stands out from it.
        const auto half = [](int c, int ink) { return (c + ink) / 2; };
        return {qRgb(half(qRed(colour), qRed(plainInk)), half(qGreen(colour), qGreen(plainInk)),
                     half(qBlue(colour), qBlue(plainInk))),
                true, colour};
    }
    }
    return {colour, false, 0};
}

CellPaint PaintAt(const ArtDocument& art, qsizetype i, ColourMode mode, QRgb plainInk)
{
    if (i < art.backgrounds.size())
        return {RgbOf(art.colours.at(i)), true, RgbOf(art.backgrounds.at(i))};
    return PaintOf(RgbOf(art.colours.at(i)), mode, plainInk);
}

ColorValue FillAt(const ArtDocument& art, qsizetype i)
{
    return i < art.backgrounds.size() ? art.backgrounds.at(i) : art.colours.at(i);
}

char32_t CodePointAt(const QString& text, qsizetype index, int* units)
{
    const QChar c = text.at(index);
    if (c.isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(c, text.at(index + 1));
    }
    *units = 1;
    return c.unicode();
}

} // namespace tessivo
