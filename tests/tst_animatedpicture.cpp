#include "loading/AnimatedPicture.h"

#include "GifWriter.h"
#include "TestPictures.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

const QList<QRgb> Palette = {qRgb(0, 0, 0),     qRgb(255, 0, 0),     qRgb(0, 255, 0),
                             qRgb(0, 0, 255),   qRgb(255, 255, 255), qRgb(255, 255, 0),
                             qRgb(0, 255, 255), qRgb(255, 0, 255)};
enum { Black, Red, Green, Blue, White, Yellow, Cyan, Magenta };

// Blocks of colour on a transparent picture: what a frame is expected to show.
using Blocks = QList<std::pair<QRect, QRgb>>;

QImage drawn(QSize size, const Blocks& blocks)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (const auto& [rect, colour] : blocks) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x)
                image.setPixel(x, y, colour);
        }
    }
    return image;
}

// Noise of a few colours in runs of random length: every code width and the table's clearing.
QByteArray noise(int width, int height, int colours, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray pixels;
    while (pixels.size() < qsizetype(width) * height)
        pixels += QByteArray(random.bounded(1, 6), char(random.bounded(colours)));
    return pixels.left(qsizetype(width) * height);
}

QList<QImage> framesOf(AnimatedPicture& picture, QList<int>* delays = nullptr)
{
    QList<QImage> frames;
    while (picture.next()) {
        frames.append(picture.image().copy());
        if (delays)
            delays->append(picture.delay());
    }
    return frames;
}

} // namespace

class TestAnimatedPicture : public QObject {
    Q_OBJECT

private slots:
    void decodesAsQtDoes_data();
    void decodesAsQtDoes();
    void composesAsBrowsers_data();
    void composesAsBrowsers();
    void delaysAndPlays_data();
    void delaysAndPlays();
    void stillsAreNotMoving_data();
    void stillsAreNotMoving();
    void damagedFiles_data();
    void damagedFiles();
    void manyFramesInBoundedTime();
    void tooLargeToHoldTwoFrames();
    void tooLongToRead();
    void webpFrames();
};

// Where browsers and Qt's own reader agree (every frame with a transparent index, the first
// covering the picture), the frames are Qt's, pixel for pixel: an independent LZW decoder checks
// this one, over every code width and the table's clearing.
void TestAnimatedPicture::decodesAsQtDoes_data()
{
    QTest::addColumn<QByteArray>("gif");
    const auto frames = [](bool interlaced, int colours, QSize size) {
        Gif plan;
        plan.screen = size;
        plan.palette = Palette;
        const QRect whole(QPoint(0, 0), size);
        for (int f = 0; f < 4; ++f) {
            const QRect rect =
                f == 0 ? whole : QRect(f * 3, f * 2, size.width() / 2, size.height() / 3);
            GifFrame frame = gifBlock(rect, 0, 5, f == 2 ? 3 : f == 3 ? 2 : 1);
            frame.pixels = noise(rect.width(), rect.height(), colours, quint32(f + colours));
            frame.transparent = 7;
            frame.interlaced = interlaced;
            plan.frames.append(frame);
        }
        return writeGif(plan);
    };
    QTest::newRow("8 colours, noise") << frames(false, 8, QSize(120, 90));
    QTest::newRow("2 colours, noise") << frames(false, 2, QSize(200, 150));
    QTest::newRow("interlaced") << frames(true, 8, QSize(61, 47));
    // Long runs of one colour grow the codes to 12 bits and fill the table.
    Gif flat;
    flat.screen = QSize(400, 300);
    flat.palette = Palette;
    GifFrame a = gifBlock(QRect(0, 0, 400, 300), Red, 5);
    a.transparent = 7;
    GifFrame b = gifBlock(QRect(50, 60, 300, 200), Blue, 5);
    b.transparent = 7;
    flat.frames = {a, b};
    QTest::newRow("large flat frames") << writeGif(flat);
    // A local palette of 256 colours: 8 literal bits.
    Gif rich;
    rich.screen = QSize(64, 64);
    rich.palette = Palette;
    for (int f = 0; f < 2; ++f) {
        GifFrame frame = gifBlock(QRect(0, 0, 64, 64), 0, 5);
        for (int i = 0; i < 256; ++i)
            frame.palette.append(qRgb(i, 255 - i, (i * 7 + f * 50) % 256));
        frame.pixels = noise(64, 64, 256, quint32(f));
        frame.transparent = 255;
        rich.frames.append(frame);
    }
    QTest::newRow("256 colours") << writeGif(rich);
}

