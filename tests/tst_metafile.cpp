#include "canvas/CanvasModel.h"
#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
#include "loading/Metafile.h"
#include "loading/PictureDecoder.h"
#include "loading/PictureLoader.h"
#include "metafile/MetafileDecoders.h"

#include "MetafileWriters.h"
#include "TestPictures.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

// A drawing of the area without outlines: a white background (if asked) and a red left half.
Wmf halfRedWmf(bool background, QRect area = {0, 0, 200, 100})
{
    Wmf w;
    w.add(0x020B, {qint16(area.top()), qint16(area.left())});     // SETWINDOWORG
    w.add(0x020C, {qint16(area.height()), qint16(area.width())}); // SETWINDOWEXT
    w.object(0x02FA, {5, 0, 0, 0, 0});                            // null pen
    if (background) {
        w.brush(0xFFFFFF);
        w.rectangle(area.left(), area.top(), area.left() + area.width(),
                    area.top() + area.height());
    }
    w.brush(0x0000FF);
    w.rectangle(area.left(), area.top(), area.left() + area.width() / 2,
                area.top() + area.height());
    return w;
}

// A 2 x 2 white bitmap, 24 bits a pixel, with its header of infoSize bytes (40 when whole).
QByteArray whiteBitmap(quint32 infoSize = 40, qint32 width = 2)
{
    return le<quint32>({infoSize}) + le<qint32>({width, 2}) + le<quint16>({1, 24}) +
           le<quint32>({0, 0, 0, 0, 0, 0}) + QByteArray(2 * 8, '\xFF');
}

// A red left half drawn as rectangles, the right half by a bitmap stretched over it (STRETCHDIB,
// raster operation SRCCOPY, colours in RGB).
QByteArray bitmapWmf(const QByteArray& bitmap)
{
    Wmf w = halfRedWmf(false);
    w.add(0x0F43, le<qint16>({0x0020, 0x00CC, 0, 2, 2, 0, 0, 100, 100, 0, 100}) + bitmap);
    return w.file({0, 0, 200, 100}, 96);
}

// The same drawing in device pixels, offset by (left, top), in a frame of 53 x 26.5 mm: 200.3 x
// 100.2 pixels at 96 to the inch.
QByteArray halfRedEmf(bool background, int left = 0, int top = 0)
{
    QByteArray r = emfRecord(37, {qint32(0x80000008)}); // stock null pen
    if (background) {
        r += emfRecord(39, {1, 0, 0xFFFFFF, 0}) + emfRecord(37, {1});
        r += emfRecord(43, {left, top, left + 200, top + 100});
    }
    r += emfRecord(39, {2, 0, 0x0000FF, 0}) + emfRecord(37, {2});
    r += emfRecord(43, {left, top, left + 100, top + 100});
    const QRect bounds(left, top, background ? 200 : 100, 100);
    return emfFile(bounds, QRect(qRound(left * 26.5), qRound(top * 26.5), 5300, 2650), r);
}

// The text "Hi & <b>中" in 20-unit Arial, GB2312 character set, at (150, 10).
void addText(Wmf& w)
{
    w.object(0x02FB, {-20, 0, 0, 0, 400, 0, qint16(134 << 8), 0, 0, 'A' | 'r' << 8, 'i' | 'a' << 8,
                      'l', 0});
    w.add(0x0521, {10, 'H' | 'i' << 8, ' ' | '&' << 8, ' ' | '<' << 8, 'b' | '>' << 8,
                   qint16(0xD0D6), 10, 150});
}

constexpr QRgb Red = qRgb(255, 0, 0);
constexpr QRgb White = qRgb(255, 255, 255);

} // namespace

