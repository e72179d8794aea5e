#include "engine/CharTable.h"
#include "engine/Gbk.h"
#include "engine/TableFile.h"
#include "engine/TextCells.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;

class TestCharTable : public QObject {
    Q_OBJECT

private slots:
    void defaultTableHoldsTheAsciiRamp();
    void strideAndActiveTable_data();
    void strideAndActiveTable();
    void startupTableAtContrast750();
    void lowContrastEndsWithTwoSpaces();
    void strideLargerThanTable();
    void startupCopyAppendsSpace();
    void parse_data();
    void parse();
    void encodedTableReadsBack_data();
    void encodedTableReadsBack();
    void encodingRefusesRows_data();
    void encodingRefusesRows();
    void readFailures_data();
    void readFailures();
    void importAsksOnlyWhenThereIsAFile();
    void importDeclinedOrFailedKeepsTable();
    void helpTemplateImports();
    void firstFolderWithATable_data();
    void firstFolderWithATable();
    void gbk_data();
    void gbk();
};

void TestCharTable::defaultTableHoldsTheAsciiRamp()
{
    const QList<int> codes = {
        0x4D, 0x40, 0x25, 0x23, 0x26, 0x4E, 0x57, 0x48, 0x4B, 0x45, 0x52, 0x42, 0x24, 0x6B,
        0x46, 0x58, 0x47, 0x66, 0x50, 0x44, 0x5A, 0x51, 0x68, 0x39, 0x73, 0x67, 0x62, 0x35,
        0x59, 0x54, 0x49, 0x41, 0x6D, 0x36, 0x34, 0x55, 0x53, 0x70, 0x4C, 0x38, 0x37, 0x56,
        0x4F, 0x6E, 0x77, 0x6C, 0x65, 0x43, 0x61, 0x2A, 0x33, 0x31, 0x7A, 0x78, 0x79, 0x75,
        0x74, 0x30, 0x2B, 0x7C, 0x3F, 0x6F, 0x76, 0x72, 0x64, 0x71, 0x32, 0x4A, 0x6A, 0x69,
        0x5D, 0x5B, 0x7D, 0x7B, 0x21, 0x3D, 0x63, 0x29, 0x28, 0x5C, 0x2F, 0x3C, 0x3E, 0x7E,
        0x3B, 0x2D, 0x22, 0x5E, 0x2C, 0x27, 0x3A, 0x2E, 0x60, 0x5F, 0x20};
    const QStringList& table = DefaultCharTable();
    QCOMPARE(table.size(), 95);
    for (int i = 0; i < 95; ++i) {
        QCOMPARE(table[i].size(), 1);
        QCOMPARE(table[i].at(0).unicode(), char16_t(codes[i]));
    }
}

void TestCharTable::strideAndActiveTable_data()
{
    QTest::addColumn<int>("contrast");
    QTest::addColumn<int>("stride");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("lastTaken");

    const struct {
        int low, high, k, rows, lastTaken;
    } bands[] = {
        {1, 50, 0, 96, 94},      {51, 149, 1, 96, 94},    {150, 250, 2, 49, 94},
        {251, 349, 3, 33, 93},   {350, 450, 4, 25, 92},   {451, 549, 5, 20, 90},
        {550, 650, 6, 17, 90},   {651, 749, 7, 15, 91},   {750, 850, 8, 13, 88},
        {851, 949, 9, 12, 90},   {950, 1050, 10, 11, 90}, {1051, 1149, 11, 10, 88},
        {1150, 1250, 12, 9, 84}, {1251, 1349, 13, 9, 91}, {1350, 1450, 14, 8, 84},
        {1451, 1500, 15, 8, 90},
    };
    for (const auto& b : bands) {
        for (int contrast : {b.low, b.high}) {
            QTest::addRow("contrast %d", contrast) << contrast << b.k << b.rows << b.lastTaken;
        }
    }
}

