// The patterns real clip art uses, each in a small file checked by the pixels it must give.

#include "metafile/MetafileDecoders.h"
#include "metafile/MetafilePlayer.h"

#include "MetafileWriters.h"

#include <QTest>

#include <climits>
#include <cstring>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

constexpr QRgb Red = qRgb(255, 0, 0);
constexpr QRgb Blue = qRgb(0, 0, 255);
constexpr QRgb Green = qRgb(0, 255, 0);
constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Nothing = 0; // transparent

constexpr quint32 RedRef = 0x0000FF, BlueRef = 0xFF0000, GreenRef = 0x00FF00;

// Records of Windows metafiles.
constexpr quint16 SetMapMode = 0x0103, SetBkMode = 0x0102, SetBkColor = 0x0201;
constexpr quint16 SetWindowOrg = 0x020B, SetWindowExt = 0x020C, SetViewportExt = 0x020E;
constexpr quint16 SaveDc = 0x001E, RestoreDc = 0x0127;
constexpr quint16 IntersectClipRect = 0x0416, ExcludeClipRect = 0x0415;
constexpr qint16 Anisotropic = 8, Isotropic = 7, Transparent = 1, Opaque = 2;

// A Windows metafile without outlines, 100 x 100 units in a placeable frame of 100 x 100 pixels.
Wmf plainWmf()
{
    Wmf w;
    w.object(0x02FA, {5, 0, 0, 0, 0}); // null pen
    return w;
}

void hatchBrush(Wmf& w, quint32 colorRef, qint16 hatch)
{
    w.object(0x02FC, {2, qint16(colorRef & 0xFFFF), qint16(colorRef >> 16), hatch});
}

// Records of enhanced metafiles: solid and hatched brushes (object 1) without outlines.
QByteArray emfBrush(quint32 colorRef, quint32 style = 0, quint32 hatch = 0)
{
    return emfRecord(39, {1, qint32(style), qint32(colorRef), qint32(hatch)}) + emfRecord(37, {1}) +
           emfRecord(37, {qint32(0x80000008)});
}

QByteArray emfRectangle(int l, int t, int r, int b)
{
    return emfRecord(43, {l, t, r, b});
}

// A 200 x 100 pixel picture of the records.
QByteArray emf(const QByteArray& records)
{
    return emfFile({0, 0, 199, 99}, {0, 0, 5300, 2650}, records);
}

// A 2 x 2 bitmap, 24 bits a pixel: its bottom row (first in the file) blue, its top row red.
QByteArray stretchDiBits(int x, int y, int width, int height)
{
    const QByteArray info = le<quint32>({40}) + le<qint32>({2, 2}) + le<quint16>({1, 24}) +
                            le<quint32>({0, 0, 0, 0, 0, 0});
    const QByteArray row = [] {
        QByteArray r;
        for (int i = 0; i < 2; ++i)
            r += QByteArray("\xFF\x00\x00", 3); // blue, as B, G, R
        return r + QByteArray(2, '\0');
    }();
    const QByteArray top = QByteArray("\x00\x00\xFF\x00\x00\xFF", 6) + QByteArray(2, '\0');
    const QByteArray bits = row + top;
    const qint32 fixed = 80;
    return emfRecord(81, le<qint32>({0, 0, 0, 0, x, y, 0, 0, 2, 2, fixed, qint32(info.size()),
                                     fixed + qint32(info.size()), qint32(bits.size()), 0,
                                     0x00CC0020, width, height}) +
                             info + bits);
}

QByteArray transform(std::initializer_list<float> matrix, qint32 mode)
{
    return emfRecord(36, floats(matrix) + le<qint32>({mode}));
}

