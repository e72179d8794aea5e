#include "ExportParsers.h"
#include "GifWriter.h"
#include "TestPictures.h"

#include "cli/AnimationCommand.h"
#include "cli/ConvertCommand.h"
#include "cli/ConvertOptions.h"
#include "cli/TerminalPlay.h"
#include "loading/AnimatedPicture.h"

#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

// Red, green and blue blocks moving right, shown 100, 200 and 300 ms, played for ever: the red
// one is cleared after it is shown (restore to background), the green one taken away again
// (restore to previous); around them nothing is drawn (the black background is not painted).
QByteArray movingBlocks()
{
    Gif plan;
    plan.screen = QSize(120, 60);
    plan.palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 160, 0), qRgb(0, 0, 255)};
    plan.loops = 0;
    plan.frames = {gifBlock(QRect(10, 15, 30, 30), 1, 10, 2),
                   gifBlock(QRect(45, 15, 30, 30), 2, 20, 3),
                   gifBlock(QRect(80, 15, 30, 30), 3, 30)};
    return writeGif(plan);
}

ConvertOptions parsed(const QStringList& args)
{
    const ParsedCommandLine line = ParseConvertOptions(args);
    if (!line.options)
        qWarning() << line.error;
    return line.options.value_or(ConvertOptions{});
}

// What each frame of a picture converts to as a still: the frame composed, saved as a PNG and
// converted with the same options.
QList<QByteArray> stillsOf(const QString& gif, const QStringList& options, const QDir& folder)
{
    QList<QByteArray> stills;
    AnimatedPicture::Opened opened = AnimatedPicture::open(gif);
    while (opened.picture && opened.picture->next()) {
        const QString png = folder.filePath(QStringLiteral("still%1.png").arg(stills.size() + 1));
        opened.picture->image().save(png);
        stills.append(RunConversion(parsed(options + QStringList{png})).out);
    }
    return stills;
}

// When each frame of a played file shows, in milliseconds of a play: [shown, hidden).
using Spans = QList<std::pair<double, double>>;

// The times a list of discrete steps (share of the play, visible) shows: each step holds up to
// the next.
std::pair<double, double> spanOf(const QList<std::pair<double, bool>>& steps, double duration)
{
    double shown = -1, hidden = duration;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        // To a hundredth of a millisecond: the shares are written to ten digits.
        const double at = std::round(steps[i].first * duration * 100) / 100;
        if (steps[i].second && shown < 0)
            shown = at;
        else if (!steps[i].second && shown >= 0 && at < hidden)
            hidden = at;
    }
    return {shown, hidden};
}

// The @keyframes of a style sheet, each as its steps; and the declarations of the other rules.
// A small reader of the blocks a page of frames holds: "name { ... }", nested once.
struct StyleSheet {
    QMap<QString, QList<std::pair<double, bool>>> keyframes;
    QMap<QString, QString> rules; // selector: declarations
};

StyleSheet readStyle(const QString& css)
{
    StyleSheet sheet;
    qsizetype at = 0;
    while (true) {
        const qsizetype open = css.indexOf(QLatin1Char('{'), at);
        if (open < 0)
            break;
        const QString selector = css.mid(at, open - at).trimmed();
        if (!selector.startsWith(QLatin1String("@keyframes"))) {
            const qsizetype close = css.indexOf(QLatin1Char('}'), open);
            sheet.rules.insert(selector, css.mid(open + 1, close - open - 1).trimmed());
            at = close + 1;
            continue;
        }
        const QString name = selector.mid(QLatin1String("@keyframes").size()).trimmed();
        at = open + 1;
        QList<std::pair<double, bool>> steps;
        for (;;) {
            const qsizetype inner = css.indexOf(QLatin1Char('{'), at);
            const qsizetype end = css.indexOf(QLatin1Char('}'), at);
            if (inner < 0 || end < inner) {
                at = end + 1;
                break;
            }
            const QString percent = css.mid(at, inner - at).trimmed();
            const qsizetype close = css.indexOf(QLatin1Char('}'), inner);
            const QString body = css.mid(inner + 1, close - inner - 1);
            steps.append({percent.chopped(1).toDouble() / 100,
                          body.contains(QLatin1String("visibility: visible"))});
            at = close + 1;
        }
        sheet.keyframes.insert(name, steps);
    }
    return sheet;
}

// A page of frames read with libxml2: the lines of each <pre>, and when each shows.
struct ReadFrames {
    QList<QList<ReadLine>> frames;
    Spans spans;
    QString iterations;
};

