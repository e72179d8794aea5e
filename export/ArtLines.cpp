#include "export/ArtLines.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

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

namespace {

// Bytes GBK takes for the character, 0 when it cannot hold it. Asked once per character and
// thread: a result uses few distinct characters.
int gbkBytes(char32_t c)
{
    if (c < 0x80)
        return 1;
    thread_local QHash<char32_t, int> known;
    const auto found = known.constFind(c);
    if (found != known.constEnd())
        return *found;
    const QString character = QString::fromUcs4(&c, 1);
    QStringEncoder encoder("GBK");
    int bytes = 0;
    if (encoder.isValid()) {
        const QByteArray encoded = encoder.encode(character);
        QStringDecoder decoder("GBK");
        // An encoder that cannot hold a character puts something else in its place; only a
        // round trip tells.
        if (!encoder.hasError() && decoder.decode(encoded) == character && !decoder.hasError())
            bytes = int(encoded.size());
    }
    known.insert(c, bytes);
    return bytes;
}

bool wideByItself(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

int CellsOf(char32_t c)
{
    if (c < 0x80)
        return 1;
    const int bytes = gbkBytes(c);
    if (bytes == 2)
        return 2;
    return wideByItself(c) ? 2 : 1;
}

bool GbkHolds(char32_t c)
{
    return gbkBytes(c) > 0;
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
