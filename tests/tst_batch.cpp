#include "cli/Conversion.h"
#include "cli/ConvertCommand.h"
#include "cli/ConvertOptions.h"
#include "loading/PictureDecoder.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>

using namespace tessivo;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runProgram(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(TESSIVO_CONVERT_PATH), args);
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray singleConversion(const QStringList& args)
{
    const ParsedCommandLine parsed = ParseConvertOptions(args);
    return parsed.options ? RunConversion(*parsed.options).out : QByteArray();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void folderOfPictures_data();
    void folderOfPictures();
    void oneFileGoesWhereItIsTold();
    void refusedBeforeAnyWork_data();
    void refusedBeforeAnyWork();
    void filesReplacedWholeOrNotAtAll();
    void jobsShareOneMemoryBudget();

private:
    QTemporaryDir m_dir;
    QStringList m_pictures; // the readable ones
    QString m_unreadable;
};

void TestBatch::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Pictures that differ: circles of several sizes and colours, one of them a JPEG.
    const QList<std::tuple<QString, QColor, int>> pictures = {{"red.png", Qt::red, 100},
                                                              {"dark.jpg", Qt::darkGreen, 160},
                                                              {"grey.bmp", Qt::gray, 60},
                                                              {"blue.png", Qt::blue, 200},
                                                              {"many.dots.png", Qt::black, 30}};
    for (const auto& [name, colour, radius] : pictures) {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setBrush(colour);
        painter.drawEllipse(QPoint(200, 150), radius, radius * 2 / 3);
        painter.end();
        const QString path = m_dir.filePath(name);
        QVERIFY(image.save(path));
        m_pictures.append(path);
    }
    m_unreadable = m_dir.filePath(QStringLiteral("notes.png"));
    QFile text(m_unreadable);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
}

void TestBatch::folderOfPictures_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("jobs");
    QTest::addColumn<QString>("extension");
    QTest::newRow("text, one job") << QStringList() << QStringList{"--jobs", "1"} << "txt";
    QTest::newRow("text, three jobs")
        << QStringList{"--sample-x", "30"} << QStringList{"--jobs=3"} << "txt";
    QTest::newRow("coloured pages, one per processor")
        << QStringList{"--format", "html", "--colour", "--remove-blank-lines"} << QStringList()
        << "html";
    QTest::newRow("terminal, more jobs than pictures")
        << QStringList{"--format", "ansi"} << QStringList{"--jobs", "50"} << "ans";
}

void TestBatch::folderOfPictures()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, jobs);
    QFETCH(QString, extension);
    const QString folder = m_dir.filePath(QStringLiteral("out-") + QTest::currentDataTag());
    QStringList pictures = m_pictures;
    pictures.insert(2, m_unreadable);

    const Run run = runProgram(options + jobs + QStringList{"--output-dir", folder} + pictures);
    // One picture could not be read: status 1, one line naming it; the others are converted.
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(run.err.startsWith(("tessivo-convert: " + m_unreadable + ": ").toUtf8()),
             run.err.constData());
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), m_pictures.size());

    // Each file as a conversion of its picture alone makes it.
    for (const QString& picture : m_pictures) {
        const QString target =
            folder + QLatin1Char('/') + QFileInfo(picture).completeBaseName() + '.' + extension;
        QCOMPARE(readFile(target), singleConversion(options + QStringList{picture}));
    }
}

void TestBatch::oneFileGoesWhereItIsTold()
{
    const QString target = m_dir.filePath(QStringLiteral("one.svg"));
    const Run run = runProgram({"--output", target, "--colour", m_pictures.first()});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.isEmpty());
    const QByteArray svg = readFile(target);
    QVERIFY(svg.startsWith("<?xml"));
    QCOMPARE(svg, singleConversion({"--format", "svg", "--colour", m_pictures.first()}));

    // A PNG needs no display.
    const QString png = m_dir.filePath(QStringLiteral("one.png"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TESSIVO_CONVERT_PATH), {"--output", png, m_pictures.first()});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QImage(png).isNull());
}

