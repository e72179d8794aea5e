#include "canvas/CanvasModel.h"
#include "canvas/Fonts.h"
#include "loading/DecoderMessages.h"
#include "loading/MappedFile.h"
#include "loading/Metafile.h"
#include "loading/PictureDecoder.h"
#include "loading/PictureLoader.h"

#include "TestPictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

// A file that another program cuts short while this one decodes it. The cut is made inside the
// reading itself: read() and mmap(), defined here, are what every library of this test program
// calls; they do what the system's do, and, once a file is chosen, cut it first where they
// would read it past its start or map it.
namespace cutWhileRead {
namespace {
std::atomic<bool> armed{false};
dev_t device = 0;
ino_t inode = 0;
off_t cutTo = 0;
QByteArray path;

bool isTheFile(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

void cutIfDue(int fd, bool mapping)
{
    if (armed.load() && fd >= 0 && isTheFile(fd) && (mapping || ::lseek(fd, 0, SEEK_CUR) > 0)) {
        armed = false;
        if (::truncate(path.constData(), cutTo) != 0)
            qFatal("cannot cut the file");
    }
}
} // namespace
} // namespace cutWhileRead

extern "C" ssize_t read(int fd, void* buffer, size_t bytes)
{
    cutWhileRead::cutIfDue(fd, false);
    return ::syscall(SYS_read, fd, buffer, bytes);
}

extern "C" ssize_t __read_chk(int fd, void* buffer, size_t bytes, size_t);
extern "C" ssize_t __read_chk(int fd, void* buffer, size_t bytes, size_t)
{
    return read(fd, buffer, bytes);
}

extern "C" void* mmap(void* address, size_t bytes, int protection, int flags, int fd,
                      off_t offset) noexcept
{
    void* mapped =
        reinterpret_cast<void*>(::syscall(SYS_mmap, address, bytes, protection, flags, fd, offset));
    if (mapped != MAP_FAILED)
        cutWhileRead::cutIfDue(fd, true);
    return mapped;
}

using namespace tessivo;
using namespace tessivo::testing;

// The category Qt's JPEG reader says libjpeg's warnings in.
Q_DECLARE_LOGGING_CATEGORY(jpegReader)
Q_LOGGING_CATEGORY(jpegReader, "qt.gui.imageio.jpeg")

namespace {

constexpr int Tw = TwipsPerPixel;
constexpr ColorValue White = 0xFFFFFF;
constexpr qint64 MiB = 1024 * 1024;

QImage solid(int w, int h, QRgb rgb, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(w, h, format);
    image.fill(rgb);
    return image;
}

// Stripes of every colour, which JPEG compression keeps apart.
QImage stripes(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y)
            image.setPixel(x, y, qRgb(x % 256, y * 5 % 256, (x / 7) % 256));
    }
    return image;
}

// The grey level of a Canvas pixel: the mean of its three channels.
int greyOf(ColorValue c)
{
    return int((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) / 3;
}

// A 1 x 1 red GIF, written out by hand: there is no GIF encoder to make one.
QByteArray redGif()
{
    static const unsigned char bytes[] = {'G',  'I', 'F',  '8',  '9', 'a', 1, 0, 1, 0,
                                          0x80, 0,   0,                                // screen
                                          0xFF, 0,   0,    0,    0,   0,               // palette
                                          0x2C, 0,   0,    0,    0,   1,   0, 1, 0, 0, // image
                                          2,    2,   0x44, 0x01, 0,                    // LZW data
                                          0x3B};
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Where the drawn picture ends, along the top row and down the left column.
QSize drawnExtent(const CanvasModel& canvas)
{
    int w = 0;
    while (w * Tw < canvas.widthTwips() && canvas.pixelAt(w * Tw, 0) != canvas.backColor())
        ++w;
    int h = 0;
    while (h * Tw < canvas.heightTwips() && canvas.pixelAt(0, h * Tw) != canvas.backColor())
        ++h;
    return {w, h};
}

} // namespace

class TestLoading : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        return writeFile(QDir(m_dir.path()), name, bytes);
    }

    // What read makes of a pipe that gives the bytes.
    template <typename Read> auto throughPipe(const QByteArray& bytes, Read read)
    {
        const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("pipe")));
        ::unlink(fifo.constData());
        if (::mkfifo(fifo.constData(), 0600) != 0)
            qFatal("no pipe");
        std::signal(SIGPIPE, SIG_IGN);
        std::thread writer([&] {
            const int fd = ::open(fifo.constData(), O_WRONLY);
            for (qsizetype done = 0; fd >= 0 && done < bytes.size();) {
                const ssize_t n =
                    ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
                if (n <= 0)
                    break;
                done += n;
            }
            if (fd >= 0)
                ::close(fd);
        });
        const auto result = read(QFile::decodeName(fifo));
        // Should the reader not have opened the pipe, this lets the writer go.
        ::close(::open(fifo.constData(), O_RDONLY | O_NONBLOCK));
        writer.join();
        return result;
    }

