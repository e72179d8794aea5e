#include "engine/Gbk.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

namespace tessivo {

int GbkBytes(char32_t c)
{
    if (c < 0x80)
        return 1;
    // Asked once per character and thread: a text uses few distinct characters.
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

bool GbkHolds(char32_t c)
{
    return GbkBytes(c) > 0;
}

bool GbkHolds(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text[i];
        char32_t c = unit.unicode();
        if (unit.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(unit, text[++i]);
        if (!GbkHolds(c))
            return false;
    }
    return true;
}

QByteArray EncodeGbk(QStringView text)
{
    QStringEncoder encoder("GBK");
    return encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLatin1();
}

QString DecodeGbk(QByteArrayView bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.isValid() ? QString(decoder.decode(bytes)) : QString::fromLatin1(bytes);
}

} // namespace tessivo