ReadFrames readPageFrames(const QByteArray& html)
{
    ReadFrames read;
    htmlDocPtr doc = htmlReadMemory(html.constData(), int(html.size()), nullptr, "UTF-8",
                                    HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    xmlNode* root = xmlDocGetRootElement(doc);
    xmlChar* css = xmlNodeGetContent(parsers::findElement(root, "style"));
    const StyleSheet sheet = readStyle(parsers::textOf(css));
    xmlFree(css);
    double duration = 0;
    for (const QString& declaration : sheet.rules.value(".frames > pre").split(QLatin1Char(';'))) {
        const QStringList parts = declaration.split(QLatin1Char(':'));
        if (parts.value(0).trimmed() == QLatin1String("animation-duration"))
            duration = parts.value(1).trimmed().chopped(2).toDouble();
        if (parts.value(0).trimmed() == QLatin1String("animation-iteration-count"))
            read.iterations = parts.value(1).trimmed();
    }
    xmlNode* frames = parsers::findElement(root, "div");
    for (xmlNode* pre = frames ? frames->children : nullptr; pre; pre = pre->next) {
        if (pre->type != XML_ELEMENT_NODE)
            continue;
        QString text;
        QList<QRgb> colours, backs;
        parsers::readRuns(pre->children, NoColour, NoColour, text, colours, backs);
        if (text.startsWith(QLatin1Char('\n'))) {
            text.remove(0, 1);
            colours.removeFirst();
            backs.removeFirst();
        }
        read.frames.append(splitLines(text, colours, backs));
        const QString name =
            parsers::attribute(pre, "style").section(QLatin1Char(':'), 1).trimmed();
        read.spans.append(spanOf(sheet.keyframes.value(name), duration));
    }
    xmlFreeDoc(doc);
    return read;
}

// An SVG of frames: each group's lines, and when it shows by its SMIL animation.
ReadFrames readSvgFrames(const QByteArray& bytes)
{
    ReadFrames read;
    const QString svg = QString::fromUtf8(bytes);
    QXmlStreamReader reader(svg);
    int depth = 0;
    qsizetype start = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 2 && reader.name() == QLatin1String("g"))
                start = reader.characterOffset();
            if (depth == 3 && reader.name() == QLatin1String("animate")) {
                const QXmlStreamAttributes a = reader.attributes();
                const QList<QStringView> values = a.value("values").split(QLatin1Char(';'));
                const QList<QStringView> times = a.value("keyTimes").split(QLatin1Char(';'));
                QList<std::pair<double, bool>> steps;
                for (qsizetype i = 0; i < values.size(); ++i)
                    steps.append(
                        {times.value(i).toDouble(), values[i] == QLatin1String("visible")});
                read.spans.append(spanOf(steps, a.value("dur").chopped(2).toDouble()));
                read.iterations = a.value("repeatCount").toString();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 2 && reader.name() == QLatin1String("g")) {
                // The group's content as an SVG of its own, for the SVG reader of the tests.
                const qsizetype end = reader.characterOffset() - QLatin1String("</g>").size();
                read.frames.append(readSvg(QLatin1String("<svg>") + svg.mid(start, end - start) +
                                           QLatin1String("</svg>")));
            }
            --depth;
        }
    }
    return read;
}

// The frames of a terminal stream: what follows each cursor-home sequence.
QList<QByteArray> streamFrames(const QByteArray& stream)
{
    QList<QByteArray> out;
    const QByteArray home = QByteArray(terminal::CursorHome).mid(1);
    QByteArray current;
    bool inFrame = false;
    for (const QByteArray& piece : stream.split('\x1b')) {
        if (piece.startsWith(home)) {
            if (inFrame)
                out.append(current);
            current = piece.mid(home.size());
            inFrame = true;
        } else if (inFrame) {
            current += '\x1b' + piece;
        }
    }
    if (inFrame)
        out.append(current);
    return out;
}

const Spans BlockSpans{{0, 100}, {100, 300}, {300, 600}};

} // namespace

class TestAnimation : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLines_data();
    void commandLines();
    void framesAreTheirStills_data();
    void framesAreTheirStills();
    void frameFilesAndTheirList();
    void pagePlaysTheFrames_data();
    void pagePlaysTheFrames();
    void terminalStream();
    void terminalPlay_data();
    void terminalPlay();
    void damagedPictures_data();
    void damagedPictures();

private:
    QTemporaryDir m_dir;
    QString m_gif;
};

void TestAnimation::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_gif = writeFile(m_dir.path(), QStringLiteral("blocks.gif"), movingBlocks());
}

