// Files of every kind a user can pick, damaged or odd, and the extremes of a run. Each row has
// its expected outcome in docs/robustness.md; cases other tests already cover are named there
// rather than repeated here.
#include "MemoryProbe.h"

#include "canvas/CanvasModel.h"
#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
#include "engine/CharTable.h"
#include "engine/TableFile.h"
#include "loading/PictureLoader.h"

#include "TestPictures.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

constexpr int Tw = TwipsPerPixel;
// No bad input may make the process grow by more than this.
constexpr qint64 MemoryBoundKb = 64 * 1024;

QImage halfRed(int w, int h, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(w, h, format);
    image.fill(Qt::white);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < (w + 1) / 2; ++x)
            image.setPixelColor(x, y, Qt::red);
    }
    return image;
}

// bytes with count of them, from offset at, turned into their complement.
QByteArray corrupt(QByteArray bytes, qsizetype at, qsizetype count)
{
    for (qsizetype i = at; i < at + count && i < bytes.size(); ++i)
        bytes[i] = char(~bytes[i]);
    return bytes;
}

// A number written into bytes at offset at, little- or big-endian.
QByteArray with(QByteArray bytes, qsizetype at, quint32 value, int size, bool bigEndian)
{
    for (int i = 0; i < size; ++i)
        bytes[at + (bigEndian ? size - 1 - i : i)] = char(value >> (8 * i));
    return bytes;
}

// A GIF of width x height, palette black, red, white, blue, one image per frame; each frame is a
// single colour, frame f colour (f + 1) % 4. A clear code before every second pixel keeps the
// LZW codes 3 bits wide.
QByteArray gif(int width, int height, int frames)
{
    const auto le16 = [](int v) { return QByteArray(1, char(v & 0xFF)) + char(v >> 8); };
    QByteArray bytes = "GIF89a" + le16(width) + le16(height) + QByteArray("\x81\0\0", 3);
    bytes += QByteArray::fromHex("000000FF0000FFFFFF0000FF");
    for (int f = 0; f < frames; ++f) {
        QByteArray codes;
        quint32 bits = 0;
        int count = 0;
        const auto code = [&](quint32 c) {
            bits |= c << count;
            for (count += 3; count >= 8; count -= 8, bits >>= 8)
                codes += char(bits & 0xFF);
        };
        for (int i = 0; i < width * height; ++i) {
            if (i % 2 == 0)
                code(4);
            code(quint32((f + 1) % 4));
        }
        code(5);
        if (count > 0)
            codes += char(bits & 0xFF);
        bytes += QByteArray::fromHex("21F904040A000000") + '\x2C' + le16(0) + le16(0) +
                 le16(width) + le16(height) + QByteArray("\0\2", 2);
        for (qsizetype at = 0; at < codes.size(); at += 255)
            bytes += char(codes.mid(at, 255).size()) + codes.mid(at, 255);
        bytes += '\0';
    }
    return bytes + ';';
}

// A 16 x 8 CMYK JPEG with an Adobe marker (inverted values), red on the left half and white on
// the right, written by libjpeg with in_color_space JCS_CMYK; Qt has no CMYK encoder to make one.
QByteArray cmykJpeg()
{
    return QByteArray::fromBase64(
        "/9j/7gAOQWRvYmUAZAAAAAAA/9sAQwAIBgYHBgUIBwcHCQkICgwUDQwLCwwZEhMPFB0aHx4dGhwcICQuJyAiLCMc"
        "HCg3KSwwMTQ0NB8nOT04MjwuMzQy/8AAFAgACAAQBEMRAE0RAFkRAEsRAP/EABYAAQEBAAAAAAAAAAAAAAAAAAgA"
        "B//EABQQAQAAAAAAAAAAAAAAAAAAAAD/2gAOBEMATQBZAEsAAD8A38fx/b+j/P8AT//Z");
}

