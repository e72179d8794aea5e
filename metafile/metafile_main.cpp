// tessivo-metafile FILE ("-": standard input): draws a Windows or enhanced metafile at its natural
// size and writes it to standard output as "TMF1", width, height (32 bits each, little-endian) and
// the rows of premultiplied 32-bit pixels. Exit status 1 when the file cannot be drawn. Tessivo
// runs it as a child process, so that a fault in a metafile library cannot take the program down.
#include "canvas/Fonts.h"
#include "metafile/MetafileDecoders.h"

#include <QFile>
#include <QGuiApplication>
#include <QtEndian>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    // Text in a metafile is drawn with fonts, which need a GUI application; it needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    tessivo::RegisterFontSubstitutes();
    if (argc != 2)
        return 2;

    QFile file;
    if (std::strcmp(argv[1], "-") == 0) {
        if (!file.open(stdin, QIODevice::ReadOnly))
            return 1;
    } else {
        file.setFileName(QString::fromLocal8Bit(argv[1]));
        if (!file.open(QIODevice::ReadOnly))
            return 1;
    }
    // One byte more than allowed tells a file that is too large, from a pipe as well.
    const QByteArray bytes = file.read(tessivo::MaxMetafileBytes + 1);
    if (bytes.size() > tessivo::MaxMetafileBytes)
        return 1;
    const QImage picture = tessivo::DecodeMetafile(bytes);
    if (picture.isNull())
        return 1;
    const QImage pixels = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    QByteArray header(tessivo::MetafileReplyMark);
    header.resize(tessivo::MetafileReplyHeaderBytes);
    qToLittleEndian<quint32>(quint32(pixels.width()),
                             header.data() + tessivo::MetafileReplyWidthAt);
    qToLittleEndian<quint32>(quint32(pixels.height()),
                             header.data() + tessivo::MetafileReplyHeightAt);
    std::fwrite(header.constData(), 1, std::size_t(header.size()), stdout);
    constexpr std::size_t BytesPerPixel = 4;
    for (int y = 0; y < pixels.height(); ++y)
        std::fwrite(pixels.constScanLine(y), BytesPerPixel, std::size_t(pixels.width()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
