// What the command-line tools do to the files they write, under conditions that lose data when
// handled carelessly: a full disk, devices and pipes, outputs that are inputs, signals, odd names.
#include "GifWriter.h"
#include "TestProcess.h"
#include "engine/OutputFile.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a tool; limitBytes > 0 caps the size of every file it writes (RLIMIT_FSIZE), as a full
// disk would stop it. standardOutput, when given, is the file its standard output goes to;
// "closed", none (as a shell's >&- leaves it).
Run runTool(const char* program, const QStringList& args, rlim_t limitBytes = 0,
            const QString& standardOutput = {})
{
    QProcess process;
    const bool closed = standardOutput == QLatin1String("closed");
    process.setChildProcessModifier([limitBytes, closed] {
        if (limitBytes > 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{limitBytes, limitBytes};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (closed)
            ::close(STDOUT_FILENO);
    });
    if (!standardOutput.isEmpty() && !closed)
        process.setStandardOutputFile(standardOutput);
    process.start(QString::fromUtf8(program), args);
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

Run convert(const QStringList& args, rlim_t limitBytes = 0, const QString& standardOutput = {})
{
    return runTool(TESSIVO_CONVERT_PATH, args, limitBytes, standardOutput);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

mode_t typeOf(const QString& path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

QStringList partialFiles(const QString& folder)
{
    return QDir(folder).entryList({"*.part"}, QDir::Files | QDir::Hidden);
}

} // namespace

class TestOutputs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fullDiskKeepsTheOldFile_data();
    void fullDiskKeepsTheOldFile();
    void devicesAndPipesStayWhatTheyAre();
    void standardOutputErrorsAreReported_data();
    void standardOutputErrorsAreReported();
    void readOnlyFileSystem();
    void outputsNeverReplaceTheirPictures_data();
    void outputsNeverReplaceTheirPictures();
    void existingFilesFollowOneRule();
    void interruptedBatchLeavesNoPartialFile();
    void namesAreTheirBytes();
    void noNotesFromQt();
    void openFilesAreWrittenWhereTheyAre_data();
    void openFilesAreWrittenWhereTheyAre();
    void anotherProcesssOpenFileIsAddedTo();
    void danglingLinksGetTheirFile_data();
    void danglingLinksGetTheirFile();
    void longestNamesAreWritten_data();
    void longestNamesAreWritten();
    void waitsForTheDiskWhereItMust_data();
    void waitsForTheDiskWhereItMust();
    void interruptedPlayRestoresTheTerminal_data();
    void interruptedPlayRestoresTheTerminal();
    void staleErrnoIsNoFailure_data();
    void staleErrnoIsNoFailure();

private:
    // Runs one of the tools in folder; it must succeed and write its art (or table) to written,
    // leaving no unfinished file beside it.
    void writesOne(const QByteArray& program, const QStringList& args, const QString& folder,
                   const QString& written);
    QString picture(const QString& name, QColor colour = Qt::darkBlue);
    QTemporaryDir m_dir;
    QString m_picture;
    QByteArray m_art; // m_picture's art as text
};

QString TestOutputs::picture(const QString& name, QColor colour)
{
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = m_dir.filePath(name);
    image.save(path, "PNG");
    return path;
}

void TestOutputs::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_picture = picture(QStringLiteral("picture.png"));
    const Run run = convert({m_picture});
    QCOMPARE(run.exitCode, 0);
    m_art = run.out;
}

void TestOutputs::fullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QStringList>("args"); // OUT stands for the output's name
    // Small enough to sit in a write buffer until the file is closed, where a failed flush went
    // unnoticed, and large enough to fail in the first write.
    QTest::newRow("convert --output, small")
        << QByteArray(TESSIVO_CONVERT_PATH) << QStringList{"--output", "OUT", m_picture};
    QTest::newRow("convert --output, svg")
        << QByteArray(TESSIVO_CONVERT_PATH)
        << QStringList{"--format", "svg", "--output", "OUT", m_picture};
    QTest::newRow("table --output")
        << QByteArray(TESSIVO_TABLE_PATH) << QStringList{"--output", "OUT", "M", "#", "."};
}

