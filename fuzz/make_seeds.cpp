// Writes the seed corpora of the fuzz targets: small, valid inputs of every kind each target
// reads, from which the fuzzer mutates. Run from the repository's top folder after a fuzz build:
//   build-fuzz/fuzz/make_seeds fuzz/corpus
// The files it writes are kept in the repository; run it again after changing it.
#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QStringEncoder>

#include "GifWriter.h"
#include "MetafileWriters.h"
#include "TestPictures.h"

#include <bit>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace tessivo::testing;

QDir g_root;

void put(const char* target, const QString& name, const QByteArray& bytes)
{
    const QString folder = g_root.filePath(QLatin1String(target));
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

// --- table files ---

void tableSeeds()
{
    QStringEncoder gbk("GBK");
    put("tablefile", "template.zfh",
        gbk.encode(QStringLiteral("###Tessivo-字符数据表\r\n###(首行为深色，末行为浅色)\r\n"
                                  "M\r\n#\r\n*\r\n+\r\n.\r\n \r\n")));
    put("tablefile", "gbk-rows.zfh", gbk.encode(QStringLiteral("国国\r\n中中\r\n文字\r\n..\r\n")));
    put("tablefile", "cr-only.zfh", "\r\r\r");
    put("tablefile", "lf-only.zfh", "\n\n\n");
    put("tablefile", "mixed-ends.zfh", "a\rb\r\nc\nd\r\r\ne");
    put("tablefile", "nul.zfh", QByteArray("a\0b\r\n\0\r\n", 8));
    put("tablefile", "comments.zfh", "###\r\nx###y\r\n## #\r\n");
    put("tablefile", "uneven.zfh", "MMMM\r\n#\r\n\r\n...\r\n");
    put("tablefile", "bad-gbk.zfh", "\x81\r\n\xFF\xFE\r\n\xD6");
    // A byte-order mark at the start names the encoding.
    const QString marked = QStringLiteral("###表\r\n鬱\r\n中\nx\r\n😀\r");
    put("tablefile", "utf8-mark.zfh", QByteArray("\xEF\xBB\xBF") + marked.toUtf8());
    QStringEncoder utf16le(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
    put("tablefile", "utf16le-mark.zfh", utf16le.encode(marked));
    QStringEncoder utf16be(QStringConverter::Utf16BE, QStringEncoder::Flag::WriteBom);
    put("tablefile", "utf16be-mark.zfh", utf16be.encode(marked) + QByteArray("\xD8", 1));
}

// --- command lines (arguments separated by NUL bytes) ---

void optionSeeds()
{
    const auto args = [](const QByteArrayList& list) { return list.join('\0'); };
    put("options", "defaults", args({"picture.jpg"}));
    put("options", "all-values",
        args({"--sample-x", "17", "--sample-y=30", "--color-level", "1", "--contrast=750",
              "--ignore", "1", "--picture-fit", "5", "--bands=50", "--canvas-width", "7935",
              "--canvas-height=5895", "p.png"}));
    put("options", "flags", args({"--remove-blank-lines", "--no-footer", "--table", "t.zfh", "p"}));
    put("options", "end-of-options", args({"--", "-odd.png"}));
    put("options", "help", args({"--help"}));
    put("options", "version", args({"--version"}));
    put("options", "bad", args({"--bands=101", "-x", "--no-footer=1", "a", "b"}));
}

// --- pictures read by Qt ---

QByteArray encode(const QImage& image, const char* format, int quality = -1,
                  bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image)) {
        std::fprintf(stderr, "make_seeds: cannot encode %s\n", format);
        std::exit(1);
    }
    return bytes;
}

QImage drawing(int w, int h, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(w, h, format);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.fillRect(0, 0, w / 2, h, QColor(200, 30, 30));
    p.setBrush(QColor(20, 20, 220, 160));
    p.drawEllipse(w / 4, h / 4, w / 2, h / 2);
    return image;
}

