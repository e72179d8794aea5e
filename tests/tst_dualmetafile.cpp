// What office programs add to their metafiles: EMF+ records ahead of the plain records that
// repeat them, a bitmap with transparent parts as a mask and a picture, and a whole enhanced
// metafile carried inside a Windows metafile.

#include "MetafileWriters.h"
#include "metafile/MetafileDecoders.h"

#include <QTest>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

constexpr QRgb Red = qRgb(255, 0, 0), Blue = qRgb(0, 0, 255), Green = qRgb(0, 255, 0);
constexpr QRgb HalfRed = qRgba(255, 0, 0, 128);
constexpr QRgb Nothing = 0;
constexpr quint32 RedRef = 0x0000FF, BlueRef = 0xFF0000, GreenRef = 0x00FF00;

// EMF+ record types.
constexpr quint16 PlusGetDc = 0x4004, PlusObject = 0x4008, PlusFillRects = 0x400A,
                  PlusFillPolygon = 0x400C, PlusDrawLines = 0x400D, PlusTranslate = 0x402D,
                  PlusSetClipRect = 0x4032;
constexpr quint16 ColourBrush = 0x8000, ShortPoints = 0x4000;

// A plain rectangle in a solid colour without an outline.
QByteArray plainRect(quint32 colorRef, int l, int t, int r, int b)
{
    return emfRecord(39, {1, 0, qint32(colorRef), 0}) + emfRecord(37, {1}) +
           emfRecord(37, {qint32(0x80000008)}) + emfRecord(43, {l, t, r, b});
}

// An EMF+ polygon of the square from (0, 0) to (100, 100) in a colour given as ARGB.
QByteArray plusSquare(quint32 argb)
{
    return emfPlusRecord(PlusFillPolygon, ColourBrush | ShortPoints,
                         le<quint32>({argb, 4}) + le<qint16>({0, 0, 100, 0, 100, 100, 0, 100}));
}

// A 200 x 100 picture: the device's pixels are the picture's.
QByteArray emf(const QByteArray& records)
{
    return emfFile({0, 0, 199, 99}, {0, 0, 5300, 2650}, records);
}

// A 100 x 100 picture, as sameRaster's Windows metafiles are.
QByteArray emf100(const QByteArray& records)
{
    return emfFile({0, 0, 99, 99}, {0, 0, 2650, 2650}, records);
}

// STRETCHDIBITS of a 1 x 1 bitmap of 24 bits (B, G, R) onto the square (0, 0)-(100, 100).
QByteArray onePixel(const char bgr[3], quint32 rop)
{
    const QByteArray info = le<quint32>({40}) + le<qint32>({1, 1}) + le<quint16>({1, 24}) +
                            le<quint32>({0, 0, 0, 0, 0, 0});
    const QByteArray bits = QByteArray(bgr, 3) + QByteArray(1, '\0');
    const qint32 at = 80;
    return emfRecord(
        81, le<qint32>({0, 0, 0, 0, 0, 0, 0, 0, 1, 1, at, qint32(info.size()),
                        at + qint32(info.size()), qint32(bits.size()), 0, qint32(rop), 100, 100}) +
                info + bits);
}

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
           std::abs(qBlue(a) - qBlue(b)) <= 2 && std::abs(qAlpha(a) - qAlpha(b)) <= 2;
}

} // namespace

class TestDualMetafile : public QObject {
    Q_OBJECT

private slots:
    void draws_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QPoint>>("at");
        QTest::addColumn<QList<QRgb>>("colours");
        const QList<QPoint> leftMiddleRight = {{50, 50}, {125, 50}, {175, 50}};

        const QByteArray dual =
            emfPlusStart() + emfPlusComment(plusSquare(0x80FF0000)) +
            plainRect(BlueRef, 0, 0, 50, 100) + // repeats the EMF+ square, opaque, narrower
            emfPlusComment(emfPlusRecord(PlusGetDc, 0)) + plainRect(GreenRef, 150, 0, 200, 100);
        QTest::newRow("EMF+ fill: its plain repeat's shape in its colour, then plain records")
            << emf(dual) << QList<QPoint>{{25, 50}, {75, 50}, {175, 50}}
            << QList<QRgb>{HalfRed, Nothing, Green};
        const QByteArray unfilled = emfPlusStart() + emfPlusComment(plusSquare(0x80FF0000)) +
                                    onePixel("\xFF\x00\x00", 0x00CC0020);
        QTest::newRow("EMF+ fill whose repeat fills nothing: the EMF+ shape")
            << emf(unfilled) << leftMiddleRight << QList<QRgb>{HalfRed, Nothing, Nothing};

        const QByteArray brush = emfPlusRecord(PlusObject, 0x0100 | 3, // a brush, number 3
                                               le<quint32>({0xDBC01002, 0, 0xFF0000FF}));
        const QByteArray moved =
            emfPlusStart() +
            emfPlusComment(
                brush + emfPlusRecord(PlusTranslate, 0, floats({100, 0})) +
                emfPlusRecord(PlusFillRects, 0, le<quint32>({3, 1}) + floats({0, 0, 50, 100}))) +
            plainRect(RedRef, 100, 0, 150, 100);
        QTest::newRow("EMF+ brush object and world transform")
            << emf(moved) << leftMiddleRight << QList<QRgb>{Nothing, Blue, Nothing};

