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