// A GIF image block of palette indices 0..3, with a clear code before every second pixel so
// that the codes stay 3 bits wide.
QByteArray gifImage(int left, int top, int w, int h)
{
    QByteArray codes; // bit stream, least significant bit first
    quint32 bits = 0;
    int count = 0;
    const auto code = [&](quint32 c) {
        bits |= c << count;
        count += 3;
        while (count >= 8) {
            codes += char(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    };
    for (int i = 0; i < w * h; ++i) {
        if (i % 2 == 0)
            code(4); // clear
        code(quint32((i + i / w) % 4));
    }
    code(5); // end
    if (count > 0)
        codes += char(bits & 0xFF);
    QByteArray block = le<quint8>({0x2C}) +
                       le<quint16>({quint16(left), quint16(top), quint16(w), quint16(h)}) +
                       le<quint8>({0, 2});
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray part = codes.mid(at, 255);
        block += char(part.size()) + part;
    }
    return block + '\0';
}

QByteArray gif(int w, int h, int frames)
{
    QByteArray bytes = "GIF89a" + le<quint16>({quint16(w), quint16(h)}) + le<quint8>({0x81, 0, 0});
    bytes += QByteArray::fromHex("000000FF0000FFFFFF0000FF"); // black, red, white, blue
    if (frames > 1)                                           // loop for ever
        bytes += QByteArray::fromHex("21FF0B4E45545343415045322E300301000000");
    for (int f = 0; f < frames; ++f) {
        bytes += QByteArray::fromHex("21F904040A000000"); // 0.1 s, left in place
        bytes += gifImage(0, 0, w, h);
    }
    return bytes + ';';
}

void qtSeeds()
{
    const QImage picture = drawing(24, 16);
    put("picture_qt", "argb.png", encode(picture, "PNG"));
    put("picture_qt", "rgb.png", encode(picture.convertToFormat(QImage::Format_RGB32), "PNG"));
    put("picture_qt", "paletted.png",
        encode(picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither), "PNG"));
    put("picture_qt", "grey.png",
        encode(picture.convertToFormat(QImage::Format_Grayscale8), "PNG"));
    put("picture_qt", "16bit.png", encode(picture.convertToFormat(QImage::Format_RGBA64), "PNG"));
    put("picture_qt", "1x1.png", encode(drawing(1, 1), "PNG"));
    put("picture_qt", "rgb.bmp", encode(picture.convertToFormat(QImage::Format_RGB888), "BMP"));
    put("picture_qt", "argb.bmp", encode(picture, "BMP"));
    put("picture_qt", "paletted.bmp",
        encode(picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither), "BMP"));
    put("picture_qt", "mono.bmp", encode(picture.convertToFormat(QImage::Format_Mono), "BMP"));
    put("picture_qt", "baseline.jpg",
        encode(picture.convertToFormat(QImage::Format_RGB32), "JPEG", 50));
    put("picture_qt", "progressive.jpg",
        encode(picture.convertToFormat(QImage::Format_RGB32), "JPEG", 50, true));
    put("picture_qt", "grey.jpg",
        encode(picture.convertToFormat(QImage::Format_Grayscale8), "JPEG"));
    put("picture_qt", "a.ico", encode(drawing(16, 16), "ICO"));
    put("picture_qt", "a.cur", encode(drawing(16, 16), "CUR"));
    put("picture_qt", "still.gif", gif(3, 2, 1));
    put("picture_qt", "animated.gif", gif(3, 2, 3));
    put("picture_qt", "still.webp", encode(picture.convertToFormat(QImage::Format_RGB32), "WEBP"));
    put("picture_qt", "animated.webp",
        tessivo::testing::animatedWebp({drawing(6, 4), drawing(6, 4).mirrored()}));
    put("picture_qt", "rgb.tiff", encode(picture.convertToFormat(QImage::Format_RGB32), "TIFF"));
    put("picture_qt", "a.ppm", encode(drawing(6, 4), "PPM"));
    put("picture_qt", "a.pgm", encode(drawing(6, 4), "PGM"));
    put("picture_qt", "a.pbm", encode(drawing(6, 4), "PBM"));
    put("picture_qt", "a.xbm", encode(drawing(8, 4), "XBM"));
    put("picture_qt", "a.xpm",
        encode(drawing(6, 4).convertToFormat(QImage::Format_Indexed8), "XPM"));
    put("picture_qt", "a.svg",
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"16\">"
        "<rect width=\"12\" height=\"16\" fill=\"red\"/><circle cx=\"12\" cy=\"8\" r=\"5\"/>"
        "<text x=\"2\" y=\"12\" font-size=\"8\">Hi</text></svg>");
}

// --- moving pictures ---

