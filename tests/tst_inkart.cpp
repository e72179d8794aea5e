#include "art/ArtFont.h"
#include "art/InkArt.h"
#include "canvas/Fonts.h"
#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
#include "engine/CharTable.h"
#include "engine/TextCells.h"
#include "export/ArtExport.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;

namespace {

QStringList linesOf(const QString& art)
{
    QStringList lines = art.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Stretched ink of each cell of a line, through the palette's rows.
QList<double> inksOf(const QString& line, const InkPalette& palette)
{
    QList<double> inks;
    const qsizetype width = palette.rows().first().size();
    for (qsizetype at = 0; at + width <= line.size(); at += width)
        inks.append(palette.inks()[palette.rows().indexOf(line.mid(at, width))]);
    return inks;
}

QImage whitePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

class TestInkArt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void greyRampGivesRowsInOrderOfInk_data();
    void greyRampGivesRowsInOrderOfInk();
    void circleComesOutRound();
    void edgesAreSampled_data();
    void edgesAreSampled();
    void tallLinesKeepTheirTone();
    void settingsActOnTheTones_data();
    void settingsActOnTheTones();
    void sizeIsExact_data();
    void sizeIsExact();
    void heightAloneKeepsTheProportions_data();
    void heightAloneKeepsTheProportions();
    void fullWidthTableKeepsOneLineWidth();
    void shapeFollowsWhereTheDarknessLies_data();
    void shapeFollowsWhereTheDarknessLies();
    void ownPngRampNeverDarkens_data();
    void ownPngRampNeverDarkens();
    void measuredInkIsDrawnInk_data();
    void measuredInkIsDrawnInk();
    void flatAreaTakesOneRow_data();
    void flatAreaTakesOneRow();
    void lightGreyIsNotBlank_data();
    void lightGreyIsNotBlank();

private:
    QTemporaryDir m_dir;
    InkPalette m_palette{DefaultCharTable(), QStringLiteral("新宋体"), 9};
};

void TestInkArt::initTestCase()
{
    RegisterFontSubstitutes();
    m_palette = InkPalette(DefaultCharTable(), QStringLiteral("新宋体"), 9);
    QVERIFY(m_dir.isValid());
}

void TestInkArt::greyRampGivesRowsInOrderOfInk_data()
{
    // A ramp's cells are alike part by part, so the shape mode too keeps their tone.
    QTest::addColumn<bool>("shape");
    QTest::addColumn<int>("spread"); // fewest different rows over the ramp
    QTest::newRow("ink") << false << 20;
    QTest::newRow("shape") << true << 12;
}

void TestInkArt::greyRampGivesRowsInOrderOfInk()
{
    QFETCH(bool, shape);
    QFETCH(int, spread);
    const InkPalette palette(DefaultCharTable(), QStringLiteral("新宋体"), 9, shape);
    // 64 steps of 4 pixels, black to white.
    QImage ramp = whitePicture(256, 8);
    for (int x = 0; x < 256; ++x) {
        const int grey = x / 4 * 255 / 63;
        for (int y = 0; y < 8; ++y)
            ramp.setPixel(x, y, qRgb(grey, grey, grey));
    }
    InkOptions options;
    options.columns = 64;
    options.lines = 1;
    options.shape = shape;
    options.dither = Dither::None;
    const QList<double> inks = inksOf(linesOf(DrawInkArt(ramp, palette, options).text)[0], palette);
    QCOMPARE(inks.size(), 64);
    if (!shape)
        QCOMPARE(inks.first(), 1.0); // black: the darkest row
    QCOMPARE(inks.last(), 0.0);      // white: the blank row
    for (int i = 0; i < inks.size(); ++i) {
        QVERIFY2(i == 0 || inks[i] <= inks[i - 1], qPrintable(QString::number(i)));
        // Each cell's row is near its darkness.
        QVERIFY2(std::abs(inks[i] - (1 - (i * 255 / 63) / 255.0)) <= 0.1,
                 qPrintable(QString::number(i)));
    }
    // The rows are spread over the ramp, not a handful of greys.
    QVERIFY(QSet<double>(inks.cbegin(), inks.cend()).size() > spread);
}

void TestInkArt::circleComesOutRound()
{
    QImage picture = whitePicture(600, 600);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QPointF(300, 300), 240, 240);
    }
    InkOptions options;
    options.columns = 80;
    options.lines = InkLinesFor(picture.size(), options.columns, m_palette);
    const QStringList lines = linesOf(DrawInkArt(picture, m_palette, options).text);
    QCOMPARE(lines.size(), options.lines);
    // The ink's extent across and down, in pixels of the font's cells.
    int inkedLines = 0, widest = 0;
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        inkedLines += !trimmed.isEmpty();
        widest = std::max(widest, int(trimmed.size()));
    }
    const double across = widest * m_palette.cellWidth();
    const double down = inkedLines * m_palette.lineHeight();
    QVERIFY2(std::abs(across - down) <= m_palette.lineHeight() + m_palette.cellWidth(),
             qPrintable(QStringLiteral("%1 x %2").arg(across).arg(down)));
}

