#include "ExportParsers.h"

#include "art/ArtFont.h"
#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
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

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
