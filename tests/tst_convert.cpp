#include "cli/Conversion.h"
#include "cli/ConvertCommand.h"
#include "cli/ConvertOptions.h"
#include "loading/PictureDecoder.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <cmath>

using namespace tessivo;

namespace {

// The test picture: 529 x 369 pixels, exactly the Canvas's start size, so it is drawn 1:1.
// Vertical stripes of black, grey 64, grey 128, grey 192 and white, 100 pixels each, with a red
// strip along the bottom from y = 300.
QRgb pictureColor(int x, int y)
{
    if (y >= 300)
        return qRgb(255, 0, 0);
    static const int greys[] = {0, 64, 128, 192, 255};
    const int g = greys[std::min(x / 100, 4)];
    return qRgb(g, g, g);
}

// The character each of those colours gets with the table after start-up (Contrast 750).
QChar expectedChar(QRgb color)
{
    if (color == qRgb(255, 0, 0))
        return QLatin1Char('s');
    switch (qRed(color)) {
    case 0: return QLatin1Char('M');
    case 64: return QLatin1Char('G');
    case 128: return QLatin1Char('7');
    case 192: return QLatin1Char('}');
    default: return QLatin1Char(' ');
    }
}

QString writeTestPicture(const QTemporaryDir& dir)
{
    QImage image(529, 369, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, pictureColor(x, y));
    }
    const QString path = dir.filePath(QStringLiteral("stripes.png"));
    image.save(path);
    return path;
}

const QByteArray FooterBytes =
    QByteArray("\r\n") +
    QStringLiteral("最佳显示字体:新宋体;\r\n字体大小：小五\r\nTessivo 1.2 - Orlen").toUtf8();

ConvertOptions parse(const QStringList& args)
{
    const ParsedCommandLine parsed = ParseConvertOptions(args);
    if (!parsed.options)
        qWarning() << parsed.error;
    return parsed.options.value_or(ConvertOptions{});
}

} // namespace

class TestConvert : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void badCommandLines_data();
    void badCommandLines();
    void optionsTakeTheirValues();
    void outputFormats_data();
    void outputFormats();
    void wholeNumbersOfElevenCharacters();
    void everyOptionTakesItsWholeRange_data();
    void everyOptionTakesItsWholeRange();
    void helpShowsTheValuesAfterStartUp_data();
    void helpShowsTheValuesAfterStartUp();
    void sizeSettingsResizeTheCanvas();
    void defaultsGiveIndependentlyComputedCells();
    void noFooterAndCanvasWidth();
    void customTable();
    void unreadablePicture();
    void damagedPicturesAreNamed_data();
    void damagedPicturesAreNamed();
    void largePictures_data();
    void largePictures();
    void programMatchesLibrary();
    void loadsOnlyThePicturesReader_data();
    void loadsOnlyThePicturesReader();
    void pictureFromStandardInput();

private:
    QTemporaryDir m_dir;
    QString m_picture;
};

void TestConvert::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_picture = writeTestPicture(m_dir);
}

