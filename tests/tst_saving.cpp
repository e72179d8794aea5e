#include "ExportParsers.h"
#include "GuiTestSupport.h"
#include "TestPictures.h"

#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "app/ResultSaver.h"
#include "app/ResultWindow.h"
#include "app/Startup.h"
#include "canvas/Fonts.h"
#include "engine/OutputFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringDecoder>
#include <QtTest>

#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

// Calls drive with the save dialog once it is up (its exec() holds the caller until it closes).
void whenDialogOpens(const std::function<void(QFileDialog*)>& drive)
{
    QTimer::singleShot(0, [drive] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            drive(dialog);
        else
            whenDialogOpens(drive);
    });
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSaving : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Ctrl+S, which answers in the active window.
    void pressSave(QWidget* window)
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
    }

    // Ctrl+S in window, then the dialog driven as a user does: the type, the name, Enter.
    void saveThroughDialog(QWidget* window, const QString& filter, const QString& name)
    {
        whenDialogOpens([&](QFileDialog* dialog) {
            dialog->setDirectory(m_dir.path());
            auto* types = child<QComboBox>(dialog, "fileTypeCombo");
            types->setCurrentIndex(types->findText(filter));
            auto* fileName = child<QLineEdit>(dialog, "fileNameEdit");
            fileName->selectAll();
            QTest::keyClicks(fileName, name);
            QTest::keyClick(fileName, Qt::Key_Return);
        });
        pressSave(window);
        QVERIFY(QFile::exists(m_dir.filePath(name)));
    }

    // A Canvas of two colours, red on the left and blue on the right, converted.
    void runTwoColours(MainWindow& window)
    {
        QImage picture(300, 200, QImage::Format_RGB32);
        picture.fill(qRgb(255, 0, 0));
        for (int y = 0; y < 200; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(picture.scanLine(y)) + 150, 150, qRgb(0, 0, 255));
        QVERIFY(window.openPicture(writeFile(m_dir.path(), "two.png", encode(picture, "PNG"))));
        window.showPage(MainWindow::Page::Generation);
        QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, "Label1")->text(),
                                  QStringLiteral("完成 OK!"), 30000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath("config")));
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        RegisterFontSubstitutes();
    }

    void savesThroughTheDialog()
    {
        MainWindow window(m_dir.path(), [] { return false; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        runTwoColours(window);
        const QString result = window.run().resultText();

        saveThroughDialog(&window, "文本 GBK (*.txt)", "art.txt");
        QCOMPARE(QStringDecoder("GBK").decode(readAll(m_dir.filePath("art.txt"))), result);
        // The folder and the type are remembered for the next dialog.
        QSettings saved(m_dir.filePath("config/tessivo/tessivo.conf"), QSettings::IniFormat);
        QCOMPARE(saved.value("export/lastFolder").toString(), m_dir.path());

        // Edited: the text types take the edits; the coloured page the run's own result, with
        // the colours of the cells, which the window's run did not record.
        ResultBox* box = window.resultBox();
        box->moveCursor(QTextCursor::Start);
        QTest::keyClicks(box, "edit");
        saveThroughDialog(&window, "文本 UTF-8 (*.txt)", "edited.txt");
        QCOMPARE(QString::fromUtf8(readAll(m_dir.filePath("edited.txt"))), "edit" + result);
        bool noted = false;
        whenDialogOpens([&](QFileDialog* dialog) {
            noted = child<QLabel>(dialog, "editedNote")->isVisible();
            dialog->reject();
        });
        pressSave(&window);
        QVERIFY(noted);

        saveThroughDialog(&window, "彩色网页 (*.html)", "colour.html");
        const QList<ReadLine> lines =
            readHtml(QString::fromUtf8(readAll(m_dir.filePath("colour.html"))));
        QStringList texts;
        for (const ReadLine& line : lines)
            texts << line.text;
        QCOMPARE(texts.join("\r\n"), result);
        // The picture's red half, then its blue half, then the white Canvas beside it.
        const QList<QRgb>& colours = lines.first().colours;
        QCOMPARE(colours.first(), 0xFF0000u);
        QVERIFY(colours.indexOf(0x0000FF) > colours.lastIndexOf(0xFF0000));
        QCOMPARE(colours.last(), 0xFFFFFFu);
    }

    // After a run in the ink or shape mode, a coloured save writes that result, not the tone
    // run's before it.
    void inkResultSavesInColour()
    {
        MainWindow window(m_dir.path());
        window.show();
        runTwoColours(window);
        window.findChild<QAction*>(QStringLiteral("shapeChoiceAction"))->trigger();
        QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
        QCOMPARE(child<QLabel>(&window, "Label1")->text(), QStringLiteral("完成 OK!（字形）"));
        const QString path = m_dir.filePath("shape.html");
        QVERIFY(window.resultSaver()->save(window.resultBox(), path,
                                           ResultSaver::SaveType::ColourPage));
        const QList<ReadLine> lines = readHtml(QString::fromUtf8(readAll(path)));
        QStringList texts;
        for (const ReadLine& line : lines)
            texts << line.text;
        QCOMPARE(texts.join("\r\n"), window.resultBox()->text());
        const QList<QRgb>& colours = lines.first().colours;
        QCOMPARE(colours.first(), 0xFF0000u);
        QVERIFY(colours.indexOf(0x0000FF) > colours.lastIndexOf(0xFF0000));
    }

    // A name typed with another type's extension is saved as that type once the user agrees.
    void typedExtensionPicksTheType_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("marker");
        QTest::newRow("txt under svg") << "SVG 图像 (*.svg)"
                                       << "v.txt" << QByteArray("art");
        QTest::newRow("htm under text") << "文本 GBK (*.txt)"
                                        << "k.htm" << QByteArray("<html");
        // Last, so that the type the next test's dialog starts with is not a text one.
        QTest::newRow("png under text") << "文本 UTF-8 (*.txt)"
                                        << "j.png" << QByteArray("PNG");
    }
    void typedExtensionPicksTheType()
    {
        QFETCH(QString, filter);
        QFETCH(QString, name);
        QFETCH(QByteArray, marker);
        MainWindow window(m_dir.path(), [] { return false; });
        window.show();
        window.resultBox()->setText(QStringLiteral("art\r\n"));
        std::function<void()> agree = [&] {
            auto* box = QApplication::activeModalWidget();
            if (box && box->objectName() == QLatin1String("typeQuestion"))
                static_cast<QMessageBox*>(box)->defaultButton()->click();
            else
                QTimer::singleShot(0, agree);
        };
        QTimer::singleShot(0, agree);
        saveThroughDialog(&window, filter, name);
        QVERIFY(readAll(m_dir.filePath(name)).left(100).contains(marker));
    }

    // 取消 in the question about a name of another type goes back to the dialog, in the folder
    // and with the name it had, rather than closing it.
    void cancelledTypeQuestionKeepsTheDialog()
    {
        MainWindow window(m_dir.path(), [] { return false; });
        window.show();
        window.resultBox()->setText(QStringLiteral("art\r\n"));
        const QString folder = m_dir.filePath(QStringLiteral("kept"));
        QVERIFY(QDir().mkpath(folder));
        QString shownFolder, shownName;
        const auto reopened = [&](QFileDialog* dialog) {
            shownFolder = dialog->directory().absolutePath();
            shownName = child<QLineEdit>(dialog, "fileNameEdit")->text();
            dialog->reject();
        };
        std::function<void()> cancel = [&] {
            auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!question || question->objectName() != QLatin1String("typeQuestion"))
                return QTimer::singleShot(0, cancel);
            for (QAbstractButton* button : question->buttons()) {
                if (button->text() == QStringLiteral("取消"))
                    button->click();
            }
            whenDialogOpens(reopened);
        };
        whenDialogOpens([&](QFileDialog* dialog) {
            dialog->setDirectory(folder);
            auto* types = child<QComboBox>(dialog, "fileTypeCombo");
            types->setCurrentIndex(types->findText("文本 UTF-8 (*.txt)"));
            auto* fileName = child<QLineEdit>(dialog, "fileNameEdit");
            fileName->selectAll();
            QTest::keyClicks(fileName, "q.png");
            QTimer::singleShot(0, cancel);
            QTest::keyClick(fileName, Qt::Key_Return);
        });
        pressSave(&window);
        QCOMPARE(shownFolder, folder);
        QCOMPARE(shownName, QStringLiteral("q.png"));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
    }

    void resultWindowAndPicture()
    {
        MainWindow window(m_dir.path(), [] { return false; });
        window.show();
        runTwoColours(window);
        QTest::mouseClick(child<QAbstractButton>(&window, "Command9"), Qt::LeftButton);
        ResultWindow* second = window.resultWindow();
        QVERIFY(QTest::qWaitForWindowExposed(second));
        saveThroughDialog(second, "PNG 图像 (*.png)", "art.png");
        const QImage saved(m_dir.filePath("art.png"));
        QVERIFY(!saved.isNull());

        // "复制为图片" of the result window's box: the same picture on the clipboard.
        QList<QAction*> actions = second->textBox()->contextActions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions.at(1)->text(), QStringLiteral("复制为图片"));
        actions.at(1)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 saved.convertToFormat(QImage::Format_RGB32));
    }

    void gbkCannotHoldWritesNothing()
    {
        MainWindow window(m_dir.path(), [] { return false; });
        window.resultBox()->setText(QStringLiteral("ab\r\ncd😀\r\n"));
        QString message;
        answerMessage(&message);
        QVERIFY(!window.resultSaver()->save(window.resultBox(), m_dir.filePath("no.txt"),
                                            ResultSaver::SaveType::TextGbk));
        QVERIFY(message.contains(QStringLiteral("第 2 行第 3 列")));
        QVERIFY(!QFile::exists(m_dir.filePath("no.txt")));
    }

    // A save that fails says why in Chinese, whatever the system's language, and keeps the file.
    void namesThatSave_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("written"); // the file that takes the art
        // 244 bytes: the new file beside it, with its longer name, is cut to fit.
        const QString longest = QString(80, QChar(0x5B57)) + ".txt";
        QTest::newRow("the longest name") << longest << longest;
        QTest::newRow("a link to a file not made yet") << "link.txt"
                                                       << "made/art.txt";
    }

    void namesThatSave()
    {
        QFETCH(QString, name);
        QFETCH(QString, written);
        QDir folder(m_dir.filePath(QStringLiteral("names-") + QTest::currentDataTag()));
        QVERIFY(folder.mkpath("made"));
        QVERIFY(QFile::link("made/art.txt", folder.filePath("link.txt")));
        MainWindow window(m_dir.path(), [] { return false; });
        window.resultBox()->setText(QStringLiteral("art\r\n"));
        QVERIFY(window.resultSaver()->save(window.resultBox(), folder.filePath(name),
                                           ResultSaver::SaveType::TextUtf8));
        QCOMPARE(readAll(folder.filePath(written)), "art\r\n");
        QVERIFY(QFileInfo(folder.filePath("link.txt")).isSymLink());
        QCOMPARE(folder.entryList({"*.part"}, QDir::Files | QDir::Hidden), QStringList());
    }

    // A save names a pipe: one that nothing reads is refused at once rather than holding the
    // window until something does; one that is read takes the art.
    void pipesNeverHoldTheWindow()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("art.fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        MainWindow window(m_dir.path(), [] { return false; });
        window.resultBox()->setText(QStringLiteral("art\r\n"));
        const auto save = [&] {
            return window.resultSaver()->save(window.resultBox(), fifo,
                                              ResultSaver::SaveType::TextUtf8);
        };
        QString message;
        answerMessage(&message);
        QVERIFY(!save());
        QVERIFY2(message.endsWith(QStringLiteral("没有程序在读取这个管道")), qPrintable(message));

        const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QVERIFY(save());
        char read[8] = {};
        QCOMPARE(::read(reader, read, sizeof read), ssize_t(5));
        ::close(reader);
        QCOMPARE(QByteArray(read), "art\r\n");
        QVERIFY(QFileInfo(fifo).isFile() == false && QFile::exists(fifo));
    }

    // SIGTERM, or Ctrl+C in the terminal the window was started from, during a save: the window
    // ends as the tools do, leaving no unfinished file beside the one saved.
    void interruptedSaveLeavesNothing_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        QTest::newRow("SIGTERM") << SIGTERM << 143;
        QTest::newRow("SIGINT") << SIGINT << 130;
    }

    void interruptedSaveLeavesNothing()
    {
        QFETCH(int, signal);
        QFETCH(int, status);
        QTemporaryDir dir;
        QProcess window;
        window.start(QCoreApplication::applicationFilePath(),
                     {"--interrupted-save", dir.filePath("art.txt"), QString::number(signal)});
        QVERIFY(window.waitForFinished(60000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), status);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void failedSavesSayWhy_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk") << "/dev/full" << QStringLiteral("磁盘空间不足");
        QTest::newRow("read-only file") << "read-only.txt" << QStringLiteral("文件是只读的");
        QTest::newRow("no such folder") << "none/art.txt" << QStringLiteral("文件夹不存在");
        QTest::newRow("a folder") << "." << QStringLiteral("这是一个文件夹");
    }

    void failedSavesSayWhy()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        const QString readOnly = m_dir.filePath(QStringLiteral("read-only.txt"));
        QFile file(readOnly);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner));
        MainWindow window(m_dir.path(), [] { return false; });
        window.resultBox()->setText(QStringLiteral("art\r\n"));
        QString message;
        answerMessage(&message);
        const QString target = path.startsWith('/') ? path : m_dir.filePath(path);
        QVERIFY(!window.resultSaver()->save(window.resultBox(), target,
                                            ResultSaver::SaveType::TextUtf8));
        QVERIFY2(message.endsWith(QStringLiteral("没有保存：") + reason), qPrintable(message));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "kept");
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(QFile::remove(readOnly));
    }
};

// The window's start-up, then a save begun and interrupted by a signal, in a process of its own.
static int interruptedSave(int argc, char* argv[])
{
    QApplication app(argc, argv);
    SetUpApplication();
    OutputFile file(argv[2]);
    if (!file.open({}) || !file.write("unfinished"))
        return 2;
    std::raise(std::atoi(argv[3]));
    return 3;
}

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--interrupted-save") == 0)
        return interruptedSave(argc, argv);
    QApplication app(argc, argv);
    TestSaving test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_saving.moc"