        // Halved across, then moved 100 to the right: a transform given after another acts on
        // the shape before it (x / 2 + 50, from 50 to 75), unless it is appended, to act after it
        // (x / 2 + 100, from 100 to 125). Drawn as the EMF+ shape: no plain repeat follows.
        for (const auto& [order, flags, at] :
             {std::tuple("prepended", 0, QList<QRgb>{Blue, Nothing}),
              std::tuple("appended", 0x2000, QList<QRgb>{Nothing, Blue})}) {
            const QByteArray twice =
                emfPlusStart() +
                emfPlusComment(
                    brush + emfPlusRecord(0x402E, 0, floats({0.5, 1})) + // scale
                    emfPlusRecord(PlusTranslate, quint16(flags), floats({100, 0})) +
                    emfPlusRecord(PlusFillRects, 0, le<quint32>({3, 1}) + floats({0, 0, 50, 100})));
            QTest::addRow("EMF+ transforms combined, %s", order)
                << emf(twice) << QList<QPoint>{{62, 50}, {112, 50}} << at;
        }

        // A path object: a line, a curve bulging less than its control points, closed; then
        // filled by its number.
        const QByteArray path =
            emfPlusRecord(0x4008, 0x0300 | 7,
                          le<quint32>({0xDBC01002, 5, 0x4000}) +
                              le<qint16>({0, 0, 100, 0, 100, 33, 100, 66, 0, 100}) +
                              QByteArray("\x00\x01\x03\x03\x83\x00\x00\x00", 8));
        const QByteArray filledPath =
            emfPlusStart() + emfPlusComment(path + emfPlusRecord(0x4014, ColourBrush | 7,
                                                                 le<quint32>({0x80FF0000})));
        QTest::newRow("EMF+ path object filled")
            << emf(filledPath) << QList<QPoint>{{50, 20}, {80, 50}, {95, 50}, {150, 50}}
            << QList<QRgb>{HalfRed, HalfRed, Nothing, Nothing};

        const QByteArray unknown =
            emfPlusStart() +
            emfPlusComment(emfPlusRecord(PlusDrawLines, 0, le<quint32>({0xFF000000, 0}))) +
            plainRect(RedRef, 0, 0, 100, 100);
        QTest::newRow("EMF+ record not drawn here: its repeat is the drawing")
            << emf(unknown) << leftMiddleRight << QList<QRgb>{Red, Nothing, Nothing};

        const QByteArray clipped =
            emfPlusStart() +
            emfPlusComment(emfPlusRecord(PlusSetClipRect, 0, floats({0, 0, 10, 10})) +
                           plusSquare(0xFF0000FF)) +
            plainRect(RedRef, 0, 0, 100, 100);
        QTest::newRow("EMF+ clip not followed: plain records from there on")
            << emf(clipped) << leftMiddleRight << QList<QRgb>{Red, Nothing, Nothing};

        const QByteArray headless =
            emfPlusComment(plusSquare(0xFF0000FF)) + plainRect(RedRef, 0, 0, 100, 100);
        QTest::newRow("EMF+ records without a header first: plain records only")
            << emf(headless) << leftMiddleRight << QList<QRgb>{Red, Nothing, Nothing};

        QTest::newRow("a grey mask and its picture: the picture half transparent")
            << emf(onePixel("\x80\x80\x80", 0x00EE0086) + onePixel("\x00\x00\xFF", 0x008800C6))
            << leftMiddleRight << QList<QRgb>{HalfRed, Nothing, Nothing};