void TestConvert::badCommandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");

    QTest::newRow("below range") << QStringList{"--sample-x", "1", "p.png"}
                                 << "--sample-x takes a whole number from 2 to 300";
    QTest::newRow("above range") << QStringList{"--bands=101", "p.png"}
                                 << "--bands takes a whole number from 1 to 100";
    QTest::newRow("not a number") << QStringList{"--contrast", "abc", "p.png"}
                                  << "--contrast takes a whole number from 1 to 1500";
    QTest::newRow("fraction") << QStringList{"--ignore", "2.5", "p.png"}
                              << "--ignore takes a whole number from 1 to 30";
    QTest::newRow("overflow") << QStringList{"--picture-fit", "99999999999", "p.png"}
                              << "--picture-fit takes a whole number from 1 to 100";
    QTest::newRow("missing value") << QStringList{"p.png", "--color-level"}
                                   << "--color-level takes a whole number from 1 to 10";
    QTest::newRow("height below 0") << QStringList{"--canvas-height", "-1", "p.png"}
                                    << "--canvas-height takes a whole number from 0 to 5895";
    QTest::newRow("width 0") << QStringList{"--canvas-width=0", "p.png"}
                             << "--canvas-width takes a whole number from 1 to 7935";
    QTest::newRow("unknown") << QStringList{"--colors", "p.png"} << "unknown option --colors";
    QTest::newRow("short option") << QStringList{"-x", "p.png"} << "unknown option -x";
    QTest::newRow("colour mode for txt") << QStringList{"--colour-mode", "bg", "p.png"}
                                         << "--colour-mode is for html, svg, png and ansi, not txt";
    QTest::newRow("title for txt")
        << QStringList{"--title", "Art", "p.png"} << "--title is for html, not txt";
    QTest::newRow("terminal colours for html")
        << QStringList{"--format", "html", "--colours", "16", "p.png"}
        << "--colours is for ansi, not html";
    QTest::newRow("line break in an option")
        << QStringList{"--a\r\nb", "p.png"} << "unknown option --a\\x0d\\x0ab (see --help)";
    QTest::newRow("flag with value")
        << QStringList{"--no-footer=1", "p.png"} << "--no-footer takes no value";
    QTest::newRow("no picture") << QStringList{"--sample-x", "20"} << "no picture given";
    QTest::newRow("two pictures") << QStringList{"a.png", "b.png"}
                                  << "2 pictures need --output-dir";
    QTest::newRow("table without file")
        << QStringList{"p.png", "--table"} << "--table takes a file name";
    QTest::newRow("table named empty")
        << QStringList{"--table=", "p.png"} << "--table takes a file name";
    QTest::newRow("output named empty") << QStringList{"--output", "", "p.png"}
                                        << "--output takes a file name, or - for standard output";
    QTest::newRow("folder named empty")
        << QStringList{"--output-dir=", "a.png", "b.png"} << "--output-dir takes a folder name";
    QTest::newRow("colour of plain text") << QStringList{"--output", "a.txt", "--colour", "p.png"}
                                          << "--colour is for html, svg, png and ansi, not txt";
    QTest::newRow("gbk picture") << QStringList{"--encoding", "gbk", "--format", "svg", "p.png"}
                                 << "--encoding is for txt and html, not svg";
    QTest::newRow("a size in the tone mode")
        << QStringList{"--size", "80x30", "p.png"} << "--size is for --mode ink";
    QTest::newRow("a size of no lines")
        << QStringList{"--mode", "ink", "--size", "80x0", "p.png"} << "--size takes COLUMNSxLINES";
    QTest::newRow("bands in the ink mode") << QStringList{"--mode=ink", "--bands", "3", "p.png"}
                                           << "--bands does not apply to --mode ink";
    QTest::newRow("sample-y in the shape mode")
        << QStringList{"--mode=shape", "--sample-y", "30", "p.png"}
        << "--sample-y does not apply to --mode shape";
    QTest::newRow("unknown mode") << QStringList{"--mode", "dither", "p.png"}
                                  << "--mode takes tone, ink or shape";
    QTest::newRow("sample-x against a width")
        << QStringList{"--mode=ink", "--width", "80", "--sample-x", "9", "p.png"}
        << "--sample-x sets the columns of --mode ink";
    QTest::newRow("font size of a page")
        << QStringList{"--font-size", "12", "--output", "x.html", "p.png"}
        << "--font-size is for svg and png, not html";
    QTest::newRow("font size 0") << QStringList{"--font-size", "0", "--format", "png", "p.png"}
                                 << "--font-size takes a size in points from 1 to 200";
    QTest::newRow("unknown format")
        << QStringList{"--format", "jpg", "p.png"} << "--format takes txt, html, svg, png or ansi";
    QTest::newRow("unknown encoding")
        << QStringList{"--encoding=latin1", "p.png"} << "--encoding takes utf-8 or gbk";
    QTest::newRow("no jobs") << QStringList{"--jobs", "0", "--output-dir", "d", "p.png"}
                             << "--jobs takes a whole number from 1 to 256";
    QTest::newRow("file and folder") << QStringList{"--output", "x", "--output-dir", "d", "p.png"}
                                     << "--output and --output-dir do not go together";
    QTest::newRow("folder without name")
        << QStringList{"p.png", "--output-dir"} << "--output-dir takes a folder name";
}