void TestInkArt::edgesAreSampled_data()
{
    QTest::addColumn<QSize>("picture"); // for 30 x 10 cells
    QTest::addColumn<int>("black");     // the last pixel columns and rows, all else white
    QTest::newRow("the last four, cells of 10 x 20 pixels") << QSize(301, 199) << 4;
    QTest::newRow("the last one alone, cells of 3 x 3") << QSize(91, 31) << 1;
}

void TestInkArt::edgesAreSampled()
{
    QFETCH(QSize, picture);
    QFETCH(int, black);
    QImage image = whitePicture(picture.width(), picture.height());
    QPainter(&image).fillRect(picture.width() - black, 0, black, picture.height(), Qt::black);
    QPainter(&image).fillRect(0, picture.height() - black, picture.width(), black, Qt::black);
    InkOptions options;
    options.columns = 30;
    options.lines = 10;
    const QStringList lines = linesOf(DrawInkArt(image, m_palette, options).text);
    QCOMPARE(lines.size(), 10);
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(lines[i].size(), 30);
        QVERIFY2(lines[i].back() != QLatin1Char(' '), qPrintable(lines[i]));
        QVERIFY2(lines[i].first(29).trimmed().isEmpty(), qPrintable(lines.join('|')));
    }
    QVERIFY(!lines[9].contains(QLatin1Char(' ')));
}

// A line of the art over a very tall picture: its pixels' sums would pass 32 bits.
void TestInkArt::tallLinesKeepTheirTone()
{
    InkOptions options;
    options.columns = 1;
    options.lines = 1;
    QCOMPARE(DrawInkArt(whitePicture(2, 20000), m_palette, options).text, QStringLiteral(" \r\n"));
}

void TestInkArt::settingsActOnTheTones_data()
{
    QTest::addColumn<int>("colorLevel");
    QTest::addColumn<int>("ignoreValue");
    QTest::addColumn<int>("contrast");
    QTest::addColumn<double>("lightness"); // what grey 64 is taken for
    const double grey = 64 / 255.0;
    QTest::newRow("as they start") << 1 << 1 << 750 << grey;
    QTest::newRow("colour level 4 lifts it to white") << 4 << 1 << 750 << 1.0;
    QTest::newRow("ignore value 30 lifts it to white") << 1 << 30 << 750 << 1.0;
    QTest::newRow("contrast 1 flattens it to mid-grey") << 1 << 1 << 1 << 0.5 + (grey - 0.5) / 750;
    QTest::newRow("contrast 1500 doubles its distance from mid-grey")
        << 1 << 1 << 1500 << 0.5 + (grey - 0.5) * 2;
}

void TestInkArt::settingsActOnTheTones()
{
    QFETCH(int, colorLevel);
    QFETCH(int, ignoreValue);
    QFETCH(int, contrast);
    QFETCH(double, lightness);
    QImage picture = whitePicture(10, 10);
    picture.fill(qRgb(64, 64, 64));
    InkOptions options;
    options.columns = 1;
    options.lines = 1;
    options.colorLevel = colorLevel;
    options.ignoreValue = ignoreValue;
    options.contrast = contrast;
    const double ink =
        inksOf(linesOf(DrawInkArt(picture, m_palette, options).text)[0], m_palette)[0];
    // No other row is nearer the cell's darkness by more than the reach within which rows count
    // as one tone (and a level of the row lookup).
    for (const double other : m_palette.inks())
        QVERIFY2(std::abs(other - (1 - lightness)) >=
                     std::abs(ink - (1 - lightness)) - InkPalette::EvenReach - 1.0 / 1023,
                 qPrintable(QStringLiteral("%1 against %2").arg(ink).arg(other)));
}

