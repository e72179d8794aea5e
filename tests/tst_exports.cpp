#include "ExportParsers.h"

#include "art/ArtFont.h"
#include "art/InkArt.h"
#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
#include "engine/CharTable.h"
#include "export/ArtExport.h"
#include "export/ArtLines.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;

namespace {

ExportOptions optionsFor(const QString& format, const QString& mode)
{
    ExportOptions options;
    options.format = *FormatByName(format);
    options.colour = !mode.isEmpty();
    options.colourMode = ColourModeByName(mode).value_or(ColourMode::Foreground);
    return options;
}

// Each cell's mean colour, in cells of 6 x 12 pixels (9 points).
QList<QRgb> cellMeans(const QImage& image)
{
    QList<QRgb> means;
    for (int top = 0; top < image.height(); top += 12) {
        for (int left = 0; left + 6 <= image.width(); left += 6) {
            int sums[3] = {};
            for (int y = top; y < top + 12; ++y) {
                for (int x = left; x < left + 6; ++x) {
                    const QRgb p = image.pixel(x, y);
                    sums[0] += qRed(p), sums[1] += qGreen(p), sums[2] += qBlue(p);
                }
            }
            means.append(qRgb(sums[0] / 72, sums[1] / 72, sums[2] / 72));
        }
    }
    return means;
}

} // namespace

class TestExports : public QObject {
    Q_OBJECT

private slots:
    void viewersReadEveryExport_data();
    void viewersReadEveryExport();
    void svgDrawsAsThePng_data();
    void svgDrawsAsThePng();
    void terminalColours_data();
    void terminalColours();
    void darkTerminalTakesTheNegative();
    void halfDarkCellTakesBothColours_data();
    void halfDarkCellTakesBothColours();
    void flatCellTakesItsColour_data();
    void flatCellTakesItsColour();
    void brightColoursInSixteen_data();
    void brightColoursInSixteen();
    void darkTerminalKeepsThePaperBlank_data();
    void darkTerminalKeepsThePaperBlank();
};

void TestExports::viewersReadEveryExport_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("mode"); // empty: no colour
    for (const char* format : {"html", "svg"}) {
        for (const char* mode : {"", "fg", "bg", "both"})
            QTest::addRow("%s %s", format, mode) << format << mode;
    }
}

void TestExports::viewersReadEveryExport()
{
    QFETCH(QString, format);
    QFETCH(QString, mode);
    // What markup must escape, runs of spaces, a wide character and an empty first line, in a
    // colour for each character up to the footer.
    ArtDocument art;
    art.text = QStringLiteral("\r\na  &<>   b中\r\n   x  y\r\n最佳\r\nTessivo");
    for (int i = 0; i < art.text.indexOf(QStringLiteral("最")); ++i)
        art.colours.append(ComposeColor(40 * (i % 6), 200, 255 - 30 * (i % 6)));
    ExportOptions options = optionsFor(format, mode);
    options.fontSize = 12; // cells of 8 x 16 pixels
    options.title = QStringLiteral("a <b> & c");
    const QByteArray bytes = ExportArt(art, options).bytes;
    QVERIFY(!bytes.contains('\r'));

    QList<ReadLine> lines;
    QList<SvgCell> cells;
    if (format == "html") {
        const ReadPage page = readPage(bytes);
        QCOMPARE(page.lang, QStringLiteral("zh-CN"));
        QCOMPARE(page.title, options.title);
        lines = page.lines;
    } else {
        QString error;
        lines = readSvg(QString::fromUtf8(bytes), &cells, &error);
        QCOMPARE(error, QString());
    }
    QStringList texts;
    for (const ReadLine& line : lines)
        texts << line.text;
    QCOMPARE(texts, art.text.split(QStringLiteral("\r\n")));

    // Each character in its ink, its cell painted where the mode paints cells.
    for (qsizetype n = 0, i = 0; n < lines.size(); ++n, i += 2) {
        QVERIFY(lines[n].spacesKept);
        for (qsizetype k = 0; k < lines[n].text.size(); ++k, ++i) {
            const bool coloured = options.colour && i < art.colours.size();
            const CellPaint paint =
                PaintOf(coloured ? RgbOf(art.colours[i]) : 0, options.colourMode, qRgb(0, 0, 0));
            const bool inked = coloured && options.colourMode != ColourMode::Background;
            QCOMPARE(lines[n].colours[k], inked ? paint.ink & 0xFFFFFF : NoColour);
            const QRgb back = coloured && paint.filled ? paint.back & 0xFFFFFF : NoColour;
            if (format == "html") {
                QCOMPARE(lines[n].backs[k], back);
                continue;
            }
            const double x = lines[n].x[k];
            QCOMPARE(x, 8.0 * CellsOf(QStringView(lines[n].text).left(k)));
            const auto under = std::find_if(cells.cbegin(), cells.cend(), [&](const SvgCell& c) {
                return c.y == 16.0 * n && c.x <= x && x < c.x + c.width && c.height == 16;
            });
            QCOMPARE(under == cells.cend() ? NoColour : under->fill, back);
        }
    }
}