void TestConvert::outputFormats_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<bool>("colour");

    QTest::newRow("standard output") << QStringList{"p.png"} << ExportFormat::Txt << false;
    QTest::newRow("page, any case")
        << QStringList{"--output", "a.HTML", "p.png"} << ExportFormat::Html << false;
    QTest::newRow("htm") << QStringList{"--output=a.htm", "p.png"} << ExportFormat::Html << false;
    QTest::newRow("terminal") << QStringList{"--output", "a.ans", "p.png"} << ExportFormat::Ansi
                              << false;
    QTest::newRow("png in colour")
        << QStringList{"--output", "a.png", "--colour", "p.png"} << ExportFormat::Png << true;
    QTest::newRow("unknown extension")
        << QStringList{"--output", "a.text", "p.png"} << ExportFormat::Txt << false;
    QTest::newRow("dot in a folder only")
        << QStringList{"--output", "d.svg/a", "p.png"} << ExportFormat::Txt << false;
    QTest::newRow("format over extension")
        << QStringList{"--output", "a.png", "--format", "svg", "p.png"} << ExportFormat::Svg
        << false;
    QTest::newRow("folder") << QStringList{"--output-dir", "d", "--format", "html", "a", "b"}
                            << ExportFormat::Html << false;
}

void TestConvert::outputFormats()
{
    QFETCH(QStringList, args);
    QFETCH(ExportFormat, format);
    QFETCH(bool, colour);
    const ParsedCommandLine parsed = ParseConvertOptions(args);
    QVERIFY2(parsed.options, qPrintable(parsed.error));
    QCOMPARE(parsed.options->exportOptions.format, format);
    QCOMPARE(parsed.options->exportOptions.colour, colour);
    QCOMPARE(parsed.options->picture, parsed.options->pictures.first());
}

void TestConvert::badCommandLines()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const ParsedCommandLine parsed = ParseConvertOptions(args);
    QVERIFY(!parsed.options);
    QVERIFY2(parsed.error.startsWith(QStringLiteral("tessivo-convert: ") + error),
             qPrintable(parsed.error));
    QVERIFY(!parsed.error.contains(QLatin1Char('\n')));
}

void TestConvert::optionsTakeTheirValues()
{
    const ConvertOptions o = parse({"--sample-x", "2", "--sample-y=300", "--remove-blank-lines",
                                    "--table=t=1.zfh", "--", "-odd name.png"});
    QCOMPARE(o.picture, QStringLiteral("-odd name.png"));
    // A value after = keeps any = of its own.
    QCOMPARE(o.tableFile, QStringLiteral("t=1.zfh"));
    QVERIFY(o.removeBlankLines);
    QVERIFY(!o.noFooter);
    QCOMPARE(o.settings.at(Setting::SampleX), 2);
    QCOMPARE(o.settings.at(Setting::SampleY), 300);
    QCOMPARE(o.settings.size(), std::size_t(2));
    QVERIFY(parse({"--help"}).help);
    QVERIFY(parse({"--version"}).version);
}

// A count may take eleven characters (a sign and ten digits), leading zeros too; not twelve.
void TestConvert::wholeNumbersOfElevenCharacters()
{
    const ParsedCommandLine zeros =
        ParseConvertOptions({"--mode", "ink", "--size", "00000000080x00000000030", "p.png"});
    QVERIFY2(zeros.options, qPrintable(zeros.error));
    QCOMPARE(zeros.options->columns, 80);
    QCOMPARE(zeros.options->lines, 30);
    QVERIFY(!ParseConvertOptions({"--mode", "ink", "--size", "000000000080x30", "p.png"}).options);
}

void TestConvert::everyOptionTakesItsWholeRange_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<Setting>("setting");
    for (const SettingOption& option : SettingOptions())
        QTest::newRow(option.name) << QString::fromLatin1(option.name) << option.setting;
}