// Runs f with the permission-override capabilities out of this thread's effective set, so that
// a file's permissions hold even when the tests run as root; restores them afterwards.
template <typename F> bool withFilePermissionsEnforced(F f)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    const bool got = syscall(SYS_capget, &header, saved) == 0;
    if (got) {
        __user_cap_data_struct lowered[2] = {saved[0], saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header, lowered);
    }
    const bool result = f();
    if (got)
        syscall(SYS_capset, &header, saved);
    return result;
}

enum class Make { File, Unreadable, DanglingLink };

// The lines of a conversion's art, each without its CR LF; false when the art does not end in
// CR LF or a CR stands anywhere else. (A lone LF is an ordinary character of a table row.)
bool splitArt(const QByteArray& art, QList<QByteArray>* lines)
{
    lines->clear();
    if (art.isEmpty())
        return true;
    if (!art.endsWith("\r\n") || art.count('\r') != art.count("\r\n"))
        return false;
    for (qsizetype from = 0; from < art.size();) {
        const qsizetype end = art.indexOf("\r\n", from);
        lines->append(art.mid(from, end - from));
        from = end + 2;
    }
    return true;
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_ramp; // a picture with every grey from black to white, left to right

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    ConversionOutput convert(const QStringList& args)
    {
        const ParsedCommandLine parsed = ParseConvertOptions(args + QStringList{m_ramp});
        if (!parsed.options)
            qFatal("%s", qPrintable(parsed.error));
        return RunConversion(*parsed.options);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QImage ramp(256, 64, QImage::Format_RGB32);
        for (int x = 0; x < 256; ++x) {
            for (int y = 0; y < 64; ++y)
                ramp.setPixel(x, y, qRgb(x, x, x));
        }
        m_ramp = write(QStringLiteral("ramp.png"), encode(ramp, "PNG"));
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("make");
        QTest::addColumn<QSize>("size");  // natural size; empty: the file is refused
        QTest::addColumn<QRgb>("corner"); // the Canvas's top-left pixel after a load

        const QImage picture = halfRed(40, 30);
        const QByteArray png = encode(picture, "PNG");
        const QByteArray bmp = encode(picture, "BMP");
        const QByteArray jpeg = encode(picture, "JPEG");
        const QByteArray gif3 = gif(3, 2, 1);
        const qsizetype frame = gif3.indexOf('\x2C');
        const QByteArray ico = encode(halfRed(16, 16, QImage::Format_ARGB32), "ICO");
        const QByteArray cur = encode(halfRed(16, 16, QImage::Format_ARGB32), "CUR");
        const int file = int(Make::File);
        const QRgb red = qRgb(255, 0, 0);
        const auto refused = [&](const char* row, const char* name, const QByteArray& bytes,
                                 Make make = Make::File) {
            QTest::newRow(row) << name << bytes << int(make) << QSize() << QRgb(0);
        };

        // Qt reads an uncompressed bitmap cut short as whole, the rows it could not read left
        // as they were in memory; the loader checks the file's length against the header.
        refused("truncated bmp", "t.bmp", bmp.left(bmp.size() / 2));
        refused("truncated bmp: last row short by a byte", "r.bmp", bmp.chopped(1));
        refused(
            "truncated bmp: 32 bits, top-down", "td.bmp",
            with(encode(halfRed(40, 30, QImage::Format_ARGB32), "BMP"), 22, quint32(-30), 4, false)
                .chopped(160));
        refused("truncated bmp: 8 bits", "p.bmp",
                encode(picture.convertToFormat(QImage::Format_Indexed8), "BMP").chopped(40));
        refused("bmp with its pixels beyond the file", "o.bmp", with(bmp, 10, 1 << 20, 4, false));
        QTest::newRow("bmp with bytes after its pixels")
            << "x.bmp" << bmp + QByteArray(100, 'x') << file << QSize(40, 30) << red;
        refused("truncated jpeg: no scan", "t.jpg", jpeg.left(jpeg.size() / 2));
        // libjpeg would fill the part missing at the end grey: it is read only in part.
        refused("truncated jpeg: scan cut short", "s.jpg", jpeg.chopped(40));
        // libjpeg says so, but leaves out bytes between a JPEG's parts and nothing with them.
        QTest::newRow("jpeg with bytes before its end marker")
            << "x.jpg" << jpeg.chopped(2) + QByteArray("\x01\x02\x03\xFF\xD9", 5) << file
            << QSize(40, 30) << red;
        // Only the end code and the trailer are cut off: every pixel is there.
        QTest::newRow("truncated gif") << "t.gif" << gif3.chopped(4) << file << QSize(3, 2) << red;
        const QByteArray webp = encode(picture, "WEBP");
        const QByteArray tiff = encode(picture, "TIFF");
        refused("truncated webp", "t.webp", webp.left(webp.size() / 2));
        refused("truncated tiff", "t.tif", tiff.left(tiff.size() / 2));
        QImage blue(40, 30, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        QTest::newRow("animated webp: the first frame")
            << "a.webp" << animatedWebp({picture, blue}) << file << QSize(40, 30) << red;
        QTest::newRow("tiff") << "a.tif" << tiff << file << QSize(40, 30) << red;
        refused("truncated ico", "t.ico", ico.left(ico.size() / 2));
        refused("truncated cur", "t.cur", cur.left(cur.size() / 2));

        // Damage each format can notice: a checksum, a header field, a table, an offset.
        refused("corrupted png: data against its checksum", "c.png",
                corrupt(png, png.indexOf("IDAT") + 8, 4));
        refused("corrupted bmp: 7 bits a pixel", "c.bmp", with(bmp, 28, 7, 2, false));
        refused("corrupted jpeg: Huffman tables", "c.jpg",
                corrupt(jpeg, jpeg.indexOf("\xFF\xC4") + 4, 40));
        // Nothing decodes, and what is not decoded is transparent: the Canvas's white shows.
        QTest::newRow("corrupted gif: LZW code size 12")
            << "c.gif" << with(gif3, frame + 10, 12, 1, false) << file << QSize(3, 2)
            << qRgb(255, 255, 255);
        refused("corrupted ico: image beyond the file", "c.ico",
                with(ico, 18, 0x7FFFFF00, 4, false));
        refused("corrupted cur: image beyond the file", "c.cur",
                with(cur, 18, 0x7FFFFF00, 4, false));

        refused("unreadable file", "locked.png", png, Make::Unreadable);
        refused("dangling link", "gone.png", {}, Make::DanglingLink);
        // Not one of the offered formats, whatever Qt could read.
        const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='30'>"
                               "<rect width='20' height='30' fill='red'/></svg>";
        refused("svg named .jpg", "drawing.jpg", svg);
        refused("svg named .svg", "drawing.svg", svg);
        refused("portable pixmap", "a.ppm", encode(picture, "PPM"));
        refused("X pixmap named .bmp", "xpm.bmp", encode(picture, "XPM"));

        // Headers that ask for 100000 x 100000 pixels (GIF and JPEG: the most they can state).
        refused("png claims 100000 x 100000", "bomb.png", pngClaiming(png, 100000, 100000));
        refused("bmp claims 100000 x 100000", "bomb.bmp",
                with(with(bmp, 18, 100000, 4, false), 22, 100000, 4, false));
        // The most rows and the widest rows a header can state: more bytes than 64 bits count.
        refused("bmp claims 2147483647 x -2147483648", "huge.bmp",
                with(with(bmp, 18, 0x7FFFFFFF, 4, false), 22, 0x80000000, 4, false));
        refused("gif claims 65535 x 65535", "bomb.gif",
                with(with(with(with(gif3, 6, 0xFFFF, 2, false), 8, 0xFFFF, 2, false), frame + 5,
                          0xFFFF, 2, false),
                     frame + 7, 0xFFFF, 2, false));
        const qsizetype sof = jpeg.indexOf("\xFF\xC0");
        refused("jpeg claims 65500 x 65500", "bomb.jpg",
                with(with(jpeg, sof + 5, 65500, 2, true), sof + 7, 65500, 2, true));

        QTest::newRow("1 x 20000")
            << "tall.png" << encode(halfRed(1, 20000), "PNG") << file << QSize(1, 20000) << red;
        QTest::newRow("animated gif: the first frame")
            << "anim.gif" << gif(3, 2, 3) << file << QSize(3, 2) << red;
        QTest::newRow("cmyk jpeg") << "cmyk.jpg" << cmykJpeg() << file << QSize(16, 8) << red;
        QTest::newRow("paletted png")
            << "pal.png"
            << encode(picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither), "PNG")
            << file << QSize(40, 30) << red;
        QTest::newRow("16-bit png")
            << "deep.png" << encode(halfRed(40, 30, QImage::Format_RGBA64), "PNG") << file
            << QSize(40, 30) << red;
    }

    void pictures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, make);
        QFETCH(QSize, size);
        QFETCH(QRgb, corner);

        QString path = m_dir.filePath(name);
        if (make == int(Make::DanglingLink)) {
            QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("never-there.png")), path));
        } else {
            path = write(name, bytes);
            if (make == int(Make::Unreadable))
                QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        }

        CanvasModel canvas;
        canvas.line(0, 3000, 6000, 3000);
        PictureHolder holder;
        const QImage earlier = halfRed(8, 8);
        holder.setPicture(earlier);
        const QImage canvasBefore = canvas.image();

        MemoryProbe::Peak peak;
        bool readable = false;
        const bool loaded = withFilePermissionsEnforced([&] {
            readable = QFile(path).open(QIODevice::ReadOnly);
            return LoadPictureOntoCanvas(path, canvas, holder);
        });
        if (make == int(Make::Unreadable))
            QVERIFY2(!readable, "the file is still readable");
        QVERIFY2(peak.growthKb() < MemoryBoundKb, qPrintable(QString::number(peak.growthKb())));

        if (size.isEmpty()) {
            QVERIFY(!loaded);
            QCOMPARE(canvas.image(), canvasBefore);
            QCOMPARE(holder.picture(), earlier);
            return;
        }
        QVERIFY(loaded);
        QCOMPARE(QSizeF(holder.widthTwips(), holder.heightTwips()), QSizeF(size * Tw));
        // Within what JPEG compression changes.
        const ColorValue at = canvas.pixelAt(0, 0);
        for (const int shift : {0, 8, 16})
            QVERIFY(qAbs(int((at >> shift) & 0xFF) - int((corner >> (16 - shift)) & 0xFF)) <= 8);
        QCOMPARE(canvas.widthTwips(), CanvasModel::StartWidth);
    }

    // Headers that announce more than one picture may take (PictureMemoryLimit(), 1 GiB at
    // most): refused before any pixel memory is taken, with a message that says so, in the window
    // and in tessivo-convert alike.
    void tooLargePictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");

        const QImage picture = halfRed(40, 30);
        const QByteArray png = encode(picture, "PNG");
        const QByteArray bmp = encode(picture, "BMP");
        const QByteArray jpeg = encode(picture, "JPEG");
        const QByteArray gif3 = gif(3, 2, 1);
        const qsizetype frame = gif3.indexOf('\x2C');
        const qsizetype sof = jpeg.indexOf("\xFF\xC0");
        const auto jpegClaiming = [&](quint32 w, quint32 h) {
            return with(with(jpeg, sof + 5, h, 2, true), sof + 7, w, 2, true);
        };

        QTest::newRow("png claims 60000 x 60000") << "big.png" << pngClaiming(png, 60000, 60000);
        QTest::newRow("bmp claims 100000 x 100000")
            << "big.bmp" << with(with(bmp, 18, 100000, 4, false), 22, 100000, 4, false);
        // Rows stored top-down have a negative height.
        QTest::newRow("top-down bmp claims 100000 x 100000")
            << "top-down.bmp"
            << with(with(bmp, 18, 100000, 4, false), 22, quint32(-100000), 4, false);
        QTest::newRow("gif claims 65535 x 65535")
            << "big.gif"
            << with(with(with(with(gif3, 6, 0xFFFF, 2, false), 8, 0xFFFF, 2, false), frame + 5,
                         0xFFFF, 2, false),
                    frame + 7, 0xFFFF, 2, false);
        QTest::newRow("jpeg claims 65500 x 65500") << "big.jpg" << jpegClaiming(65500, 65500);
        QTest::newRow("tiff claims 100000 x 100000") << "big.tif" << tiffClaiming(100000, 100000);
        QTest::newRow("animated webp claims 60000 x 60000")
            << "big.webp" << animatedWebp({picture}, QSize(60000, 60000));
        // An eighth of it would fit on the Canvas, but a zoom needs the whole picture.
        QTest::newRow("jpeg claims 20000 x 20000, drawn reduced")
            << "reduced.jpg" << jpegClaiming(20000, 20000);
        QTest::newRow("16-bit png claims 16384 x 16384: 1 GiB at four bytes, twice decoded")
            << "deep.png"
            << pngClaiming(encode(halfRed(40, 30, QImage::Format_RGBA64), "PNG"), 16384, 16384);
    }

    void tooLargePictures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);

        const QString path = write(name, bytes);
        CanvasModel canvas;
        canvas.line(0, 3000, 6000, 3000);
        PictureHolder holder;
        const QImage earlier = halfRed(8, 8);
        holder.setPicture(earlier);
        const QImage canvasBefore = canvas.image();

        MemoryProbe::Peak peak;
        PictureRead outcome = PictureRead::Read;
        QVERIFY(!LoadPictureOntoCanvas(path, canvas, holder, &outcome));
        QVERIFY2(peak.growthKb() < MemoryBoundKb, qPrintable(QString::number(peak.growthKb())));
        QCOMPARE(int(outcome), int(PictureRead::TooLarge));
        QCOMPARE(canvas.image(), canvasBefore);
        QCOMPARE(holder.picture(), earlier);
        QCOMPARE(PictureFailureText(outcome),
                 QStringLiteral("图片过大，无法载入！\r\n请缩小图片尺寸后再试"));

        const ConversionOutput output = RunConversion(*ParseConvertOptions({path}).options);
        QCOMPARE(output.exitCode, 1);
        QVERIFY(output.out.isEmpty());
        QCOMPARE(QString::fromUtf8(output.err),
                 QStringLiteral("tessivo-convert: %1: the picture is too large: decoded, it would "
                                "take more than %2 MiB\n")
                     .arg(path)
                     .arg(PictureMemoryLimit() / (1024 * 1024)));
    }

    void tableFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");

        // Bytes that are no GBK character become U+FFFD; 0x80 is the euro sign in GBK.
        const QString bad(QChar::ReplacementCharacter);
        // GBK as Windows reads it: 0x80 is the euro sign, 0xFF a private-use character. A lead
        // byte without its trail byte at the very end is dropped.
        QTest::newRow("non-GBK bytes")
            << QByteArray("\x80\r\n\xFF\r\n\x81\x30z\r\nok\r\n\xD6")
            << QStringList{"€", QString(QChar(0xF8F5)), bad + "0z", "ok", " "};
        QTest::newRow("only LF: one row") << QByteArray("\n\n\n") << QStringList{"\n\n\n", " "};
        QTest::newRow("1 MB single line")
            << QByteArray(1 << 20, 'x') << QStringList{QString(1 << 20, QLatin1Char('x')), " "};
        QTest::newRow("rows of different lengths")
            << QByteArray("MMMM\r\n#\r\n\r\n...\r\n") << QStringList{"MMMM", "#", "", "...", " "};
    }

    // Read through the start-up import; then a run with the rows keeps the art's lines.
    void tableFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);

        QTemporaryDir dir;
        QFile file(dir.filePath(QString::fromLatin1(TableFileName)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        CharTables tables;
        QCOMPARE(LoadCustomTable(tables, dir.path(), [] { return true; }), ImportOutcome::Imported);
        QCOMPARE(tables.loaded(), rows);

        // A row of a million characters would be repeated for every dark cell; it is only read.
        if (bytes.size() > 1000)
            return;
        const ConversionOutput plain = convert({"--no-footer"});
        const ConversionOutput output = convert({"--no-footer", "--table", file.fileName()});
        QCOMPARE(output.exitCode, 0);
        QList<QByteArray> lines, plainLines;
        QVERIFY(splitArt(output.out, &lines));
        QVERIFY(splitArt(plain.out, &plainLines));
        QCOMPARE(lines.size(), plainLines.size());
    }

    // Each cell takes a whole row, so a long row multiplies the text; a run that could pass
    // MaxTextLength characters is refused before it starts, at no cost in memory.
    void longTableRows_data()
    {
        QTest::addColumn<int>("rowLength");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("refused");

        // Defaults: 50 bands of 4 lines of 456 cells (the last one dropped).
        QTest::newRow("100 characters, defaults") << 100 << QStringList{} << false;
        QTest::newRow("10 KB, defaults") << 10 * 1024 << QStringList{} << true;
        QTest::newRow("1 MB, defaults") << 1024 * 1024 << QStringList{} << true;
        QTest::newRow("10 KB, coarsest sampling")
            << 10 * 1024 << QStringList{"--sample-x", "300", "--sample-y", "300"} << false;
    }

    void longTableRows()
    {
        QFETCH(int, rowLength);
        QFETCH(QStringList, args);
        QFETCH(bool, refused);

        QTemporaryDir dir;
        const QString table = writeFile(QDir(dir.path()), QStringLiteral("rows.zfh"),
                                        QByteArray(rowLength, 'M') + "\r\n.\r\n");
        MemoryProbe::Peak peak;
        const ConversionOutput output = convert(args << "--no-footer"
                                                     << "--table" << table);
        QVERIFY2(peak.growthKb() < MemoryBoundKb, qPrintable(QString::number(peak.growthKb())));
        if (refused) {
            QCOMPARE(output.exitCode, 1);
            QVERIFY(output.out.isEmpty());
            QVERIFY(output.err.endsWith("tessivo-convert: the table's rows are too long: the "
                                        "text could exceed 33554432 characters\n"));
            return;
        }
        QCOMPARE(output.exitCode, 0);
        QList<QByteArray> lines;
        QVERIFY(splitArt(output.out, &lines));
        QVERIFY(lines.size() > 0);
        // The dark half of the ramp takes the long row.
        QVERIFY(lines.first().contains(QByteArray(rowLength, 'M')));
    }

    // Refused by its size before a byte is read: no memory to speak of, a message, and the
    // table in use stays.
    void tableFileOf100Mb()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QString::fromLatin1(TableFileName)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(100 * 1024 * 1024)); // sparse: costs no disk
        file.close();

        MemoryProbe::Peak peak;
        QCOMPARE(ReadTableFile(file.fileName()).status, TableFileResult::Status::TooLarge);
        CharTables tables;
        QCOMPARE(LoadCustomTable(tables, dir.path(), [] { return true; }), ImportOutcome::Failed);
        QCOMPARE(tables.loaded(), DefaultCharTable());
        const ConversionOutput output = convert({"--table", file.fileName()});
        QVERIFY(peak.growthKb() < 8 * 1024);
        QCOMPARE(output.exitCode, 1);
        QVERIFY(output.out.isEmpty());
        QCOMPARE(output.err, QStringLiteral("tessivo-convert: the table file %1 is larger than "
                                            "4194304 bytes\n")
                                 .arg(file.fileName())
                                 .toUtf8());
    }

    void runExtremes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("cells"); // in the longest line

        // The ramp picture lies at the top-left of a Canvas of 7935 x 5535 twips (CanvasWidth
        // 7885) unless the options size it; defaults: 50 bands, 17 x 30 twips, PictureFit 5.
        QTest::newRow("defaults") << QStringList{} << 200 << 455;
        QTest::newRow("sample-x 2") << QStringList{"--sample-x", "2"} << 200 << 3863;
        QTest::newRow("sample-x 300") << QStringList{"--sample-x", "300"} << 200 << 26;
        QTest::newRow("sample-y 2") << QStringList{"--sample-y", "2"} << 2650 << 455;
        QTest::newRow("sample-y 300") << QStringList{"--sample-y", "300"} << 50 << 455;
        QTest::newRow("color-level 1") << QStringList{"--color-level", "1"} << 200 << 455;
        QTest::newRow("color-level 10") << QStringList{"--color-level", "10"} << 200 << 455;
        QTest::newRow("contrast 1") << QStringList{"--contrast", "1"} << 200 << 455;
        QTest::newRow("contrast 1500") << QStringList{"--contrast", "1500"} << 200 << 455;
        QTest::newRow("ignore 1") << QStringList{"--ignore", "1"} << 200 << 455;
        QTest::newRow("ignore 30") << QStringList{"--ignore", "30"} << 200 << 455;
        QTest::newRow("picture-fit 1") << QStringList{"--picture-fit", "1"} << 200 << 455;
        QTest::newRow("picture-fit 100: no lines") << QStringList{"--picture-fit", "100"} << 0 << 0;
        QTest::newRow("bands 1") << QStringList{"--bands", "1"} << 176 << 455;
        QTest::newRow("bands 100") << QStringList{"--bands", "100"} << 200 << 455;
        // Every cell of a Canvas without pixels lies outside it.
        QTest::newRow("canvas-width 1: no pixel") << QStringList{"--canvas-width", "1"} << 200 << 1;
        QTest::newRow("canvas-width 15: 1 pixel")
            << QStringList{"--canvas-width", "15"} << 200 << 1;
        QTest::newRow("canvas-width 7935") << QStringList{"--canvas-width", "7935"} << 200 << 458;
        QTest::newRow("canvas-height 0") << QStringList{"--canvas-height", "0"} << 0 << 0;
        QTest::newRow("canvas-height 5895") << QStringList{"--canvas-height", "5895"} << 200 << 458;
        QTest::newRow("every setting at its minimum")
            << QStringList{"--sample-x", "2", "--sample-y",     "2", "--color-level",   "1",
                           "--contrast", "1", "--ignore",       "1", "--picture-fit",   "1",
                           "--bands",    "1", "--canvas-width", "1", "--canvas-height", "0"}
            << 0 << 0;
        QTest::newRow("every setting at its maximum")
            << QStringList{"--sample-x",      "300", "--sample-y",     "300",
                           "--color-level",   "10",  "--contrast",     "1500",
                           "--ignore",        "30",  "--picture-fit",  "100",
                           "--bands",         "100", "--canvas-width", "7935",
                           "--canvas-height", "5895"}
            << 0 << 0;
        QTest::newRow("largest Canvas, finest sampling")
            << QStringList{"--canvas-width", "7935", "--canvas-height", "5895", "--sample-x", "2",
                           "--sample-y",     "2",    "--picture-fit",   "1",    "--bands",    "100"}
            << 2900 << 3888;
    }

    void runExtremes()
    {
        QFETCH(QStringList, args);
        QFETCH(int, lines);
        QFETCH(int, cells);

        const ConversionOutput output = convert(args << "--no-footer");
        QCOMPARE(output.exitCode, 0);
        QVERIFY(output.err.isEmpty());
        QList<QByteArray> art;
        QVERIFY(splitArt(output.out, &art));
        QCOMPARE(art.size(), lines);
        qsizetype longest = 0;
        for (const QByteArray& line : art)
            longest = std::max(longest, line.size());
        QCOMPARE(longest, cells);
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
