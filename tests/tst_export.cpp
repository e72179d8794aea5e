#include "ExportParsers.h"

#include "art/ArtFont.h"
#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
#include "export/ArtExport.h"

#include <QImage>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;

namespace {

// 529 x 369 pixels, drawn 1:1 on the Canvas: white above y = 60 and from y = 300, between them
// red on the left of x = 264 and blue from there. Red and blue have the same tone, so they get
// the same characters and only the colours tell them apart.
const QRgb Red = qRgb(200, 0, 0) & 0xFFFFFF;
const QRgb Blue = qRgb(0, 0, 200) & 0xFFFFFF;

QString writeTwoColourPicture(const QTemporaryDir& dir)
{
    QImage image(529, 369, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 60; y < 300; ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, x < 264 ? qRgb(200, 0, 0) : qRgb(0, 0, 200));
    }
    const QString path = dir.filePath(QStringLiteral("two.png"));
    image.save(path);
    return path;
}

// Rows 中中, ab and the space row: both colours take 中中, two characters a cell.
QString writeTable(const QTemporaryDir& dir, const QByteArray& firstRow)
{
    const QString path = dir.filePath(QStringLiteral("table%1.zfh").arg(firstRow.size()));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("###dark to light\r\n" + firstRow + "\r\nab\r\n");
    return path;
}

// Cells 17 twips apart: cell 232 reads pixel 262, cell 233 pixel 264.
QRgb expectedColour(qsizetype cell)
{
    return cell <= 232 ? Red : Blue;
}

constexpr int CellsPerLine = 455;

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void textIsTheResultText_data();
    void textIsTheResultText();
    void colouredCells_data();
    void colouredCells();
    void pngCells();
    void pngSideLimits_data();
    void pngSideLimits();
    void gbkRoundTrip();
    void gbkRefusesWhatItCannotHold();
    void htmlEscapesAndNamesWhatGbkLacks();
    void wideCharactersTakeTwoCells();
    void pageSaysWhenItHoldsChinese_data();
    void pageSaysWhenItHoldsChinese();

private:
    ConversionOutput convert(const QStringList& extra);

    QTemporaryDir m_dir;
    QString m_picture;
    QString m_table;
};

void TestExport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_picture = writeTwoColourPicture(m_dir);
    m_table = writeTable(m_dir, QByteArray("\xD6\xD0\xD6\xD0")); // 中中 in GBK
}

ConversionOutput TestExport::convert(const QStringList& extra)
{
    const QStringList args =
        QStringList{"--table", m_table, "--contrast", "1", "--remove-blank-lines", m_picture} +
        extra;
    const ParsedCommandLine parsed = ParseConvertOptions(args);
    if (!parsed.options) {
        qWarning() << parsed.error;
        return {2, {}, {}};
    }
    return RunConversion(*parsed.options);
}

void TestExport::textIsTheResultText_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("html") << QStringList{"--format", "html"};
    QTest::newRow("html, colour") << QStringList{"--format", "html", "--colour"};
    QTest::newRow("html, no footer") << QStringList{"--format", "html", "--no-footer"};
    QTest::newRow("svg") << QStringList{"--format", "svg"};
    QTest::newRow("svg, colour, no footer")
        << QStringList{"--format", "svg", "--colour", "--no-footer"};
    QTest::newRow("ansi") << QStringList{"--format", "ansi"};
    QTest::newRow("txt, explicitly") << QStringList{"--format", "txt", "--encoding", "utf-8"};
}