void TestBatch::refusedBeforeAnyWork_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("several pictures, no folder")
        << QStringList{"a.png", "b.png"} << "tessivo-convert: 2 pictures need --output-dir\n";
    QTest::newRow("colour of plain text")
        << QStringList{"--colour", "a.png"}
        << "tessivo-convert: --colour is for html, svg, png and ansi, not txt\n";
    QTest::newRow("two pictures of one name")
        << QStringList{"--output-dir", "same", "x/a.png", "y/a.jpg"}
        << "tessivo-convert: two pictures, x/a.png and y/a.jpg, would both be written to "
           "same/a.txt\n";
}

void TestBatch::refusedBeforeAnyWork()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const QString folder = m_dir.filePath(QStringLiteral("refused"));
    QDir().mkpath(folder);
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(TESSIVO_CONVERT_PATH), args);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), error);
    QVERIFY(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void TestBatch::filesReplacedWholeOrNotAtAll()
{
    const QString folder = m_dir.filePath(QStringLiteral("replaced"));
    const QString kept = folder + '/' + QFileInfo(m_pictures.at(0)).completeBaseName() + ".txt";
    QDir().mkpath(folder);
    QFile old(kept);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("older text") > 0);
    old.close();
    QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    const QStringList args = {"--output-dir", folder, m_pictures.at(0), m_pictures.at(1)};

    // Files of at most 4 bytes: every write fails, and leaves nothing behind.
    QProcess limited;
    limited.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4, 4};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    limited.start(QStringLiteral(TESSIVO_CONVERT_PATH), args);
    QVERIFY(limited.waitForFinished(60000));
    QCOMPARE(limited.readAllStandardError().count("cannot write"), 2);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
    QCOMPARE(readFile(kept), "older text");

    // Without the limit, the old file is replaced and keeps its permissions.
    QCOMPARE(runProgram(args).exitCode, 0);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QCOMPARE(readFile(kept), singleConversion({m_pictures.at(0)}));
    QCOMPARE(QFile::permissions(kept),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

// The most memory the process has held since the last reset, in bytes.
static qint64 peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// Six pictures that each decode to 34 MiB, converted by six jobs under a limit of 48 MiB: the
// jobs take turns, rather than holding six pictures at once. (Above 32 MiB, memory the allocator
// is given back goes back to the system at once, so the peak is what was held.)
void TestBatch::jobsShareOneMemoryBudget()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer holds freed memory back on purpose");
#endif
    constexpr qint64 MiB = 1024 * 1024;
    const QString folder = m_dir.filePath(QStringLiteral("budget"));
    QVERIFY(QDir().mkpath(folder));
    QStringList pictures = {folder + "/0.png"};
    {
        QImage large(3000, 3000, QImage::Format_RGB32);
        large.fill(Qt::darkGray);
        QVERIFY(large.save(pictures.first()));
    }
    for (int i = 1; i < 6; ++i) {
        pictures << folder + QStringLiteral("/%1.png").arg(i);
        QVERIFY(QFile::copy(pictures.first(), pictures.last()));
    }
    // Lowered for the rest of this process: the last test.
    LowerPictureMemoryLimit(48 * MiB);
    const ParsedCommandLine parsed =
        ParseConvertOptions(QStringList{"--jobs", "6", "--output-dir", folder} + pictures);
    QVERIFY(parsed.options);

    // The peak starts again from what the process holds now.
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    QVERIFY(reset.open(QIODevice::WriteOnly) && reset.write("5") == 1);
    reset.close();
    const qint64 before = peakMemory();
    const ConversionOutput output = RunConvertCommand(*parsed.options);
    QCOMPARE(output.exitCode, 0);
    const qint64 grown = peakMemory() - before;
    QVERIFY2(grown < 80 * MiB, qPrintable(QString::number(grown / MiB) + " MiB"));
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