        // A Windows metafile drawing red, carrying an enhanced metafile that draws blue.
        const QByteArray blue = emf(plainRect(BlueRef, 0, 0, 200, 100));
        const auto carrying = [&](const QList<QByteArray>& carried, int extraParts = 0) {
            Wmf w;
            w.object(0x02FA, {5, 0, 0, 0, 0}); // null pen
            w.brush(RedRef);
            w.rectangle(0, 0, 100, 100);
            for (const QByteArray& e : carried)
                carryEmf(w, e, 64, extraParts);
            return w.file({0, 0, 100, 100}, 96);
        };
        const QList<QPoint> middle = {{50, 50}};
        QTest::newRow("wmf carrying a whole emf in parts: the emf, at the wmf's size")
            << carrying({blue}) << middle << QList<QRgb>{Blue};
        QTest::newRow("wmf carrying an emf twice: the parts make no one file")
            << carrying({blue, blue}) << middle << QList<QRgb>{Red};
        QTest::newRow("wmf carrying a broken emf: its own records")
            << carrying({blue.left(100)}) << middle << QList<QRgb>{Red};
        QTest::newRow("wmf carrying fewer parts than it says: its own records")
            << carrying({blue}, 1) << middle << QList<QRgb>{Red};
    }
    void draws()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<QPoint>, at);
        QFETCH(QList<QRgb>, colours);
        const QImage image = DecodeMetafile(file).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!image.isNull());
        for (qsizetype i = 0; i < at.size(); ++i)
            QVERIFY2(near(image.pixel(at[i]), colours[i]),
                     qPrintable(QStringLiteral("at (%1, %2): %3")
                                    .arg(at[i].x())
                                    .arg(at[i].y())
                                    .arg(image.pixel(at[i]), 8, 16, QLatin1Char('0'))));
    }

    // The same drawing as a Windows metafile and as an enhanced metafile, both of 100 x 100
    // pixels at a unit to the pixel, gives the same picture: what LibreOffice writes into the two
    // kinds, family by family.
    void sameRaster_data()
    {
        QTest::addColumn<QByteArray>("wmf");
        QTest::addColumn<QByteArray>("emf");
        const QRect square(0, 0, 100, 100);

        // A picture of red and blue, made partly transparent by a mask of grey and white.
        const QByteArray mask = dibRow({0x808080, 0xFFFFFF}), picture = dibRow({RedRef, BlueRef});
        Wmf masked;
        masked.stretchDib(mask, 2, 0x00EE0086, square);
        masked.stretchDib(picture, 2, 0x008800C6, square);
        QTest::newRow("bitmap with a mask of greys")
            << masked.file(square, 96)
            << emf100(emfStretchDiBits(mask, 2, 0x00EE0086, square) +
                      emfStretchDiBits(picture, 2, 0x008800C6, square));

        // The same at a tenth of a pixel to the unit, from 10.4 to 30.4 pixels.
        const QRect fractional(104, 0, 200, 1000);
        Wmf placed;
        placed.stretchDib(picture, 2, 0x00CC0020, fractional);
        QTest::newRow("bitmap at a fractional place")
            << placed.file({0, 0, 1000, 1000}, 960)
            << emf100(emfRecord(35, floats({0.1f, 0, 0, 0.1f, 0, 0})) +
                      emfStretchDiBits(picture, 2, 0x00CC0020, fractional));

        // Hairlines across the pixel grid and along whole coordinates.
        Wmf hairlines;
        hairlines.object(0x02FA, {0, 0, 0, 0, 0});
        hairlines.add(0x0325, {4, 10, 10, 90, 37, 50, 90, 10, 50});
        QTest::newRow("hairlines")
            << hairlines.file(square, 96)
            << emf100(emfRecord(38, {1, 0, 0, 0, 0}) + emfRecord(37, {1}) +
                      emfRecord(87, le<qint32>({0, 0, 0, 0, 4}) +
                                        le<qint16>({10, 10, 90, 37, 50, 90, 10, 50})));
    }
    void sameRaster()
    {
        QFETCH(QByteArray, wmf);
        QFETCH(QByteArray, emf);
        const QImage fromWmf = DecodeMetafile(wmf).convertToFormat(QImage::Format_ARGB32);
        const QImage fromEmf = DecodeMetafile(emf).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!fromWmf.isNull() && !fromEmf.isNull());
        QCOMPARE(fromWmf.size(), fromEmf.size());
        int inked = 0, differing = 0;
        QPoint first;
        for (int y = 0; y < fromWmf.height(); ++y) {
            for (int x = 0; x < fromWmf.width(); ++x) {
                const QRgb a = fromWmf.pixel(x, y), b = fromEmf.pixel(x, y);
                inked += qAlpha(b) != 0;
                if (!near(a, b) && differing++ == 0)
                    first = QPoint(x, y);
            }
        }
        QVERIFY(inked > 0);
        QVERIFY2(differing == 0, qPrintable(QStringLiteral("%1 pixels differ, first at (%2, %3): "
                                                           "%4 from the wmf, %5 from the emf")
                                                .arg(differing)
                                                .arg(first.x())
                                                .arg(first.y())
                                                .arg(fromWmf.pixel(first), 8, 16)
                                                .arg(fromEmf.pixel(first), 8, 16)));
    }

    // A shape filled with a gradient as XORs around a black fill: the steps XOR-ed over the box,
    // the shape filled black, the steps XOR-ed again. Every pixel ends as the step's colour or
    // as nothing, the shape's edge too.
    void xorFilledShape()
    {
        const QByteArray step = emfRecord(39, {1, 0, 0x204080, 0}) + emfRecord(37, {1}) +
                                emfRecord(37, {qint32(0x80000008)}) + emfRecord(20, {7}) +
                                emfRecord(43, {0, 0, 200, 100}); // XOR a rectangle
        const QByteArray black = emfRecord(39, {2, 0, 0, 0}) + emfRecord(37, {2}) +
                                 emfRecord(20, {13}) + emfRecord(42, {20, 20, 180, 80});
        const QImage image =
            DecodeMetafile(emf(step + black + step)).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!image.isNull());
        const QRgb colour = qRgb(0x80, 0x40, 0x20);
        int stray = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                stray += image.pixel(x, y) != colour && qAlpha(image.pixel(x, y)) != 0;
        QCOMPARE(stray, 0);
        QCOMPARE(image.pixel(100, 50), colour);
    }
};

QTEST_MAIN(TestDualMetafile)
#include "tst_dualmetafile.moc"
