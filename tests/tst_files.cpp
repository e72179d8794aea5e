#include "app/MainWindow.h"
#include "app/Startup.h"
#include "canvas/ui/CanvasPage.h"
#include "loading/PictureLoader.h"
#include "loading/ui/PictureChooser.h"

#include "GuiTestSupport.h"
#include "TestPictures.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

using Action = WindowCommandLine::Action;

void drop(QWidget* target, const QMimeData& mime)
{
    const QPointF at = target->rect().center();
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &dropped);
}

} // namespace

class TestFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_picture;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath("config")));
        QImage image(100, 60, QImage::Format_RGB32);
        image.fill(Qt::black);
        m_picture = m_dir.filePath("black_box.png");
        QVERIFY(image.save(m_picture));
        QFile text(m_dir.filePath("notes.png"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a picture") > 0);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("picture");
        QTest::newRow("none") << QStringList() << int(Action::Run) << QString();
        QTest::newRow("a picture") << QStringList{"a.png"} << int(Action::Run) << "a.png";
        QTest::newRow("the first of two")
            << QStringList{"a.png", "b.png"} << int(Action::Run) << "a.png";
        QTest::newRow("a name after --")
            << QStringList{"--", "-a.png"} << int(Action::Run) << "-a.png";
        QTest::newRow("--help") << QStringList{"a.png", "--help"} << int(Action::PrintAndExit)
                                << QString();
        QTest::newRow("--version")
            << QStringList{"--version"} << int(Action::PrintAndExit) << QString();
        QTest::newRow("unknown") << QStringList{"--bogus"} << int(Action::Fail) << QString();
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, picture);
        const WindowCommandLine line = ParseWindowCommandLine(arguments);
        QCOMPARE(int(line.action), action);
        QCOMPARE(line.picture, picture);
        QCOMPARE(line.text.isEmpty(), action == int(Action::Run));
    }

    // What main() does with a picture named on the command line.
    void pictureNamedAtStartUp()
    {
        MainWindow window(m_dir.path(), [] { return false; });
        window.show();
        QVERIFY(window.openPicture(m_picture));
        QVERIFY(window.canvasPage()->isVisible());
        QCOMPARE(window.canvas().pixelAt(99 * 15, 59 * 15), 0);
        QCOMPARE(window.holder().picture().width(), 100);
        // The folder of the picture lasts: a later run of the program reads it back.
        QSettings saved(m_dir.filePath("config/tessivo/tessivo.conf"), QSettings::IniFormat);
        QCOMPARE(saved.value("chooser/lastOpenedFolder").toString(), m_dir.path());
        QCOMPARE(PictureChooser::LastOpenedFolder(), m_dir.path());
    }

    void droppedFiles()
    {
        MainWindow window(m_dir.path(), [] { return false; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage before = window.canvas().image();

        // A file that is not a picture: the message, and nothing changes.
        QMimeData notPicture;
        notPicture.setUrls({QUrl::fromLocalFile(m_dir.filePath("notes.png"))});
        QString message;
        answerMessage(&message);
        drop(child<QWidget>(&window, "Command4"), notPicture);
        QCOMPARE(message, PictureReadFailureText().replace("\r\n", "\n"));
        QCOMPARE(window.canvas().image(), before);
        QVERIFY(!window.holder().hasPicture());

        // Words without a file: the window does not take them.
        QMimeData words;
        words.setText(QStringLiteral("M#."));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &words, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &enter);
        QVERIFY(!enter.isAccepted());

        // A picture dropped on the text box to imprint: opened, not typed into the box.
        auto* text = child<QPlainTextEdit>(&window, "Text2");
        QMimeData picture;
        picture.setUrls({QUrl::fromLocalFile(m_picture)});
        picture.setText(m_picture);
        drop(text->viewport(), picture);
        QCOMPARE(window.holder().picture().width(), 100);
        QCOMPARE(window.canvas().pixelAt(50 * 15, 30 * 15), 0);
        QVERIFY(!text->toPlainText().contains("black_box"));
    }

    void pastedPicture()
    {
        MainWindow window(m_dir.path(), [] { return false; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QImage red(40, 30, QImage::Format_RGB32);
        red.fill(Qt::red);
        QApplication::clipboard()->setImage(red);

        // Not on the generation page.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(window.canvas().pixelAt(0, 0), 0xFFFFFF);

        child<QAbstractButton>(&window, "Command5")->click();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(window.canvas().pixelAt(39 * 15, 29 * 15), 0x0000FF);
        QCOMPARE(window.holder().picture().size(), QSize(40, 30));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(window.canvas().pixelAt(0, 0), 0xFFFFFF);
    }

    // A pipe or a folder named on the command line (or dropped) is refused at once; a pipe used
    // to hold the window until something wrote to it.
    void onlyFilesOpen()
    {
        const QString fifo = m_dir.filePath("pipe.png");
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        MainWindow window(m_dir.path(), [] { return false; });
        for (const QString& path : {fifo, m_dir.path()}) {
            QString message;
            answerMessage(&message);
            QVERIFY(!window.openPicture(path));
            QCOMPARE(message, PictureReadFailureText().replace("\r\n", "\n"));
        }
    }

    // A JPEG cut inside its scan (libjpeg would grey the rest) is refused as a picture that does
    // not read, and the status line says which picture, and why.
    void pictureReadInPartSaysSo()
    {
        QImage picture(200, 150, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            picture.setPixel(y, y, qRgb(y, 255 - y, 0));
        const QByteArray jpeg = encode(picture, "JPEG");
        const QString cut = writeFile(m_dir.path(), "cut.jpg", jpeg.left(jpeg.size() * 2 / 3));
        MainWindow window(m_dir.path(), [] { return false; });
        QString message;
        answerMessage(&message);
        QVERIFY(!window.openPicture(cut));
        QCOMPARE(message, PictureReadFailureText().replace("\r\n", "\n"));
        QVERIFY(!window.holder().hasPicture());
        const auto* status = child<QLabel>(&window, "Label1");
        QCOMPARE(status->text(), QStringLiteral("图片不完整，未载入"));
        QVERIFY2(status->toolTip().startsWith(QStringLiteral("图片“cut.jpg”不完整")),
                 qPrintable(status->toolTip()));
    }

    // Ctrl+V: a file copied in a file manager opens, a large photo pastes past the image readers'
    // own limit, a picture too large says so.
    void pastedFromOtherPrograms_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QSize>("size"); // invalid: refused
        QTest::newRow("copied file")
            << "text/uri-list" << QUrl::fromLocalFile(m_picture).toEncoded() << QSize(100, 60);
        QImage photo(8000, 6000, QImage::Format_RGB32);
        photo.fill(Qt::gray);
        QTest::newRow("8000 x 6000") << "image/png" << encode(photo, "PNG") << photo.size();
        const QByteArray small = encode(QImage(8, 8, QImage::Format_RGB32), "PNG");
        QTest::newRow("too large") << "image/png" << pngClaiming(small, 60000, 60000) << QSize();
    }
    void pastedFromOtherPrograms()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, data);
        QFETCH(QSize, size);
        MainWindow window(m_dir.path(), [] { return false; });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        child<QAbstractButton>(&window, "Command5")->click();
        auto* mime = new QMimeData;
        mime->setData(format, data);
        QApplication::clipboard()->setMimeData(mime);
        QString message;
        if (!size.isValid())
            answerMessage(&message);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(window.holder().hasPicture(), size.isValid());
        if (size.isValid())
            QCOMPARE(QSizeF(window.holder().widthTwips(), window.holder().heightTwips()) / 15,
                     QSizeF(size));
        QCOMPARE(message, size.isValid() ? QString() : PictureTooLargeText().replace("\r\n", "\n"));
    }
};

QTEST_MAIN(TestFiles)
#include "tst_files.moc"