void TestExports::svgDrawsAsThePng_data()
{
    QTest::addColumn<QString>("mode");
    for (const char* mode : {"", "fg", "bg", "both"})
        QTest::addRow("%s", mode) << mode;
}

void TestExports::svgDrawsAsThePng()
{
    QFETCH(QString, mode);
    // Rows of tones, spaces among them and wide characters, shifted a character a line.
    ArtDocument art;
    const QString rows = QStringLiteral("@#%*+=-:. 中国  WMwm&<>");
    for (int n = 0; n < 12; ++n) {
        const QString line = (rows.mid(n) + rows.left(n)).repeated(3);
        for (int k = 0; k < line.size(); ++k)
            art.colours.append(ComposeColor(20 * n, 255 - 9 * k, 100));
        art.text += line + QStringLiteral("\r\n");
    }
    const ExportOptions options = optionsFor(QStringLiteral("svg"), mode);
    const ArtPicture png = RenderArt(
        art, options.colour, ArtFont(options.fontFamily, options.fontSize), options.colourMode);
    QSvgRenderer svg(ExportArt(art, options).bytes);
    QCOMPARE(svg.defaultSize(), png.image.size());
    QImage drawn(png.image.size(), QImage::Format_RGB32);
    drawn.fill(Qt::white);
    QPainter painter(&drawn);
    svg.render(&painter);
    painter.end();

    // Each cell holds the same ink in both, within what two ways of laying glyphs on pixels
    // differ by (12 at most here; a line that lost its spaces differs by 44 or more).
    const QList<QRgb> expected = cellMeans(png.image);
    const QList<QRgb> got = cellMeans(drawn);
    for (qsizetype c = 0; c < got.size(); ++c) {
        const int worst = std::max({std::abs(qRed(got[c]) - qRed(expected[c])),
                                    std::abs(qGreen(got[c]) - qGreen(expected[c])),
                                    std::abs(qBlue(got[c]) - qBlue(expected[c]))});
        QVERIFY2(worst <= 24, qPrintable(QStringLiteral("cell %1: %2").arg(c).arg(worst)));
    }
}

void TestExports::terminalColours_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("colours");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("codes");
    const QRgb red = qRgb(200, 0, 0), blue = qRgb(0, 0, 200);
    QTest::newRow("24-bit") << red << "fg"
                            << "full"
                            << "light"
                            << "38;2;200;0;0";
    QTest::newRow("256: cube") << red << "fg"
                               << "256"
                               << "light"
                               << "38;5;160";
    QTest::newRow("256: grey") << qRgb(128, 128, 128) << "fg"
                               << "256"
                               << "light"
                               << "38;5;244";
    QTest::newRow("16") << red << "fg"
                        << "16"
                        << "light"
                        << "31";
    QTest::newRow("16, cells") << blue << "bg"
                               << "16"
                               << "light"
                               << "30;44";
    QTest::newRow("both") << red << "both"
                          << "full"
                          << "light"
                          << "38;2;100;0;0;48;2;200;0;0";
    QTest::newRow("both, dark, 256") << blue << "both"
                                     << "256"
                                     << "dark"
                                     << "38;5;104;48;5;20";
}