void TestOutputs::fullDiskKeepsTheOldFile()
{
    QFETCH(QByteArray, program);
    QFETCH(QStringList, args);
    const QString folder = m_dir.filePath(QStringLiteral("full-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    const QString output = folder + QStringLiteral("/kept.txt");
    const QByteArray old("the old file, which must survive");
    writeFile(output, old);
    args.replace(args.indexOf("OUT"), output);

    const Run run = runTool(program.constData(), args, 16);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(": File too large\n"), run.err.constData());
    QCOMPARE(readFile(output), old);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.txt"});
}

void TestOutputs::devicesAndPipesStayWhatTheyAre()
{
    // A FIFO: the art goes to its reader.
    const QString fifo = m_dir.filePath(QStringLiteral("art.fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QProcess reader;
    reader.start(QStringLiteral("cat"), {fifo});
    QVERIFY(reader.waitForStarted());
    QCOMPARE(convert({"--output", fifo, m_picture}).exitCode, 0);
    QVERIFY(reader.waitForFinished());
    QCOMPARE(reader.readAllStandardOutput(), m_art);
    QCOMPARE(typeOf(fifo), mode_t(S_IFIFO));

    // A full device fails with its reason, and stays a device.
    const Run full = convert({"--output", "/dev/full", m_picture});
    QCOMPARE(full.exitCode, 1);
    QCOMPARE(full.err, "tessivo-convert: cannot write /dev/full: No space left on device\n");
    QCOMPARE(typeOf("/dev/full"), mode_t(S_IFCHR));

    // A device node of the user's: a null device made where the test may make one.
    const QString device = m_dir.filePath(QStringLiteral("null"));
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        QSKIP("making a device node needs root");
    QCOMPARE(convert({"--output", device, m_picture}).exitCode, 0);
    QCOMPARE(typeOf(device), mode_t(S_IFCHR));
}

void TestOutputs::standardOutputErrorsAreReported_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("output"); // where standard output goes
    QTest::addColumn<QByteArray>("reason");
    for (const auto& [output, reason] : {std::pair("/dev/full", "No space left on device"),
                                         std::pair("closed", "Bad file descriptor")}) {
        QTest::addRow("convert, %s", output)
            << QByteArray(TESSIVO_CONVERT_PATH) << QStringList{m_picture} << output
            << QByteArray(reason);
        QTest::addRow("table, %s", output) << QByteArray(TESSIVO_TABLE_PATH)
                                           << QStringList{"M", "."} << output << QByteArray(reason);
    }
}

void TestOutputs::standardOutputErrorsAreReported()
{
    QFETCH(QByteArray, program);
    QFETCH(QStringList, args);
    QFETCH(QString, output);
    QFETCH(QByteArray, reason);
    const Run run = runTool(program.constData(), args, 0, output);
    QCOMPARE(run.exitCode, 1);
    const QByteArray name = QFileInfo(QString::fromUtf8(program)).fileName().toUtf8();
    QVERIFY2(run.err.endsWith(name + ": cannot write to standard output: " + reason + "\n"),
             run.err.constData());
}

// A file on a file system mounted read-only (here a fresh one, in a namespace of the test's
// own) is said to be on one, not to be a read-only file.
void TestOutputs::readOnlyFileSystem()
{
    const QString folder = m_dir.filePath(QStringLiteral("mounted"));
    QVERIFY(QDir().mkpath(folder));
    QProcess process;
    process.start(QStringLiteral("unshare"),
                  {"-rm", "sh", "-c",
                   "mount -t tmpfs none \"$1\" && echo old > \"$1/art.txt\" && "
                   "mount -o remount,ro \"$1\" && exec \"$2\" --output \"$1/art.txt\" \"$3\"",
                   "sh", folder, TESSIVO_CONVERT_PATH, m_picture});
    if (!process.waitForFinished(60000) || process.exitCode() > 1)
        QSKIP("a file system of the test's own cannot be mounted here");
    QCOMPARE(process.readAllStandardError(), "tessivo-convert: cannot write " +
                                                 QFile::encodeName(folder) +
                                                 "/art.txt: Read-only file system\n");
}

void TestOutputs::outputsNeverReplaceTheirPictures_data()
{
    QTest::addColumn<QStringList>("args"); // relative to the test's folder of its own
    QTest::addColumn<QString>("refused");  // the output named in the message
    QTest::addColumn<QString>("over");     // and what it would be written over
    QTest::newRow("folder of its pictures")
        << QStringList{"--format", "png", "--output-dir", ".", "a.png", "b.png"} << "./a.png"
        << "the picture a.png";
    QTest::newRow("--output names the picture")
        << QStringList{"--output", "a.png", "a.png"} << "a.png"
        << "the picture a.png";
    QTest::newRow("through a link") << QStringList{"--output", "link.png", "a.png"} << "link.png"
                                    << "the picture a.png";
    QTest::newRow("a hard link of the picture")
        << QStringList{"--format", "png", "--output-dir", "out", "a.png", "b.png"} << "out/b.png"
        << "the picture b.png";
    QTest::newRow("the table file in the folder")
        << QStringList{"--table", "t.txt", "--output-dir", ".", "t.png"} << "./t.txt"
        << "the table file t.txt";
    QTest::newRow("--output names the table file")
        << QStringList{"--table", "t.txt", "--output", "t.txt", "a.png"} << "t.txt"
        << "the table file t.txt";
}

void TestOutputs::outputsNeverReplaceTheirPictures()
{
    QFETCH(QStringList, args);
    QFETCH(QString, refused);
    QFETCH(QString, over);
    const QString folder = m_dir.filePath(QStringLiteral("own-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder + "/out"));
    for (const char* name : {"a.png", "b.png", "t.png"})
        QVERIFY(QFile::copy(m_picture, folder + '/' + QLatin1String(name)));
    QVERIFY(QFile::link("a.png", folder + "/link.png"));
    QVERIFY(::link(QFile::encodeName(folder + "/b.png").constData(),
                   QFile::encodeName(folder + "/out/b.png").constData()) == 0);
    writeFile(folder + "/t.txt", "M\r\n.\r\n");

    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(TESSIVO_CONVERT_PATH), args);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             "tessivo-convert: " + refused + " would be written over " + over + "\n");
    for (const char* name : {"a.png", "b.png", "out/b.png"})
        QCOMPARE(readFile(folder + '/' + QLatin1String(name)), readFile(m_picture));
    QCOMPARE(readFile(folder + "/t.txt"), "M\r\n.\r\n");
    QCOMPARE(QDir(folder + "/out").entryList(QDir::Files).size(), 1);
}

void TestOutputs::existingFilesFollowOneRule()
{
    const QString folder = m_dir.filePath(QStringLiteral("existing"));
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere.txt"));
    QVERIFY(QDir().mkpath(folder));
    const QStringList pictures = {picture("one.png", Qt::red), picture("two.png", Qt::green),
                                  picture("three.png", Qt::blue)};
    // one.txt is read-only; two.txt is a link to a file outside the folder.
    writeFile(folder + "/one.txt", "read-only");
    QVERIFY(QFile::setPermissions(folder + "/one.txt", QFile::ReadOwner | QFile::ReadOther));
    writeFile(elsewhere, "old");
    QVERIFY(QFile::link(elsewhere, folder + "/two.txt"));

    const QStringList batch = QStringList{"--jobs", "1", "--output-dir", folder} + pictures;
    Run run = convert(batch);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, "tessivo-convert: " + pictures[0] + ": cannot write " + folder +
                          "/one.txt: the file is read-only\n");
    QCOMPARE(readFile(folder + "/one.txt"), "read-only");
    // A link stays a link; the file it leads to takes the art, as --output does.
    QCOMPARE(typeOf(folder + "/two.txt"), mode_t(S_IFLNK));
    QCOMPARE(readFile(elsewhere), convert({pictures[1]}).out);
    QCOMPARE(readFile(folder + "/three.txt"), convert({pictures[2]}).out);
    const Run single = convert({"--output", folder + "/one.txt", pictures[0]});
    QCOMPARE(single.err,
             "tessivo-convert: cannot write " + folder + "/one.txt: the file is read-only\n");

    // --no-clobber keeps every file that exists, and writes the others.
    QVERIFY(QFile::remove(folder + "/three.txt"));
    writeFile(elsewhere, "old");
    run = convert(QStringList{"--no-clobber"} + batch);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err.count("the file exists\n"), 2);
    QCOMPARE(readFile(elsewhere), "old");
    QCOMPARE(readFile(folder + "/three.txt"), convert({pictures[2]}).out);
    QVERIFY(QFile::setPermissions(folder + "/one.txt", QFile::ReadOwner | QFile::WriteOwner));
}