void TestAnimation::commandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");

    const int end = FrameChoice::ToTheEnd;
    const auto ok = [&](const char* row, const QStringList& args, int first, int last) {
        QTest::newRow(row) << args << QString() << first << last;
    };
    ok("txt: the first frame", {"a.gif"}, 1, 1);
    ok("svg: the first frame", {"--format", "svg", "a.gif"}, 1, 1);
    ok("html: all frames", {"--format", "html", "a.gif"}, 1, end);
    ok("ansi: all frames", {"--format", "ansi", "a.gif"}, 1, end);
    ok("a range", {"--format", "svg", "--frames", "2-5", "a.gif"}, 2, 5);
    ok("one frame", {"--frames=7", "a.gif"}, 7, 7);
    ok("all of them, a file each", {"--output-dir", "d", "--frames", "all", "a.gif"}, 1, end);
    ok("loop and speed", {"--format", "ansi", "--loop", "forever", "--speed", "0.5", "a.gif"}, 1,
       end);
    const auto bad = [&](const char* row, const QStringList& args, const char* error) {
        QTest::newRow(row) << args << QString::fromUtf8(error) << 0 << 0;
    };
    const char* frames = "--frames takes all, first, N or N-M (frames from 1, M not before N)";
    bad("frames: backwards", {"--frames", "5-2", "a.gif"}, frames);
    bad("frames: from 0", {"--frames", "0-2", "a.gif"}, frames);
    bad("frames: a word", {"--frames", "some", "a.gif"}, frames);
    bad("several frames into one txt", {"--frames", "all", "a.gif"},
        "a txt file holds one frame: --frames with more than one needs --output-dir, which gets "
        "a file for each");
    bad("several frames into one png", {"--frames", "1-2", "--output", "a.png", "a.gif"},
        "a png file holds one frame: --frames with more than one needs --output-dir, which gets "
        "a file for each");
    bad("loop 0", {"--format", "html", "--loop", "0", "a.gif"},
        "--loop takes the times to play, 1 to 1000000, or forever");
    bad("loop for txt", {"--loop", "2", "a.gif"}, "--loop is for ansi, html and svg, not txt");
    bad("speed 0", {"--speed", "0", "a.gif"}, "--speed takes a factor from 0.01 to 100");
}

void TestAnimation::commandLines()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const ParsedCommandLine line = ParseConvertOptions(args);
    if (!error.isEmpty()) {
        QVERIFY(!line.options);
        QCOMPARE(line.error, QStringLiteral("tessivo-convert: ") + error);
        return;
    }
    QVERIFY2(line.options, qPrintable(line.error));
    QTEST(line.options->frames.first, "first");
    QTEST(line.options->frames.last, "last");
}

// Frame by frame, in every mode and colour mode, each frame's file is what converting a still of
// that frame gives, byte for byte.
void TestAnimation::framesAreTheirStills_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("extension");
    for (const char* mode : {"tone", "ink", "shape"}) {
        const QStringList m{"--mode", mode, "--no-footer"};
        const QStringList grid = QLatin1String(mode) == QLatin1String("tone")
                                     ? QStringList()
                                     : QStringList{"--width", "30"};
        QTest::addRow("%s txt", mode) << m + grid + QStringList{"--format", "txt"} << "txt";
        QTest::addRow("%s html fg", mode)
            << m + grid + QStringList{"--format", "html", "--colour", "--title", "t"} << "html";
        QTest::addRow("%s svg bg", mode)
            << m + grid + QStringList{"--format", "svg", "--colour-mode", "bg"} << "svg";
        QTest::addRow("%s ansi both", mode)
            << m + grid + QStringList{"--format", "ansi", "--colour-mode", "both"} << "ans";
        QTest::addRow("%s ansi dark, 256", mode)
            << m + grid +
                   QStringList{"--format", "ansi", "--background", "dark", "--colours", "256"}
            << "ans";
        QTest::addRow("%s png", mode)
            << m + grid + QStringList{"--format", "png", "--colour"} << "png";
    }
}