void TestCharTable::strideAndActiveTable()
{
    QFETCH(int, contrast);
    QFETCH(int, stride);
    QFETCH(int, rows);
    QFETCH(int, lastTaken);

    QCOMPARE(ContrastStride(contrast), stride);
    const QStringList active = RebuildActiveTable(DefaultCharTable(), contrast);
    QCOMPARE(active.size(), rows);
    QCOMPARE(active.first(), QStringLiteral("M"));
    QCOMPARE(active.last(), QStringLiteral(" "));
    QCOMPARE(active[rows - 2], DefaultCharTable()[lastTaken]);
}

void TestCharTable::startupTableAtContrast750()
{
    CharTables tables;
    tables.copyLoadedToActive();
    tables.rebuildActive(750);
    QCOMPARE(tables.active(),
             QStringList({"M", "K", "G", "s", "m", "7", "a", "t", "d", "}", "/", ",", " "}));
}

void TestCharTable::lowContrastEndsWithTwoSpaces()
{
    for (int contrast : {1, 50, 51, 149}) {
        const QStringList active = RebuildActiveTable(DefaultCharTable(), contrast);
        QCOMPARE(active.size(), 96);
        QCOMPARE(active.mid(94), QStringList({" ", " "}));
    }
}

void TestCharTable::strideLargerThanTable()
{
    QCOMPARE(RebuildActiveTable({"a", "b", "c"}, 300), QStringList({"a", " "}));
    QCOMPARE(RebuildActiveTable({}, 750), QStringList({" "}));
}

void TestCharTable::startupCopyAppendsSpace()
{
    CharTables tables;
    tables.setLoaded({"x", " "});
    tables.copyLoadedToActive();
    QCOMPARE(tables.active(), QStringList({"x", " ", " "}));
    QCOMPARE(tables.loaded(), QStringList({"x", " "}));
}

void TestCharTable::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b", " "};
    QTest::newRow("CR alone") << QByteArray("a\rb") << QStringList{"a", "b", " "};
    QTest::newRow("LF is a character") << QByteArray("a\nb\nc\n") << QStringList{"a\nb\nc\n", " "};
    QTest::newRow("CR then CR LF") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b", " "};
    QTest::newRow("final line unterminated")
        << QByteArray("a\r\nbc") << QStringList{"a", "bc", " "};
    QTest::newRow("empty file") << QByteArray() << QStringList{" "};
    QTest::newRow("only CR") << QByteArray("\r\r\r") << QStringList{"", "", "", " "};
    QTest::newRow("empty rows stay") << QByteArray("a\r\n\r\nb") << QStringList{"a", "", "b", " "};
    QTest::newRow("last line a space") << QByteArray("x\r\n \r\n") << QStringList{"x", " ", " "};
    QTest::newRow("spaces kept") << QByteArray(" a \r\n") << QStringList{" a ", " "};
    QTest::newRow("comment anywhere")
        << QByteArray("###head\r\nq\r\na###b\r\nr") << QStringList{"q", "r", " "};
    QTest::newRow("split number signs") << QByteArray("## #\r\n") << QStringList{"## #", " "};
    QTest::newRow("only comments") << QByteArray("###\r\n###x") << QStringList{" "};
    QTest::newRow("GBK") << QByteArray("\xD6\xD0\r\n\xCE\xC4\xD7\xD6\r\n")
                         << QStringList{"中", "文字", "  "}; // the blank row as wide as 中
    QTest::newRow("NUL byte") << QByteArray("a\0b\r\n", 5)
                              << QStringList{QString("a") + QChar(0) + "b", " "};

    // A byte-order mark names the encoding; the line and comment rules stay the same.
    QTest::newRow("UTF-8 mark") << QByteArray(
                                       "\xEF\xBB\xBF###c\r\n\xE4\xB8\xAD\r\na\nb\r\xE2\x82\xAC")
                                << QStringList{"中", "a\nb", "€", " "};
    QTest::newRow("UTF-8 mark only") << QByteArray("\xEF\xBB\xBF") << QStringList{" "};
    QTest::newRow("UTF-16 LE mark")
        << QByteArray("\xFF\xFE#\0#\0#\0\r\0\n\0\x2D\x4E\r\0\n\0x\0\n\0y\0\r\0", 26)
        << QStringList{"中", "x\ny", " "};
    QTest::newRow("UTF-16 BE mark")
        << QByteArray("\xFE\xFF\x4E\x2D\0\r\0\n\xD8\x3D\xDE\x00\0\r\0a", 16)
        << QStringList{"中", "😀", "a", "  "};
    // Without a mark the same bytes are GBK, as they always were.
    QTest::newRow("UTF-8 without mark is GBK")
        << QByteArray("\xE6\x96\x87\xE5\xAD\x97\r\n") << QStringList{"鏂囧瓧", "  "};
    QTest::newRow("mark not at the start")
        << QByteArray("a\r\n\xEF\xBB\xBF\xBF") << QStringList{"a", "锘靠", " "};
}