void TestOutputs::interruptedBatchLeavesNoPartialFile()
{
    // The second picture is a FIFO that nothing writes: the batch waits there, its output
    // already begun, until the signal comes.
    const QString folder = m_dir.filePath(QStringLiteral("interrupted"));
    QVERIFY(QDir().mkpath(folder));
    const QString fifo = m_dir.filePath(QStringLiteral("waits.png"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString last = picture("last.png");
    for (const auto& [signal, status] : {std::pair(SIGTERM, 143), std::pair(SIGINT, 130)}) {
        QProcess process;
        process.start(QStringLiteral(TESSIVO_CONVERT_PATH),
                      {"--jobs", "1", "--output-dir", folder, m_picture, fifo, last});
        // The first picture's file is in place, and the second's begun.
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(folder + "/picture.txt") && partialFiles(folder).size() == 1, 60000);
        QCOMPARE(readFile(folder + "/picture.txt"), m_art);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        QCOMPARE(partialFiles(folder), QStringList());
        QVERIFY(!QFile::exists(folder + "/last.txt"));
        QVERIFY(QFile::remove(folder + "/picture.txt"));
    }
}

void TestOutputs::namesAreTheirBytes()
{
    // A name that is not UTF-8 reads, and its art is written under the same bytes.
    const QByteArray folder = QFile::encodeName(m_dir.filePath(QStringLiteral("names")));
    QVERIFY(QDir().mkpath(QString::fromUtf8(folder)));
    const QByteArray name = folder + "/bad\xff.png";
    {
        const QByteArray bytes = readFile(m_picture);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, bytes.constData(), std::size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);
    }
    QProcess process;
    process.setWorkingDirectory(QString::fromUtf8(folder));
    // QProcess passes arguments as UTF-8; a shell passes the bytes on as they are.
    process.start(QStringLiteral("/bin/sh"),
                  {"-c",
                   QStringLiteral("exec \"$0\" --output-dir out \"$(printf 'bad\\377.png')\" "
                                  "\"$(printf 'new\\nline.png')\""),
                   QStringLiteral(TESSIVO_CONVERT_PATH)});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    // The missing picture with a line break in its name: one line, the break escaped.
    QCOMPARE(process.readAllStandardError(),
             "tessivo-convert: new\\x0aline.png: No such file or directory\n");
    struct stat status {};
    QVERIFY(::stat((folder + "/out/bad\xff.txt").constData(), &status) == 0);
    QCOMPARE(qint64(status.st_size), qint64(m_art.size()));
    // Qt cannot name them to remove them with the test's folder.
    ::unlink((folder + "/out/bad\xff.txt").constData());
    ::unlink(name.constData());
}