// A font with the escapement, then the text at (x, y) on its baseline, in black on nothing.
QByteArray emfText(const QString& text, int x, int y, int escapement, int width = 0)
{
    QByteArray face(64, '\0');
    const QString name = QStringLiteral("DejaVu Sans");
    std::memcpy(face.data(), name.utf16(), std::size_t(name.size()) * 2);
    QByteArray r = emfRecord(82, le<qint32>({2, -20, width, escapement, escapement, 400}) +
                                     QByteArray(8, '\0') + face);
    r += emfRecord(37, {2}) + emfRecord(24, {0}) + emfRecord(18, {Transparent}) +
         emfRecord(22, {24}); // baseline
    QByteArray string(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    string += QByteArray(string.size() % 4, '\0');
    const qint32 fixed = 76;
    r += emfRecord(
        84, le<qint32>({0, 0, 0, 0, 1, 0, 0, x, y, qint32(text.size()), fixed, 0, 0, 0, 0, 0, 0}) +
                string);
    return r;
}

QList<QRgb> redThenNothingOf()
{
    return {Red, Nothing};
}

// A 2 x 1 bitmap, 24 bits a pixel, of the two colours (0x00BBGGRR) left to right.
QByteArray bitmap1x2(quint32 left, quint32 right)
{
    QByteArray row;
    for (const quint32 c : {left, right})
        row += char((c >> 16) & 0xFF), row += char((c >> 8) & 0xFF), row += char(c & 0xFF);
    row += QByteArray(2, '\0');
    return le<quint32>({40}) + le<qint32>({2, 1}) + le<quint16>({1, 24}) +
           le<quint32>({0, 0, 0, 0, 0, 0}) + row;
}

// A square from (0, 0) to (100, 100) as count points, each corner repeated.
QByteArray squarePoints(qint64 count, bool small)
{
    QByteArray points;
    for (qint64 i = 0; i < count; ++i) {
        const qint64 corner = i * 4 / count;
        const int x = corner == 1 || corner == 2 ? 100 : 0, y = corner >= 2 ? 100 : 0;
        points += small ? le<qint16>({qint16(x), qint16(y)}) : le<qint32>({x, y});
    }
    return points;
}

QRect inkOf(const QImage& image)
{
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

} // namespace

class TestMetafilePlayer : public QObject {
    Q_OBJECT

private slots:
    // Each file draws red somewhere and nothing elsewhere, or as probes say.
    void draws_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QPoint>>("at");
        QTest::addColumn<QList<QRgb>>("colours");
        const QList<QPoint> leftRight = {{25, 50}, {75, 50}};
        const QList<QRgb> redThenNothing = {Red, Nothing};
        // A region of two scans, rows 20 to 60 from 10 to 50 and rows 60 to 80 from 30 to 90,
        // filled with the red brush (object 1); the region is object 2.
        Wmf region = plainWmf();
        region.brush(RedRef);
        // The header (the last four its bounds), then each scan: count, top, bottom, sides, count.
        region.add(0x06FF, {0,  6,  0,  0,  0, 2, 0,  10, 20, 90, 80, 2,
                            20, 60, 10, 50, 2, 2, 60, 80, 30, 90, 2});
        region.add(0x0228, {2, 1});
        // RestoreDC of a positive number goes back to that save, counted from the first.
        Wmf firstSave = plainWmf();
        firstSave.brush(RedRef); // object 1
        firstSave.add(SaveDc, {});
        firstSave.brush(BlueRef); // object 2
        firstSave.add(SaveDc, {});
        firstSave.brush(GreenRef); // object 3
        firstSave.add(RestoreDc, {1});
        firstSave.rectangle(0, 0, 100, 100);
        QTest::newRow("wmf, restored to the first save")
            << firstSave.file({0, 0, 100, 100}, 96) << QList<QPoint>{{50, 50}} << QList<QRgb>{Red};
        QTest::newRow("wmf, region filled")
            << region.file({0, 0, 100, 100}, 96)
            << QList<QPoint>{{30, 40}, {30, 15}, {60, 40}, {80, 70}, {20, 70}, {30, 85}}
            << QList<QRgb>{Red, Nothing, Nothing, Red, Nothing, Nothing};

        Wmf plain = plainWmf();
        plain.brush(RedRef);
        plain.rectangle(0, 0, 50, 100);
        QTest::newRow("wmf, left half")
            << plain.file({0, 0, 100, 100}, 96) << leftRight << redThenNothing;
        Wmf mapped = plainWmf();
        mapped.add(SetMapMode, {Anisotropic});
        mapped.brush(RedRef);
        mapped.rectangle(0, 0, 50, 100);
        QTest::newRow("wmf, anisotropic without window or viewport")
            << mapped.file({0, 0, 100, 100}, 96) << leftRight << redThenNothing;
        Wmf window = plainWmf();
        window.add(SetMapMode, {Anisotropic});
        window.add(SetWindowOrg, {0, 0});
        window.add(SetWindowExt, {2000, 1000}); // y, x: a window of 1000 x 2000
        window.brush(RedRef);
        window.rectangle(0, 0, 500, 2000);
        QTest::newRow("wmf, window without viewport: onto the frame")
            << window.file({0, 0, 100, 100}, 96) << leftRight << redThenNothing;
        // The frame in 1440ths of an inch, the window in pixels of a 96 dpi screen.
        Wmf twips = plainWmf();
        twips.add(SetMapMode, {Anisotropic});
        twips.add(SetWindowExt, {100, 100});
        twips.brush(RedRef);
        twips.rectangle(0, 0, 50, 100);
        QTest::newRow("wmf, window in other units than the frame")
            << twips.file({0, 0, 1500, 1500}, 1440) << leftRight << redThenNothing;
        Wmf viewport = plainWmf();
        viewport.add(SetMapMode, {Anisotropic});
        viewport.add(SetWindowExt, {10, 10});
        viewport.add(SetViewportExt, {50, 50}); // a unit is 5 of the frame's
        viewport.brush(RedRef);
        viewport.rectangle(0, 0, 10, 10);
        QTest::newRow("wmf, window onto a viewport")
            << viewport.file({0, 0, 100, 100}, 96) << QList<QPoint>{{25, 25}, {75, 25}, {25, 75}}
            << QList<QRgb>{Red, Nothing, Nothing};
        Wmf isotropic = plainWmf();
        isotropic.add(SetMapMode, {Isotropic});
        isotropic.add(SetWindowExt, {100, 200}); // y, x: twice as wide as high
        isotropic.brush(RedRef);
        isotropic.rectangle(0, 0, 200, 100);
        QTest::newRow("wmf, isotropic keeps the shape")
            << isotropic.file({0, 0, 100, 100}, 96) << QList<QPoint>{{50, 25}, {50, 75}}
            << QList<QRgb>{Red, Nothing};

        Wmf exact = plainWmf();
        exact.add(SetBkMode, {Transparent});
        exact.brush(0x563412);
        exact.rectangle(0, 0, 50, 100);
        QTest::newRow("wmf, exact colour, transparent background mode")
            << exact.file({0, 0, 100, 100}, 96) << leftRight
            << QList<QRgb>{qRgb(0x12, 0x34, 0x56), Nothing};

        Wmf clipped = plainWmf();
        clipped.add(IntersectClipRect, {100, 50, 0, 0}); // bottom, right, top, left
        clipped.brush(RedRef);
        clipped.rectangle(0, 0, 100, 100);
        QTest::newRow("wmf, clip to a rectangle")
            << clipped.file({0, 0, 100, 100}, 96) << leftRight << redThenNothing;
        Wmf excluded = plainWmf();
        excluded.add(ExcludeClipRect, {100, 100, 0, 50});
        excluded.brush(RedRef);
        excluded.rectangle(0, 0, 100, 100);
        QTest::newRow("wmf, clip out a rectangle")
            << excluded.file({0, 0, 100, 100}, 96) << leftRight << redThenNothing;
        Wmf restored = plainWmf();
        restored.add(SaveDc, {});
        restored.add(IntersectClipRect, {100, 50, 0, 0});
        restored.add(RestoreDc, {-1});
        restored.brush(RedRef);
        restored.rectangle(0, 0, 100, 100);
        QTest::newRow("wmf, clip restored")
            << restored.file({0, 0, 100, 100}, 96) << leftRight << QList<QRgb>{Red, Red};
        // A clip set after a line drawn at half the scale (200 units to 100 pixels) clips in
        // the picture's pixels, whatever the line left the drawing's own scale at.
        Wmf afterLine = plainWmf();
        afterLine.object(0x02FA, {0, 0, 0, 0, 0}); // a black pen one pixel wide at any scale
        afterLine.add(0x0214, {190, 190});         // MoveTo, y then x
        afterLine.add(0x0213, {199, 199});         // LineTo
        afterLine.object(0x02FA, {5, 0, 0, 0, 0});
        afterLine.add(IntersectClipRect, {200, 100, 0, 0});
        afterLine.brush(RedRef);
        afterLine.rectangle(0, 0, 200, 200);
        QTest::newRow("wmf, clip after a line at half the scale")
            << afterLine.file({0, 0, 200, 200}, 192) << QList<QPoint>{{40, 50}, {60, 50}}
            << redThenNothing;
        // A polygon that counts more points than its record holds has only those it holds:
        // none is made up at the corner.
        Wmf fewer = plainWmf();
        fewer.brush(RedRef);
        fewer.add(0x0324, {4, 60, 10, 90, 10, 90, 90});
        QTest::newRow("wmf, polygon of 4 points, 3 given")
            << fewer.file({0, 0, 100, 100}, 96) << QList<QPoint>{{85, 20}, {30, 20}}
            << redThenNothing;

        // A record's size is 32 bits of words: a bitmap of 256 x 256 takes 98,339 of them.
        Wmf large = plainWmf();
        large.add(0x0F43, le<qint16>({0x0020, 0x00CC, 0, 256, 256, 0, 0, 100, 100, 0, 0}) +
                              le<quint32>({40}) + le<qint32>({256, 256}) + le<quint16>({1, 24}) +
                              le<quint32>({0, 0, 0, 0, 0, 0}) +
                              QByteArray(256 * 256 * 3, '\x80')); // STRETCHDIB, grey
        large.brush(RedRef);
        large.rectangle(0, 0, 50, 100);
        QTest::newRow("wmf, a record over 65535 words, then a shape")
            << large.file({0, 0, 100, 100}, 96) << leftRight
            << QList<QRgb>{Red, qRgb(0x80, 0x80, 0x80)};

        // STRETCHDIB of an 8-bit bitmap of the three colours its header counts: black, red and
        // blue (0x00RRGGBB).
        Wmf indexed = plainWmf();
        indexed.add(0x0F43, le<qint16>({0x0020, 0x00CC, 0, 1, 2, 0, 0, 100, 100, 0, 0}) +
                                le<quint32>({40}) + le<qint32>({2, 1}) + le<quint16>({1, 8}) +
                                le<quint32>({0, 0, 0, 0, 3, 0}) +
                                le<quint32>({0, 0xFF0000, 0x0000FF}) +
                                QByteArray("\x01\x02\0\0", 4));
        QTest::newRow("wmf, 8-bit bitmap of fewer than 256 colours")
            << indexed.file({0, 0, 100, 100}, 96) << QList<QPoint>{{10, 50}, {90, 50}}
            << QList<QRgb>{Red, Blue};

        // A bitmap from 10.4 to 30.4 pixels lies on whole pixels, 10 to 30, as Windows places it:
        // no pixel is partly covered. A tenth of a pixel to the unit.
        const QList<QPoint> aroundBitmap = {{9, 50}, {10, 50}, {29, 50}, {30, 50}};
        const QList<QRgb> onWholePixels = {Nothing, Red, Red, Nothing};
        Wmf fractional;
        fractional.stretchDib(dibRow({RedRef}), 1, 0x00CC0020, QRect(104, 0, 200, 1000));
        QTest::newRow("wmf, bitmap at a fractional place")
            << fractional.file({0, 0, 1000, 1000}, 960) << aroundBitmap << onWholePixels;
        QTest::newRow("emf, bitmap at a fractional place")
            << emf(transform({0.1f, 0, 0, 0.1f, 0, 0}, 4) +
                   emfStretchDiBits(dibRow({RedRef}), 1, 0x00CC0020, QRect(104, 0, 200, 1000)))
            << aroundBitmap << onWholePixels;

        // A bitmap placed through a transform between a save and a restore: what follows is
        // drawn without it.
        const QByteArray placed = emfRecord(33, {}) + transform({1, 0, 0, 1, 100, 0}, 4) +
                                  stretchDiBits(0, 0, 100, 100) + emfRecord(34, {-1}) +
                                  emfBrush(RedRef) + emfRectangle(0, 0, 100, 100);
        QTest::newRow("emf, transformed bitmap, then a shape")
            << emf(placed) << QList<QPoint>{{50, 50}, {150, 10}, {150, 90}}
            << QList<QRgb>{Red, Red, Blue};
        const QByteArray flipped = emfRecord(33, {}) + transform({1, 0, 0, -1, 0, 100}, 4) +
                                   stretchDiBits(0, 0, 100, 100) + emfRecord(34, {-1}) +
                                   emfBrush(RedRef) + emfRectangle(100, 0, 200, 50);
        QTest::newRow("emf, bitmap upside down, then a shape")
            << emf(flipped) << QList<QPoint>{{50, 10}, {50, 90}, {150, 25}, {150, 75}}
            << QList<QRgb>{Blue, Red, Red, Nothing};
        QTest::newRow("emf, exact colour")
            << emf(emfRecord(18, {Transparent}) + emfBrush(0x563412) + emfRectangle(0, 0, 100, 100))
            << QList<QPoint>{{50, 50}, {150, 50}} << QList<QRgb>{qRgb(0x12, 0x34, 0x56), Nothing};
        QTest::newRow("emf, 16-bit points left of the picture")
            << emf(emfBrush(RedRef) +
                   emfRecord(86, le<qint32>({0, 0, 0, 0, 4}) +
                                     le<qint16>({-50, 0, 50, 0, 50, 100, -50, 100})))
            << QList<QPoint>{{25, 50}, {150, 50}} << redThenNothing;
        // Triangles of a gradient take their vertices' mean colour: red, red and yellow.
        const auto vertex = [](qint32 x, qint32 y, quint16 green) {
            return le<qint32>({x, y}) + le<quint16>({0xFF00, green, 0, 0});
        };
        QTest::newRow("emf, gradient triangle whose vertices differ in green")
            << emf(emfRecord(118, le<qint32>({0, 0, 199, 99, 3, 1, 2}) + vertex(0, 0, 0) +
                                      vertex(200, 0, 0) + vertex(0, 100, 0xFF00) +
                                      le<quint32>({0, 1, 2})))
            << QList<QPoint>{{20, 20}, {190, 90}} << QList<QRgb>{qRgb(255, 85, 0), Nothing};
        // 1000 pixels to 254 mm, stated as 250 mm: a frame of 100 mm is 378 pixels of 393.7 on
        // the device, not of 400.
        QTest::newRow("emf, device in micrometres")
            << emfFile({0, 0, 390, 390}, {0, 0, 10000, 10000},
                       emfBrush(RedRef) + emfRectangle(0, 0, 390, 390), {1000, 1000}, {250, 250},
                       {254000, 254000})
            << QList<QPoint>{{371, 100}, {376, 100}} << redThenNothing;
        QTest::newRow("emf, anisotropic window without viewport")
            << emf(emfRecord(17, {Anisotropic}) + emfRecord(9, {200, 100}) + emfBrush(RedRef) +
                   emfRectangle(0, 0, 100, 100))
            << QList<QPoint>{{50, 50}, {150, 50}} << redThenNothing;
    }

    void draws()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<QPoint>, at);
        QFETCH(QList<QRgb>, colours);
        const QImage image = DecodeMetafile(file);
        QVERIFY(!image.isNull());
        for (qsizetype i = 0; i < at.size(); ++i)
            QCOMPARE(image.pixel(at[i]), colours[i]);
    }

    // Shapes and their fill rules, paths, arcs and lines, probed like draws().
    void shapes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QPoint>>("at");
        QTest::addColumn<QList<QRgb>>("colours");

        // Two squares, one inside the other, both drawn the same way round.
        const auto nested = [](qint16 fillMode) {
            Wmf w = plainWmf();
            w.add(0x0106, {fillMode}); // SETPOLYFILLMODE
            w.brush(RedRef);
            w.add(0x0538,
                  {2, 4, 4, 0, 0, 100, 0, 100, 100, 0, 100, 25, 25, 75, 25, 75, 75, 25, 75});
            return w.file({0, 0, 100, 100}, 96);
        };
        const QList<QPoint> ringAndHole = {{10, 50}, {50, 50}};
        QTest::newRow("wmf polypolygon, alternate")
            << nested(1) << ringAndHole << QList<QRgb>{Red, Nothing};
        QTest::newRow("wmf polypolygon, winding")
            << nested(2) << ringAndHole << QList<QRgb>{Red, Red};
        const QByteArray points =
            le<qint32>({0, 0, 100, 0, 100, 100, 0, 100, 25, 25, 75, 25, 75, 75, 25, 75});
        QTest::newRow("emf polypolygon, winding")
            << emf(emfRecord(19, {2}) + emfBrush(RedRef) +
                   emfRecord(8, le<qint32>({0, 0, 0, 0, 2, 8, 4, 4}) + points))
            << ringAndHole << QList<QRgb>{Red, Red};

        // A path of lines and a curve, filled; then one selected as the clip.
        const QByteArray square = emfRecord(59, {}) + emfRecord(27, {0, 0}) +
                                  emfRecord(54, {100, 0}) + emfRecord(54, {100, 100}) +
                                  emfRecord(54, {0, 100}) + emfRecord(61, {}) + emfRecord(60, {});
        QTest::newRow("emf path, filled")
            << emf(emfBrush(RedRef) + square + emfRecord(62, {0, 0, 0, 0}))
            << QList<QPoint>{{50, 50}, {150, 50}} << QList<QRgb>{Red, Nothing};
        QTest::newRow("emf path as the clip")
            << emf(square + emfRecord(67, {5}) + emfBrush(RedRef) + emfRectangle(0, 0, 200, 100))
            << QList<QPoint>{{50, 50}, {150, 50}} << QList<QRgb>{Red, Nothing};
        // Made the clip, the path is used up: a fill of the path after it has none to fill.
        QTest::newRow("emf path as the clip, then filled")
            << emf(square + emfRecord(67, {5}) + emfBrush(RedRef) + emfRecord(62, {0, 0, 0, 0}))
            << QList<QPoint>{{50, 50}, {150, 50}} << QList<QRgb>{Nothing, Nothing};
        QTest::newRow("emf world transform, set")
            << emf(emfRecord(35, floats({2, 0, 0, 1, 0, 0})) + emfBrush(RedRef) +
                   emfRectangle(0, 0, 50, 100))
            << QList<QPoint>{{75, 50}, {150, 50}} << QList<QRgb>{Red, Nothing};

        // A pie of the right half of a circle, counterclockwise from its bottom to its top.
        Wmf pie = plainWmf();
        pie.brush(RedRef);
        pie.add(0x081A, {0, 50, 100, 50, 100, 100, 0, 0});
        QTest::newRow("wmf pie") << pie.file({0, 0, 100, 100}, 96)
                                 << QList<QPoint>{{75, 50}, {25, 50}} << redThenNothingOf();
        Wmf chord = plainWmf();
        chord.brush(RedRef);
        chord.add(0x0830, {0, 50, 100, 50, 100, 100, 0, 0});
        QTest::newRow("wmf chord") << chord.file({0, 0, 100, 100}, 96)
                                   << QList<QPoint>{{75, 50}, {45, 50}} << redThenNothingOf();

        // A thick dashed line: its gaps in the background colour when it is opaque.
        for (const qint16 mode : {Transparent, Opaque}) {
            Wmf w;
            w.add(SetBkMode, {mode});
            w.add(SetBkColor, {qint16(GreenRef & 0xFFFF), qint16(GreenRef >> 16)});
            w.object(0x02FA, {0x0201, 20, 0, qint16(RedRef & 0xFFFF), 0}); // dash, flat ends
            w.add(0x0214, {50, 0});                                        // MOVETO
            w.add(0x0213, {50, 100});                                      // LINETO
            QTest::addRow("wmf dashed line, background mode %d", mode)
                << w.file({0, 0, 100, 100}, 96) << QList<QPoint>{{90, 50}, {50, 10}}
                << QList<QRgb>{mode == Opaque ? Green : Nothing, Nothing};
        }
        // A thick red V with a mitered apex at (50, 10), its miter ending above the picture,
        // 2.2 pen widths long: drawn with the limit of 10 a device starts with and with a limit
        // of 3 set by the file's escape, beveled below y = 6 with a limit of 2.
        for (const qint16 limit : {0, 2, 3}) {
            Wmf w;
            if (limit > 0)
                w.add(0x0626, {0x0017, 4, limit, 0});                      // ESCAPE: SETMITERLIMIT
            w.object(0x02FA, {0x2200, 20, 0, qint16(RedRef & 0xFFFF), 0}); // miter, flat ends
            w.add(0x0325, {3, 10, 90, 50, 10, 90, 90});                    // POLYLINE
            QTest::addRow("wmf miter limit %d", limit)
                << w.file({0, 0, 100, 100}, 96) << QList<QPoint>{{50, 12}, {50, 2}}
                << QList<QRgb>{Red, limit == 2 ? Nothing : Red};
        }
        QTest::newRow("emf miter limit 2")
            << emf(emfRecord(58, {2}) + emfRecord(38, {1, 0x2200, 20, 0, qint32(RedRef)}) +
                   emfRecord(37, {1}) + emfRecord(4, {0, 0, 0, 0, 3, 10, 90, 50, 10, 90, 90}))
            << QList<QPoint>{{50, 12}, {50, 2}} << redThenNothingOf();
        // A mask and its picture, as bitmaps are made transparent: AND the mask, OR the colour.
        Wmf masked = plainWmf();
        masked.brush(BlueRef);
        masked.rectangle(0, 0, 100, 100);
        masked.add(0x0F43, le<qint16>({0x00C6, 0x0088, 0, 1, 2, 0, 0, 100, 100, 0, 0}) +
                               bitmap1x2(0x000000, 0xFFFFFF)); // SRCAND: black left, white right
        masked.add(0x0F43, le<qint16>({0x0086, 0x00EE, 0, 1, 2, 0, 0, 100, 100, 0, 0}) +
                               bitmap1x2(0x0000FF, 0x000000)); // SRCPAINT: red left, black right
        QTest::newRow("wmf masked bitmap")
            << masked.file({0, 0, 100, 100}, 96) << QList<QPoint>{{10, 50}, {90, 50}}
            << QList<QRgb>{Red, Blue};
    }

    void shapes() { draws(); }

    // Raster operations combine with the page as with the white paper it is shown on; where they
    // leave that paper white, the picture stays transparent.
    void rasterOps_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QPoint>>("at");
        QTest::addColumn<QList<QRgb>>("colours");
        constexpr QRgb Black = qRgb(0, 0, 0), Cyan = qRgb(0, 255, 255);
        constexpr QRgb Magenta = qRgb(255, 0, 255), Yellow = qRgb(255, 255, 0);
        constexpr QRgb Green = qRgb(0, 255, 0);

        // A red left half, then the whole picture filled blue in the pen's raster operation:
        // over the red, and over the empty right half, all sixteen. With the pen P blue, the
        // page D red or white paper, channel by channel.
        const struct {
            qint16 rop;
            QRgb overRed, overPaper;
        } rops[] = {{1, Black, Black},      // 0
                    {2, Green, Black},      // ~(P | D)
                    {3, Red, Yellow},       // ~P & D
                    {4, Yellow, Yellow},    // ~P
                    {5, Blue, Black},       // P & ~D
                    {6, Cyan, Black},       // ~D
                    {7, Magenta, Yellow},   // P ^ D
                    {8, White, Yellow},     // ~(P & D)
                    {9, Black, Blue},       // P & D
                    {10, Green, Blue},      // ~(P ^ D)
                    {11, Red, Nothing},     // D
                    {12, Yellow, Nothing},  // ~P | D
                    {13, Blue, Blue},       // P
                    {14, Cyan, Blue},       // P | ~D
                    {15, Magenta, Nothing}, // P | D
                    {16, White, Nothing}};  // 1
        for (const auto& [rop, overRed, overPaper] : rops) {
            Wmf w = plainWmf();
            w.brush(RedRef);
            w.rectangle(0, 0, 50, 100);
            w.add(0x0104, {rop}); // SETROP2
            w.brush(BlueRef);
            w.rectangle(0, 0, 100, 100);
            QTest::addRow("wmf, binary raster operation %d", rop)
                << w.file({0, 0, 100, 100}, 96) << QList<QPoint>{{25, 50}, {75, 50}}
                << QList<QRgb>{overRed, overPaper};
        }
        // A bitmap made transparent on an empty page: its mask OR-ed (white where the picture
        // shows), then the picture AND-ed (white around it).
        Wmf masked = plainWmf();
        masked.add(0x0F43, le<qint16>({0x0086, 0x00EE, 0, 1, 2, 0, 0, 100, 100, 0, 0}) +
                               bitmap1x2(0xFFFFFF, 0x000000)); // SRCPAINT
        masked.add(0x0F43, le<qint16>({0x00C6, 0x0088, 0, 1, 2, 0, 0, 100, 100, 0, 0}) +
                               bitmap1x2(RedRef, 0xFFFFFF)); // SRCAND
        QTest::newRow("wmf, mask OR-ed then picture AND-ed on an empty page")
            << masked.file({0, 0, 100, 100}, 96) << QList<QPoint>{{10, 50}, {90, 50}}
            << redThenNothingOf();
        // A gradient in an ellipse: its steps XOR-ed, the ellipse filled black, the steps XOR-ed
        // again, which leaves them inside the ellipse alone.
        const QByteArray steps = emfRecord(39, {3, 0, qint32(RedRef), 0}) + emfRecord(37, {3}) +
                                 emfRectangle(0, 0, 100, 100) +
                                 emfRecord(39, {3, 0, qint32(BlueRef), 0}) + emfRecord(37, {3}) +
                                 emfRectangle(100, 0, 200, 100);
        QTest::newRow("emf, gradient XOR-ed around a black ellipse")
            << emf(emfBrush(0) + emfRecord(20, {7}) + steps + emfRecord(20, {13}) +
                   emfRecord(37, {1}) + emfRecord(42, {0, 0, 200, 100}) + emfRecord(20, {7}) +
                   steps)
            << QList<QPoint>{{50, 50}, {150, 50}, {3, 3}, {196, 96}}
            << QList<QRgb>{Red, Blue, Nothing, Nothing};
    }

    void rasterOps() { draws(); }

    // A pen with a width of its own covers the pixels it crosses by the share it sweeps: one
    // narrower than a pixel stays in its row, lighter; a wide one is solid. A hairline (no
    // width, or one pixel) at a whole coordinate lights the one row that coordinate names, as
    // Windows draws it, not the two rows it borders. Probed down the middle column, alpha at
    // each row.
    void penWidths_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QList<int>>("alphas");
        // A tenth of a pixel to the unit; a horizontal black line across at y.
        const auto wmfLine = [](qint16 width, qint16 y) {
            Wmf w;
            w.object(0x02FA, {0, width, 0, 0, 0}); // solid
            w.add(0x0214, {y, 0});                 // MOVETO
            w.add(0x0213, {y, 1000});              // LINETO
            return w.file({0, 0, 1000, 1000}, 960);
        };
        // 0.4 pixels wide from 10.0 to 10.4: 40 % of row 10, nothing of rows 9 and 11.
        QTest::newRow("wmf, under a pixel")
            << wmfLine(4, 102) << QList<int>{9, 10, 11} << QList<int>{0, 102, 0};
        QTest::newRow("wmf, three pixels") << wmfLine(30, 505) << QList<int>{48, 49, 50, 51, 52}
                                           << QList<int>{0, 255, 255, 255, 0};
        const QList<int> aroundTen = {9, 10, 11}, tenAlone = {0, 255, 0};
        QTest::newRow("wmf, hairline at a whole pixel") << wmfLine(0, 100) << aroundTen << tenAlone;
        QTest::newRow("wmf, one pixel at a whole pixel")
            << wmfLine(10, 100) << aroundTen << tenAlone;
        // Near a pixel is not a hairline: from 9.45 to 10.55, where its coordinates put it.
        QTest::newRow("wmf, 1.1 pixels at a whole pixel")
            << wmfLine(11, 100) << aroundTen << QList<int>{140, 140, 0};
        const auto emfLine = [](qint32 width, qint32 y) {
            return emf(transform({0.1f, 0, 0, 0.1f, 0, 0}, 4) + emfRecord(38, {1, 0, width, 0, 0}) +
                       emfRecord(37, {1}) + emfRecord(27, {0, y}) + emfRecord(54, {1000, y}));
        };
        QTest::newRow("emf, under a pixel")
            << emfLine(4, 102) << aroundTen << QList<int>{0, 102, 0};
        QTest::newRow("emf, hairline at a whole pixel") << emfLine(0, 100) << aroundTen << tenAlone;
        // A cosmetic pen of EXTCREATEPEN is one pixel whatever width it gives.
        QTest::newRow("emf, cosmetic pen at a whole pixel")
            << emf(emfRecord(95, {1, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0}) + emfRecord(37, {1}) +
                   emfRecord(27, {0, 10}) + emfRecord(54, {200, 10}))
            << aroundTen << tenAlone;
    }

    void penWidths()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<int>, rows);
        QFETCH(QList<int>, alphas);
        const QImage image = DecodeMetafile(file);
        QVERIFY(!image.isNull());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const int alpha = qAlpha(image.pixel(50, rows[i]));
            QVERIFY2(std::abs(alpha - alphas[i]) <= 8,
                     qPrintable(QStringLiteral("row %1: alpha %2, not %3")
                                    .arg(rows[i])
                                    .arg(alpha)
                                    .arg(alphas[i])));
        }
    }

    // Records shorter than their kind, or counting more than they hold, draw what they hold.
    void shortRecords_data()
    {
        QTest::addColumn<QByteArray>("file");
        Wmf polygon = plainWmf();
        polygon.add(0x0324, {1000, 0, 0, 50, 0, 50, 50});
        QTest::newRow("wmf polygon of 1000 points, 3 given") << polygon.file({0, 0, 100, 100}, 96);
        Wmf polys = plainWmf();
        polys.add(0x0538, {30000, 3, 0, 0});
        QTest::newRow("wmf polypolygon of 30000 polygons") << polys.file({0, 0, 100, 100}, 96);
        Wmf text = plainWmf();
        text.add(0x0A32, {10, 10, 5000, 0, 'a'});
        QTest::newRow("wmf text of 5000 characters, 2 given") << text.file({0, 0, 100, 100}, 96);
        Wmf region = plainWmf();
        region.add(0x06FF, {0, 6, 0, 0, 0, 30000, 0, 0, 0, 100, 100, 5000, 0, 10});
        region.add(0x012C, {0});
        QTest::newRow("wmf region of 30000 scans, 1 begun") << region.file({0, 0, 100, 100}, 96);
        Wmf saves = plainWmf();
        for (int i = 0; i < 5000; ++i)
            saves.add(SaveDc, {});
        saves.add(RestoreDc, {1});
        saves.add(RestoreDc, {-30000});
        QTest::newRow("wmf 5000 saves, restores beyond them") << saves.file({0, 0, 100, 100}, 96);
        Wmf cut = plainWmf();
        cut.add(0x041B, {});
        cut.add(0x02FB, {});
        cut.add(0x012D, {-1});
        QTest::newRow("wmf records without parameters") << cut.file({0, 0, 100, 100}, 96);
        QTest::newRow("emf text counting beyond its record") << emf(emfRecord(
            84, le<qint32>({0, 0, 0, 0, 1, 0, 0, 10, 10, 0x7FFFFFFF, 76, 0, 0, 0, 0, 0, 76})));
        QTest::newRow("emf polygon of 2^31 points")
            << emf(emfRecord(3, {0, 0, 0, 0, 0x7FFFFFFF, 0, 0, 10, 10}));
        QTest::newRow("emf region counting beyond its record")
            << emf(emfRecord(75, {48, 5, 32, 1, 0x7FFFFFFF, 0, 0, 0, 10, 10}));
        QTest::newRow("emf bitmap offsets beyond the record")
            << emf(emfRecord(81, le<qint32>({0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0x7FFFFFF0, 40, 80, 16,
                                             0, 0x00CC0020, 100, 100})));
        QTest::newRow("emf object 0x7FFFFFFF")
            << emf(emfRecord(39, {0x7FFFFFFF, 0, 0xFF, 0}) + emfRecord(37, {0x7FFFFFFF}));
        // Glyphs this wide made Qt's glyph cache fail (found by fuzzing).
        QTest::newRow("emf text stretched 10000 times")
            << emf(emfText(QStringLiteral("Hi"), 10, 50, 0, 131072));
        QTest::newRow("emf text turned by -2^31 tenths of a degree")
            << emf(emfText(QStringLiteral("Hi"), 10, 50, INT_MIN));
        QTest::newRow("emf transform of infinities")
            << emf(emfRecord(35, floats({float(qInf()), 0, 0, float(qInf()), 0, 0})) +
                   emfBrush(RedRef) + emfRectangle(0, 0, 50, 50));
        // Outlines of a wide pen, huge and then beyond what a double holds.
        QByteArray huge = emfRecord(38, {1, 0, 20, 0, qint32(RedRef)}) + emfRecord(37, {1});
        for (int i = 0; i < 12; ++i) {
            huge += transform({1e30f, 0, 0, 1e30f, 0, 0}, 2) + emfRectangle(0, 0, 50, 50) +
                    emfRecord(54, {100, 100});
        }
        QTest::newRow("emf wide pen under a transform of 1e30 to 1e360") << emf(huge);
    }

    // A record may draw a million points (a region's rectangle counts four), and an EMF path may
    // gather as many; one more refuses the picture.
    void pointLimit_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("drawn");
        constexpr qint64 Most = MaxRecordPoints, Half = Most / 2;
        const auto polygon = [](qint64 count, bool small) {
            return emfRecord(small ? 86 : 3, le<qint32>({0, 0, 100, 100, qint32(count)}) +
                                                 squarePoints(count, small));
        };
        QTest::newRow("emf polygon of the most points")
            << emf(emfBrush(RedRef) + polygon(Most, false)) << true;
        QTest::newRow("emf polygon of one more") << emf(polygon(Most + 1, false)) << false;
        QTest::newRow("emf 16-bit polygon of one more") << emf(polygon(Most + 1, true)) << false;
        QTest::newRow("emf polypolygon of one more")
            << emf(emfRecord(8, le<qint32>({0, 0, 100, 100, 2, qint32(Most + 1), Half, Half + 1}) +
                                    squarePoints(Most + 1, false)))
            << false;
        QTest::newRow("emf path gathering one more")
            << emf(emfRecord(59, {}) + polygon(Half, false) + polygon(Half + 1, false) +
                   emfRecord(60, {}) + emfRecord(62, {0, 0, 100, 100}))
            << false;
        QByteArray region = le<qint32>({32, 1, Most / 4 + 1, (Most / 4 + 1) * 16, 0, 0, 100, 100});
        for (qint64 i = 0; i <= Most / 4; ++i)
            region += le<qint32>({0, 0, 100, 100});
        QTest::newRow("emf region of one rectangle more")
            << emf(emfRecord(74, le<qint32>({0, 0, 100, 100, qint32(region.size())}) + region))
            << false;
        Wmf wmf; // sixteen squares, a point more than a million in all
        QByteArray counts = le<quint16>({16}), points;
        for (int i = 0; i < 16; ++i) {
            counts += le<quint16>({quint16(Most / 16 + (i == 0))});
            points += squarePoints(Most / 16 + (i == 0), true);
        }
        wmf.add(0x0538, counts + points); // POLYPOLYGON
        QTest::newRow("wmf polypolygon of one more") << wmf.file({0, 0, 100, 100}, 96) << false;
    }

    void pointLimit()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, drawn);
        const QImage image = DecodeMetafile(file);
        QCOMPARE(!image.isNull(), drawn);
        if (drawn)
            QCOMPARE(image.pixel(50, 50), Red);
    }

    void shortRecords()
    {
        QFETCH(QByteArray, file);
        const QImage image = DecodeMetafile(file);
        QVERIFY(!image.isNull());
    }

    // Hatches, 8 pixels apart, in the brush's colour; between them the background colour when
    // the background mode is opaque, nothing when it is transparent.
    void hatches_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QRgb>("between");
        for (const qint16 mode : {Transparent, Opaque}) {
            Wmf w = plainWmf();
            w.add(SetBkMode, {mode});
            w.add(SetBkColor, {qint16(GreenRef & 0xFFFF), qint16(GreenRef >> 16)});
            hatchBrush(w, BlueRef, 4); // cross
            w.rectangle(0, 0, 100, 100);
            const QRgb between = mode == Opaque ? Green : Nothing;
            QTest::addRow("wmf, background mode %d", mode)
                << w.file({0, 0, 100, 100}, 96) << between;
            QTest::addRow("emf, background mode %d", mode)
                << emf(emfRecord(18, {mode}) + emfRecord(25, {qint32(GreenRef)}) +
                       emfBrush(BlueRef, 2, 4) + emfRectangle(0, 0, 100, 100))
                << between;
        }
    }

    void hatches()
    {
        QFETCH(QByteArray, file);
        QFETCH(QRgb, between);
        const QImage image = DecodeMetafile(file);
        QVERIFY(!image.isNull());
        int lines = 0, gaps = 0;
        for (int y = 10; y < 90; ++y) {
            for (int x = 10; x < 90; ++x) {
                const QRgb p = image.pixel(x, y);
                lines += p == Blue;
                gaps += p == between;
                QVERIFY2(p == Blue || p == between, qPrintable(QString::number(p, 16)));
            }
        }
        // A cross hatch covers 15 of every 64 pixels.
        QVERIFY(lines > 80 * 80 / 8);
        QVERIFY(gaps > 80 * 80 / 2);
    }

    // Text turned by its escapement about its reference point, within the picture.
    void rotatedText_data()
    {
        QTest::addColumn<int>("escapement");
        QTest::addColumn<QRect>("within");
        QTest::newRow("upright") << 0 << QRect(100, 30, 100, 30);
        QTest::newRow("upside down") << 1800 << QRect(0, 40, 102, 30);
        QTest::newRow("a quarter turn") << 900 << QRect(80, 0, 22, 52);
    }

    void rotatedText()
    {
        QFETCH(int, escapement);
        QFETCH(QRect, within);
        const QImage image =
            DecodeMetafile(emf(emfText(QStringLiteral("HHHH"), 100, 50, escapement)));
        QVERIFY(!image.isNull());
        const QRect ink = inkOf(image);
        QVERIFY(ink.width() > 10);
        QVERIFY2(within.contains(ink), qPrintable(QStringLiteral("ink at %1,%2 %3x%4")
                                                      .arg(ink.x())
                                                      .arg(ink.y())
                                                      .arg(ink.width())
                                                      .arg(ink.height())));
    }
};

QTEST_MAIN(TestMetafilePlayer)
#include "tst_metafileplayer.moc"