void TestAnimation::framesAreTheirStills()
{
    QFETCH(QStringList, options);
    QFETCH(QString, extension);
    QTemporaryDir dir;
    const QStringList frameByFrame{"--output-dir", dir.path(), "--frames", "all"};
    const ConversionOutput output =
        RunConvertCommand(parsed(options + frameByFrame + QStringList{m_gif}));
    QCOMPARE(output.exitCode, 0);
    const QList<QByteArray> stills = stillsOf(m_gif, options, dir.path());
    QCOMPARE(stills.size(), 3);
    for (int frame = 1; frame <= 3; ++frame) {
        QFile file(dir.filePath(
            QStringLiteral("blocks-%1.%2").arg(frame, 4, 10, QLatin1Char('0')).arg(extension)));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray bytes = file.readAll();
        QVERIFY(!bytes.isEmpty());
        QVERIFY2(bytes == stills[frame - 1], qPrintable(QStringLiteral("frame %1").arg(frame)));
    }
    // The frames differ: the blocks move.
    QVERIFY(stills[0] != stills[1] && stills[1] != stills[2]);
}

void TestAnimation::frameFilesAndTheirList()
{
    QTemporaryDir dir;
    const ConversionOutput output = RunConvertCommand(
        parsed({"--output-dir", dir.path(), "--frames", "2-3", "--speed", "2", m_gif}));
    QCOMPARE(output.exitCode, 0);
    QFile list(dir.filePath(QStringLiteral("blocks.frames.tsv")));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(list.readAll(), QByteArray("frame\tfile\tdelay_ms\n"
                                        "2\tblocks-0002.txt\t100\n"
                                        "3\tblocks-0003.txt\t150\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{"blocks-0002.txt", "blocks-0003.txt", "blocks.frames.tsv"}));
    QCOMPARE(FrameFileName(QStringLiteral("d/x.y.txt"), 12345, 99999),
             QStringLiteral("d/x.y-12345.txt"));
}

// One page, or one SVG, that shows each frame, exactly as its still has it, for its delay.
void TestAnimation::pagePlaysTheFrames_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("iterations");
    const QStringList html{"--format", "html", "--title", "t"};
    const QStringList svg{"--format", "svg", "--frames", "all"};
    QTest::newRow("html, no colour, as the file says") << html << "infinite";
    QTest::newRow("html fg, twice") << html + QStringList{"--colour", "--loop", "2"} << "2";
    QTest::newRow("html bg") << html + QStringList{"--colour-mode", "bg"} << "infinite";
    QTest::newRow("html both, shape mode")
        << html + QStringList{"--colour-mode", "both", "--mode", "shape", "--width", "40"}
        << "infinite";
    QTest::newRow("svg fg, 3 times") << svg + QStringList{"--colour", "--loop", "3"} << "3";
    QTest::newRow("svg bg, ink mode")
        << svg + QStringList{"--colour-mode", "bg", "--mode", "ink", "--width", "40"}
        << "indefinite";
}

void TestAnimation::pagePlaysTheFrames()
{
    QFETCH(QStringList, options);
    QFETCH(QString, iterations);
    const bool isSvg = options.contains(QStringLiteral("svg"));
    const ConversionOutput output = RunConvertCommand(parsed(options + QStringList{m_gif}));
    QCOMPARE(output.exitCode, 0);
    const ReadFrames read = isSvg ? readSvgFrames(output.out) : readPageFrames(output.out);
    QVERIFY(!isSvg || QSvgRenderer(output.out).isValid());
    QCOMPARE(read.spans, BlockSpans);
    QCOMPARE(read.iterations, iterations);
    QStringList still = options;
    still.removeAll(QStringLiteral("--frames"));
    still.removeAll(QStringLiteral("all"));
    const QList<QByteArray> stills = stillsOf(m_gif, still, m_dir.path());
    QCOMPARE(read.frames.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QList<ReadLine> lines =
            isSvg ? readSvg(QString::fromUtf8(stills[i])) : readPage(stills[i]).lines;
        QCOMPARE(read.frames[i].size(), lines.size());
        for (qsizetype n = 0; n < lines.size(); ++n) {
            QCOMPARE(read.frames[i][n].text, lines[n].text);
            QCOMPARE(read.frames[i][n].colours, lines[n].colours);
            QCOMPARE(read.frames[i][n].backs, lines[n].backs);
        }
    }
}

// To a file or pipe: every frame once, in order, each the still's escapes after a cursor-home
// sequence, the screen cleared first.
void TestAnimation::terminalStream()
{
    const QStringList ansi{"--format", "ansi", "--mode", "shape", "--width", "30"};
    const ConversionOutput output = RunConvertCommand(parsed(ansi + QStringList{m_gif}));
    QCOMPARE(output.exitCode, 0);
    QVERIFY(output.out.startsWith(QByteArray(terminal::ClearScreen) + terminal::CursorHome));
    QCOMPARE(streamFrames(output.out), stillsOf(m_gif, ansi, m_dir.path()));
}

// On a terminal: the frames drawn in place, each once the one before has been shown for its
// delay, as many times as the file or --loop says, and the cursor shown again at the end.
void TestAnimation::terminalPlay_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("writesAllowed"); // the terminal fails after these; -1 never
    QTest::addColumn<QList<qint64>>("waits");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("twice") << QStringList{"--loop", "2"} << -1
                           << QList<qint64>{100, 300, 600, 700, 900} << 0;
    QTest::newRow("twice as fast, once")
        << QStringList{"--loop", "1", "--speed", "2"} << -1 << QList<qint64>{50, 150} << 0;
    QTest::newRow("frames 2 and 3 three times")
        << QStringList{"--loop", "3", "--frames", "2-3"} << -1
        << QList<qint64>{200, 500, 700, 1000, 1200} << 0;
    // The file says for ever: played until the terminal is gone.
    QTest::newRow("for ever") << QStringList() << 8
                              << QList<qint64>{100, 300, 600, 700, 900, 1200, 1300, 1500} << 1;
}