void TestInkArt::sizeIsExact_data()
{
    QTest::addColumn<QStringList>("size");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("lines");
    QTest::newRow("80x30") << QStringList{"--size", "80x30"} << 80 << 30;
    QTest::newRow("more cells than pixels") << QStringList{"--size=700x500"} << 700 << 500;
    QTest::newRow("one cell") << QStringList{"--size", "1x1"} << 1 << 1;
    QTest::newRow("width only") << QStringList{"--width", "60"} << 60 << -1;
    QTest::newRow("height only") << QStringList{"--height", "20"} << -1 << 20;
}

void TestInkArt::sizeIsExact()
{
    QFETCH(QStringList, size);
    QFETCH(int, columns);
    QFETCH(int, lines);
    const QString path = m_dir.filePath(QStringLiteral("picture.png"));
    QImage picture = whitePicture(300, 200);
    picture.fill(Qt::darkGray);
    QVERIFY(picture.save(path));
    const ParsedCommandLine parsed =
        ParseConvertOptions(QStringList{"--mode", "ink", "--no-footer"} + size + QStringList{path});
    QVERIFY2(parsed.options, qPrintable(parsed.error));
    const ConversionOutput output = RunConversion(*parsed.options);
    QCOMPARE(output.exitCode, 0);
    const QStringList art = linesOf(QString::fromUtf8(output.out));
    // A side not given follows the picture's proportions in the font's cells.
    const double aspect = 200.0 / 300 * m_palette.cellWidth() / m_palette.lineHeight();
    QCOMPARE(art.size(), lines > 0 ? lines : int(std::lround(art.first().size() * aspect)));
    for (const QString& line : art)
        QCOMPARE(line.size(), columns > 0 ? columns : int(std::lround(art.size() / aspect)));
}

void TestInkArt::heightAloneKeepsTheProportions_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("lines");
    // Sides whose columns come out between two whole numbers, nearer the one or the other.
    QTest::newRow("301 x 200, 20 lines") << QSize(301, 200) << 20;
    QTest::newRow("333 x 100, 7 lines") << QSize(333, 100) << 7;
    QTest::newRow("97 x 250, 33 lines") << QSize(97, 250) << 33;
    QTest::newRow("640 x 130, 11 lines") << QSize(640, 130) << 11;
}

// --height alone: the columns are the whole number whose art, in the font's cells, comes nearest
// the picture's proportions, found here by trying every number of columns.
void TestInkArt::heightAloneKeepsTheProportions()
{
    QFETCH(QSize, picture);
    QFETCH(int, lines);
    const QString path = m_dir.filePath(QStringLiteral("proportions.png"));
    QImage image = whitePicture(picture.width(), picture.height());
    image.fill(Qt::darkGray);
    QVERIFY(image.save(path));
    const ParsedCommandLine parsed = ParseConvertOptions(
        {"--mode", "ink", "--no-footer", "--height", QString::number(lines), path});
    QVERIFY2(parsed.options, qPrintable(parsed.error));
    const ConversionOutput output = RunConversion(*parsed.options);
    QCOMPARE(output.exitCode, 0);
    const QStringList art = linesOf(QString::fromUtf8(output.out));
    QCOMPARE(art.size(), lines);

    // The art is columns x cell width across and lines x line height down.
    const auto mismatch = [&](int columns) {
        return std::abs(columns * m_palette.cellWidth() * picture.height() -
                        double(picture.width()) * lines * m_palette.lineHeight());
    };
    int nearest = 1;
    for (int columns = 2; columns <= 4 * picture.width(); ++columns) {
        if (mismatch(columns) < mismatch(nearest))
            nearest = columns;
    }
    QCOMPARE(art.first().size(), nearest);
}

