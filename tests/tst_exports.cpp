#include "ExportParsers.h"

#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
#include "export/ArtExport.h"
#include "export/ArtLines.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;

namespace {

// Art with what markup must escape, runs of spaces, a wide character and an empty first line,
// coloured up to its footer: one colour for each character, stepping along the line.
ArtDocument markupArt()
{
    ArtDocument art;
    art.text = QStringLiteral("\r\na  &<>   b中\r\n   x  y\r\n最佳\r\nTessivo");
    const qsizetype artEnd = art.text.indexOf(QStringLiteral("最"));
    for (qsizetype i = 0; i < artEnd; ++i)
        art.colours.append(ComposeColor(40 * int(i % 6), 200, 255 - 30 * int(i % 6)));
    return art;
}

ColourMode modeOf(const QString& name)
{
    return ColourModeByName(name).value_or(ColourMode::Foreground);
}

// Each cell's mean darkness and colour, for a picture of cells w x h pixels.
QList<QRgb> cellMeans(const QImage& image, double w, double h)
{
    QList<QRgb> means;
    for (int row = 0; (row + 1) * h <= image.height(); ++row) {
        for (int cell = 0; (cell + 1) * w <= image.width(); ++cell) {
            qint64 r = 0, g = 0, b = 0, n = 0;
            for (int y = int(row * h); y < int((row + 1) * h); ++y) {
                for (int x = int(cell * w); x < int((cell + 1) * w); ++x, ++n) {
                    const QRgb p = image.pixel(x, y);
                    r += qRed(p), g += qGreen(p), b += qBlue(p);
                }
            }
            means.append(qRgb(int(r / n), int(g / n), int(b / n)));
        }
    }
    return means;
}

} // namespace

class TestExports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void viewersReadEveryExport_data();
    void viewersReadEveryExport();
    void svgDrawsAsThePng_data();
    void svgDrawsAsThePng();
    void terminalColours_data();
    void terminalColours();
    void darkTerminalTakesTheNegative();
    void pageNamedAfterItsPicture();
    void defaultsKeepTheirBytes_data();
    void defaultsKeepTheirBytes();
    void optionsFitTheirFormats_data();
    void optionsFitTheirFormats();

private:
    ConversionOutput convert(const QStringList& extra);

    QTemporaryDir m_dir;
    QString m_picture;
};

void TestExports::initTestCase()
{
    // Black on the left half, white on the right.
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(0, 0, 200, 200, Qt::black);
    m_picture = m_dir.filePath(QStringLiteral("half & half.png"));
    QVERIFY(image.save(m_picture));
}

