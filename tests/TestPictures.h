#pragma once

// Pictures made by the tests themselves.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QtGlobal>

namespace tessivo::testing {

// A picture's bytes in one of the formats Qt writes ("PNG", "BMP", "JPEG", "ICO" ...).
inline QByteArray encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode %s", format);
    return bytes;
}

} // namespace tessivo::testing