void TestAnimatedPicture::decodesAsQtDoes()
{
    QFETCH(QByteArray, gif);
    QBuffer buffer(&gif);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(gif);
    QVERIFY(opened.picture);
    AnimatedPicture& picture = *opened.picture;
    QCOMPARE(picture.frameCount(), reader.imageCount());
    int frames = 0;
    while (picture.next()) {
        QImage qt;
        QVERIFY(reader.read(&qt));
        ++frames;
        QCOMPARE(picture.image(), qt.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    QVERIFY2(picture.problem().isEmpty(), qPrintable(picture.problem()));
    QCOMPARE(frames, picture.frameCount());
}

// The rules a browser composes frames by, where Qt's reader does otherwise (it paints the
// background colour, and the first frame's surroundings, where a browser leaves them clear).
void TestAnimatedPicture::composesAsBrowsers_data()
{
    QTest::addColumn<QByteArray>("gif");
    QTest::addColumn<QList<Blocks>>("expected");
    QTest::addColumn<QSize>("size");

    const QSize size(12, 6);
    const auto gif = [&](const QList<GifFrame>& frames) {
        Gif plan;
        plan.screen = size;
        plan.palette = Palette;
        plan.background = White;
        plan.frames = frames;
        return writeGif(plan);
    };
    const QRect r0(0, 0, 4, 6), r1(4, 0, 4, 6), r2(8, 0, 4, 6);
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
    const QRgb white = qRgb(255, 255, 255), yellow = qRgb(255, 255, 0);
    const QRect whole(QPoint(0, 0), size);

    QTest::newRow("kept: blocks add up")
        << gif({gifBlock(r0, Red), gifBlock(r1, Green), gifBlock(r2, Blue)})
        << QList<Blocks>{{{r0, red}},
                         {{r0, red}, {r1, green}},
                         {{r0, red}, {r1, green}, {r2, blue}}}
        << size;
    QTest::newRow("restore to background: cleared, not painted")
        << gif({gifBlock(r0, Red, 10, 2), gifBlock(r1, Green, 10, 2), gifBlock(r2, Blue, 10, 2)})
        << QList<Blocks>{{{r0, red}}, {{r1, green}}, {{r2, blue}}} << size;
    QTest::newRow("restore to previous") << gif({gifBlock(whole, White), gifBlock(r0, Red, 10, 3),
                                                 gifBlock(r1, Green, 10, 3), gifBlock(r2, Blue)})
                                         << QList<Blocks>{{{whole, white}},
                                                          {{whole, white}, {r0, red}},
                                                          {{whole, white}, {r1, green}},
                                                          {{whole, white}, {r2, blue}}}
                                         << size;
    QTest::newRow("restore to previous on the first frame: clear")
        << gif({gifBlock(r0, Red, 10, 3), gifBlock(r1, Green)})
        << QList<Blocks>{{{r0, red}}, {{r1, green}}} << size;
    GifFrame holed = gifBlock(whole, Yellow);
    holed.transparent = Yellow;
    holed.pixels[2 * 12 + 5] = char(Blue);
    QTest::newRow("the transparent index leaves what lies below")
        << gif({gifBlock(whole, Red), holed})
        << QList<Blocks>{{{whole, red}}, {{whole, red}, {QRect(5, 2, 1, 1), blue}}} << size;
    QTest::newRow("partly outside the picture: cut at its edge")
        << gif({gifBlock(r0, Red), gifBlock(QRect(10, 4, 6, 6), Yellow)})
        << QList<Blocks>{{{r0, red}}, {{r0, red}, {QRect(10, 4, 2, 2), yellow}}} << size;
    QTest::newRow("a first frame reaching past the screen widens the picture")
        << gif({gifBlock(QRect(10, 4, 6, 6), Yellow), gifBlock(QRect(14, 0, 6, 6), Red)})
        << QList<Blocks>{{{QRect(10, 4, 6, 6), yellow}},
                         {{QRect(10, 4, 6, 6), yellow}, {QRect(14, 0, 2, 6), red}}}
        << QSize(16, 10);
    QTest::newRow("wholly outside the picture: a frame that shows nothing new")
        << gif({gifBlock(r0, Red), gifBlock(QRect(100, 100, 5, 5), Blue), gifBlock(r1, Green)})
        << QList<Blocks>{{{r0, red}}, {{r0, red}}, {{r0, red}, {r1, green}}} << size;
    GifFrame beyond = gifBlock(r1, 3); // a literal at 2 bits, past 2 colours
    beyond.palette = {qRgb(0, 0, 0), qRgb(10, 20, 30)};
    QTest::newRow("an index past the palette draws nothing")
        << gif({gifBlock(r0, Red), beyond}) << QList<Blocks>{{{r0, red}}, {{r0, red}}} << size;
    GifFrame interlaced = gifBlock(QRect(0, 0, 12, 6), Blue);
    for (int y = 0; y < 6; ++y)
        interlaced.pixels[y * 12 + y] = char(Red);
    interlaced.interlaced = true;
    Blocks diagonal{{whole, blue}};
    for (int y = 0; y < 6; ++y)
        diagonal.append({QRect(y, y, 1, 1), red});
    QTest::newRow("interlaced rows in their places")
        << gif({gifBlock(r0, Green), interlaced}) << QList<Blocks>{{{r0, green}}, diagonal} << size;
}

void TestAnimatedPicture::composesAsBrowsers()
{
    QFETCH(QByteArray, gif);
    QFETCH(QList<Blocks>, expected);
    QFETCH(QSize, size);
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(gif);
    QVERIFY(opened.picture);
    const QList<QImage> frames = framesOf(*opened.picture);
    QCOMPARE(frames.size(), expected.size());
    for (qsizetype i = 0; i < frames.size(); ++i)
        QVERIFY2(frames[i] == drawn(size, expected[i]),
                 qPrintable(QStringLiteral("frame %1").arg(i + 1)));
}

void TestAnimatedPicture::delaysAndPlays_data()
{
    QTest::addColumn<QList<int>>("stored"); // hundredths of a second
    QTest::addColumn<std::optional<int>>("loops");
    QTest::addColumn<QList<int>>("played"); // milliseconds
    QTest::addColumn<int>("plays");

    QTest::newRow("100, 200, 300 ms, no loop extension: once")
        << QList<int>{10, 20, 30} << std::optional<int>() << QList<int>{100, 200, 300} << 1;
    QTest::newRow("0 and 10 ms are played as 100 ms, 20 ms as it is; loop 0: for ever")
        << QList<int>{0, 1, 2} << std::optional<int>(0) << QList<int>{100, 100, 20}
        << AnimatedPicture::Forever;
    QTest::newRow("loop 3: played 4 times")
        << QList<int>{65535, 5} << std::optional<int>(3) << QList<int>{655350, 50} << 4;
}

void TestAnimatedPicture::delaysAndPlays()
{
    QFETCH(QList<int>, stored);
    QFETCH(std::optional<int>, loops);
    QFETCH(QList<int>, played);
    QFETCH(int, plays);
    Gif plan;
    plan.screen = QSize(4, 4);
    plan.palette = Palette;
    plan.loops = loops;
    for (const int delay : stored)
        plan.frames.append(gifBlock(QRect(0, 0, 4, 4), Red, delay));
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(writeGif(plan));
    QVERIFY(opened.picture);
    QList<int> delays;
    framesOf(*opened.picture, &delays);
    QCOMPARE(delays, played);
    QCOMPARE(opened.picture->plays(), plays);
}

void TestAnimatedPicture::stillsAreNotMoving_data()
{
    QTest::addColumn<QByteArray>("bytes");
    Gif one;
    one.screen = QSize(4, 4);
    one.palette = Palette;
    one.frames = {gifBlock(QRect(0, 0, 4, 4), Red)};
    QTest::newRow("a GIF of one frame") << writeGif(one);
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QTest::newRow("a still WebP") << encode(picture, "WEBP");
    QTest::newRow("an animated WebP of one frame") << animatedWebp({picture});
    QTest::newRow("a PNG") << encode(picture, "PNG");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("a GIF's header alone") << QByteArray("GIF89a\x04\0\x04\0", 10);
}

void TestAnimatedPicture::stillsAreNotMoving()
{
    QFETCH(QByteArray, bytes);
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(bytes);
    QVERIFY(!opened.picture);
    QVERIFY(!opened.tooLarge);
}

// A damaged file gives the frames before the damage, and says where it is.
void TestAnimatedPicture::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("problem");

    Gif plan;
    plan.screen = QSize(40, 30);
    plan.palette = Palette;
    for (int f = 0; f < 3; ++f) {
        GifFrame frame = gifBlock(QRect(0, 0, 40, 30), 0);
        frame.pixels = noise(40, 30, 8, quint32(f));
        plan.frames.append(frame);
    }
    const QByteArray gif = writeGif(plan);
    const qsizetype third = gif.lastIndexOf("\x21\xF9");
    QTest::newRow("the last frame cut short")
        << gif.left(gif.size() - 40) << 2 << "frame 3 is cut short: the file ends inside it";
    QTest::newRow("cut inside the last frame's descriptor")
        << gif.left(third + 12) << 2 << "frame 3 is cut short: the file ends inside it";
    QTest::newRow("only the trailer missing") << gif.chopped(1) << 3 << "";
    // An end code before the last rows ends the frame: cut after it, the frame is whole.
    Gif early = plan;
    early.frames.resize(2);
    early.frames[1].pixels.truncate(40 * 20);
    QTest::newRow("cut after an early end code") << writeGif(early).chopped(2) << 2 << "";
    QByteArray badCode = gif;
    // The first code after the clear code: 15, no literal of 8 colours.
    const qsizetype data = gif.indexOf('\x2C', third) + 10;
    badCode[data + 2] = char(0xF8 | quint8(badCode[data + 2]));
    QTest::newRow("a code no encoder writes") << badCode << 2 << "frame 3 is damaged";
    QByteArray junk = gif;
    junk.insert(third, '\x99');
    QTest::newRow("a block of no kind") << junk << 2 << "the file is damaged after frame 2";
}

void TestAnimatedPicture::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, frames);
    QFETCH(QString, problem);
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(bytes);
    QVERIFY(opened.picture);
    QCOMPARE(framesOf(*opened.picture).size(), frames);
    QCOMPARE(opened.picture->problem(), problem);
    QVERIFY(!opened.picture->next());
}