void TestConvert::everyOptionTakesItsWholeRange()
{
    QFETCH(QString, option);
    QFETCH(Setting, setting);
    const SettingRow& row = SettingInfo(setting);
    for (const int value : {row.minimum, row.maximum}) {
        const ParsedCommandLine parsed =
            ParseConvertOptions({option, QString::number(value), "p.png"});
        QVERIFY2(parsed.options, qPrintable(parsed.error));
        QCOMPARE(parsed.options->settings.at(setting), value);
    }
    const QString error = QStringLiteral("tessivo-convert: %1 takes a whole number from %2 to %3")
                              .arg(option)
                              .arg(row.minimum)
                              .arg(row.maximum);
    for (const int value : {row.minimum - 1, row.maximum + 1}) {
        const ParsedCommandLine parsed =
            ParseConvertOptions({option + QLatin1Char('=') + QString::number(value), "p.png"});
        QVERIFY(!parsed.options);
        QCOMPARE(parsed.error, error);
    }
}

void TestConvert::helpShowsTheValuesAfterStartUp_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("sample-x")
        << "  --sample-x N          horizontal sampling step, twips, 2 to 300 [17]\n";
    QTest::newRow("bands")
        << "  --bands N             bands sampled together (run efficiency), 1 to 100 [50]\n";
    // The size options start from the Canvas's own size, which is not where the size bars start.
    QTest::newRow("canvas-width")
        << "  --canvas-width N      Canvas width, twips, 1 to 7935 [7935]\n";
    QTest::newRow("canvas-height")
        << "  --canvas-height N     Canvas height, twips, 0 to 5895 [5535]\n";
}

void TestConvert::helpShowsTheValuesAfterStartUp()
{
    QFETCH(QString, line);
    QVERIFY2(ConvertUsage().contains(line), qPrintable(ConvertUsage()));
}

void TestConvert::sizeSettingsResizeTheCanvas()
{
    ConversionState state;
    QCOMPARE(state.get(Setting::PreviewHeight), 5535);
    state.set(Setting::SampleX, 9);
    QCOMPARE(state.get(Setting::SampleX), 9);
    QCOMPARE(state.values.sampleX(), 9);
    QCOMPARE(state.canvas.heightTwips(), 5535);
    QCOMPARE(state.canvas.canvasWidth(), 7885);

    state.set(Setting::PreviewHeight, 3000);
    QCOMPARE(state.canvas.heightTwips(), 3000);
    QCOMPARE(state.canvas.canvasHeight(), 3000);
    QCOMPARE(state.get(Setting::PreviewHeight), 3000);
    // A size the Canvas cannot take exactly reads back as the size it took: 200 pixels.
    state.set(Setting::PreviewWidth, 3007);
    QCOMPARE(state.get(Setting::PreviewWidth), 3000);
    QCOMPARE(state.canvas.canvasWidth(), 3000);
}

void TestConvert::defaultsGiveIndependentlyComputedCells()
{
    const ConversionOutput output = RunConversion(parse({m_picture}));
    QCOMPARE(output.exitCode, 0);
    QVERIFY(output.err.isEmpty());
    QVERIFY(output.out.endsWith(FooterBytes));

    const QString art = QString::fromUtf8(output.out.chopped(FooterBytes.size()));
    QStringList lines = art.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.takeLast(), QString());
    QCOMPARE(lines.size(), 200);
    for (const QString& line : lines)
        QCOMPARE(line.size(), 455);

    // Line k comes from band k / 4 + 1, its (k % 4)-th line; band b starts at b x 105.165 twips
    // (0.95 of 5535 over 50 bands), lines are 30 twips apart, cells 17 twips.
    for (int k : {0, 3, 57, 111, 150, 199}) {
        const int band = k / 4 + 1;
        const int y = int(std::nearbyint(band * (0.95 * 5535 / 50))) + 30 * (k % 4);
        for (int c : {0, 87, 88, 89, 176, 177, 264, 265, 352, 353, 454}) {
            const int x = 17 * c;
            const QChar expected = expectedChar(pictureColor(x / 15, y / 15));
            QVERIFY2(lines[k].at(c) == expected,
                     qPrintable(QStringLiteral("line %1 cell %2").arg(k).arg(c)));
        }
    }
}

void TestConvert::noFooterAndCanvasWidth()
{
    const ConversionOutput output =
        RunConversion(parse({"--no-footer", "--canvas-width", "3000", m_picture}));
    QCOMPARE(output.exitCode, 0);
    QVERIFY(output.out.endsWith("\r\n"));
    QVERIFY(!output.out.contains("Tessivo"));
    const QList<QByteArray> lines = output.out.split('\n');
    // 3000 twips: 200 pixels; columns 0, 17, ... up to 3000 - 160.
    QCOMPARE(lines.first().size(), (3000 - 160) / 17 + 1 + 1); // the cells and the CR
}