ConversionOutput TestExports::convert(const QStringList& extra)
{
    const ParsedCommandLine parsed = ParseConvertOptions(QStringList{m_picture} + extra);
    if (!parsed.options)
        return {2, {}, parsed.error.toUtf8()};
    return RunConversion(*parsed.options);
}

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
    const ArtDocument art = markupArt();
    ExportOptions options;
    options.format = *FormatByName(format);
    options.colour = !mode.isEmpty();
    options.colourMode = modeOf(mode);
    options.fontSize = 12; // cells of 8 x 16 pixels
    options.title = QStringLiteral("a <b> & c");
    const QByteArray bytes = ExportArt(art, options).bytes;
    QVERIFY(!bytes.contains('\r'));

    QList<ReadLine> lines;
    QList<SvgCell> cells;
    if (format == "html") {
        const ReadPage page = readPage(bytes);
        QVERIFY(page.parsed);
        QCOMPARE(page.lang, QStringLiteral("zh-CN"));
        QCOMPARE(page.title, options.title);
        lines = page.lines;
    } else {
        QString error;
        lines = readSvg(QString::fromUtf8(bytes), &cells, &error);
        QCOMPARE(error, QString());
        for (const ReadLine& line : lines)
            QVERIFY(line.spacesKept);
    }
    QStringList texts;
    for (const ReadLine& line : lines)
        texts << line.text;
    QCOMPARE(texts, art.text.split(QStringLiteral("\r\n")));

    // Each character in its colour, or its cell painted in it.
    qsizetype i = 0;
    for (qsizetype n = 0; n < lines.size(); ++n, i += 2) {
        for (qsizetype k = 0; k < lines[n].text.size(); ++k, ++i) {
            const bool coloured = options.colour && i < art.colours.size();
            const CellPaint paint =
                PaintOf(coloured ? RgbOf(art.colours[i]) : 0, options.colourMode, qRgb(0, 0, 0));
            const bool inked = coloured && options.colourMode != ColourMode::Background;
            QCOMPARE(lines[n].colours[k], inked ? paint.ink & 0xFFFFFF : NoColour);
            const bool filled = coloured && paint.filled;
            if (format == "html") {
                QCOMPARE(lines[n].backs[k], filled ? paint.back & 0xFFFFFF : NoColour);
                continue;
            }
            const double x = lines[n].x[k];
            QCOMPARE(x, 8.0 * CellsOf(QStringView(lines[n].text).left(k)));
            const auto under = std::find_if(cells.cbegin(), cells.cend(), [&](const SvgCell& c) {
                return c.y == 16.0 * n && c.x <= x && x < c.x + c.width && c.height == 16;
            });
            QCOMPARE(under != cells.cend(), filled);
            if (filled)
                QCOMPARE(under->fill, paint.back & 0xFFFFFF);
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
    // Rows of the built-in tones, spaces among them, and wide characters.
    ArtDocument art;
    const QString rows = QStringLiteral("@#%*+=-:. 中国  WMwm&<>");
    for (int n = 0; n < 12; ++n) {
        const QString line = (rows.mid(n % rows.size()) + rows.left(n % rows.size())).repeated(3);
        for (qsizetype k = 0; k < line.size(); ++k)
            art.colours.append(ComposeColor(20 * n, 255 - 9 * int(k), 100));
        art.text += line + QStringLiteral("\r\n");
    }
    ExportOptions options;
    options.colour = !mode.isEmpty();
    options.colourMode = modeOf(mode);
    const ArtPicture png = RenderArt(art, options.colour, options.fontSize, options.colourMode);
    options.format = ExportFormat::Svg;
    QSvgRenderer svg(ExportArt(art, options).bytes);
    QVERIFY(svg.isValid());
    QCOMPARE(svg.defaultSize(), png.image.size());
    QImage drawn(png.image.size(), QImage::Format_RGB32);
    drawn.fill(Qt::white);
    QPainter painter(&drawn);
    svg.render(&painter);
    painter.end();

    // Cells of 6 x 12 pixels at 9 points: each holds the same ink in both, within what the two
    // ways of laying a glyph on pixels differ by.
    const QList<QRgb> expected = cellMeans(png.image, 6, 12);
    const QList<QRgb> got = cellMeans(drawn, 6, 12);
    QCOMPARE(got.size(), expected.size());
    int worst = 0;
    for (qsizetype c = 0; c < got.size(); ++c) {
        worst = std::max({worst, std::abs(qRed(got[c]) - qRed(expected[c])),
                          std::abs(qGreen(got[c]) - qGreen(expected[c])),
                          std::abs(qBlue(got[c]) - qBlue(expected[c]))});
    }
    QVERIFY2(worst <= 24, qPrintable(QString::number(worst)));
}

void TestExports::terminalColours_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("colours");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("codes");
    const QRgb red = qRgb(200, 0, 0), grey = qRgb(128, 128, 128), blue = qRgb(0, 0, 200);
    QTest::newRow("24-bit") << red << "fg"
                            << "full"
                            << "light"
                            << "38;2;200;0;0";
    QTest::newRow("256: cube") << red << "fg"
                               << "256"
                               << "light"
                               << "38;5;160";
    QTest::newRow("256: grey") << grey << "fg"
                               << "256"
                               << "light"
                               << "38;5;244";
    QTest::newRow("16") << red << "fg"
                        << "16"
                        << "light"
                        << "31";
    QTest::newRow("16, bright") << qRgb(250, 250, 250) << "fg"
                                << "16"
                                << "dark"
                                << "97";
    QTest::newRow("16, cells") << blue << "bg"
                               << "16"
                               << "light"
                               << "30;44";
    QTest::newRow("both") << red << "both"
                          << "full"
                          << "light"
                          << "38;2;100;0;0;48;2;200;0;0";
    QTest::newRow("cells, dark") << red << "bg"
                                 << "full"
                                 << "dark"
                                 << "38;2;255;255;255;48;2;200;0;0";
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
    ExportOptions options;
    options.format = ExportFormat::Ansi;
    options.colourMode = modeOf(mode);
    options.terminalColours = *TerminalColoursByName(colours);
    options.background = *TerminalBackgroundByName(background);
    // One escape for the stretch of one colour, a reset before the line end and the footer.
    QCOMPARE(QString::fromUtf8(ExportArt(art, options).bytes),
             QStringLiteral("\x1b[%1mxy\x1b[0m\r\nz").arg(codes));
}