// Ten thousand frames are read one after another, not each from the start: a second here.
void TestAnimatedPicture::manyFramesInBoundedTime()
{
    Gif plan;
    plan.screen = QSize(640, 480);
    plan.palette = Palette;
    for (int f = 0; f < 10000; ++f)
        plan.frames.append(gifBlock(QRect(f % 630, f % 470, 10, 10), f % 8, 0, f % 4));
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(writeGif(plan));
    QVERIFY(opened.picture);
    QCOMPARE(opened.picture->frameCount(), 10000);
    int frames = 0;
    while (opened.picture->next())
        ++frames;
    QCOMPARE(frames, 10000);
    QVERIFY(opened.picture->problem().isEmpty());
}

void TestAnimatedPicture::tooLargeToHoldTwoFrames()
{
    Gif plan;
    plan.screen = QSize(65535, 65535);
    plan.palette = Palette;
    plan.frames = {gifBlock(QRect(0, 0, 2, 2), Red), gifBlock(QRect(0, 0, 2, 2), Blue)};
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(writeGif(plan));
    QVERIFY(!opened.picture);
    QVERIFY(opened.tooLarge);
}

// Frames that take little room but cost a row each: read up to MostPixelsRead, then given up with
// a message, the frames before kept.
void TestAnimatedPicture::tooLongToRead()
{
    Gif plan;
    plan.screen = QSize(65535, 2);
    plan.palette = Palette;
    const int affordable = int(AnimatedPicture::MostPixelsRead / 65535);
    plan.frames = QList<GifFrame>(affordable + 1, gifBlock(QRect(0, 0, 0, 0), Red));
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(writeGif(plan));
    QVERIFY(opened.picture);
    int frames = 0;
    while (opened.picture->next())
        ++frames;
    QCOMPARE(frames, affordable);
    QCOMPARE(opened.picture->problem(),
             QStringLiteral("frame %1 and those after it are not read: the picture is too long to "
                            "read whole (more than 4294967296 pixels)")
                 .arg(affordable + 1));
}

// A WebP's frames are its stills, each decoded as Qt decodes a still, and placed and blended as
// the file says.
void TestAnimatedPicture::webpFrames()
{
    QImage red(40, 30, QImage::Format_RGB32), blue(40, 30, QImage::Format_RGB32);
    red.fill(Qt::red);
    blue.fill(Qt::blue);
    const QByteArray bytes = animatedWebp({red, blue, red});
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(bytes);
    QVERIFY(opened.picture);
    AnimatedPicture& picture = *opened.picture;
    QCOMPARE(picture.frameCount(), 3);
    QCOMPARE(picture.plays(), AnimatedPicture::Forever);
    QList<int> delays;
    const QList<QImage> frames = framesOf(picture, &delays);
    QCOMPARE(delays, (QList<int>{100, 100, 100}));
    QCOMPARE(frames.size(), 3);
    const QImage stillRed =
        QImage::fromData(encode(red, "WEBP")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage stillBlue =
        QImage::fromData(encode(blue, "WEBP")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(frames[0], stillRed);
    QCOMPARE(frames[1], stillBlue);
    QCOMPARE(frames[2], stillRed);
}

QTEST_GUILESS_MAIN(TestAnimatedPicture)
#include "tst_animatedpicture.moc"