void TestExport::textIsTheResultText()
{
    QFETCH(QStringList, options);
    const bool footer = !options.contains("--no-footer");
    const ConversionOutput plain = convert(footer ? QStringList() : QStringList{"--no-footer"});
    const ConversionOutput output = convert(options);
    QCOMPARE(plain.exitCode, 0);
    QCOMPARE(output.exitCode, 0);
    const QString expected = QString::fromUtf8(plain.out);
    const QString got = QString::fromUtf8(output.out);
    QVERIFY(expected.contains(QStringLiteral("中中")));

    QList<ReadLine> lines;
    int escapes = 0;
    if (options.contains("html")) {
        QVERIFY(got.startsWith(QStringLiteral("<!DOCTYPE html>")));
        QVERIFY(got.contains(QStringLiteral("font-family: \"新宋体\", \"NSimSun\"")));
        lines = readHtml(got);
    } else if (options.contains("svg")) {
        lines = readSvg(got);
        QVERIFY(got.contains(
            QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>")));
    } else if (options.contains("ansi")) {
        lines = readAnsi(got, &escapes);
    } else {
        QCOMPARE(output.out, plain.out);
        return;
    }
    QStringList texts;
    for (const ReadLine& line : lines)
        texts.append(line.text);
    QStringList expectedLines = expected.split(QStringLiteral("\r\n"));
    // A picture keeps no empty line after the last line end.
    if (options.contains("svg") && expectedLines.last().isEmpty())
        expectedLines.removeLast();
    QCOMPARE(texts, expectedLines);
}

void TestExport::colouredCells_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("html") << "html";
    QTest::newRow("svg") << "svg";
    QTest::newRow("ansi") << "ansi";
}

void TestExport::colouredCells()
{
    QFETCH(QString, format);
    const ConversionOutput output = convert({"--format", format, "--colour"});
    QCOMPARE(output.exitCode, 0);
    const QString got = QString::fromUtf8(output.out);
    int escapes = 0;
    const QList<ReadLine> lines = format == "html"  ? readHtml(got)
                                  : format == "svg" ? readSvg(got)
                                                    : readAnsi(got, &escapes);

    // The white lines above the colours are gone, those below emptied; every coloured line holds
    // all its cells, each character in its cell's colour; the footer has none.
    const qsizetype footerLines = 4;
    QVERIFY(lines.size() > footerLines);
    QVERIFY(!lines.first().text.isEmpty());
    int colouredLines = 0;
    for (qsizetype n = 0; n + footerLines < lines.size(); ++n) {
        const ReadLine& line = lines[n];
        if (line.text.isEmpty())
            continue;
        ++colouredLines;
        QCOMPARE(line.text, QStringLiteral("中中").repeated(CellsPerLine));
        for (qsizetype k = 0; k < line.text.size(); ++k) {
            QVERIFY2(line.colours[k] == expectedColour(k / 2),
                     qPrintable(QStringLiteral("line %1, character %2").arg(n).arg(k)));
            // A wide character takes two cells of 6 pixels at 9 points.
            if (!line.x.isEmpty())
                QCOMPARE(line.x[k], 12.0 * k);
        }
    }
    const QString plain = QString::fromUtf8(convert({}).out);
    QCOMPARE(colouredLines, plain.count(QStringLiteral("中中").repeated(CellsPerLine)));
    QVERIFY(colouredLines > 100);
    for (qsizetype n = lines.size() - footerLines; n < lines.size(); ++n)
        QVERIFY(std::all_of(lines[n].colours.begin(), lines[n].colours.end(),
                            [](QRgb c) { return c == NoColour; }));

    // A colour is given where it changes: twice a line, red then blue.
    if (format == "html")
        QCOMPARE(got.count(QStringLiteral("<span")), 2 * colouredLines);
    if (format == "ansi") {
        QCOMPARE(escapes, 2 * colouredLines);
        QCOMPARE(got.count(QStringLiteral("\x1b[0m\r\n")), colouredLines);
    }
}

void TestExport::pngSideLimits_data()
{
    // At 9 points a cell is 6 x 12 pixels; a side may have 32767 pixels.
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tooLarge");
    QTest::newRow("tall, narrow") << QStringLiteral("x\r\n").repeated(2731) << true;
    QTest::newRow("a line less") << QStringLiteral("x\r\n").repeated(2730) << false;
    QTest::newRow("wide, low") << QString(5462, QLatin1Char('x')) << true;
    QTest::newRow("a cell less") << QString(5461, QLatin1Char('x')) << false;
}

void TestExport::pngSideLimits()
{
    QFETCH(QString, text);
    QFETCH(bool, tooLarge);
    const ArtPicture picture = RenderArt(ArtDocument{text, {}, {}}, false, ArtFont());
    QCOMPARE(picture.tooLarge, tooLarge);
    QCOMPARE(picture.image.isNull(), tooLarge);
}

void TestExport::pngCells()
{
    const ConversionOutput plain = convert({"--no-footer"});
    const QStringList lines = QString::fromUtf8(plain.out).split(QStringLiteral("\r\n"));
    const ConversionOutput coloured = convert({"--format", "png", "--colour", "--no-footer"});
    const ConversionOutput black = convert({"--format", "png", "--no-footer", "--font-size", "12"});
    QCOMPARE(coloured.exitCode, 0);
    QCOMPARE(black.exitCode, 0);
    const QImage image = QImage::fromData(coloured.out, "PNG");
    // 455 cells of 中中, each character two cells of 6 pixels; a line is 12 pixels high, at
    // 9 points.
    QCOMPARE(image.width(), CellsPerLine * 24);
    QCOMPARE(image.height(), 12 * (lines.size() - 1));

    const auto inks = [](const QImage& picture, QRect box) {
        int reds = 0, blues = 0, greys = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                const QRgb p = picture.pixel(x, y);
                reds += qRed(p) > qBlue(p) + 60;
                blues += qBlue(p) > qRed(p) + 60;
                greys += qRed(p) == qBlue(p) && qRed(p) < 200;
            }
        }
        return std::tuple(reds, blues, greys);
    };
    for (qsizetype n = 0; n < lines.size() - 1; ++n) {
        if (n != 0 && n != 57 && lines[n].isEmpty())
            continue;
        for (const int cell : {0, 100, 232, 233, 454}) {
            const auto [reds, blues, greys] = inks(image, QRect(cell * 24, n * 12, 24, 12));
            const bool red = expectedColour(cell) == Red;
            QVERIFY2(lines[n].isEmpty() ? reds + blues == 0
                                        : (red ? reds > 0 && blues == 0 : blues > 0 && reds == 0),
                     qPrintable(QStringLiteral("line %1 cell %2").arg(n).arg(cell)));
        }
    }
    // Without colour, black on white, in a larger font.
    const QImage plainImage = QImage::fromData(black.out, "PNG");
    QCOMPARE(plainImage.width(), CellsPerLine * 32);
    const auto [reds, blues, greys] = inks(plainImage, QRect(0, 0, 32 * 10, 16));
    QCOMPARE(reds + blues, 0);
    QVERIFY(greys > 0);
}