void animationSeeds()
{
    using tessivo::testing::gifBlock;
    tessivo::testing::Gif blocks;
    blocks.screen = QSize(24, 12);
    blocks.palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 160, 0), qRgb(0, 0, 255)};
    blocks.loops = 0;
    // Restore to background, restore to previous, keep.
    blocks.frames = {gifBlock(QRect(2, 3, 6, 6), 1, 10, 2), gifBlock(QRect(9, 3, 6, 6), 2, 20, 3),
                     gifBlock(QRect(16, 3, 6, 6), 3, 30)};
    put("animation", "blocks.gif", tessivo::testing::writeGif(blocks));

    // A first frame smaller than the picture, frames partly and wholly outside it, delays of 0
    // and 10 ms, an interlaced frame with a transparent index and a palette of its own.
    tessivo::testing::Gif edges = blocks;
    edges.loops = 2;
    tessivo::testing::GifFrame holed = gifBlock(QRect(0, 0, 24, 12), 7, 5, 2);
    for (int i = 0; i < holed.pixels.size(); i += 5)
        holed.pixels[i] = char(i % 7);
    holed.transparent = 7;
    holed.interlaced = true;
    holed.palette = {qRgb(0, 0, 0),     qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(0, 0, 255),
                     qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(255, 255, 255)};
    edges.frames = {gifBlock(QRect(4, 4, 8, 4), 1, 0), gifBlock(QRect(20, 8, 8, 8), 2, 1),
                    gifBlock(QRect(40, 40, 4, 4), 3, 2), holed, gifBlock(QRect(0, 0, 4, 4), 1)};
    put("animation", "edges.gif", tessivo::testing::writeGif(edges));

    put("animation", "two.webp",
        tessivo::testing::animatedWebp({drawing(6, 4), drawing(6, 4).mirrored()}));
    put("animation", "three.webp",
        tessivo::testing::animatedWebp({drawing(8, 6), drawing(8, 6).mirrored(), drawing(8, 6)},
                                       QSize(10, 8)));
}

// --- Windows metafiles ---

// A 2 x 2 bitmap, 24 bits a pixel, as the metafile formats carry one: header, then rows.
QByteArray dib()
{
    return le<quint32>({40}) + le<qint32>({2, 2}) + le<quint16>({1, 24}) +
           le<quint32>({0, 16, 0, 0, 0, 0}) + QByteArray::fromHex("0000FFFFFFFF0000") +
           QByteArray::fromHex("FF000000FF000000");
}

Wmf wmfFrame()
{
    Wmf w;
    w.add(0x020B, {0, 0});               // SETWINDOWORG
    w.add(0x020C, {75, 100});            // SETWINDOWEXT
    w.object(0x02FA, {0, 2, 0, 0, 0});   // black pen, 2 wide
    w.object(0x02FC, {0, 0x00FF, 0, 0}); // red brush
    return w;
}