void TestAnimation::terminalPlay()
{
    QFETCH(QStringList, options);
    QFETCH(int, writesAllowed);
    QFETCH(QList<qint64>, waits);
    QFETCH(int, exitCode);
    QList<QByteArray> writes;
    QList<qint64> waited;
    TerminalDevice device;
    device.write = [&](const QByteArray& bytes) {
        if (writesAllowed >= 0 && writes.size() >= writesAllowed)
            return false;
        writes.append(bytes);
        return true;
    };
    device.waitUntil = [&](qint64 ms) { waited.append(ms); };
    const QStringList ansi{"--format", "ansi", "--no-footer"};
    const std::optional<ConversionOutput> output =
        PlayMovingPicture(parsed(ansi + options + QStringList{m_gif}), device);
    QVERIFY(output);
    QCOMPARE(output->exitCode, exitCode);
    QCOMPARE(waited, waits);
    const QList<QByteArray> stills = stillsOf(m_gif, ansi, m_dir.path());
    const int first = options.contains("2-3") ? 1 : 0;
    const int framesShown = int(writes.size()) - (exitCode == 0 ? 1 : 0);
    QCOMPARE(framesShown, exitCode == 0 ? int(waits.size()) + 1 : writesAllowed);
    QVERIFY(writes[0].startsWith(QByteArray(terminal::HideCursor) + terminal::ClearScreen));
    for (int i = 0; i < framesShown; ++i) {
        const int frame = first + i % (3 - first);
        QVERIFY2(writes[i].endsWith(terminal::CursorHome + stills[frame]),
                 qPrintable(QStringLiteral("write %1").arg(i)));
    }
    if (exitCode == 0)
        QCOMPARE(writes.last(), QByteArray(terminal::ResetColours) + terminal::ShowCursor);
}

// A picture damaged part of the way gives the frames before the damage, and a warning; damaged
// before its first chosen frame, a message and nothing else.
void TestAnimation::damagedPictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("err");
    const QByteArray gif = movingBlocks();
    // Into the third frame's pixels: past its control block and descriptor.
    const QByteArray cut = gif.left(gif.lastIndexOf("\x21\xF9\x04") + 8 + 10 + 4);
    QTest::newRow("last frame cut short")
        << cut << QStringList{"--format", "html"} << 0 << 2
        << "tessivo-convert: warning: p.gif: frame 3 is cut short: the file ends inside it; 2 "
           "frames are converted\n";
    QTest::newRow("the frames chosen cut short")
        << cut << QStringList{"--format", "html", "--frames", "3"} << 1 << 0
        << "tessivo-convert: p.gif: frame 3 is cut short: the file ends inside it\n";
    QTest::newRow("frames past the end")
        << gif << QStringList{"--format", "html", "--frames", "4-9"} << 1 << 0
        << "tessivo-convert: p.gif: --frames starts at frame 4, and the picture has 3 frames\n";
    QTest::newRow("several frames, fewer there")
        << gif << QStringList{"--format", "html", "--frames", "2-9"} << 0 << 2 << "";
}

void TestAnimation::damagedPictures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(int, frames);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("p.gif"), bytes);
    QVERIFY(QDir::setCurrent(dir.path()));
    const ConversionOutput output = RunConvertCommand(parsed(options + QStringList{"p.gif"}));
    QCOMPARE(output.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(output.err), err);
    QCOMPARE(readPageFrames(output.out).frames.size(), frames);
    Q_UNUSED(path);
}

QTEST_MAIN(TestAnimation)
#include "tst_animation.moc"