// Qt's note about a missing runtime folder, which neither tool uses, stays off standard error.
void TestOutputs::noNotesFromQt()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const QString png = m_dir.filePath(QStringLiteral("quiet.png"));
    for (const auto& [program, args] :
         {std::pair(TESSIVO_TABLE_PATH, QStringList{"--min-step", "0", "M"}),
          std::pair(TESSIVO_CONVERT_PATH, QStringList{"--output", png, m_picture})}) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QString::fromUtf8(program), args);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardError(), QByteArray());
    }
}

void TestOutputs::openFilesAreWrittenWhereTheyAre_data()
{
    // A shell command, run in a folder of its own with $CONVERT, $TABLE and $PICTURE set; log
    // holds OLD before it runs.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("before"); // what log holds before the tool's output
    QTest::addColumn<QByteArray>("after");  // and after it
    QTest::newRow("convert, /dev/stdout added to a file")
        << R"("$CONVERT" --output /dev/stdout "$PICTURE" >> log)" << QByteArray("OLD\n")
        << QByteArray();
    QTest::newRow("convert, /proc/self/fd/1 between two lines")
        << R"({ echo NEW; "$CONVERT" --output /proc/self/fd/1 "$PICTURE"; echo END; } > log)"
        << QByteArray("NEW\n") << QByteArray("END\n");
    QTest::newRow("convert, /dev/fd/3") << R"("$CONVERT" --output /dev/fd/3 "$PICTURE" 3>> log)"
                                        << QByteArray("OLD\n") << QByteArray();
    QTest::newRow("convert, a link to /dev/stdout")
        << R"(ln -s /dev/stdout out && "$CONVERT" --output out "$PICTURE" >> log)"
        << QByteArray("OLD\n") << QByteArray();
    QTest::newRow("table, /dev/stdout")
        << R"("$TABLE" --output /dev/stdout M . >> log)" << QByteArray("OLD\n") << QByteArray();
}