void TestExport::gbkRoundTrip()
{
    const ConversionOutput utf8 = convert({});
    const ConversionOutput gbk = convert({"--encoding", "gbk"});
    QCOMPARE(gbk.exitCode, 0);
    QVERIFY(gbk.out.contains("\xD6\xD0\xD6\xD0"));
    QStringDecoder decoder("GBK");
    QCOMPARE(QString(decoder.decode(gbk.out)), QString::fromUtf8(utf8.out));
    QVERIFY(!decoder.hasError());

    const ConversionOutput page = convert({"--format", "html", "--encoding", "gbk"});
    QVERIFY(page.out.contains("<meta charset=\"GBK\">"));
    QVERIFY(page.out.contains("\xD6\xD0\xD6\xD0"));
}

void TestExport::gbkRefusesWhatItCannotHold()
{
    ArtDocument art;
    art.text = QStringLiteral("ab\r\n中x\U0001F600y\r\nTessivo");
    ExportOptions options;
    options.encoding = TextEncoding::Gbk;
    const ExportResult result = ExportArt(art, options);
    QVERIFY(result.bytes.isEmpty());
    QCOMPARE(
        result.error,
        QStringLiteral("GBK cannot hold the character \U0001F600 (U+1F600) at line 2, column 3"));
}

void TestExport::htmlEscapesAndNamesWhatGbkLacks()
{
    ArtDocument art;
    art.text = QStringLiteral("<a&b>\r\n\U0001F600\r\n");
    art.colours = {1, 1, 2, 2, 2, 0, 0};
    ExportOptions options;
    options.format = ExportFormat::Html;
    options.colour = true;
    options.encoding = TextEncoding::Gbk;
    const QString page = QString::fromLatin1(ExportArt(art, options).bytes);
    QVERIFY(page.contains(QStringLiteral("<pre>\n<span style=\"color:#010000\">&lt;a</span>"
                                         "<span style=\"color:#020000\">&amp;b&gt;</span>\n"
                                         "&#x1f600;\n</pre>")));
    const QList<ReadLine> lines = readHtml(page);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].text, QStringLiteral("<a&b>"));
    QCOMPARE(lines[1].text, QStringLiteral("\U0001F600"));
}

void TestExport::pageSaysWhenItHoldsChinese_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lang");
    QTest::newRow("Han") << QStringLiteral("a中") << "zh-CN";
    QTest::newRow("Chinese punctuation") << QStringLiteral("a、") << "zh-CN";
    QTest::newRow("full-width forms") << QStringLiteral("Ａ") << "zh-CN";
    QTest::newRow("kana, past U+2E80 but not Chinese") << QStringLiteral("あ") << "";
    QTest::newRow("Hangul") << QStringLiteral("한") << "";
    QTest::newRow("Latin") << QStringLiteral("abc") << "";
}

// A page of art that holds Chinese says so, so that browsers draw the characters Chinese shares
// with Japanese and Korean in Chinese forms; other art does not claim to be Chinese.
void TestExport::pageSaysWhenItHoldsChinese()
{
    QFETCH(QString, text);
    QFETCH(QString, lang);
    ExportOptions options;
    options.format = ExportFormat::Html;
    QCOMPARE(readPage(ExportArt(ArtDocument{text + "\r\n", {}, {}}, options).bytes).lang, lang);
}

void TestExport::wideCharactersTakeTwoCells()
{
    ArtDocument art;
    art.text = QStringLiteral("a中b，c\r\n\r\n<&>");
    ExportOptions options;
    options.format = ExportFormat::Svg;
    options.fontSize = 12; // 16 pixels: cells of 8
    const QString svg = QString::fromUtf8(ExportArt(art, options).bytes);
    const QList<ReadLine> lines = readSvg(svg);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].x, QList<double>({0, 8, 24, 32, 48}));
    QCOMPARE(lines[1].text, QString());
    QCOMPARE(lines[2].text, QStringLiteral("<&>"));
    QVERIFY(svg.contains(QStringLiteral("width=\"56\" height=\"48\"")));
    // A first line of one colour painted behind it: one stretch over all its 7 cells.
    art.colours = QList<ColorValue>(5, 0x0000FF);
    options.colour = true;
    options.colourMode = ColourMode::Background;
    QList<SvgCell> cells;
    readSvg(QString::fromUtf8(ExportArt(art, options).bytes), &cells);
    QCOMPARE(cells.size(), 1);
    QCOMPARE(cells[0].width, 56.0);
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
