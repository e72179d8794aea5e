#include "canvas/Fonts.h"
#include "cli/TableOptions.h"
#include "cli/TableTool.h"
#include "engine/TableFile.h"
#include "engine/TextCells.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

using namespace tessivo;

namespace {

const QDateTime Made = QDateTime(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);

TableOptions parse(const QStringList& args)
{
    const ParsedTableCommandLine parsed = ParseTableOptions(args);
    if (!parsed.options)
        qWarning() << parsed.error;
    return parsed.options.value_or(TableOptions{});
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of a table file before its first row.
QStringList commentLines(const QByteArray& bytes)
{
    QStringList comments;
    for (const QString& line : DecodeTableFileText(bytes).split(QStringLiteral("\r\n"))) {
        if (!line.startsWith(QLatin1String("###")))
            break;
        comments.append(line);
    }
    return comments;
}

} // namespace

class TestTableTool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void badCommandLines_data();
    void badCommandLines();
    void optionsTakeTheirValues();
    void writtenTableImportsAsItsRows_data();
    void writtenTableImportsAsItsRows();
    void rowsTheEncodingCannotHoldAreRefused_data();
    void rowsTheEncodingCannotHoldAreRefused();
    void tonesAreListedDarkestFirst();
    void rowCountKeepsAnEvenSpread();
    void closeRowsAreReported();
    void rowList_data();
    void rowList();
    void convertUsesOnlyTheTablesRows();
    void programExitStatus_data();
    void programExitStatus();
};

void TestTableTool::initTestCase()
{
    RegisterFontSubstitutes();
}

void TestTableTool::badCommandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");

    QTest::newRow("nothing") << QStringList{} << "no rows given";
    QTest::newRow("unknown long") << QStringList{"--colour", "a"} << "unknown option --colour";
    QTest::newRow("unknown short") << QStringList{"-x", "a"} << "rows starting with - go after --";
    QTest::newRow("size too small") << QStringList{"--font-size", "3", "a"} << "--font-size";
    QTest::newRow("size with exponent") << QStringList{"--font-size=1e1", "a"} << "--font-size";
    QTest::newRow("rows fraction") << QStringList{"--rows", "2.5", "a"} << "--rows";
    QTest::newRow("encoding") << QStringList{"--encoding", "latin1", "a"} << "gbk or utf-8";
    QTest::newRow("value missing") << QStringList{"a", "--output"} << "--output takes a value";
    QTest::newRow("empty value") << QStringList{"--font=", "a"} << "--font takes a value";
    QTest::newRow("flag with value") << QStringList{"--tones=1", "a"} << "--tones takes no value";
    QTest::newRow("tones and output")
        << QStringList{"--tones", "--output", "t.zfh", "a"} << "leave out --output";
}

void TestTableTool::badCommandLines()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const ParsedTableCommandLine parsed = ParseTableOptions(args);
    QVERIFY(!parsed.options);
    QVERIFY2(parsed.error.startsWith(QLatin1String("tessivo-table: ")), qPrintable(parsed.error));
    QVERIFY2(parsed.error.contains(error), qPrintable(parsed.error));
    QVERIFY(!parsed.error.contains(QLatin1Char('\n')));
}

void TestTableTool::optionsTakeTheirValues()
{
    const TableOptions options =
        parse({"--font", "宋体", "--font-size=20.25", "--rows", "12", "--encoding=UTF-8", "-", "M",
               "--input", "list.txt", "--output", "t.zfh", "--min-step", "1.5", "--", "--", "-x"});
    QCOMPARE(options.family, QStringLiteral("宋体"));
    QCOMPARE(options.pointSize, 20.25);
    QCOMPARE(options.rowCount, 12);
    QCOMPARE(options.encoding, TableEncoding::Utf8);
    QCOMPARE(options.inputFile, QStringLiteral("list.txt"));
    QCOMPARE(options.outputFile, QStringLiteral("t.zfh"));
    QCOMPARE(options.minStep, 1.5);
    QCOMPARE(options.rows, QStringList({"-", "M", "--", "-x"}));
}

void TestTableTool::writtenTableImportsAsItsRows_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("rows"); // darkest first, as the import reads them

    QTest::newRow("ASCII") << QStringList{".", "M", ":"} << QStringList{"M", ":", "."};
    QTest::newRow("CJK") << QStringList{"一", "鬱", "二"} << QStringList{"鬱", "二", "一"};
    QTest::newRow("spaces left out")
        << QStringList{" ", "..", "  ", "M."} << QStringList{"M.", ".."};
    QTest::newRow("UTF-8") << QStringList{"--encoding", "utf-8", "一", "█", "가"}
                           << QStringList{"█", "가", "一"};
    QTest::newRow("UTF-8, other font") << QStringList{"--encoding=utf-8",
                                                      "--font",
                                                      "WenQuanYi Zen Hei Mono",
                                                      "--font-size",
                                                      "12",
                                                      "一",
                                                      "國"}
                                       << QStringList{"國", "一"};
}