void TestInkArt::fullWidthTableKeepsOneLineWidth()
{
    // A bar beside a block: with a one-cell blank row, the lines beside the block were wider
    // than the others by their blank cells.
    QImage picture = whitePicture(400, 300);
    {
        QPainter painter(&picture);
        painter.fillRect(40, 0, 20, 300, Qt::black);
        painter.fillRect(150, 100, 200, 100, Qt::black);
    }
    const QString path = m_dir.filePath(QStringLiteral("bar.png"));
    QVERIFY(picture.save(path));
    const QString table = m_dir.filePath(QStringLiteral("wide.zfh"));
    QFile file(table);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringEncoder("GBK").encode(QStringLiteral("鑫\r\n国\r\n人\r\n一\r\n")));
    file.close();
    // In the result font, and in a Latin font whose art draws the table's characters from the
    // result font's families, two cells each.
    for (const QStringList& mode :
         {QStringList{"--mode", "tone"}, QStringList{"--mode", "ink"},
          QStringList{"--mode", "shape"},
          QStringList{"--mode", "shape", "--font", "DejaVu Sans Mono", "--size", "40x20"}}) {
        const ConversionOutput output = RunConversion(
            *ParseConvertOptions(mode + QStringList{"--table", table, "--no-footer", path})
                 .options);
        QCOMPARE(output.exitCode, 0);
        QCOMPARE(output.err, QByteArray());
        const QStringList lines = linesOf(QString::fromUtf8(output.out));
        QVERIFY(lines.size() > 10);
        for (const QString& line : lines)
            QCOMPARE(CellsOf(line), CellsOf(lines.first()));
    }
}

void TestInkArt::shapeFollowsWhereTheDarknessLies_data()
{
    // Each line's cells half black, in the half named: the same tone in every case, so only the
    // shape mode tells them apart.
    QTest::addColumn<QString>("family");
    QTest::addColumn<QRect>("black");  // of a cell of 40 x 40 pixels
    QTest::addColumn<int>("darkPart"); // in the palette's parts: 0 top left, then by rows
    QTest::addColumn<int>("lightPart");
    // How much more ink the dark part must have: Latin glyphs of half ink have little below the
    // middle of the line, where only the lower half of the small letters lies, and the result
    // font's sit in the upper middle of lines an em high.
    QTest::addColumn<double>("more");
    for (const QString& family : {QStringLiteral("DejaVu Sans Mono"), QString()}) {
        const char* name = family.isEmpty() ? "result font" : "DejaVu Sans Mono";
        const double downward = 0.1;
        QTest::addRow("top, %s", name) << family << QRect(0, 0, 40, 20) << 0 << 2 << 0.3;
        QTest::addRow("bottom, %s", name) << family << QRect(0, 20, 40, 20) << 2 << 0 << downward;
        QTest::addRow("left, %s", name) << family << QRect(0, 0, 20, 40) << 0 << 1 << 0.3;
        QTest::addRow("right, %s", name) << family << QRect(20, 0, 20, 40) << 1 << 0 << 0.3;
    }
}

void TestInkArt::shapeFollowsWhereTheDarknessLies()
{
    QFETCH(QString, family);
    QFETCH(QRect, black);
    QFETCH(int, darkPart);
    QFETCH(int, lightPart);
    QFETCH(double, more);
    const InkPalette palette(DefaultCharTable(), family, 9, true);
    constexpr int Cell = 40, Columns = 6, Lines = 4;
    QImage picture = whitePicture(Columns * Cell, Lines * Cell);
    {
        QPainter painter(&picture);
        for (int y = 0; y < Lines; ++y)
            for (int x = 0; x < Columns; ++x)
                painter.fillRect(black.translated(x * Cell, y * Cell), Qt::black);
    }
    InkOptions options;
    options.columns = Columns;
    options.lines = Lines;
    options.shape = true;
    options.dither = Dither::None;
    const QStringList lines = linesOf(DrawInkArt(picture, palette, options).text);
    QCOMPARE(lines.size(), Lines);
    const int parts = palette.shapeParts();
    for (const QString& line : lines) {
        QCOMPARE(line.size(), Columns);
        for (const QChar c : line) {
            const qsizetype row = palette.rows().indexOf(QString(c));
            QVERIFY(row >= 0);
            const float* shape = palette.shapes().data() + row * parts;
            QVERIFY2(shape[darkPart] > shape[lightPart] + more, qPrintable(line));
            // Half the cell dark: the tone stays about half.
            QVERIFY2(std::abs(palette.inks()[row] - 0.5) < 0.3, qPrintable(line));
        }
    }
}