void wmfSeeds()
{
    Wmf shapes = wmfFrame();
    shapes.add(0x041B, {37, 50, 2, 2});                     // RECTANGLE
    shapes.add(0x0418, {72, 97, 37, 50});                   // ELLIPSE
    shapes.add(0x061C, {5, 5, 70, 45, 40, 5});              // ROUNDRECT
    shapes.add(0x0324, {3, 2, 72, 25, 50, 47, 72});         // POLYGON
    shapes.add(0x0325, {3, 52, 2, 75, 25, 97, 2});          // POLYLINE
    shapes.add(0x0214, {1, 1});                             // MOVETO
    shapes.add(0x0213, {74, 99});                           // LINETO
    shapes.add(0x0817, {0, 75, 75, 50, 50, 75, 25, 50});    // ARC
    shapes.add(0x081A, {37, 100, 75, 75, 75, 100, 50, 75}); // PIE
    put("picture_wmf", "shapes-placeable.wmf", shapes.file(QRect(0, 0, 100, 75), 96));
    put("picture_wmf", "shapes-standard.wmf", shapes.file());

    Wmf text = wmfFrame();
    text.add(0x0209, {0x00FF, 0}); // SETTEXTCOLOR
    text.add(0x0102, {1});         // SETBKMODE transparent
    text.object(0x02FB, {-10, 0, 0, 0, 700, 0, qint16(134 << 8), 0, 0, 'A' | 'r' << 8,
                         'i' | 'a' << 8, 'l', 0}); // CREATEFONTINDIRECT, GB2312
    text.add(0x0521, {8, 'H' | 'i' << 8, ' ' | '&' << 8, qint16(0xD0D6), qint16(0xC4CE), 10, 5});
    text.add(0x0A32, le<qint16>({25, 5, 3, 0}) + QByteArray("abc") + '\0'); // EXTTEXTOUT
    put("picture_wmf", "text.wmf", text.file(QRect(0, 0, 100, 75), 96));

    Wmf bitmap = wmfFrame();
    // STRETCHDIB: raster operation SRCCOPY, colours in RGB, 2 x 2 source onto 50 x 50.
    bitmap.add(0x0F43, le<qint16>({0x0020, 0x00CC, 0, 2, 2, 0, 0, 50, 50, 10, 10}) + dib());
    put("picture_wmf", "bitmap.wmf", bitmap.file(QRect(0, 0, 100, 75), 96));

    // Raster operations: a bitmap's mask OR-ed and its picture AND-ed (SRCPAINT, SRCAND), then
    // shapes XOR-ed (SETROP2).
    Wmf rops = wmfFrame();
    rops.add(0x0F43, le<qint16>({0x0086, 0x00EE, 0, 2, 2, 0, 0, 50, 50, 10, 10}) + dib());
    rops.add(0x0F43, le<qint16>({0x00C6, 0x0088, 0, 2, 2, 0, 0, 50, 50, 10, 10}) + dib());
    rops.add(0x0104, {7});              // SETROP2 XORPEN
    rops.add(0x041B, {37, 50, 2, 2});   // RECTANGLE
    rops.add(0x0104, {13});             // SETROP2 COPYPEN
    rops.add(0x0418, {72, 97, 37, 50}); // ELLIPSE
    put("picture_wmf", "raster-ops.wmf", rops.file(QRect(0, 0, 100, 75), 96));
}

// --- enhanced metafiles ---

// The drawing of 100 x 75 pixels on the reference device, with its frame or without.
QByteArray seedEmf(const QByteArray& records, bool frame = true)
{
    return emfFile(QRect(0, 0, 100, 75), frame ? QRect(0, 0, 2650, 1987) : QRect(), records);
}

QByteArray emfTools()
{
    return emfRecord(38, {1, 0, 2, 0, 0x000000}) + emfRecord(37, {1}) + // CREATEPEN, SELECTOBJECT
           emfRecord(39, {2, 0, 0x0000FF, 0}) + emfRecord(37, {2}); // CREATEBRUSHINDIRECT, SELECT
}

QByteArray exttextoutw(const QString& text, int x, int y)
{
    QByteArray chars;
    for (QChar c : text)
        chars += le<quint16>({c.unicode()});
    if (chars.size() % 4)
        chars += QByteArray(2, '\0');
    QByteArray dx;
    for (qsizetype i = 0; i < text.size(); ++i)
        dx += le<qint32>({12});
    const qint32 stringAt = 8 + 16 + 12 + 40;
    return emfRecord(
        84, le<qint32>({0, 0, -1, -1, 1}) +
                le<quint32>({std::bit_cast<quint32>(1.0f), std::bit_cast<quint32>(1.0f)}) +
                le<qint32>({x, y}) + le<quint32>({quint32(text.size()), quint32(stringAt), 0}) +
                le<qint32>({0, 0, -1, -1}) + le<quint32>({quint32(stringAt + chars.size())}) +
                chars + dx);
}