void TestCharTable::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, rows);
    QCOMPARE(ParseTableFile(bytes), rows);
}

void TestCharTable::encodedTableReadsBack_data()
{
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QStringList>("rows");

    const QStringList ascii = {"@@", "MM", "%=", "::", ".."};
    const QStringList cjk = {"鬱", "國", "中", "文", "一", "、", "　"};
    QTest::newRow("GBK, ASCII") << int(TableEncoding::Gbk) << ascii;
    QTest::newRow("GBK, CJK") << int(TableEncoding::Gbk) << cjk;
    QTest::newRow("UTF-8, ASCII") << int(TableEncoding::Utf8) << ascii;
    QTest::newRow("UTF-8, CJK") << int(TableEncoding::Utf8) << cjk;
    QTest::newRow("UTF-8, beyond GBK") << int(TableEncoding::Utf8) << QStringList{"😀", "█", "ㄱ"};
    QTest::newRow("lone LF and number signs")
        << int(TableEncoding::Gbk) << QStringList{"#", "##", "# #"};
}

void TestCharTable::encodedTableReadsBack()
{
    QFETCH(int, encoding);
    QFETCH(QStringList, rows);

    const QStringList comments = {"made by a test", "two\r\nlines", "###"};
    const EncodedTable table = EncodeTableFile(comments, rows, TableEncoding(encoding));
    QCOMPARE(table.problem, EncodedTable::Problem::None);
    QVERIFY(table.bytes.startsWith(TableEncoding(encoding) == TableEncoding::Utf8
                                       ? QByteArray("\xEF\xBB\xBF###")
                                       : QByteArray("###")));
    QVERIFY(table.bytes.endsWith("\r\n"));
    QCOMPARE(table.bytes.count("\r\n"), comments.size() + rows.size());
    QCOMPARE(table.bytes.count('\n'), comments.size() + rows.size());
    QCOMPARE(ParseTableFile(table.bytes), rows + QStringList{BlankRowFor(rows)});
}

void TestCharTable::encodingRefusesRows_data()
{
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("problem");
    QTest::addColumn<QString>("row");

    using P = EncodedTable::Problem;
    const int gbk = int(TableEncoding::Gbk);
    const int utf8 = int(TableEncoding::Utf8);
    QTest::newRow("emoji in GBK") << gbk << QStringList{"a", "😀", "█"} << int(P::NotInGbk) << "😀";
    QTest::newRow("hangul in GBK") << gbk << QStringList{"中", "a가"} << int(P::NotInGbk) << "a가";
    QTest::newRow("empty row") << utf8 << QStringList{"a", ""} << int(P::Empty) << "";
    QTest::newRow("CR") << utf8 << QStringList{"a\rb"} << int(P::LineEnd) << "a\rb";
    QTest::newRow("LF") << gbk << QStringList{"a\nb"} << int(P::LineEnd) << "a\nb";
    QTest::newRow("comment mark") << gbk << QStringList{"x###"} << int(P::CommentMark) << "x###";
}

void TestCharTable::encodingRefusesRows()
{
    QFETCH(int, encoding);
    QFETCH(QStringList, rows);
    QFETCH(int, problem);
    QFETCH(QString, row);

    const EncodedTable table = EncodeTableFile({"c"}, rows, TableEncoding(encoding));
    QCOMPARE(int(table.problem), problem);
    QCOMPARE(table.row, row);
    QVERIFY(table.bytes.isEmpty());
}