void TestTableTool::writtenTableImportsAsItsRows()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, rows);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zif.zfh"));

    const TableOptions options = parse(args + QStringList{"--output", path});
    const TableToolOutput output = RunTableTool(options, Made);
    QCOMPARE(output.exitCode, 0);
    QVERIFY(output.out.isEmpty());

    const QByteArray bytes = readAll(path);
    const bool utf8 = options.encoding == TableEncoding::Utf8;
    QCOMPARE(bytes.startsWith("\xEF\xBB\xBF###"), utf8);
    QCOMPARE(bytes.startsWith("###"), !utf8);
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(ParseTableFile(bytes), rows + QStringList{BlankRowFor(rows)});

    const QStringList comments = commentLines(bytes);
    QCOMPARE(comments.size(), 3);
    QVERIFY2(comments[1].contains(options.family + QStringLiteral(" ")), qPrintable(comments[1]));
    QVERIFY(comments[1].contains(QStringLiteral(" %1 pt").arg(options.pointSize)));
    QVERIFY(comments[2].contains(QStringLiteral("2026-12-07T12:00:00Z")));

    // Without --output the same table goes to standard output.
    TableOptions toStdout = options;
    toStdout.outputFile.clear();
    QCOMPARE(RunTableTool(toStdout, Made).out, bytes);
}

void TestTableTool::rowsTheEncodingCannotHoldAreRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");

    QTest::newRow("not in GBK") << QStringList{"M", "가나", "."}
                                << "GBK cannot hold the row \"가나\"";
    QTest::newRow("comment mark") << QStringList{"M", "a###"} << "###";
    QTest::newRow("line end") << QStringList{"M", "a\nb"} << "\"a\\x0ab\" holds a line end";
}

void TestTableTool::rowsTheEncodingCannotHoldAreRefused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zif.zfh"));
    const TableToolOutput output = RunTableTool(parse(args + QStringList{"--output", path}), Made);
    QCOMPARE(output.exitCode, 1);
    QVERIFY2(QString::fromUtf8(output.err).contains(error), output.err.constData());
    QVERIFY(!QFile::exists(path));
}

void TestTableTool::tonesAreListedDarkestFirst()
{
    const TableToolOutput output = RunTableTool(parse({"--tones", ".", "@", " ", "中", ":"}), Made);
    QCOMPARE(output.exitCode, 0);
    const QStringList lines = QString::fromUtf8(output.out).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 5); // four rows and the empty piece after the last line end
    QCOMPARE(lines.last(), QString());
    double previous = 101;
    QStringList rows;
    for (const QString& line : lines.first(4)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 2);
        bool ok = false;
        const double tone = fields[0].trimmed().toDouble(&ok);
        QVERIFY(ok && tone > 0 && tone <= previous);
        previous = tone;
        rows.append(fields[1]);
    }
    QCOMPARE(rows.last(), QStringLiteral("."));
    QCOMPARE(rows[2], QStringLiteral(":"));
}

void TestTableTool::rowCountKeepsAnEvenSpread()
{
    const QStringList all = {"@", "M", "W", "#", "%", "8", "&", "B",
                             "o", "=", "+", "-", ":", ".", "'"};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zif.zfh"));
    const TableToolOutput output =
        RunTableTool(parse(QStringList{"--rows", "5", "--output", path} + all), Made);
    QCOMPARE(output.exitCode, 0);
    const QStringList kept = ParseTableFile(readAll(path));
    QCOMPARE(kept.size(), 6);
    const QStringList sorted = ParseTableFile(RunTableTool(parse(all), Made).out);
    QCOMPARE(kept.first(), sorted.first()); // the darkest stays
    for (const QString& row : kept)
        QVERIFY(sorted.contains(row));
    QVERIFY(commentLines(readAll(path))[2].contains(QStringLiteral("5 of 15 rows kept")));
    // Asking for more rows than there are keeps them all.
    QCOMPARE(ParseTableFile(RunTableTool(parse(QStringList{"--rows", "40"} + all), Made).out),
             sorted);
}