class TestMetafile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        return writeFile(QDir(m_dir.path()), name, bytes);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void decodes_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRgb>("right"); // the colour of the right half
        QTest::addColumn<int>("margin"); // pixels at the right edge left partly covered

        const QRect frame(0, 0, 200, 100);
        QTest::newRow("placeable wmf")
            << "a.wmf" << halfRedWmf(true).file(frame, 96) << QSize(200, 100) << White << 0;
        QTest::newRow("placeable wmf, 1440 units per inch, shifted origin")
            << "b.wmf"
            << halfRedWmf(true, {-300, 40, 2000, 1000}).file({-300, 40, 2000, 1000}, 1440)
            << QSize(133, 67) << White << 0;
        QTest::newRow("placeable wmf, frame larger than the drawing: not stretched")
            << "c.wmf" << halfRedWmf(false).file(frame, 96) << QSize(200, 100) << QRgb(0) << 0;
        // libwmf reckons a standard metafile's units as points and adds half a unit around it.
        QTest::newRow("standard wmf")
            << "d.wmf" << halfRedWmf(true).file() << QSize(268, 135) << White << 1;
        QTest::newRow("wmf named .bmp")
            << "wmf.bmp" << halfRedWmf(true).file(frame, 96) << QSize(200, 100) << White << 0;
        QTest::newRow("emf") << "a.emf" << halfRedEmf(true) << QSize(200, 100) << White << 0;
        QTest::newRow("emf with bounds away from the origin")
            << "b.emf" << halfRedEmf(true, 30, 20) << QSize(200, 100) << White << 0;
        QTest::newRow("emf, frame larger than the drawing")
            << "c.emf" << halfRedEmf(false) << QSize(200, 100) << QRgb(0) << 0;
        QTest::newRow("emf without a frame: sized by its bounds")
            << "d.emf" << emfFile({0, 0, 200, 100}, {}, halfRedEmf(true).mid(88).chopped(20))
            << QSize(200, 100) << White << 0;
        QTest::newRow("emf named .png")
            << "emf.png" << halfRedEmf(true) << QSize(200, 100) << White << 0;
        QTest::newRow("wmf with a bitmap")
            << "bitmap.wmf" << bitmapWmf(whiteBitmap()) << QSize(200, 100) << White << 0;
        QTest::newRow("wmf with text") << "text.wmf" << [&] {
            Wmf w = halfRedWmf(true);
            addText(w);
            return w.file(frame, 96);
        }() << QSize(200, 100) << White << 0;
    }

    void decodes()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QRgb, right);
        QFETCH(int, margin);

        const QImage image = DecodePicture(write(fileName, bytes));
        QCOMPARE(image.size(), size);
        const int w = size.width(), h = size.height();
        QCOMPARE(image.pixel(w / 4, h / 2), Red);
        QCOMPARE(image.pixel(w / 4, h / 8), Red);
        QCOMPARE(image.pixel(w * 3 / 4, h * 7 / 8), right);
        QCOMPARE(image.pixel(w - 1 - margin, h / 2), right);
    }

    void refuses_data()
    {
        QTest::addColumn<QByteArray>("bytes");

        const QByteArray wmf = halfRedWmf(true).file({0, 0, 200, 100}, 96);
        const QByteArray emf = halfRedEmf(true);
        QTest::newRow("text") << QByteArray("this is no picture\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("placeable key only") << wmf.left(4);
        QTest::newRow("wmf cut short") << wmf.left(wmf.size() / 2);
        QTest::newRow("wmf header, then garbage") << wmf.left(40) + QByteArray(200, '\xA5');
        QTest::newRow("wmf, 1 unit per inch: 19200 x 9600 pixels")
            << halfRedWmf(true).file({0, 0, 200, 100}, 1);
        QTest::newRow("wmf, 0 units per inch") << halfRedWmf(true).file({0, 0, 200, 100}, 0);
        QTest::newRow("wmf, empty frame") << halfRedWmf(true).file({0, 0, 0, 100}, 96);
        // The header's largest record (a 32-bit count of words, at offset 12 of the header) is
        // what libwmf allocates first: 8 GiB here, from a file of under 200 bytes.
        QByteArray largest = wmf;
        largest.replace(22 + 12, 4, le<quint32>({0xFFFFFFFF}));
        QTest::newRow("wmf, largest record of 8 GiB") << largest;
        const QByteArray standard = halfRedWmf(true).file();
        QTest::newRow("wmf, largest record one word beyond the file")
            << standard.left(12) + le<quint32>({quint32(standard.size() - 18) / 2 + 1}) +
                   standard.mid(16);
        QTest::newRow("wmf, header cut inside its largest record") << standard.left(14);
        // libwmf's bitmap reader loops without end on a bitmap header of 10 bytes.
        QTest::newRow("wmf, bitmap header of 10 bytes") << bitmapWmf(whiteBitmap(10));
        // A record of function 0 ends the list only at its 3 words; libwmf plays on past others.
        QTest::newRow("wmf, bad bitmap after a long record of function 0") << [] {
            Wmf w = halfRedWmf(false);
            w.add(0x0000, {0, 0, 0, 0});
            w.add(0x0F43,
                  le<qint16>({0x0020, 0x00CC, 0, 2, 2, 0, 0, 100, 100, 0, 100}) + whiteBitmap(10));
            return w.file({0, 0, 200, 100}, 96);
        }();
        QTest::newRow("wmf, bitmap cut short") << bitmapWmf(whiteBitmap().chopped(2));
        QTest::newRow("wmf, bitmap 100000 pixels wide") << bitmapWmf(whiteBitmap(40, 100000));
        QByteArray record = wmf;
        record.replace(22 + 18, 4, le<quint32>({0x10000})); // the first record's size
        QTest::newRow("wmf, record beyond the file") << record;
        QTest::newRow("emf header only") << emf.left(88);
        QTest::newRow("emf cut short") << emf.chopped(12);
        QTest::newRow("emf header, then garbage") << emf.left(88) + QByteArray(400, '\xA5');
        QByteArray overrun = emf;
        overrun.replace(92, 4, le<quint32>({0x7FFFFFF0})); // the first record's size
        QTest::newRow("emf record beyond the file") << overrun;
        // Records are whole 32-bit words: one of 10 bytes is malformed, though the next record
        // follows it exactly.
        QTest::newRow("emf record of 10 bytes")
            << emfFile({0, 0, 200, 100}, {0, 0, 5300, 2650},
                       emfRecord(70, QByteArray(2, '\0')) + halfRedEmf(true).mid(88).chopped(20));
        QTest::newRow("emf frame of 100 m square")
            << emfFile({0, 0, 200, 100}, {0, 0, 10000000, 10000000}, {});
        QTest::newRow("emf bounds of 30000 x 30000, no frame")
            << emfFile({0, 0, 30000, 30000}, {}, {});
        QTest::newRow("emf, no frame and no bounds") << emfFile({0, 0, -1, -1}, {}, {});
    }

    void refuses()
    {
        QFETCH(QByteArray, bytes);
        const QString path = write(QStringLiteral("bad.wmf"), bytes);
        QVERIFY(DecodePicture(path).isNull());
        QVERIFY(DecodeMetafile(bytes).isNull());
    }

    void sizeLimits_data()
    {
        QTest::addColumn<QSizeF>("pixels");
        QTest::addColumn<QSize>("size");

        QTest::newRow("rounded, ties to even") << QSizeF(2.5, 3.5) << QSize(2, 4);
        QTest::newRow("widest") << QSizeF(16384, 4096) << QSize(16384, 4096);
        QTest::newRow("too wide") << QSizeF(16385, 1) << QSize();
        QTest::newRow("too many pixels") << QSizeF(8193, 8192) << QSize();
        QTest::newRow("under half a pixel") << QSizeF(0.4, 10) << QSize();
        QTest::newRow("negative") << QSizeF(-10, 10) << QSize();
        QTest::newRow("infinite") << QSizeF(qInf(), 10) << QSize();
        QTest::newRow("not a number") << QSizeF(qQNaN(), 10) << QSize();
    }

    void sizeLimits()
    {
        QFETCH(QSizeF, pixels);
        QFETCH(QSize, size);
        QCOMPARE(BoundedPictureSize(pixels), size);
    }

    void ontoCanvas_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("wmf") << halfRedWmf(false).file({0, 0, 200, 100}, 96);
        QTest::newRow("emf") << halfRedEmf(false);
    }

    // The undrawn right half stays transparent and shows the Canvas's background.
    void ontoCanvas()
    {
        QFETCH(QByteArray, bytes);
        CanvasModel canvas;
        canvas.setBackColor(0x00FF00); // green
        PictureHolder holder;
        QVERIFY(LoadPictureOntoCanvas(write(QStringLiteral("c.pic"), bytes), canvas, holder));
        QCOMPARE(holder.widthTwips(), 200.0 * TwipsPerPixel);
        QCOMPARE(holder.heightTwips(), 100.0 * TwipsPerPixel);
        const auto at = [&](int x, int y) {
            return canvas.pixelAt(x * TwipsPerPixel, y * TwipsPerPixel);
        };
        QCOMPARE(at(50, 50), 0x0000FF);  // red
        QCOMPARE(at(150, 50), 0x00FF00); // background
        QCOMPARE(at(50, 150), 0x00FF00); // below the picture
    }

    // The helper is found from the running program's folder, so that a build, or an installed
    // program, still finds it when moved as a whole.
    void helperFromProgramFolder()
    {
        const QFileInfo helper(MetafileHelperPath());
        QCOMPARE(helper.absolutePath(), QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                        QStringLiteral("/../libexec/tessivo")));
        QVERIFY(helper.isExecutable());
    }

    // A file named "-" is drawn from the file, not from the helper's standard input.
    void fileNamedDash()
    {
        write(QStringLiteral("-"), halfRedWmf(true).file({0, 0, 200, 100}, 96));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const QImage image = DecodePicture(QStringLiteral("-"));
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(image.size(), QSize(200, 100));
        QCOMPARE(image.pixel(50, 50), Red);
        QCOMPARE(image.pixel(150, 50), White);
    }

    // The helper's reply holds exactly the rows it announces.
    void helperReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("read");

        const QByteArray header = QByteArray(MetafileReplyMark) + le<quint32>({2, 3});
        const QByteArray rows(2 * 3 * 4, '\x7F');
        QTest::newRow("whole") << header + rows << true;
        QTest::newRow("a byte after the rows") << header + rows + '\0' << false;
        QTest::newRow("a byte short") << header + rows.chopped(1) << false;
        QTest::newRow("another mark") << "TMF2" + header.mid(4) + rows << false;
        QTest::newRow("no pixels") << QByteArray(MetafileReplyMark) + le<quint32>({0, 0}) << false;
    }

    void helperReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, read);
        QString failure;
        const QImage image = ReadMetafileReply(reply, &failure);
        QCOMPARE(!image.isNull(), read);
        QCOMPARE(failure.isEmpty(), read);
        if (read) {
            QCOMPARE(image.size(), QSize(2, 3));
            QCOMPARE(reinterpret_cast<const QRgb*>(image.constScanLine(2))[1], 0x7F7F7F7Fu);
        }
    }

    void convertReadsMetafiles()
    {
        Wmf w = halfRedWmf(true);
        addText(w);
        const QString path = write(QStringLiteral("convert.wmf"), w.file({0, 0, 200, 100}, 96));
        const ParsedCommandLine parsed =
            ParseConvertOptions({"--sample-x", "5", "--sample-y", "8", path});
        QVERIFY(parsed.options);
        const ConversionOutput inProcess = RunConversion(*parsed.options);
        QCOMPARE(inProcess.exitCode, 0);

        // The program draws the text as the window does (this test runs with a GUI application,
        // as the window does): the same art.
        QProcess convert;
        convert.start(QStringLiteral(TESSIVO_CONVERT_PATH),
                      {"--sample-x", "5", "--sample-y", "8", path});
        QVERIFY(convert.waitForFinished(60000));
        QCOMPARE(convert.exitStatus(), QProcess::NormalExit);
        QCOMPARE(convert.exitCode(), 0);
        QCOMPARE(convert.readAllStandardOutput(), inProcess.out);
    }
};

QTEST_MAIN(TestMetafile)
#include "tst_metafile.moc"