void emfSeeds()
{
    QByteArray shapes = emfTools();
    shapes += emfRecord(43, {2, 2, 50, 37});                // RECTANGLE
    shapes += emfRecord(42, {50, 37, 97, 72});              // ELLIPSE
    shapes += emfRecord(44, {5, 40, 45, 70, 5, 5});         // ROUNDRECT
    shapes += emfRecord(86, le<qint32>({0, 0, 47, 72, 3}) + // POLYGON16
                                le<qint16>({2, 72, 25, 50, 47, 72}));
    shapes += emfRecord(87, le<qint32>({52, 2, 97, 25, 3}) + // POLYLINE16
                                le<qint16>({52, 2, 75, 25, 97, 2}));
    shapes += emfRecord(27, {1, 1}) + emfRecord(54, {98, 73}); // MOVETOEX, LINETO
    put("picture_emf", "shapes.emf", seedEmf(shapes));
    put("picture_emf", "shapes-no-frame.emf", seedEmf(shapes, false));

    QByteArray text = emfTools();
    text += emfRecord(18, {1}) + emfRecord(24, {0x0000FF}); // SETBKMODE transparent, SETTEXTCOLOR
    // EXTCREATEFONTINDIRECTW: height -10, weight 700, GB2312, face "Arial".
    QByteArray face = QByteArray(64, '\0');
    const QString arial = QStringLiteral("Arial");
    for (int i = 0; i < arial.size(); ++i)
        face.replace(2 * i, 2, le<quint16>({arial[i].unicode()}));
    text += emfRecord(82, le<qint32>({3, -10, 0, 0, 0, 700}) +
                              le<quint8>({0, 0, 0, 134, 0, 0, 0, 0}) + face) +
            emfRecord(37, {3});
    text += exttextoutw(QStringLiteral("Hi & 中文"), 5, 10);
    put("picture_emf", "text.emf", seedEmf(text));

    // SETROP2 XORPEN: a rectangle and an ellipse, then NOT over them.
    put("picture_emf", "raster-ops.emf",
        seedEmf(emfTools() + emfRecord(20, {7}) + emfRecord(43, {2, 2, 50, 37}) +
                emfRecord(42, {25, 20, 97, 72}) + emfRecord(20, {6}) +
                emfRecord(43, {10, 10, 90, 60})));

    // STRETCHDIBITS of the 2 x 2 bitmap onto 50 x 50 pixels.
    const QByteArray bitmap = dib();
    const qint32 headerAt = 8 + 72;
    put("picture_emf", "bitmap.emf",
        seedEmf(emfTools() +
                emfRecord(81, le<qint32>({10, 10, 59, 59, 10, 10, 0, 0, 2, 2}) +
                                  le<quint32>({quint32(headerAt), 40, quint32(headerAt + 40),
                                               quint32(bitmap.size() - 40), 0, 0x00CC0020}) +
                                  le<qint32>({50, 50}) + bitmap)));

    // A dual file: EMF+ brush object, transform and fills (a polygon of 16-bit points in a
    // half-transparent colour, rectangles of floats with the object), each with the plain
    // rectangle that repeats it, then GETDC and a plain ellipse.
    const QByteArray plus =
        emfPlusStart() +
        emfPlusComment(emfPlusRecord(0x400C, 0xC000,
                                     le<quint32>({0x800000FF, 4}) +
                                         le<qint16>({2, 2, 50, 2, 50, 37, 2, 37}))) +
        emfTools() + emfRecord(43, {2, 2, 50, 37}) +
        emfPlusComment(
            emfPlusRecord(0x4008, 0x0105, le<quint32>({0xDBC01002, 0, 0xFF00FF00})) +
            emfPlusRecord(0x402D, 0, floats({10, 5})) +
            emfPlusRecord(0x400A, 0x0005, le<quint32>({5, 1}) + floats({40, 30, 45, 35}))) +
        emfRecord(43, {50, 35, 95, 70}) +
        // A path object of a line and a curve, filled in a colour of its own.
        emfPlusComment(emfPlusRecord(0x4008, 0x0306,
                                     le<quint32>({0xDBC01002, 5, 0x4000}) +
                                         le<qint16>({5, 40, 40, 40, 40, 50, 30, 70, 5, 70}) +
                                         QByteArray("\x00\x01\x03\x03\x83\x00\x00\x00", 8)) +
                       emfPlusRecord(0x4014, 0x8006, le<quint32>({0x80FF00FF}))) +
        emfPlusComment(emfPlusRecord(0x4004, 0)) + emfRecord(42, {25, 20, 97, 72});
    put("picture_emf", "emf-plus.emf", seedEmf(plus));

    // A Windows metafile carrying the enhanced metafile above in escapes of 256 bytes.
    Wmf carrying = wmfFrame();
    carrying.add(0x041B, {37, 50, 2, 2}); // RECTANGLE
    carryEmf(carrying, seedEmf(plus), 256);
    put("picture_wmf", "carries-emf.wmf", carrying.file(QRect(0, 0, 100, 75), 96));
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS-FOLDER\n");
        return 2;
    }
    g_root = QDir(QString::fromLocal8Bit(argv[1]));
    tableSeeds();
    optionSeeds();
    qtSeeds();
    wmfSeeds();
    emfSeeds();
    animationSeeds();
    return 0;
}