void TestExports::darkTerminalTakesTheNegative()
{
    int escapes = 0;
    const QList<ReadLine> light =
        readAnsi(QString::fromUtf8(convert({"--format", "ansi", "--no-footer"}).out), &escapes);
    const QList<ReadLine> dark = readAnsi(
        QString::fromUtf8(convert({"--format", "ansi", "--no-footer", "--background", "dark"}).out),
        &escapes);
    QCOMPARE(dark.size(), light.size());
    // A line across the picture: dense on the black half for a light terminal, on the white
    // half for a dark one; every character keeps its own pixel's colour.
    const ReadLine& l = light[1];
    const ReadLine& d = dark[1];
    QCOMPARE(d.text.size(), l.text.size());
    const qsizetype blackCell = 2, whiteCell = l.text.size() * 3 / 4;
    QVERIFY(l.text[blackCell] != ' ' && l.text[whiteCell] == ' ');
    QVERIFY(d.text[blackCell] == ' ' && d.text[whiteCell] != ' ');
    QCOMPARE(d.colours[blackCell], 0u);
    QCOMPARE(d.colours[whiteCell], 0xFFFFFFu);
    QCOMPARE(d.colours, l.colours);
}

void TestExports::pageNamedAfterItsPicture()
{
    const ReadPage page = readPage(convert({"--format", "html"}).out);
    QCOMPARE(page.title, QStringLiteral("half & half.png"));
    QCOMPARE(page.lang, QStringLiteral("zh-CN")); // the footer's
    const ReadPage art = readPage(convert({"--format", "html", "--no-footer", "--title", "T"}).out);
    QCOMPARE(art.title, QStringLiteral("T"));
    QCOMPARE(art.lang, QString());
}

void TestExports::defaultsKeepTheirBytes_data()
{
    QTest::addColumn<QStringList>("plain");
    QTest::addColumn<QStringList>("spelt");
    QTest::newRow("svg") << QStringList{"--format", "svg", "--colour"}
                         << QStringList{"--format", "svg", "--colour-mode", "fg"};
    QTest::newRow("png") << QStringList{"--format", "png", "--colour"}
                         << QStringList{"--format", "png", "--colour", "--colour-mode", "fg"};
    QTest::newRow("ansi") << QStringList{"--format", "ansi"}
                          << QStringList{"--format",     "ansi",  "--colour-mode", "fg",
                                         "--background", "light", "--colours",     "full"};
}

void TestExports::defaultsKeepTheirBytes()
{
    QFETCH(QStringList, plain);
    QFETCH(QStringList, spelt);
    QCOMPARE(convert(spelt).out, convert(plain).out);
}

void TestExports::optionsFitTheirFormats_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::newRow("colour mode, txt") << QStringList{"--colour-mode", "bg"}
                                      << "--colour-mode is for html, svg, png and ansi, not txt";
    QTest::newRow("colour mode, unknown") << QStringList{"--format", "png", "--colour-mode", "back"}
                                          << "--colour-mode takes fg, bg or both";
    QTest::newRow("background, svg") << QStringList{"--format", "svg", "--background", "dark"}
                                     << "--background is for ansi, not svg";
    QTest::newRow("colours, html")
        << QStringList{"--format", "html", "--colours", "256"} << "--colours is for ansi, not html";
    QTest::newRow("colours, 88") << QStringList{"--format", "ansi", "--colours", "88"}
                                 << "--colours takes full, 256 or 16";
    QTest::newRow("title, svg") << QStringList{"--format", "svg", "--title", "x"}
                                << "--title is for html, not svg";
    QTest::newRow("all for ansi") << QStringList{"--format",     "ansi", "--colour-mode", "both",
                                                 "--background", "dark", "--colours",     "16"}
                                  << "";
}

void TestExports::optionsFitTheirFormats()
{
    QFETCH(QStringList, options);
    QFETCH(QString, error);
    const ParsedCommandLine parsed = ParseConvertOptions(QStringList{"x.png"} + options);
    QCOMPARE(parsed.error, error.isEmpty() ? QString() : "tessivo-convert: " + error);
}

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