// A name that stands for an open file of the tool (its standard output through /dev/stdout) is
// written where that file is, after what was written there before: never a new file renamed
// over it, which would lose what the shell wrote around the tool's output.
void TestOutputs::openFilesAreWrittenWhereTheyAre()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QString folder = m_dir.filePath(QStringLiteral("open-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + "/log", "OLD\n");
    struct stat old {};
    QVERIFY(::stat(QFile::encodeName(folder + "/log").constData(), &old) == 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CONVERT", TESSIVO_CONVERT_PATH);
    environment.insert("TABLE", TESSIVO_TABLE_PATH);
    environment.insert("PICTURE", m_picture);
    QProcess shell;
    shell.setProcessEnvironment(environment);
    shell.setWorkingDirectory(folder);
    shell.start(QStringLiteral("/bin/sh"), {"-c", command});
    QVERIFY(shell.waitForFinished(60000));
    const QByteArray err = shell.readAllStandardError();
    QVERIFY2(shell.exitCode() == 0 && !err.contains("cannot"), err.constData());

    const QByteArray log = readFile(folder + "/log");
    QVERIFY2(log.startsWith(before) && log.endsWith(after), log.left(40).constData());
    const QByteArray output = log.mid(before.size(), log.size() - before.size() - after.size());
    if (command.contains("$CONVERT"))
        QCOMPARE(output, m_art);
    else
        QVERIFY2(output.startsWith("###Tessivo character table"), output.constData());
    // The same file, not a new one in its place.
    struct stat now {};
    QVERIFY(::stat(QFile::encodeName(folder + "/log").constData(), &now) == 0);
    QCOMPARE(quint64(now.st_ino), quint64(old.st_ino));
    QCOMPARE(partialFiles(folder), QStringList());
}

// Another process's open file, named through /proc/PID/fd/N: the art is added to what it holds.
void TestOutputs::anotherProcesssOpenFileIsAddedTo()
{
    const QString log = m_dir.filePath(QStringLiteral("another.log"));
    writeFile(log, "OLD\n");
    QProcess other; // cat, its standard output added to the log, waiting for its input
    other.setStandardOutputFile(log, QIODevice::Append);
    other.start(QStringLiteral("cat"));
    QVERIFY(other.waitForStarted());
    const Run run =
        convert({"--output", QStringLiteral("/proc/%1/fd/1").arg(other.processId()), m_picture});
    other.closeWriteChannel();
    QVERIFY(other.waitForFinished());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(readFile(log), "OLD\n" + m_art);
}

void TestOutputs::danglingLinksGetTheirFile_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QStringList>("args"); // in the test's folder of its own; link is the link
    QTest::newRow("convert --output")
        << QByteArray(TESSIVO_CONVERT_PATH) << QStringList{"--output", "link.txt", "PICTURE"};
    QTest::newRow("convert --output-dir")
        << QByteArray(TESSIVO_CONVERT_PATH) << QStringList{"--output-dir", ".", "PICTURE"};
    QTest::newRow("table --output")
        << QByteArray(TESSIVO_TABLE_PATH) << QStringList{"--output", "link.txt", "M", "."};
}

// A link to a file not made yet stays a link, and the file it names is made, as a shell's
// redirection makes it.
void TestOutputs::danglingLinksGetTheirFile()
{
    QFETCH(QByteArray, program);
    QFETCH(QStringList, args);
    const QString folder = m_dir.filePath(QStringLiteral("dangling-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder + "/made"));
    // The batch names its output after the picture.
    const QString picture = folder + "/link.png";
    QVERIFY(QFile::copy(m_picture, picture));
    args.replaceInStrings("PICTURE", picture);
    QVERIFY(QFile::link("made/art.txt", folder + "/link.txt"));

    writesOne(program, args, folder, folder + "/made/art.txt");
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(typeOf(folder + "/link.txt"), mode_t(S_IFLNK));
    QCOMPARE(typeOf(folder + "/made/art.txt"), mode_t(S_IFREG));

    // Told to keep what exists, the link is kept, and nothing is made.
    if (program != TESSIVO_CONVERT_PATH)
        return;
    QVERIFY(QFile::remove(folder + "/made/art.txt"));
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QString::fromUtf8(program), QStringList{"--no-clobber"} + args);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(!QFile::exists(folder + "/made/art.txt"));
    QCOMPARE(typeOf(folder + "/link.txt"), mode_t(S_IFLNK));
}

void TestOutputs::longestNamesAreWritten_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QStringList>("args"); // LONG stands for the long name without extension
    QTest::newRow("convert --output")
        << QByteArray(TESSIVO_CONVERT_PATH) << QStringList{"--output", "LONG.txt", "PICTURE"};
    QTest::newRow("convert --output-dir")
        << QByteArray(TESSIVO_CONVERT_PATH) << QStringList{"--output-dir", ".", "LONG.png"};
    QTest::newRow("table --output")
        << QByteArray(TESSIVO_TABLE_PATH) << QStringList{"--output", "LONG.txt", "M", "."};
}

// An output name as long as the system allows (here 244 bytes: 80 characters of three bytes
// each and .txt) is written: its new file's longer name is cut to fit.
void TestOutputs::longestNamesAreWritten()
{
    QFETCH(QByteArray, program);
    QFETCH(QStringList, args);
    const QString folder = m_dir.filePath(QStringLiteral("long-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    const QString stem(80, QChar(0x5B57)); // 字
    QCOMPARE(QFile::encodeName(stem + ".txt").size(), 244);
    QVERIFY(QFile::copy(m_picture, folder + '/' + stem + ".png"));
    args.replaceInStrings("LONG", stem);
    args.replaceInStrings("PICTURE", m_picture);

    writesOne(program, args, folder, folder + '/' + stem + ".txt");
}

void TestOutputs::writesOne(const QByteArray& program, const QStringList& args,
                            const QString& folder, const QString& written)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QString::fromUtf8(program), args);
    QVERIFY(process.waitForFinished(60000));
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(process.exitCode() == 0 && !err.contains("cannot"), err.constData());
    const QByteArray bytes = readFile(written);
    if (program == TESSIVO_CONVERT_PATH)
        QCOMPARE(bytes, m_art);
    else
        QVERIFY2(bytes.startsWith("###Tessivo character table"), bytes.constData());
    QCOMPARE(partialFiles(QFileInfo(written).path()), QStringList());
}

void TestOutputs::waitsForTheDiskWhereItMust_data()
{
    using Sync = tessivo::OutputFile::Sync;
    QTest::addColumn<Sync>("sync");
    QTest::addColumn<bool>("replacing");
    QTest::addColumn<int>("waits");
    QTest::newRow("always, a new file") << Sync::Always << false << 1;
    QTest::newRow("where it replaces, a new file") << Sync::WhenReplacing << false << 0;
    QTest::newRow("where it replaces, replacing") << Sync::WhenReplacing << true << 1;
    QTest::newRow("never, replacing") << Sync::Never << true << 0;
}

// A file put in place of another waits for the disk first, so that a crash cannot leave the
// name with neither's content; a new file of the tools' need not (it can be made again).
void TestOutputs::waitsForTheDiskWhereItMust()
{
    QFETCH(tessivo::OutputFile::Sync, sync);
    QFETCH(bool, replacing);
    QFETCH(int, waits);
    const QString name = m_dir.filePath(QStringLiteral("waits-") + QTest::currentDataTag());
    if (replacing)
        writeFile(name, "old");
    const int before = tessivo::testing::DiskWaits();
    tessivo::OutputFile file(QFile::encodeName(name));
    QVERIFY(file.open({false, sync}) && file.write("new") && file.commit());
    QCOMPARE(tessivo::testing::DiskWaits() - before, waits);
    QCOMPARE(readFile(name), "new");
}

void TestOutputs::interruptedPlayRestoresTheTerminal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

// A moving picture played on a terminal and interrupted leaves the terminal as it found it: the
// colours reset, the cursor shown and put on a line of its own below the art.
void TestOutputs::interruptedPlayRestoresTheTerminal()
{
    QFETCH(int, signal);
    using namespace tessivo::testing;
    Gif plan;
    plan.screen = QSize(40, 20);
    plan.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    plan.loops = 0;
    plan.frames = {gifBlock(QRect(0, 0, 20, 20), 1), gifBlock(QRect(20, 0, 20, 20), 1)};
    const QString gif = m_dir.filePath(QStringLiteral("blink.gif"));
    writeFile(gif, writeGif(plan));

    const QByteArray program = TESSIVO_CONVERT_PATH;
    const QByteArray path = QFile::encodeName(gif);
    termios raw{};
    cfmakeraw(&raw);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, &raw, &size);
    QVERIFY(child >= 0);
    if (child == 0) {
        ::execl(program.constData(), program.constData(), "--format", "ansi", path.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    QByteArray seen;
    const auto readSome = [&] {
        pollfd ready{terminal, POLLIN, 0};
        char bytes[4096];
        if (::poll(&ready, 1, 60000) <= 0)
            return false;
        const ssize_t n = ::read(terminal, bytes, sizeof bytes);
        if (n > 0)
            seen.append(bytes, n);
        return n > 0;
    };
    // Interrupted once the second frame has been drawn, at the first's place.
    while (seen.count("\x1b[H") < 3 && readSome()) {
    }
    QCOMPARE(seen.count("\x1b[H"), 3);
    ::kill(child, signal);
    while (readSome()) {
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    ::close(terminal);

    const QByteArray restore = "\x1b[0m\x1b[?25h\x1b[";
    const qsizetype at = seen.lastIndexOf(restore);
    QVERIFY2(at >= 0, seen.right(40).toHex(' ').constData());
    QByteArray tail = seen.mid(at + restore.size());
    QVERIFY2(tail.endsWith(";1H\r\n"), tail.toHex(' ').constData());
    tail.chop(5);
    bool number = false;
    QVERIFY(tail.toInt(&number) > 1 && number);
}

void TestOutputs::staleErrnoIsNoFailure_data()
{
    QTest::addColumn<int>("stale");
    QTest::newRow("EINVAL") << EINVAL;
    QTest::newRow("ENOSYS") << ENOSYS;
    QTest::newRow("EEXIST") << EEXIST;
}

// Whether a file kept apart from any that appeared meanwhile was put in place is told by the
// calls' results, whatever errno held from before.
void TestOutputs::staleErrnoIsNoFailure()
{
    QFETCH(int, stale);
    const QString name = m_dir.filePath(QStringLiteral("stale-") + QTest::currentDataTag());
    tessivo::OutputFile file(QFile::encodeName(name));
    QVERIFY(file.open({true, tessivo::OutputFile::Sync::Never}) && file.write("new"));
    errno = stale;
    QVERIFY(file.commit());
    QCOMPARE(readFile(name), "new");
    QCOMPARE(partialFiles(m_dir.path()), QStringList());
}

QTEST_GUILESS_MAIN(TestOutputs)
#include "tst_outputs.moc"