void TestExports::terminalColours()
{
    QFETCH(QRgb, colour);
    QFETCH(QString, mode);
    QFETCH(QString, colours);
    QFETCH(QString, background);
    QFETCH(QString, codes);
    ArtDocument art;
    art.text = QStringLiteral("xy\r\nz");
    const ColorValue value = ComposeColor(qRed(colour), qGreen(colour), qBlue(colour));
    art.colours = {value, value};
    ExportOptions options = optionsFor(QStringLiteral("ansi"), mode);
    options.terminalColours = *TerminalColoursByName(colours);
    options.background = *TerminalBackgroundByName(background);
    // One escape for the stretch of one colour, a reset before the line end and the footer.
    QCOMPARE(QString::fromUtf8(ExportArt(art, options).bytes),
             QStringLiteral("\x1b[%1mxy\x1b[0m\r\nz").arg(codes));
}

void TestExports::darkTerminalTakesTheNegative()
{
    // Black on the left half, white on the right.
    QTemporaryDir dir;
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(0, 0, 200, 200, Qt::black);
    const QString picture = dir.filePath(QStringLiteral("half & half.png"));
    QVERIFY(image.save(picture));
    const auto convert = [&](const QStringList& options) {
        return QString::fromUtf8(
            RunConversion(*ParseConvertOptions(QStringList{picture} + options).options).out);
    };
    int escapes = 0;
    const ReadLine light = readAnsi(convert({"--format", "ansi"}), &escapes)[1];
    const ReadLine dark =
        readAnsi(convert({"--format", "ansi", "--background", "dark"}), &escapes)[1];
    // Dense on the black half for a light terminal, on the white half for a dark one; every
    // character keeps its own pixel's colour.
    const qsizetype black = 2, white = light.text.size() * 3 / 4;
    QVERIFY(light.text[black] != ' ' && light.text[white] == ' ');
    QVERIFY(dark.text[black] == ' ' && dark.text[white] != ' ');
    QCOMPARE(dark.colours[white], 0xFFFFFFu);
    QCOMPARE(dark.colours, light.colours);

    // A page is named after its picture.
    QCOMPARE(readPage(convert({"--format", "html"}).toUtf8()).title,
             QStringLiteral("half & half.png"));
}

namespace {

// Art of a picture drawn by the ink and shape modes with each cell's row and colours fitted.
InkArt fitted(const QImage& picture, int columns, int lines, FitColours colours,
              const QString& family = QStringLiteral("DejaVu Sans Mono"))
{
    const InkPalette palette(DefaultCharTable(), family, 9, true, true);
    InkOptions options;
    options.columns = columns;
    options.lines = lines;
    options.shape = true;
    options.recordColours = true;
    options.fit = colours;
    return DrawInkArt(picture, palette, options);
}

} // namespace

void TestExports::halfDarkCellTakesBothColours_data()
{
    QTest::addColumn<QRect>("dark"); // of each cell of 40 x 80 pixels
    QTest::addColumn<QRect>("light");
    QTest::newRow("top") << QRect(0, 0, 40, 40) << QRect(0, 40, 40, 40);
    QTest::newRow("bottom") << QRect(0, 40, 40, 40) << QRect(0, 0, 40, 40);
    QTest::newRow("left") << QRect(0, 0, 20, 80) << QRect(20, 0, 20, 80);
    QTest::newRow("right") << QRect(20, 0, 20, 80) << QRect(0, 0, 20, 80);
}