private slots:
    void initTestCase()
    {
        RegisterFontSubstitutes();
        QVERIFY(m_dir.isValid());
    }

    void reduction_data()
    {
        QTest::addColumn<int>("canvasTwips");
        QTest::addColumn<int>("pictureWidth"); // pixels; every picture is 120 pixels high
        QTest::addColumn<int>("ratio");
        QTest::addColumn<QSize>("drawn"); // pixels, as far as the Canvas shows it

        // A Canvas of 400 pixels makes the width ratios exact.
        QTest::newRow("0.4: natural size") << 6000 << 160 << 0 << QSize(160, 120);
        QTest::newRow("0.5: natural size, not enlarged") << 6000 << 200 << 0 << QSize(200, 120);
        QTest::newRow("1.4: natural size, cut") << 6000 << 560 << 1 << QSize(400, 120);
        QTest::newRow("1.5: half, 3/4 of the Canvas") << 6000 << 600 << 2 << QSize(300, 60);
        QTest::newRow("2.5: half, cut") << 6000 << 1000 << 2 << QSize(400, 60);
        QTest::newRow("3: a third, the Canvas's width") << 6000 << 1200 << 3 << QSize(400, 40);
        QTest::newRow("3.5: a quarter") << 6000 << 1400 << 4 << QSize(350, 30);
        // 793 pixels are 1.499 times the width (7935) but 1.509 times CanvasWidth (7885).
        QTest::newRow("compared with the width, not CanvasWidth")
            << 7935 << 793 << 1 << QSize(529, 120);
    }

    void reduction()
    {
        QFETCH(int, canvasTwips);
        QFETCH(int, pictureWidth);
        QFETCH(int, ratio);
        QFETCH(QSize, drawn);

        CanvasModel canvas;
        if (canvasTwips != canvas.widthTwips())
            canvas.setWidthTwips(canvasTwips); // else CanvasWidth stays 50 less than the width
        QCOMPARE(ReductionRatio(pictureWidth * Tw, canvas.widthTwips()), ratio);

        const QString path = write(QStringLiteral("wide%1.png").arg(pictureWidth),
                                   encode(solid(pictureWidth, 120, qRgb(0, 0, 255)), "PNG"));
        PictureHolder holder;
        QVERIFY(LoadPictureOntoCanvas(path, canvas, holder));
        QCOMPARE(holder.widthTwips(), pictureWidth * Tw * 1.0);
        QCOMPARE(holder.heightTwips(), 120.0 * Tw);
        QCOMPARE(drawnExtent(canvas), drawn);
        QCOMPARE(canvas.widthTwips(), canvasTwips); // a load never resizes the Canvas
    }

    void reductionWithoutCanvas() { QCOMPARE(ReductionRatio(7935, 0), 0); }

    void formats_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("tolerance");

        const QImage picture = solid(16, 12, qRgb(255, 0, 0));
        QTest::newRow("bmp") << "a.bmp" << encode(picture, "BMP") << QSize(16, 12) << 0;
        QTest::newRow("dib") << "a.dib" << encode(picture, "BMP") << QSize(16, 12) << 0;
        QTest::newRow("png") << "a.png" << encode(picture, "PNG") << QSize(16, 12) << 0;
        QTest::newRow("png named .bmp")
            << "png.bmp" << encode(picture, "PNG") << QSize(16, 12) << 0;
        QTest::newRow("jpg") << "a.jpg" << encode(picture, "JPEG") << QSize(16, 12) << 8;
        QTest::newRow("ico") << "a.ico" << encode(picture, "ICO") << QSize(16, 12) << 0;
        QTest::newRow("cur") << "a.cur" << encode(picture, "CUR") << QSize(16, 12) << 0;
        QTest::newRow("gif") << "a.gif" << redGif() << QSize(1, 1) << 0;
    }

    void formats()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(int, tolerance);

        CanvasModel canvas;
        PictureHolder holder;
        QVERIFY(LoadPictureOntoCanvas(write(fileName, bytes), canvas, holder));
        QCOMPARE(holder.picture().size(), size);
        QCOMPARE(holder.widthTwips(), size.width() * Tw * 1.0);
        const ColorValue corner = canvas.pixelAt(0, 0);
        QVERIFY2((corner & 0xFF) >= 255 - tolerance && ((corner >> 8) & 0xFF) <= tolerance &&
                     ((corner >> 16) & 0xFF) <= tolerance,
                 qPrintable(QString::number(corner, 16)));
        QCOMPARE(drawnExtent(canvas), size);
    }

    void formatByContent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("format"); // empty: every reader is asked

        const QImage picture = solid(16, 12, qRgb(255, 0, 0));
        const QByteArray jpeg = encode(picture, "JPEG");
        QTest::newRow("bmp") << encode(picture, "BMP") << QByteArray("bmp");
        QTest::newRow("png") << encode(picture, "PNG") << QByteArray("png");
        QTest::newRow("jpeg") << jpeg << QByteArray("jpeg");
        QTest::newRow("gif") << redGif() << QByteArray("gif");
        QTest::newRow("ico, told only by trying") << encode(picture, "ICO") << QByteArray();
        QTest::newRow("cur, told only by trying") << encode(picture, "CUR") << QByteArray();
        // A comment segment right after the start of image: still a JPEG, but its start shows
        // what a vector-graphics reader looks for.
        const QByteArray comment = QByteArray("\xFF\xFE\x00\x07<svg>", 9);
        QTest::newRow("jpeg showing vector markers")
            << jpeg.left(2) + comment + jpeg.mid(2) << QByteArray();
        QTest::newRow("damaged jpeg") << jpeg.left(40) << QByteArray("jpeg");
        QTest::newRow("text") << QByteArray("BMW is not a bitmap") << QByteArray("bmp");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void formatByContent()
    {
        // The format told from the first bytes loads only that format's reader; the picture
        // must come out as when every reader is asked in turn.
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, format);
        QCOMPARE(PictureFormatByContent(bytes.left(64)), format);

        const QString path = write(QStringLiteral("picture.dat"), bytes);
        QImageReader byContent(path);
        byContent.setDecideFormatFromContent(true);
        byContent.setAutoTransform(false);
        QCOMPARE(DecodePicture(path), byContent.read());
    }

    void failureChangesNothing_data()
    {
        QTest::addColumn<QString>("fileName"); // empty: a folder
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all

        const QByteArray png = encode(solid(64, 64, qRgb(10, 200, 30)), "PNG");
        const QByteArray bmp = encode(solid(64, 64, qRgb(10, 200, 30)), "BMP");
        QTest::newRow("missing file") << "missing.bmp" << QByteArray();
        QTest::newRow("empty file") << "empty.bmp" << QByteArray("");
        QTest::newRow("folder") << QString() << QByteArray();
        QTest::newRow("garbage") << "garbage.jpg" << QByteArray("this is not a picture\r\n", 23);
        QTest::newRow("truncated png") << "cut.png" << png.left(png.size() / 2);
        QTest::newRow("png without its end") << "noend.png" << png.left(png.size() - 12);
        QTest::newRow("bmp header only") << "header.bmp" << bmp.left(54);
    }

    void failureChangesNothing()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);

        QString path;
        if (fileName.isEmpty()) {
            path = m_dir.filePath(QStringLiteral("folder.bmp"));
            QVERIFY(QDir().mkpath(path));
        } else if (bytes.isNull()) {
            path = m_dir.filePath(fileName);
        } else {
            path = write(fileName, bytes);
        }

        CanvasModel canvas;
        PictureHolder holder;
        QVERIFY(LoadPictureOntoCanvas(
            write(QStringLiteral("earlier.png"), encode(solid(30, 20, qRgb(0, 0, 255)), "PNG")),
            canvas, holder));
        canvas.line(0, 3000, 6000, 3000);
        canvas.setCurrentPosition(300, 600);
        const QImage canvasBefore = canvas.image();
        const QImage holderBefore = holder.picture();

        QVERIFY(DecodePicture(path).isNull());
        QVERIFY(!LoadPictureOntoCanvas(path, canvas, holder));
        QCOMPARE(canvas.image(), canvasBefore);
        QCOMPARE(holder.picture(), holderBefore);
        QCOMPARE(canvas.currentX(), 300.0);
    }

    // A picture named by a pipe (a shell's <(...), say) is read once, whole, and gives the same
    // Canvas and held picture as the file itself.
    void fromPipe_data()
    {
        QTest::addColumn<QByteArray>("bytes");

        QImage stripes(1600, 48, QImage::Format_RGB32); // drawn at a third: a reduced decode
        for (int x = 0; x < stripes.width(); ++x) {
            for (int y = 0; y < stripes.height(); ++y)
                stripes.setPixel(x, y, qRgb(x % 256, y * 5, (x / 7) % 256));
        }
        QTest::newRow("png") << encode(solid(40, 30, qRgb(255, 0, 0)), "PNG");
        QTest::newRow("bmp") << encode(solid(40, 30, qRgb(0, 255, 0)), "BMP");
        QTest::newRow("large jpeg, decoded reduced") << encode(stripes, "JPEG");
        // A placeable metafile with a white background: the helper process reads it from its
        // standard input.
        QTest::newRow("wmf") << QByteArray::fromHex(
            "d7cdc69a000000000000280028006000000000007157" // placeable, 40 x 40 units
            "0100090000032a0000000200080000000000"         // header, largest record 8 words
            "08000000fa0205000000000000000000"             // null pen
            "040000002d010000"                             // selected
            "07000000fc020000ffffff000000"                 // white brush
            "040000002d010100"                             // selected
            "070000001b042800280000000000"                 // rectangle 0, 0, 40, 40
            "030000000000"); // end                                 // end
    }

    void fromPipe()
    {
        QFETCH(QByteArray, bytes);

        const QString file = write(QStringLiteral("picture"), bytes);
        CanvasModel expected;
        PictureHolder expectedHolder;
        QVERIFY(LoadPictureOntoCanvas(file, expected, expectedHolder));

        CanvasModel canvas;
        PictureHolder holder;
        const bool loaded = throughPipe(bytes, [&](const QString& pipe) {
            return LoadPictureOntoCanvas(pipe, canvas, holder);
        });
        QVERIFY(loaded);
        QCOMPARE(canvas.image(), expected.image());
        QCOMPARE(holder.widthTwips(), expectedHolder.widthTwips());
        QCOMPARE(holder.picture(), expectedHolder.picture());
        QVERIFY(!holder.picture().isNull());
    }

    void transparentPartsShowTheBackground()
    {
        CanvasModel canvas;
        canvas.setBackColor(0x00FF00);
        QImage picture = solid(900, 60, qRgba(255, 0, 0, 0), QImage::Format_ARGB32); // reduced
        picture.setPixel(0, 0, qRgba(0, 0, 255, 255));
        PictureHolder holder;
        QVERIFY(LoadPictureOntoCanvas(write(QStringLiteral("alpha.png"), encode(picture, "PNG")),
                                      canvas, holder));
        QCOMPARE(canvas.pixelAt(150, 150), 0x00FF00);
        QVERIFY(canvas.pixelAt(0, 0) != 0x00FF00); // the opaque pixel, averaged down
    }

    void tallPictureCutAtTheBottom()
    {
        CanvasModel canvas;
        canvas.line(7000, 5000, 7500, 5400); // wiped by the load
        PictureHolder holder;
        const QString path =
            write(QStringLiteral("tall.bmp"), encode(solid(50, 1000, qRgb(0, 0, 0)), "BMP"));
        QVERIFY(LoadPictureOntoCanvas(path, canvas, holder));

        QCOMPARE(drawnExtent(canvas), QSize(50, 369));
        QCOMPARE(canvas.pixelAt(49 * Tw, 5534), 0);
        QCOMPARE(canvas.pixelAt(50 * Tw, 5534), White);
        QCOMPARE(canvas.pixelAt(7200, 5200), White);
        QCOMPARE(canvas.widthTwips(), 7935);
        QCOMPARE(canvas.heightTwips(), 5535);
        QCOMPARE(canvas.canvasWidth(), 7885);
        QCOMPARE(holder.heightTwips(), 15000.0);
    }
    // tessivo-convert decodes a JPEG only as far as the Canvas shows it; the Canvas must be the
    // one a whole decode gives, for every kind of JPEG and every side the crop cuts.
    void croppedDecodeGivesTheSameCanvas_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<bool>("progressive");
        QTest::newRow("wider and taller") << stripes(640, 480) << false;
        QTest::newRow("progressive") << stripes(641, 479) << true;
        QTest::newRow("only taller, odd size") << stripes(301, 397) << false;
        QTest::newRow("only wider") << stripes(547, 100) << false;
        QTest::newRow("grey") << stripes(600, 400).convertToFormat(QImage::Format_Grayscale8)
                              << false;
        QTest::newRow("smaller than the Canvas") << stripes(120, 90) << false;
    }
    void croppedDecodeGivesTheSameCanvas()
    {
        QFETCH(QImage, picture);
        QFETCH(bool, progressive);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(progressive);
        QVERIFY(writer.write(picture));
        const QString path = write(QStringLiteral("crop.jpg"), bytes);

        CanvasModel whole;
        PictureHolder holder;
        QVERIFY(LoadPictureOntoCanvas(path, whole, holder));
        // Over an earlier drawing: the picture is decoded into the Canvas's own pixels, and what
        // it does not cover is wiped all the same.
        CanvasModel cropped;
        cropped.paintPicture(solid(2000, 2000, qRgb(255, 0, 0)), 0, 0, 2000 * Tw, 2000 * Tw);
        QVERIFY(DrawPictureFile(path, cropped));
        QCOMPARE(cropped.image(), whole.image());
    }

    // A picture decoded reduced keeps the bytes it was read from, and a zoom decodes them at the
    // natural size: what was opened is drawn, whatever has become of the file since.
    void heldPictureOutlivesItsFile_data()
    {
        QTest::addColumn<QString>("change");

        QTest::newRow("deleted") << "delete";
        QTest::newRow("renamed") << "rename";
        QTest::newRow("replaced by another picture") << "replace";
        QTest::newRow("emptied") << "empty";
    }

    void heldPictureOutlivesItsFile()
    {
        QFETCH(QString, change);

        // Three times the Canvas's width: decoded at a third.
        const QString path = write(QStringLiteral("held.jpg"), encode(stripes(1600, 48), "JPEG"));
        const QImage natural = DecodePicture(path);
        QCOMPARE(natural.size(), QSize(1600, 48));
        CanvasModel canvas;
        PictureHolder holder;
        QVERIFY(LoadPictureOntoCanvas(path, canvas, holder));
        // Until a zoom asks for the natural size, only the file's bytes are kept.
        QCOMPARE(holder.bytes(), QFileInfo(path).size());
        const PictureHolder step = holder; // as the undo history keeps it

        if (change == QLatin1String("delete")) {
            QVERIFY(QFile::remove(path));
        } else if (change == QLatin1String("rename")) {
            QVERIFY(QFile::rename(path, path + QLatin1String(".old")));
        } else if (change == QLatin1String("replace")) {
            write(QStringLiteral("held.jpg"), encode(solid(1600, 48, qRgb(0, 255, 0)), "JPEG"));
        } else {
            write(QStringLiteral("held.jpg"), QByteArray(""));
        }

        QCOMPARE(holder.picture(), natural);
        QCOMPARE(holder.bytes(), natural.sizeInBytes());
        QCOMPARE(step.picture(), natural);
        // A zoom draws it: at a tenth, the stripes' colours across the Canvas.
        canvas.clear();
        canvas.paintPicture(holder.picture(), 0, 0, holder.widthTwips() / 10,
                            holder.heightTwips() / 10);
        QCOMPARE(drawnExtent(canvas), QSize(160, 5));
        QFile::remove(path + QLatin1String(".old"));
    }

    void mappedFileCutShort()
    {
        // Four pages, cut to the first one while mapped.
        const QByteArray whole(4 * 4096, 'x');
        const QString path = write(QStringLiteral("cut-while-mapped.jpg"), whole);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const MappedFile mapped(file);
        const QByteArray bytes = mapped.bytes();
        QCOMPARE(bytes, whole);
        QVERIFY(QFile::resize(path, 4096));

        // Past the new end, the mapping reads as zeros instead of ending the program.
        QVERIFY(!mapped.damaged());
        QCOMPARE(bytes.mid(4096), QByteArray(3 * 4096, '\0'));
        QVERIFY(mapped.damaged());

        // What does not belong to a mapping still ends the program, as a bus error does.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--bus-error-outside-mappings"});
        QVERIFY(child.waitForFinished(60000));
        // (Under AddressSanitizer, its own handler reports the error and exits with a status.)
        QVERIFY(child.exitStatus() == QProcess::CrashExit || child.exitCode() != 0);
    }

    // What the decoders say, as they say it, and what it means for the picture.
    void decoderMessages_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("words");
        const int cutShort = int(DecoderVerdict::CutShort), damaged = int(DecoderVerdict::Damaged);
        const QString ends = "the picture is incomplete: its data ends before the picture does";
        QTest::newRow("libjpeg, file ended") << "Premature end of JPEG file" << cutShort << ends;
        QTest::newRow("libjpeg, scan ended")
            << "Corrupt JPEG data: premature end of data segment" << cutShort << ends;
        QTest::newRow("libpng, file ended") << "libpng error: Read Error" << cutShort << ends;
        QTest::newRow("libpng, rows missing")
            << "libpng error: Not enough image data" << cutShort << ends;
        QTest::newRow("libjpeg, damaged")
            << "Corrupt JPEG data: bad Huffman code" << damaged
            << "the picture's data is damaged (its decoder found \"Corrupt JPEG data: bad Huffman "
               "code\")";
        QTest::newRow("libpng, any other error")
            << "libpng error: IDAT: CRC error" << damaged
            << "the picture's data is damaged (its decoder found \"IDAT: CRC error\")";
        QTest::newRow("Qt's reader, over its memory")
            << "QImageIOHandler: Rejecting image as it exceeds the current allocation limit of "
               "1024 megabytes"
            << int(DecoderVerdict::OverMemory)
            << "the picture is too large: its decoder would take more memory than it may";
        QTest::newRow("libjpeg, bytes between parts, nothing lost")
            << "Corrupt JPEG data: 3 extraneous bytes before marker 0xd9"
            << int(DecoderVerdict::Note)
            << "the picture does not read (its decoder says \"Corrupt JPEG data: 3 extraneous "
               "bytes before marker 0xd9\")";
        QTest::newRow("libpng, a warning")
            << "libpng warning: iCCP: known incorrect sRGB profile" << int(DecoderVerdict::Note)
            << "the picture does not read (its decoder says "
               "\"iCCP: known incorrect sRGB profile\")";
    }

    void decoderMessages()
    {
        QFETCH(QString, message);
        QFETCH(int, verdict);
        QFETCH(QString, words);
        QCOMPARE(int(VerdictOf(message)), verdict);
        QCOMPARE(ProgramWordsFor(message), words);
        // Kept as said while a decode goes on in this thread, one a line; standard error as it
        // was once it ends.
        {
            const DecoderMessages kept;
            qCWarning(jpegReader).noquote() << message;
            std::fprintf(stderr, "%s\n", qPrintable(message));
            QCOMPARE(kept.lines(), QStringList({message, message}));
        }
    }

    // The metafile helper ends with the program that started it, here killed while the helper
    // waits for a pipe named as its metafile.
    void metafileHelperEndsWithItsProgram()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("waits.wmf"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const auto helper = [&fifo]() -> pid_t {
            for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(entry));
                if (!commandLine.open(QIODevice::ReadOnly))
                    continue;
                const QByteArray words = commandLine.readAll();
                if (words.contains("tessivo-metafile") &&
                    words.contains(QFile::encodeName(fifo) + '\0'))
                    return pid_t(entry.toInt());
            }
            return 0;
        };
        // Gone, or a zombie that its new parent has not yet reaped.
        const auto ended = [](pid_t pid) {
            QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
            return !status.open(QIODevice::ReadOnly) || status.readAll().contains(") Z ");
        };
        QProcess program;
        program.start(QCoreApplication::applicationFilePath(), {"--draw-metafile", fifo});
        pid_t waiting = 0;
        QTRY_VERIFY_WITH_TIMEOUT((waiting = helper()) > 0, 30000);
        program.kill();
        QVERIFY(program.waitForFinished(30000));
        const auto release = qScopeGuard([&] {
            // Whatever the outcome, a helper left waiting is let go.
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
        QTRY_VERIFY_WITH_TIMEOUT(ended(waiting), 30000);
    }

    // A bitmap another program cuts short after its header was checked, while its rows are read:
    // refused as read in part, rather than drawn with the rows it lacks as they were in memory.
    void bitmapCutWhileRead_data()
    {
        QTest::addColumn<bool>("held"); // loaded as the window does, or drawn as the converter does
        QTest::newRow("loaded") << true;
        QTest::newRow("drawn") << false;
    }

    void bitmapCutWhileRead()
    {
        QFETCH(bool, held);
        const QString path =
            write(QStringLiteral("cut-while-read.bmp"), encode(stripes(300, 200), "BMP"));
        struct stat status {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &status) == 0);
        cutWhileRead::device = status.st_dev;
        cutWhileRead::inode = status.st_ino;
        cutWhileRead::cutTo = 20000;
        cutWhileRead::path = QFile::encodeName(path);
        cutWhileRead::armed = true;

        CanvasModel canvas;
        canvas.line(0, 0, 3000, 0);
        const QImage before = canvas.image();
        PictureHolder holder;
        PictureRead outcome = PictureRead::Read;
        const bool read = held ? LoadPictureOntoCanvas(path, canvas, holder, &outcome)
                               : DrawPictureFile(path, canvas, &outcome);
        QVERIFY(!cutWhileRead::armed);
        QVERIFY(!read);
        QCOMPARE(int(outcome), int(PictureRead::Incomplete));
        if (held) {
            QCOMPARE(canvas.image(), before);
            QVERIFY(!holder.hasPicture());
        }
    }

    // 8000 x 6000 pixels take 183 MiB decoded, more than image readers allow by default.
    void largePictures_data()
    {
        QTest::addColumn<QByteArray>("format");

        QTest::newRow("jpeg, decoded reduced") << QByteArray("JPEG");
        QTest::newRow("png") << QByteArray("PNG");
    }

    void largePictures()
    {
        QFETCH(QByteArray, format);

        QString path;
        {
            // Black on the left half, white on the right.
            QImage picture(8000, 6000, QImage::Format_RGB32);
            picture.fill(Qt::white);
            QPainter(&picture).fillRect(0, 0, 4000, 6000, Qt::black);
            path = write(QStringLiteral("large.") + QString::fromLatin1(format.toLower()),
                         encode(picture, format));
        }
        CanvasModel canvas;
        PictureHolder holder;
        PictureRead outcome = PictureRead::Unreadable;
        QVERIFY(LoadPictureOntoCanvas(path, canvas, holder, &outcome));
        QCOMPARE(int(outcome), int(PictureRead::Read));
        QCOMPARE(QSizeF(holder.widthTwips(), holder.heightTwips()), QSizeF(8000 * Tw, 6000 * Tw));
        // Drawn at a fifteenth: 533 pixels wide, its black half 267.
        QVERIFY(greyOf(canvas.pixelAt(250 * Tw, 100 * Tw)) < 16);
        QVERIFY(greyOf(canvas.pixelAt(280 * Tw, 100 * Tw)) > 240);

        // Zoomed to a tenth: 800 pixels wide, its black half 400.
        const QImage& natural = holder.picture();
        QCOMPARE(natural.size(), QSize(8000, 6000));
        canvas.clear();
        canvas.paintPicture(natural, 0, 0, holder.widthTwips() / 10, holder.heightTwips() / 10);
        QVERIFY(greyOf(canvas.pixelAt(390 * Tw, 300 * Tw)) < 16);
        QVERIFY(greyOf(canvas.pixelAt(410 * Tw, 300 * Tw)) > 240);
        QFile::remove(path);
    }

    // A pipe that gives more than its limit is refused, not cut to it (a picture with bytes after
    // its end would read whole from its start). The limit, once lowered, stays lowered.
    void pipeLimit_data()
    {
        QTest::addColumn<int>("extra");
        QTest::addColumn<int>("outcome");
        QTest::newRow("at the limit") << 0 << int(PictureRead::Read);
        QTest::newRow("a byte over") << 1 << int(PictureRead::TooLarge);
    }

    void pipeLimit()
    {
        QFETCH(int, extra);
        QFETCH(int, outcome);
        constexpr qint64 Limit = 4096;
        LowerPipedPictureLimit(Limit);
        LowerPipedPictureLimit(MaxPipedPictureBytes); // never raises it
        QCOMPARE(PipedPictureLimit(), Limit);

        QByteArray bytes = encode(solid(40, 30, qRgb(255, 0, 0)), "PNG");
        bytes += QByteArray(Limit + extra - bytes.size(), '\0');
        const ReducedPicture read = throughPipe(bytes, [](const QString& pipe) {
            return DecodePictureReduced(pipe, [](QSize) { return 1.0f; });
        });
        QCOMPARE(int(read.outcome()), outcome);
        // Said as what it is: more than a pipe may give, not a picture too large to decode.
        if (read.tooLarge)
            QCOMPARE(read.failure, "the picture is too large: a pipe or device may give at most "
                                   "4096 bytes");
    }

    // Last: the memory limit, once lowered, stays lowered for the rest of the process. At 1 MiB,
    // a picture may have 262144 pixels of four bytes, or half as many of eight.
    void memoryLimit_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("outcome");

        const int read = int(PictureRead::Read);
        const int tooLarge = int(PictureRead::TooLarge);
        const auto png = [](int w, int h, QImage::Format format) {
            return encode(solid(w, h, qRgb(0, 0, 255), format), "PNG");
        };
        QTest::newRow("png at the limit") << png(512, 512, QImage::Format_RGB32) << read;
        QTest::newRow("png a row over") << png(512, 513, QImage::Format_RGB32) << tooLarge;
        QTest::newRow("16-bit png at the limit") << png(512, 256, QImage::Format_RGBA64) << read;
        QTest::newRow("16-bit png a row over: counted at eight bytes")
            << png(512, 257, QImage::Format_RGBA64) << tooLarge;
        QTest::newRow("paletted png a row over: counted at four bytes, as it is drawn")
            << png(512, 513, QImage::Format_Indexed8) << tooLarge;
        QTest::newRow("jpeg at the limit, decoded reduced")
            << encode(stripes(512, 512), "JPEG") << read;
        QTest::newRow("jpeg a row over: a zoom would need it whole")
            << encode(stripes(512, 513), "JPEG") << tooLarge;
        QTest::newRow("header over the limit, pixels within")
            << pngClaiming(png(4, 4, QImage::Format_RGB32), 1024, 1024) << tooLarge;
    }

    void memoryLimit()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, outcome);

        LowerPictureMemoryLimit(MiB);
        LowerPictureMemoryLimit(1024 * MiB); // never raises it
        QCOMPARE(PictureMemoryLimit(), MiB);

        CanvasModel canvas;
        canvas.setSizeTwips(1500, 1500); // a 512-pixel picture is drawn at a fifth
        PictureHolder holder;
        QVERIFY(LoadPictureOntoCanvas(
            write(QStringLiteral("earlier.png"), encode(solid(30, 20, qRgb(0, 0, 255)), "PNG")),
            canvas, holder));
        canvas.line(0, 300, 1500, 300);
        const QImage canvasBefore = canvas.image();

        const QString path = write(QStringLiteral("limit.pic"), bytes);
        PictureRead got = PictureRead::Read;
        const bool loaded = LoadPictureOntoCanvas(path, canvas, holder, &got);
        QCOMPARE(int(got), outcome);
        QCOMPARE(loaded, got == PictureRead::Read);
        // Every image reader is held to the same limit.
        QCOMPARE(QImageReader::allocationLimit(), 1);
        if (loaded) {
            QCOMPARE(holder.picture().size(), QImageReader(path).size());
            return;
        }
        QCOMPARE(canvas.image(), canvasBefore);
        QCOMPARE(holder.picture().size(), QSize(30, 20));
    }
};

namespace {

// Reads past the end of a file cut short while mapped, as MappedFile does not know it.
int busErrorOutsideMappings()
{
    QTemporaryDir dir;
    QFile file(writeFile(QDir(dir.path()), QStringLiteral("a"), QByteArray(8192, 'a')));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const MappedFile ours(file); // the handler is in place
    const uchar* other = file.map(0, 8192);
    QFile::resize(file.fileName(), 0);
    return other[4096]; // ends the program
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--bus-error-outside-mappings") == 0)
        return busErrorOutsideMappings();
    if (argc == 3 && qstrcmp(argv[1], "--draw-metafile") == 0)
        return DecodeMetafileFile(QString::fromLocal8Bit(argv[2])).isNull() ? 1 : 0;
    QGuiApplication app(argc, argv);
    TestLoading test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_loading.moc"