void TestCharTable::readFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");

    QTest::newRow("missing") << "missing" << int(TableFileResult::Status::CannotOpen);
    QTest::newRow("directory") << "directory" << int(TableFileResult::Status::CannotOpen);
    QTest::newRow("too large") << "large" << int(TableFileResult::Status::TooLarge);
    QTest::newRow("limit exactly") << "limit" << int(TableFileResult::Status::Read);
}

void TestCharTable::readFailures()
{
    QFETCH(QString, kind);
    QFETCH(int, status);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zif.zfh"));
    if (kind == QLatin1String("directory")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("zif.zfh")));
    } else if (kind != QLatin1String("missing")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const qint64 size = MaxTableFileBytes + (kind == QLatin1String("large") ? 1 : 0);
        file.write(QByteArray(size, 'x'));
    }
    const TableFileResult result = ReadTableFile(path);
    QCOMPARE(int(result.status), status);
    if (result.status == TableFileResult::Status::Read)
        QCOMPARE(result.rows.first().size(), MaxTableFileBytes);
    else
        QVERIFY(result.rows.isEmpty());
}

void TestCharTable::importAsksOnlyWhenThereIsAFile()
{
    QTemporaryDir dir;
    CharTables tables;
    int asked = 0;
    const auto agree = [&] {
        ++asked;
        return true;
    };
    QCOMPARE(LoadCustomTable(tables, dir.path(), agree), ImportOutcome::NoFile);
    QCOMPARE(asked, 0);

    // Only the exact name counts.
    QFile other(dir.filePath(QStringLiteral("ZIF.ZFH")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("q\r\n");
    other.close();
    QCOMPARE(LoadCustomTable(tables, dir.path(), agree), ImportOutcome::NoFile);
    QCOMPARE(asked, 0);

    QFile file(dir.filePath(QStringLiteral("zif.zfh")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("a\r\nb\r\n");
    file.close();
    QCOMPARE(LoadCustomTable(tables, dir.path(), agree), ImportOutcome::Imported);
    QCOMPARE(asked, 1);
    QCOMPARE(tables.loaded(), QStringList({"a", "b", " "}));
}

void TestCharTable::importDeclinedOrFailedKeepsTable()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("zif.zfh")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("a\r\n");
    file.close();

    CharTables tables;
    QCOMPARE(LoadCustomTable(tables, dir.path(), [] { return false; }), ImportOutcome::Declined);
    QCOMPARE(tables.loaded(), DefaultCharTable());

    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(MaxTableFileBytes + 10, 'a'));
    file.close();
    QCOMPARE(LoadCustomTable(tables, dir.path(), [] { return true; }), ImportOutcome::Failed);
    QCOMPARE(tables.loaded(), DefaultCharTable());

    // The file disappears between the look and the read: as if it had never been there.
    QCOMPARE(LoadCustomTable(tables, dir.path(),
                             [&] {
                                 file.remove();
                                 return true;
                             }),
             ImportOutcome::NoFile);
    QCOMPARE(tables.loaded(), DefaultCharTable());
}

void TestCharTable::helpTemplateImports()
{
    const QString text = QStringLiteral("###Tessivo-字符数据表\r\n"
                                        "###(如下这样排下去，首行为深色，末行为浅色)\r\n"
                                        "###(一行一字符或多字符，但每行字符数需相等)\r\n"
                                        "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n \r\n");
    QStringEncoder toGbk("GBK");
    QVERIFY(toGbk.isValid());
    const QByteArray gbk = toGbk.encode(text);
    QCOMPARE(ParseTableFile(gbk), QStringList({"a", "b", "c", "d", "e", "f", "g", " ", " "}));
}

void TestCharTable::firstFolderWithATable_data()
{
    // What each folder holds: "table", "" (nothing), "directory" (a folder named zif.zfh),
    // "empty path" (the list names no folder; the working folder holds a table).
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<int>("imported");

    QTest::newRow("second") << QStringList{"", "table", ""} << 1;
    QTest::newRow("third") << QStringList{"", "", "table"} << 2;
    QTest::newRow("first wins") << QStringList{"table", "table", "table"} << 0;
    QTest::newRow("second before third") << QStringList{"", "table", "table"} << 1;
    QTest::newRow("none") << QStringList{"", "", ""} << -1;
    QTest::newRow("a folder of that name") << QStringList{"directory", "table", ""} << 1;
    QTest::newRow("empty path is not the working folder")
        << QStringList{"empty path", "", "table"} << 2;
}

void TestCharTable::firstFolderWithATable()
{
    QFETCH(QStringList, folders);
    QFETCH(int, imported);

    QTemporaryDir dir;
    const QString folderBefore = QDir::currentPath();
    QStringList paths;
    for (int i = 0; i < folders.size(); ++i) {
        const QString path = dir.filePath(QString::number(i));
        QVERIFY(QDir().mkpath(path));
        const QString table = QDir(path).filePath(QStringLiteral("zif.zfh"));
        if (folders[i] == QLatin1String("table")) {
            QFile file(table);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::number(i) + "\r\n");
        } else if (folders[i] == QLatin1String("directory")) {
            QVERIFY(QDir().mkpath(table));
        } else if (folders[i] == QLatin1String("empty path")) {
            QFile file(table);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("working\r\n");
            QVERIFY(QDir::setCurrent(path));
        }
        paths << (folders[i] == QLatin1String("empty path") ? QString() : path);
    }

    CharTables tables;
    int asked = 0;
    const ImportOutcome outcome = LoadCustomTable(tables, paths, [&] {
        ++asked;
        return true;
    });
    QDir::setCurrent(folderBefore);
    if (imported < 0) {
        QCOMPARE(outcome, ImportOutcome::NoFile);
        QCOMPARE(asked, 0);
        QCOMPARE(tables.loaded(), DefaultCharTable());
        return;
    }
    QCOMPARE(outcome, ImportOutcome::Imported);
    QCOMPARE(asked, 1);
    QCOMPARE(tables.loaded(), QStringList({QString::number(imported), " "}));
}

void TestCharTable::gbk_data()
{
    // text in GBK is bytes when GBK holds it; the bytes read back as read.
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("holds");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("read");

    QTest::newRow("ASCII") << "a~\x7F" << true << QByteArray("a~\x7F") << "a~\x7F";
    QTest::newRow("two-byte") << "中　α" << true << QByteArray("\xD6\xD0\xA1\xA1\xA6\xC1")
                              << "中　α";
    QTest::newRow("Hangul") << "a가" << false << QByteArray() << QString();
    QTest::newRow("emoji, a surrogate pair") << "😀" << false << QByteArray() << QString();
    QTest::newRow("high surrogate alone")
        << QString(QChar(0xD83D)) + "a" << false << QByteArray() << QString();
    QTest::newRow("low surrogate first")
        << QString(QChar(0xDE00)) + QChar(0xD83D) << false << QByteArray() << QString();
    // Bytes that are no GBK character: read as the codec reads them, as table files always were.
    QTest::newRow("byte 0xFF") << "a\uF8F5" << true << QByteArray("a\xFF") << "a\uF8F5";
    QTest::newRow("lead byte before ASCII")
        << "\uFFFD0" << false << QByteArray("\x81\x30") << "\uFFFD0";
    QTest::newRow("lead byte at the end, dropped")
        << QString() << true << QByteArray("a\x81") << "a";
}

void TestCharTable::gbk()
{
    QFETCH(QString, text);
    QFETCH(bool, holds);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, read);

    QCOMPARE(GbkHolds(text), holds);
    int sum = 0;
    bool each = true;
    for (const uint c : text.toUcs4()) {
        sum += GbkBytes(char32_t(c));
        each = each && GbkHolds(char32_t(c));
    }
    QCOMPARE(each, holds);
    if (!bytes.isEmpty())
        QCOMPARE(DecodeGbk(bytes), read);
    if (holds && !text.isEmpty()) {
        QCOMPARE(EncodeGbk(text), bytes);
        QCOMPARE(sum, bytes.size());
    }
    // Written anyway, a character GBK cannot hold does not come back.
    if (!holds)
        QVERIFY(DecodeGbk(EncodeGbk(text)) != text);
}

QTEST_GUILESS_MAIN(TestCharTable)
#include "tst_chartable.moc"