// A cell half black and half white is drawn in black and white, the glyph's ink on the half of
// the ink's colour: the two colours and the glyph are chosen together.
void TestExports::halfDarkCellTakesBothColours()
{
    QFETCH(QRect, dark);
    QFETCH(QRect, light);
    QImage picture(4 * 40, 2 * 80, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                painter.fillRect(dark.translated(x * 40, y * 80), Qt::black);
    }
    const InkArt art = fitted(picture, 4, 2, FitColours::Full);
    const InkPalette palette(DefaultCharTable(), QStringLiteral("DejaVu Sans Mono"), 9, true, true);
    QCOMPARE(art.backgrounds.size(), art.colours.size());
    for (qsizetype i = 0; i < art.text.size(); ++i) {
        if (art.text[i] == QLatin1Char('\r') || art.text[i] == QLatin1Char('\n'))
            continue;
        // A dark and a light colour either side of the cell's mean (half black and half white
        // in linear light is grey 188): no glyph of the table fills half a cell, so the fit
        // leaves black and white where a glyph's partial cover asks for it.
        const QRgb ink = RgbOf(art.colours[i]) & 0xFFFFFF;
        const QRgb back = RgbOf(art.backgrounds[i]) & 0xFFFFFF;
        QVERIFY2(std::min(qGray(ink), qGray(back)) < 188 - 4 &&
                     std::max(qGray(ink), qGray(back)) > 188 + 4,
                 qPrintable(QStringLiteral("%1 on %2").arg(ink, 6, 16).arg(back, 6, 16)));
        // The glyph's ink covers more of the half whose colour it has.
        const qsizetype row = palette.rows().indexOf(QString(art.text[i]));
        const float* cover = palette.coverage().data() + row * palette.coverageParts();
        const auto coverOf = [&](const QRect& half) {
            double sum = 0;
            for (int j = 0; j < InkPalette::FitRowsPerCell; ++j)
                for (int k = 0; k < InkPalette::FitColumnsPerCell; ++k)
                    if (half.contains((2 * k + 1) * 20 / InkPalette::FitColumnsPerCell,
                                      (2 * j + 1) * 40 / InkPalette::FitRowsPerCell))
                        sum += cover[j * InkPalette::FitColumnsPerCell + k];
            return sum;
        };
        const bool inkIsDark = qGray(ink) < qGray(back);
        QVERIFY2(coverOf(inkIsDark ? dark : light) > coverOf(inkIsDark ? light : dark) + 1,
                 qPrintable(art.text));
    }
}

void TestExports::flatCellTakesItsColour_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<QString>("colours");
    QTest::addColumn<QString>("code");
    QTest::newRow("24-bit") << qRgb(30, 120, 200) << "full"
                            << "48;2;30;120;200";
    QTest::newRow("256, a colour of the cube") << qRgb(95, 135, 215) << "256"
                                               << "48;5;68";
    QTest::newRow("256, a grey of the ramp") << qRgb(128, 128, 128) << "256"
                                             << "48;5;244";
    QTest::newRow("16, bright yellow") << qRgb(255, 255, 0) << "16"
                                       << "103";
}

// A flat cell is painted its own colour (taken from the colours allowed, not rounded to them
// after a fit that did not know them), written with a terminal's own codes.
void TestExports::flatCellTakesItsColour()
{
    QFETCH(QRgb, colour);
    QFETCH(QString, colours);
    QFETCH(QString, code);
    QImage picture(160, 120, QImage::Format_RGB32);
    picture.fill(colour);
    const FitColours fit = colours == "full"  ? FitColours::Full
                           : colours == "256" ? FitColours::Xterm256
                                              : FitColours::Basic16;
    const InkArt art = fitted(picture, 8, 4, fit);
    for (qsizetype i = 0; i < art.text.size(); ++i) {
        if (art.text[i] == QLatin1Char('\r') || art.text[i] == QLatin1Char('\n'))
            continue;
        QCOMPARE(RgbOf(art.backgrounds[i]) & 0xFFFFFF, colour & 0xFFFFFF);
        // A blank glyph or its ink in the cell's colour: no ink shows.
        QVERIFY(art.text[i] == QLatin1Char(' ') ||
                (RgbOf(art.colours[i]) & 0xFFFFFF) == (colour & 0xFFFFFF));
    }
    ExportOptions options = optionsFor(QStringLiteral("ansi"), QStringLiteral("both"));
    options.terminalColours = *TerminalColoursByName(colours);
    const QString ansi = QString::fromUtf8(
        ExportArt(ArtDocument{art.text, art.colours, art.backgrounds}, options).bytes);
    QVERIFY2(ansi.contains(code), qPrintable(ansi.left(80)));
}