void TestConvert::customTable()
{
    const QString table = m_dir.filePath(QStringLiteral("table.zfh"));
    QFile file(table);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("###dark to light\r\n\xD6\xD0\r\n.\r\n");
    file.close();

    const ConversionOutput output =
        RunConversion(parse({"--table", table, "--contrast", "1", "--no-footer", m_picture}));
    QCOMPARE(output.exitCode, 0);
    const QString art = QString::fromUtf8(output.out);
    // Rows 中, ., space: black is the darkest row.
    QVERIFY(art.startsWith(QStringLiteral("中中中")));
    QVERIFY(!art.contains(QLatin1Char('M')));

    const ConversionOutput missing =
        RunConversion(parse({"--table", m_dir.filePath("none.zfh"), m_picture}));
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(missing.out.isEmpty());
    QVERIFY(missing.err.contains("none.zfh"));

    // A table without a character would draw blank art whatever the picture.
    for (const QByteArray& bytes : {QByteArray(), QByteArray("###comment\r\n  \r\n")}) {
        const QString blank = m_dir.filePath("blank.zfh");
        QFile file(blank);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const ConversionOutput refused = RunConversion(parse({"--table", blank, m_picture}));
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.err, "tessivo-convert: the table file " + blank.toUtf8() +
                                  " holds no row with a character\n");
    }
}

void TestConvert::unreadablePicture()
{
    QFile text(m_dir.filePath(QStringLiteral("notes.jpg")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture at all");
    text.close();
    const QString loop = m_dir.filePath(QStringLiteral("loop.png"));
    QVERIFY(QFile::link(loop, loop));
    // Each cause in its own words, after the picture's name.
    const QList<std::pair<QString, QString>> causes = {
        {text.fileName(), "not a picture in a format tessivo-convert reads, or a damaged one"},
        {m_dir.filePath("missing.bmp"), "No such file or directory"},
        {m_dir.path(), "Is a directory"},
        {loop, "Too many levels of symbolic links"}};
    for (const auto& [path, cause] : causes) {
        const ConversionOutput output = RunConversion(parse({path}));
        QCOMPARE(output.exitCode, 1);
        QVERIFY(output.out.isEmpty());
        QCOMPARE(QString::fromUtf8(output.err), "tessivo-convert: " + path + ": " + cause + '\n');
    }
}

void TestConvert::damagedPicturesAreNamed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("cause"); // how the message goes on after the picture's name

    QImage picture(200, 150, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x, y * 7 % 256, (x * y) % 256));
    }
    QByteArray jpeg, png;
    QBuffer jpegBuffer(&jpeg), pngBuffer(&png);
    QVERIFY(picture.save(&jpegBuffer, "JPEG") && picture.save(&pngBuffer, "PNG"));
    const QString cutShort = "the picture is incomplete: its data ends before the picture does";
    // libjpeg fills the rest grey and reads on, where a PNG so cut does not read.
    QTest::newRow("jpeg cut inside its scan") << jpeg.left(jpeg.size() * 2 / 3) << cutShort;
    QTest::newRow("png cut short") << png.left(png.size() / 2) << cutShort;
    QByteArray damaged = png;
    damaged[damaged.indexOf("IDAT") + 200] = char(damaged[damaged.indexOf("IDAT") + 200] ^ 0x5A);
    QTest::newRow("png damaged inside") << damaged << "the picture's data is damaged (";
}

// What the decoders say of a damaged picture reaches standard error as one line that names the
// picture, in the program's words, however many jobs convert at once; the picture is refused.
void TestConvert::damagedPicturesAreNamed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, cause);
    const QString damaged =
        m_dir.filePath(QStringLiteral("damaged-%1.picture").arg(QTest::currentDataTag()));
    QFile file(damaged);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    QProcess process;
    process.start(QStringLiteral(TESSIVO_CONVERT_PATH),
                  {"--jobs", "2", "--output-dir", m_dir.filePath("damaged"), m_picture, damaged});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.startsWith("tessivo-convert: " + damaged + ": " + cause) && err.count('\n') == 1,
             qPrintable(err));
}