void TestInkArt::ownPngRampNeverDarkens_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("family");
    for (const char* mode : {"ink", "shape"}) {
        QTest::addRow("%s, result font", mode) << mode << QString();
        QTest::addRow("%s, DejaVu Sans Mono", mode) << mode << QStringLiteral("DejaVu Sans Mono");
    }
}

// The art of a ramp from black to white, drawn by the mode's own PNG export: a row credited
// with ink other than what it has where it is drawn shows as a column lighter than the next.
void TestInkArt::ownPngRampNeverDarkens()
{
    QFETCH(QString, mode);
    QFETCH(QString, family);
    QImage ramp(800, 300, QImage::Format_RGB32);
    for (int x = 0; x < ramp.width(); ++x) {
        const int grey = x * 255 / (ramp.width() - 1);
        for (int y = 0; y < ramp.height(); ++y)
            ramp.setPixel(x, y, qRgb(grey, grey, grey));
    }
    const QString path = m_dir.filePath(QStringLiteral("ramp.png"));
    QVERIFY(ramp.save(path));
    QStringList args{"--mode", mode, "--size", "80x30", "--format", "png", "--no-footer"};
    if (!family.isEmpty())
        args << "--font" << family;
    const ConversionOutput output = RunConversion(*ParseConvertOptions(args << path).options);
    QCOMPARE(output.exitCode, 0);
    const QImage drawn = QImage::fromData(output.out, "PNG").convertToFormat(QImage::Format_RGB32);
    QVERIFY(!drawn.isNull());
    const ArtFont font(family);
    QCOMPARE(drawn.width(), int(std::ceil(80 * font.cellWidth())));
    QList<double> columns;
    for (int c = 0; c < 80; ++c) {
        double sum = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = font.cellLeft(c); x < font.cellLeft(c + 1); ++x)
                sum += qGray(drawn.pixel(x, y));
        columns.append(sum / (drawn.height() * (font.cellLeft(c + 1) - font.cellLeft(c))));
    }
    for (int c = 0; c + 1 < 80; ++c)
        QVERIFY2(columns[c] <= columns[c + 1] + 2,
                 qPrintable(QStringLiteral("column %1: %2, then %3")
                                .arg(c)
                                .arg(columns[c])
                                .arg(columns[c + 1])));
    QVERIFY(columns.last() > columns.first() + 30);
}

void TestInkArt::measuredInkIsDrawnInk_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("pointSize");
    QTest::newRow("result font") << QString() << 9.0;
    QTest::newRow("result font, 10 pt") << QString() << 10.0;
    QTest::newRow("DejaVu Sans Mono") << QStringLiteral("DejaVu Sans Mono") << 9.0;
    QTest::newRow("DejaVu Sans Mono, 14 pt") << QStringLiteral("DejaVu Sans Mono") << 14.0;
}

// Each row's ink as the modes measure it is the darkness its cell has in the PNG export: the
// middle cell of three lines of five, where the ink neighbours spill in makes up for the ink
// it spills out.
void TestInkArt::measuredInkIsDrawnInk()
{
    QFETCH(QString, family);
    QFETCH(double, pointSize);
    const ArtFont font(family, pointSize);
    for (const QString& row : {QStringLiteral("M"), QStringLiteral("_"), QStringLiteral("g"),
                               QStringLiteral("."), QStringLiteral("国")}) {
        const QString line = row.repeated(5);
        const ArtDocument page{line + QStringLiteral("\r\n") + line + QStringLiteral("\r\n") +
                                   line + QStringLiteral("\r\n"),
                               {},
                               {}};
        const QImage drawn = RenderArt(page, false, font).image;
        const int cells = CellsOf(row);
        const int left = font.cellLeft(2 * cells), right = font.cellLeft(3 * cells);
        const int top = int(std::lround(font.lineHeight()));
        const int bottom = int(std::lround(2 * font.lineHeight()));
        double dark = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                dark += 255 - qGray(drawn.pixel(x, y));
        dark /= 255.0 * (right - left) * (bottom - top);
        const double measured = font.inkOf(row).whole;
        QVERIFY2(std::abs(measured - dark) <= 0.01 + 0.05 * dark,
                 qPrintable(
                     QStringLiteral("%1: measured %2, drawn %3").arg(row).arg(measured).arg(dark)));
    }
}

