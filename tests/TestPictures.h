#pragma once

// Pictures made by the tests themselves.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
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

// Writes bytes to a file in a folder and gives its path.
inline QString writeFile(const QDir& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace tessivo::testing