// Bright colours and white are the bright codes of the 16.
void TestExports::brightColoursInSixteen_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("codes");
    QTest::newRow("white") << qRgb(255, 255, 255) << "fg"
                           << "97";
    QTest::newRow("bright red") << qRgb(255, 0, 0) << "fg"
                                << "91";
    QTest::newRow("bright green") << qRgb(0, 255, 0) << "fg"
                                  << "92";
    QTest::newRow("bright yellow") << qRgb(255, 255, 0) << "fg"
                                   << "93";
    QTest::newRow("bright blue") << qRgb(92, 92, 255) << "fg"
                                 << "94";
    QTest::newRow("bright magenta") << qRgb(255, 0, 255) << "fg"
                                    << "95";
    QTest::newRow("bright cyan") << qRgb(0, 255, 255) << "fg"
                                 << "96";
    QTest::newRow("dark grey") << qRgb(127, 127, 127) << "fg"
                               << "90";
    QTest::newRow("light grey") << qRgb(229, 229, 229) << "fg"
                                << "37";
    QTest::newRow("white cells") << qRgb(255, 255, 255) << "bg"
                                 << "30;107";
    QTest::newRow("bright cyan cells") << qRgb(0, 255, 255) << "bg"
                                       << "30;106";
}

void TestExports::brightColoursInSixteen()
{
    QFETCH(QRgb, colour);
    QFETCH(QString, mode);
    QFETCH(QString, codes);
    ArtDocument art;
    art.text = QStringLiteral("x");
    art.colours = {ComposeColor(qRed(colour), qGreen(colour), qBlue(colour))};
    ExportOptions options = optionsFor(QStringLiteral("ansi"), mode);
    options.terminalColours = TerminalColours::Basic16;
    QCOMPARE(QString::fromUtf8(ExportArt(art, options).bytes),
             QStringLiteral("\x1b[%1mx\x1b[0m").arg(codes));
}

void TestExports::darkTerminalKeepsThePaperBlank_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("tone") << QStringList{};
    QTest::newRow("ink") << QStringList{"--mode", "ink"};
    QTest::newRow("shape") << QStringList{"--mode", "shape"};
    QTest::newRow("shape, both") << QStringList{"--mode", "shape", "--colour-mode", "both"};
    QTest::newRow("ink, 256") << QStringList{"--mode", "ink", "--colours", "256"};
}

// On a dark terminal a picture takes the dense rows where it is light, but the empty Canvas
// around a small picture stays as blank as on a light one, and every character keeps its own
// cell's colour.
void TestExports::darkTerminalKeepsThePaperBlank()
{
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    QImage image(100, 60, QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            image.setPixel(x, y, qRgb(x * 255 / 99, 40, 200 - x));
    const QString picture = dir.filePath(QStringLiteral("small.png"));
    QVERIFY(image.save(picture));
    const auto convert = [&](const QString& background) {
        int escapes = 0;
        return readAnsi(
            QString::fromUtf8(
                RunConversion(
                    *ParseConvertOptions(QStringList{picture, "--format", "ansi", "--no-footer",
                                                     "--background", background} +
                                         options)
                         .options)
                    .out),
            &escapes);
    };
    const QList<ReadLine> light = convert(QStringLiteral("light"));
    const QList<ReadLine> dark = convert(QStringLiteral("dark"));
    QCOMPARE(dark.size(), light.size());
    for (qsizetype n = 0; n < light.size(); ++n) {
        QCOMPARE(dark[n].colours, light[n].colours);
        QCOMPARE(dark[n].text.size(), light[n].text.size());
        for (qsizetype i = 0; i < light[n].text.size(); ++i)
            if (light[n].text[i] == QLatin1Char(' ') && light[n].colours[i] == 0xFFFFFF)
                QCOMPARE(dark[n].text[i], QLatin1Char(' '));
    }
    if (options.isEmpty()) // the tone mode's Canvas is wider than the picture
        QVERIFY(light.first().text.endsWith(QStringLiteral("    ")));
}

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