void TestInkArt::flatAreaTakesOneRow_data()
{
    QTest::addColumn<double>("where"); // which row, by its place among the rows in order of ink
    QTest::newRow("a light row") << 0.2;
    QTest::newRow("a middle row") << 0.5;
    QTest::newRow("a dark row") << 0.8;
}

// A flat area as dark as one of the rows, give or take the rounding of its grey, takes that row
// in every cell: no speckle of rows of another shape and near ink.
void TestInkArt::flatAreaTakesOneRow()
{
    QFETCH(double, where);
    const InkPalette palette(DefaultCharTable(), QStringLiteral("DejaVu Sans Mono"), 9, true);
    QList<double> inks = palette.inks();
    std::sort(inks.begin(), inks.end());
    const double darkness = inks[qsizetype(where * double(inks.size() - 1))];
    QImage picture = whitePicture(400, 300);
    const int grey = int(std::lround(255 * (1 - darkness)));
    picture.fill(qRgb(grey, grey, grey));
    InkOptions options;
    options.columns = 40;
    options.lines = 15;
    options.shape = true;
    const QString art = DrawInkArt(picture, palette, options).text;
    QSet<QChar> used(art.cbegin(), art.cend());
    used -= QSet<QChar>{QLatin1Char('\r'), QLatin1Char('\n')};
    QVERIFY2(used.size() == 1,
             qPrintable(QStringList(QList<QString>(used.cbegin(), used.cend())).join(QString()) +
                        QString::number(darkness)));
    const double ink = palette.inks()[palette.rows().indexOf(QString(*used.cbegin()))];
    QVERIFY2(std::abs(ink - darkness) <= InkPalette::EvenReach + 1 / 255.0,
             qPrintable(QString(*used.cbegin())));
}

void TestInkArt::lightGreyIsNotBlank_data()
{
    QTest::addColumn<bool>("shape");
    QTest::newRow("ink") << false;
    QTest::newRow("shape") << true;
}

// A flat grey lighter than the lightest glyph comes out as a scatter of it with the grey's
// darkness on the whole, not as blank paper.
void TestInkArt::lightGreyIsNotBlank()
{
    QFETCH(bool, shape);
    const InkPalette palette(DefaultCharTable(), QStringLiteral("DejaVu Sans Mono"), 9, shape);
    double lightest = 1;
    for (const double ink : palette.inks())
        if (ink > 0)
            lightest = std::min(lightest, ink);
    const double darkness = lightest / 2;
    QImage picture = whitePicture(600, 450);
    const int grey = int(std::lround(255 * (1 - darkness)));
    picture.fill(qRgb(grey, grey, grey));
    InkOptions options;
    options.columns = 60;
    options.lines = 30;
    options.shape = shape;
    const QStringList lines = linesOf(DrawInkArt(picture, palette, options).text);
    double total = 0;
    for (const QString& line : lines)
        for (const double ink : inksOf(line, palette))
            total += ink;
    const double mean = total / (60.0 * 30);
    QVERIFY2(std::abs(mean - (1 - grey / 255.0)) < 0.2 * darkness,
             qPrintable(QStringLiteral("%1 for %2").arg(mean).arg(darkness)));
    options.dither = Dither::None;
    QVERIFY(DrawInkArt(picture, palette, options).text.trimmed().isEmpty());
}

QTEST_MAIN(TestInkArt)
#include "tst_inkart.moc"