void TestTableTool::closeRowsAreReported()
{
    // The same glyphs in other cells have the same ink.
    const TableToolOutput output = RunTableTool(parse({":.", "@", ".:"}), Made);
    QCOMPARE(output.exitCode, 0);
    const QString err = QString::fromUtf8(output.err);
    QVERIFY2(err.contains(QStringLiteral("\":.\" and \".:\" differ by 0.00%")), qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("the largest gap is")));
    QVERIFY(!RunTableTool(parse({"--min-step", "0", ":.", ".:"}), Made).err.contains("differ"));

    // Past 20 pairs the rest are counted: an M in each cell of a row of 30, rows of one ink.
    QStringList same;
    for (int i = 0; i < 22; ++i)
        same.append(QString(30, QLatin1Char(' ')).replace(i, 1, QLatin1Char('M')));
    const QStringList lines = QString::fromUtf8(RunTableTool(parse(same), Made).err).split(u'\n');
    QCOMPARE(lines.filter(QStringLiteral(" differ by ")).size(), 20);
    QCOMPARE(lines.filter(QStringLiteral(" more pair")),
             QStringList{"tessivo-table: and 1 more pair closer than 0.25%"});
}

void TestTableTool::rowList_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("UTF-8, LF") << QByteArray("M\n\xE4\xB8\xAD\n\n.\n")
                               << QStringList{"M", "中", "."};
    QTest::newRow("GBK table file")
        << QByteArray("###head\r\n\xD6\xD0\r\n\xCE\xC4\xD7\xD6\r\n") << QStringList{"中", "文字"};
    QTest::newRow("UTF-16 with mark")
        << QByteArray("\xFF\xFE-\x4E\r\0\n\0a\0", 10) << QStringList{"中", "a"};
    QTest::newRow("spaces kept") << QByteArray("  \n a\n") << QStringList{"  ", " a"};
}

void TestTableTool::rowList()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, rows);
    QCOMPARE(ReadRowList(bytes), rows);
}

void TestTableTool::convertUsesOnlyTheTablesRows()
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("rows.txt"));
    QFile listFile(list);
    QVERIFY(listFile.open(QIODevice::WriteOnly));
    listFile.write("\xE9\xAC\xB1\n\xE5\x9C\x8B\n\xE4\xB8\x80\n"); // 鬱 國 一, UTF-8
    listFile.close();

    for (const QString& encoding : {QStringLiteral("gbk"), QStringLiteral("utf-8")}) {
        // A file of its own for each: one put in place of another would wait for the disk.
        const QString table = dir.filePath(QStringLiteral("zif-%1.zfh").arg(encoding));
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The tool needs no display and chooses the offscreen platform itself.
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(TESSIVO_TABLE_PATH),
                   {"--encoding", encoding, "--output", table, "--input", list, "中", "、"});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        const QStringList rows = ParseTableFile(readAll(table));
        QCOMPARE(rows.size(), 6);

        QProcess convert;
        convert.start(QStringLiteral(TESSIVO_CONVERT_PATH),
                      {"--no-footer", "--table", table,
                       QStringLiteral(TESSIVO_SOURCE_DIR "/data/sample.jpg")});
        QVERIFY(convert.waitForFinished(60000));
        QCOMPARE(convert.exitCode(), 0);
        const QString art = QString::fromUtf8(convert.readAllStandardOutput());
        std::set<QChar> allowed = {QLatin1Char('\r'), QLatin1Char('\n')};
        for (const QString& row : rows)
            allowed.insert(row.cbegin(), row.cend());
        std::set<QChar> used;
        for (const QChar c : art) {
            QVERIFY2(allowed.count(c), qPrintable(QStringLiteral("%1 is in no row").arg(c)));
            used.insert(c);
        }
        QVERIFY(used.size() >= 4);
    }
}

void TestTableTool::programExitStatus_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");

    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: tessivo-table";
    QTest::newRow("bad option") << QStringList{"--rows", "x", "a"} << 2 << "";
    QTest::newRow("missing input") << QStringList{"--input", "/nonexistent/rows"} << 1 << "";
    QTest::newRow("not in GBK") << QStringList{"가"} << 1 << "";
}

void TestTableTool::programExitStatus()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QProcess tool;
    tool.start(QStringLiteral(TESSIVO_TABLE_PATH), args);
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), exitCode);
    const QString stdoutText = QString::fromUtf8(tool.readAllStandardOutput());
    QVERIFY(out.isEmpty() ? stdoutText.isEmpty() : stdoutText.contains(out));
    if (exitCode != 0)
        QVERIFY(tool.readAllStandardError().contains("tessivo-table: "));
}

QTEST_MAIN(TestTableTool)
#include "tst_tabletool.moc"