// 8000 x 6000 pixels take 183 MiB decoded, more than image readers allow by default.
void TestConvert::largePictures_data()
{
    QTest::addColumn<QByteArray>("format");

    QTest::newRow("jpeg, decoded reduced") << QByteArray("JPEG");
    QTest::newRow("png") << QByteArray("PNG");
}

void TestConvert::largePictures()
{
    QFETCH(QByteArray, format);

    // Black on the left half, white on the right; drawn at a fifteenth, 533 pixels wide, so
    // the white half reaches past the Canvas's right edge.
    const QString path =
        m_dir.filePath(QStringLiteral("large.") + QString::fromLatin1(format.toLower()));
    {
        QImage picture(8000, 6000, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter(&picture).fillRect(0, 0, 4000, 6000, Qt::black);
        QVERIFY(picture.save(path, format.constData()));
    }
    const ConversionOutput output = RunConversion(parse({"--no-footer", path}));
    QFile::remove(path);
    QCOMPARE(output.exitCode, 0);
    QVERIFY(output.err.isEmpty());
    const QString firstLine = QString::fromUtf8(output.out.left(output.out.indexOf("\r\n")));
    QVERIFY(!firstLine.isEmpty());
    QCOMPARE(firstLine.front(), expectedChar(qRgb(0, 0, 0)));
    QCOMPARE(firstLine.back(), expectedChar(qRgb(255, 255, 255)));
}

void TestConvert::programMatchesLibrary()
{
    const auto run = [](const QStringList& args) {
        QProcess process;
        process.start(QStringLiteral(TESSIVO_CONVERT_PATH), args);
        [&] { QVERIFY(process.waitForFinished(60000)); }();
        return std::tuple(process.exitCode(), process.readAllStandardOutput(),
                          process.readAllStandardError());
    };

    const QStringList args = {"--sample-x", "9", "--remove-blank-lines", m_picture};
    const auto [code, out, err] = run(args);
    QCOMPARE(code, 0);
    QCOMPARE(out, RunConversion(parse(args)).out);
    QVERIFY(err.isEmpty());

    // The ink mode measures its rows in the result font, found under its Song-style name.
    const auto [inkCode, inkOut, inkErr] = run({"--mode", "ink", "--size", "40x12", m_picture});
    QCOMPARE(inkCode, 0);
    QCOMPARE(inkErr, QByteArray());

    const auto [badCode, badOut, badErr] = run({"--bands", "0", m_picture});
    QCOMPARE(badCode, 2);
    QVERIFY(badOut.isEmpty());
    QCOMPARE(badErr, QByteArray("tessivo-convert: --bands takes a whole number from 1 to 100\n"));

    const auto [missingCode, missingOut, missingErr] = run({m_dir.filePath("missing.gif")});
    QCOMPARE(missingCode, 1);
    QVERIFY(missingErr.endsWith("missing.gif: No such file or directory\n"));

    const auto [helpCode, helpOut, helpErr] = run({"--help"});
    QCOMPARE(helpCode, 0);
    QVERIFY(helpOut.contains("--sample-x N"));
    QVERIFY(helpOut.contains("2 to 300 [17]"));
}

// A TIFF of 2 x 2 red pixels with its numbers big-endian ("MM"), which Qt does not write.
static QByteArray bigEndianTiff()
{
    const auto be16 = [](int v) { return QByteArray(1, char(v >> 8)) + char(v & 0xFF); };
    const auto be32 = [&](int v) { return be16(v >> 16) + be16(v & 0xFFFF); };
    // Tag, type (3: 16 bits, 4: 32 bits), count, and the value, or where the values lie.
    const auto entry = [&](int tag, int type, int count, int value) {
        return be16(tag) + be16(type) + be32(count) +
               (type == 3 && count == 1 ? be16(value) + be16(0) : be32(value));
    };
    constexpr int Entries = 9, BitsAt = 8 + 2 + Entries * 12 + 4, PixelsAt = BitsAt + 6;
    QByteArray tiff = QByteArray("MM") + be16(42) + be32(8) + be16(Entries);
    tiff += entry(256, 3, 1, 2) + entry(257, 3, 1, 2) + entry(258, 3, 3, BitsAt) +
            entry(259, 3, 1, 1) + entry(262, 3, 1, 2) + entry(273, 4, 1, PixelsAt) +
            entry(277, 3, 1, 3) + entry(278, 3, 1, 2) + entry(279, 4, 1, 12) + be32(0);
    tiff += be16(8) + be16(8) + be16(8);
    for (int pixel = 0; pixel < 4; ++pixel)
        tiff += QByteArray("\xFF\x00\x00", 3);
    return tiff;
}

void TestConvert::loadsOnlyThePicturesReader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("plugins"); // the image plugins the program may load

    const auto encoded = [this](const char* format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImage(m_picture).save(&buffer, format);
        return bytes;
    };
    QTest::newRow("jpeg") << encoded("JPEG") << QStringList{"qjpeg"};
    QTest::newRow("png, read by Qt itself") << encoded("PNG") << QStringList{};
    QTest::newRow("tiff, little-endian") << encoded("TIFF") << QStringList{"qtiff"};
    QTest::newRow("tiff, big-endian") << bigEndianTiff() << QStringList{"qtiff"};
}

void TestConvert::loadsOnlyThePicturesReader()
{
    // Every image plugin loaded costs the program its libraries' start-up; the loader lists them.
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, plugins);
    const QString path = m_dir.filePath(QStringLiteral("reader.dat"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESSIVO_CONVERT_PATH), {path});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QStringList loaded;
    static const QRegularExpression plugin(
        QStringLiteral("calling init: .*/imageformats/lib(\\w+)\\.so"));
    for (const QRegularExpressionMatch& m :
         plugin.globalMatch(QString::fromLocal8Bit(process.readAllStandardError())))
        loaded.append(m.captured(1));
    QCOMPARE(loaded, plugins);
}

// "-" reads the picture from standard input, as a pipe gives it: the same art as the file, in
// every mode and in the metafile helper too; a batch refuses it, and input over the picture
// memory limit is refused with the limit named.
void TestConvert::pictureFromStandardInput()
{
    const auto run = [](const QStringList& args, const QString& input) {
        QProcess process;
        if (!input.isEmpty())
            process.setStandardInputFile(input);
        process.start(QStringLiteral(TESSIVO_CONVERT_PATH), args);
        [&] { QVERIFY(process.waitForFinished(60000)); }();
        return std::tuple(process.exitCode(), process.readAllStandardOutput(),
                          process.readAllStandardError());
    };
    for (const QStringList& mode :
         {QStringList{}, QStringList{"--mode", "shape", "--size", "40x12"}}) {
        const auto [code, out, err] = run(mode + QStringList{"-"}, m_picture);
        QCOMPARE(code, 0);
        QCOMPARE(err, QByteArray());
        const auto [fileCode, fileOut, fileErr] = run(mode + QStringList{m_picture}, QString());
        QCOMPARE(fileCode, 0);
        QCOMPARE(out, fileOut);
    }
    const auto [batchCode, batchOut, batchErr] =
        run({"--output-dir", m_dir.path(), "-", m_picture}, m_picture);
    QCOMPARE(batchCode, 2);
    QVERIFY(batchErr.contains("- (standard input)"));

    // Over the limit: refused in this process, whose limit can be lowered.
    QFile input(m_picture);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const int saved = ::dup(STDIN_FILENO);
    QVERIFY(::dup2(input.handle(), STDIN_FILENO) >= 0);
    const qint64 limit = PictureMemoryLimit();
    LowerPictureMemoryLimit(1024 * 1024);
    QByteArray big(2 * 1024 * 1024, 'x');
    QTemporaryFile large;
    QVERIFY(large.open() && large.write(big) == big.size() && large.flush());
    QVERIFY(::dup2(large.handle(), STDIN_FILENO) >= 0);
    ::lseek(STDIN_FILENO, 0, SEEK_SET);
    const ConversionOutput over = RunConvertCommand(parse({"-"}));
    LowerPictureMemoryLimit(limit);
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    QCOMPARE(over.exitCode, 1);
    QCOMPARE(over.err, QByteArray("tessivo-convert: -: standard input holds more than 1 MiB, the "
                                  "most a picture may take\n"));
}

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"
