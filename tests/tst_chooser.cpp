#include "app/MainWindow.h"
#include "app/Startup.h"
#include "canvas/CanvasModel.h"
#include "canvas/Fonts.h"
#include "history/CanvasHistory.h"
#include "loading/ui/PictureChooser.h"
#include "widgets/GlyphRows.h"

#include "GuiTestSupport.h"
#include "TestPictures.h"
#include "TestProcess.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include <functional>

using namespace tessivo;
using tessivo::testing::DiskWaits;
using tessivo::testing::whenModal;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    [&] { QVERIFY(file.open(QIODevice::WriteOnly)); }();
    file.write(bytes);
}

void writePicture(const QString& path, int width, int height, QRgb color = qRgb(0, 0, 0),
                  const char* format = nullptr)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    [&] { QVERIFY(image.save(path, format)); }();
}

bool isChooser(QWidget* w)
{
    return qobject_cast<PictureChooser*>(w) != nullptr;
}

bool isMessage(QWidget* w)
{
    return qobject_cast<QMessageBox*>(w) != nullptr;
}

void selectFile(PictureChooser* chooser, const QString& name)
{
    const QList<QListWidgetItem*> found = chooser->fileList()->findItems(name, Qt::MatchExactly);
    [&] { QCOMPARE(found.size(), 1); }();
    chooser->fileList()->setCurrentItem(found.first());
}

void click(QWidget* window, const char* name)
{
    window->findChild<QAbstractButton*>(QLatin1String(name))->click();
}

// The rightmost column of the preview (pixels) whose top row is dark, or -1.
int drawnWidth(const CanvasModel& preview)
{
    int last = -1;
    for (int x = 0; x * 15 < preview.widthTwips(); ++x) {
        if (preview.pixelAt(x * 15, 0) == 0)
            last = x;
    }
    return last + 1;
}

} // namespace

class TestChooser : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void firstChooserStartsWhereTheRunBeforeLeftIt(); // the first chooser of the program
    void picturePath_data();
    void picturePath();
    void layoutAndPatterns();
    void previewScale_data();
    void previewScale();
    void previewOfBadFiles_data();
    void previewOfBadFiles();
    void foldersThatCannotBeListed();
    void shortcuts();
    void folderRememberedWhenItChanges();
    void openKeepsChooserCancelDropsIt();
    void openedPictureIsOneUndoStep();
    void failedOpenKeepsCanvas_data();
    void failedOpenKeepsCanvas();
    void underscoresShow_data();
    void underscoresShow();
    void rowsKeepTheirToolTips();
    void tabGoesInReadingOrder();

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_config;
};

void TestChooser::initTestCase()
{
    RegisterFontSubstitutes();
    QVERIFY(m_dir.isValid());
    // The folders the chooser remembers go to a configuration folder of this test's own.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    // The home folder too, where the shortcuts lead.
    qputenv("HOME", QFile::encodeName(m_config.filePath("home")));
    QDir::setCurrent(m_dir.path());
    writePicture(m_dir.filePath("small.bmp"), 100, 60);
    writeFile(m_dir.filePath("notes.txt"), "text");
}

// The first chooser of a run starts in the folder the run before left it in; the later ones in
// the current folder.
void TestChooser::firstChooserStartsWhereTheRunBeforeLeftIt()
{
    const QString earlier = m_dir.filePath(QStringLiteral("earlier"));
    QVERIFY(QDir().mkpath(earlier));
    QSettings(m_config.filePath("tessivo/tessivo.conf"), QSettings::IniFormat)
        .setValue("chooser/lastShownFolder", earlier);
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    {
        PictureChooser first(canvas, holder, history);
        QCOMPARE(first.folder(), earlier);
    }
    PictureChooser second(canvas, holder, history);
    QCOMPARE(second.folder(), QDir::currentPath());
}

void TestChooser::picturePath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("path");

    QTest::newRow("root") << "/"
                          << "a.bmp"
                          << "/a.bmp";
    QTest::newRow("folder") << "/home/user"
                            << "a.bmp"
                            << "/home/user/a.bmp";
    QTest::newRow("folder with separator") << "/home/user/"
                                           << "b.jpg"
                                           << "/home/user/b.jpg";
    QTest::newRow("doubled inside") << "//srv//pics"
                                    << "c.gif"
                                    << "/srv/pics/c.gif";
    QTest::newRow("no file") << "/tmp"
                             << ""
                             << "/tmp/";
}

void TestChooser::picturePath()
{
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(QString, path);
    QCOMPARE(FormPicturePath(folder, file), path);
}

void TestChooser::layoutAndPatterns()
{
    QTemporaryDir dir;
    for (const char* name : {"A.JPG", "b.Png", "c.txt", "d.jpeg", "e.dib", "f.WMF", "g.emf",
                             "h.ico", "i.cur", "j.gif", "k.tiff", "l.WebP", "m.svg"})
        writeFile(dir.filePath(QString::fromLatin1(name)), "x");
    QDir(dir.path()).mkdir(QStringLiteral("sub.jpg"));

    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    PictureChooser chooser(canvas, holder, history);
    QCOMPARE(chooser.windowTitle(), QStringLiteral("Tessivo - 图像文件"));
    QCOMPARE(chooser.folder(), QDir::currentPath());
    QCOMPARE(chooser.driveList()->itemText(0), QStringLiteral("/"));
    QCOMPARE(chooser.preview().widthTwips(), 4455);

    chooser.setFolder(dir.path());
    QStringList files;
    for (int i = 0; i < chooser.fileList()->count(); ++i)
        files << chooser.fileList()->item(i)->text();
    QCOMPARE(files, QStringList({"A.JPG", "b.Png", "d.jpeg", "e.dib", "f.WMF", "g.emf", "h.ico",
                                 "i.cur", "j.gif", "k.tiff", "l.WebP"}));
    // The folder list runs from the root down to the folder, then its subfolders.
    QListWidget* folders = chooser.folderList();
    QCOMPARE(folders->item(0)->data(Qt::UserRole).toString(), QStringLiteral("/"));
    QCOMPARE(folders->currentItem()->data(Qt::UserRole).toString(), chooser.folder());
    QCOMPARE(folders->item(folders->count() - 1)->text().trimmed(), QStringLiteral("sub.jpg"));
    // Each folder is two spaces further in than the one it is in; subfolders one step further.
    const int depth = folders->currentRow();
    for (int row = 0; row < folders->count(); ++row) {
        const QString text = folders->item(row)->text();
        const int indent = int(text.size() - QStringView(text).trimmed().size());
        QCOMPARE(indent, 2 * std::min(row, depth + 1));
    }

    // A double click on a folder goes there.
    emit folders->itemActivated(folders->item(folders->count() - 1));
    QCOMPARE(chooser.folder(), QDir(dir.filePath("sub.jpg")).absolutePath());
    QCOMPARE(chooser.fileList()->count(), 0);
}

void TestChooser::previewScale_data()
{
    QTest::addColumn<int>("pictureWidth");
    QTest::addColumn<int>("drawn");

    // The preview is 4455 twips (297 pixels) wide.
    QTest::newRow("q 0.498: half") << 148 << 74;
    QTest::newRow("q 0.502: natural") << 149 << 149;
    QTest::newRow("q 1.40: natural, cut") << 416 << 297;
    QTest::newRow("q 1.502: half") << 446 << 223;
    QTest::newRow("q 2.498: half") << 742 << 371;
    QTest::newRow("q 2.502: a third") << 743 << 248;
    QTest::newRow("q 3: a third") << 891 << 297;
}

void TestChooser::previewScale()
{
    QFETCH(int, pictureWidth);
    QFETCH(int, drawn);

    QTemporaryDir dir;
    writePicture(dir.filePath("p.png"), pictureWidth, 40);
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    PictureChooser chooser(canvas, holder, history);
    chooser.setFolder(dir.path());
    selectFile(&chooser, QStringLiteral("p.png"));
    QCOMPARE(drawnWidth(chooser.preview()), std::min(drawn, 297));
    // The Canvas is not touched by a preview.
    QCOMPARE(canvas.pixelAt(0, 0), 0xFFFFFF);
}

void TestChooser::previewOfBadFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("outcome"); // which message the preview shows

    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");

    // A PNG whose header claims 100000 x 100000 pixels.
    QByteArray bomb =
        QByteArray::fromHex("89504E470D0A1A0A0000000D49484452000186A0000186A00806000000");
    bomb += QByteArray(4, '\0');

    const int unreadable = int(PictureRead::Unreadable);
    QTest::newRow("text named .jpg") << QByteArray("not a picture") << unreadable;
    QTest::newRow("empty") << QByteArray() << unreadable;
    QTest::newRow("truncated JPEG") << jpeg.left(jpeg.size() / 3) << unreadable;
    // Its header's checksum does not match: the reader cannot even tell its size.
    QTest::newRow("picture bomb") << bomb << unreadable;
    QTest::newRow("picture bomb with a sound header")
        << testing::pngClaiming(testing::encode(image, "PNG"), 100000, 100000)
        << int(PictureRead::TooLarge);
}

void TestChooser::previewOfBadFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, outcome);

    QTemporaryDir dir;
    writeFile(dir.filePath("bad.jpg"), bytes);
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    PictureChooser chooser(canvas, holder, history);
    chooser.show();
    chooser.setFolder(dir.path());
    selectFile(&chooser, QStringLiteral("bad.jpg"));
    // The two-line message is printed at the preview's top-left; the chooser stays open.
    const CanvasModel& preview = chooser.preview();
    auto inkInRows = [&](int from, int to) {
        int ink = 0;
        for (int y = from; y < to; ++y) {
            for (int x = 0; x < 100; ++x)
                ink += preview.pixelAt(x * 15, y * 15) == 0 ? 1 : 0;
        }
        return ink;
    };
    QVERIFY(inkInRows(0, 16) > 20);
    QVERIFY(inkInRows(16, 32) > 20);
    QCOMPARE(inkInRows(40, 100), 0);
    QVERIFY(chooser.isVisible());

    CanvasModel expected;
    expected.setSizeTwips(preview.widthTwips(), preview.heightTwips());
    expected.setFontSize(10.5);
    ShowReadFailure(expected, PictureRead(outcome));
    QCOMPARE(preview.image(), expected.image());
}

void TestChooser::foldersThatCannotBeListed()
{
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    PictureChooser chooser(canvas, holder, history);
    const QString before = chooser.folder();
    // A file, even one that may be run, is no folder.
    const QString program = m_dir.filePath(QStringLiteral("run.sh"));
    writeFile(program, "#!/bin/sh\n");
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    for (const QString& bad : {m_dir.filePath("missing"), m_dir.filePath("small.bmp"), program}) {
        chooser.setFolder(bad);
        QCOMPARE(chooser.folder(), before);
        QVERIFY(
            chooser.fileList()->findItems(QStringLiteral("small.bmp"), Qt::MatchExactly).size() ==
            1);
    }
}

void TestChooser::shortcuts()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QVERIFY(QDir().mkpath(documents));

    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    PictureChooser chooser(canvas, holder, history);
    click(&chooser, "Command4");
    QCOMPARE(chooser.folder(), QDir(documents).absolutePath());
    // 最后打开的文件目录: the home folder before any picture was opened, then the folder of the
    // last one.
    QSettings saved(m_config.filePath("tessivo/tessivo.conf"), QSettings::IniFormat);
    saved.remove("chooser/lastOpenedFolder");
    saved.sync();
    click(&chooser, "Command5");
    QCOMPARE(chooser.folder(), QDir::homePath());
    saved.setValue("chooser/lastOpenedFolder", m_dir.path());
    saved.sync();
    click(&chooser, "Command5");
    QCOMPARE(chooser.folder(), m_dir.path());
}

// The folder shown is remembered for the next run, but the settings file is written (and waited
// for on the disk) only when it changes, not each time a folder is shown.
void TestChooser::folderRememberedWhenItChanges()
{
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    PictureChooser chooser(canvas, holder, history);
    chooser.setFolder(m_dir.path());
    const int waits = DiskWaits();
    for (int i = 0; i < 3; ++i)
        chooser.setFolder(m_dir.path());
    QCOMPARE(DiskWaits(), waits);
    chooser.setFolder(QDir::rootPath());
    QVERIFY(DiskWaits() > waits);
    QSettings saved(m_config.filePath("tessivo/tessivo.conf"), QSettings::IniFormat);
    QCOMPARE(saved.value("chooser/lastShownFolder").toString(), QDir::rootPath());
}

void TestChooser::openedPictureIsOneUndoStep()
{
    MainWindow window(m_dir.path(), [] { return false; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    click(&window, "Command5");
    window.canvas().line(3000, 3000, 4000, 3000);
    const QImage drawing = window.canvas().image();

    whenModal(isChooser, [](QWidget* w) {
        auto* chooser = static_cast<PictureChooser*>(w);
        selectFile(chooser, QStringLiteral("small.bmp"));
        click(chooser, "Command1");
    });
    click(&window, "Command3");
    QCOMPARE(window.holder().picture().width(), 100);

    // Ctrl+Z brings back the drawing and the empty holder; Ctrl+Y the picture.
    QVERIFY(window.history().canUndo());
    // The offscreen platform leaves the hidden chooser active; a desktop activates the window.
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window.canvas().image(), drawing);
    QVERIFY(!window.holder().hasPicture());
    QTest::keyClick(&window, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(window.canvas().pixelAt(99 * 15, 59 * 15), 0);
    QCOMPARE(window.holder().picture().width(), 100);
}

void TestChooser::openKeepsChooserCancelDropsIt()
{
    MainWindow window(m_dir.path(), [] { return false; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    click(&window, "Command5");
    window.canvas().line(3000, 3000, 4000, 3000);

    // Open small.bmp: the chooser is hidden, not gone; the picture is on the Canvas.
    whenModal(isChooser, [](QWidget* w) {
        auto* chooser = static_cast<PictureChooser*>(w);
        selectFile(chooser, QStringLiteral("small.bmp"));
        click(chooser, "Command1");
    });
    click(&window, "Command3");
    PictureChooser* first = window.chooser();
    QVERIFY(first && !first->isVisible());
    QCOMPARE(window.canvas().pixelAt(99 * 15, 59 * 15), 0);
    QCOMPARE(window.canvas().pixelAt(100 * 15, 0), 0xFFFFFF);
    QCOMPARE(window.canvas().pixelAt(3500, 3000), 0xFFFFFF);
    QCOMPARE(window.holder().picture().width(), 100);
    QCOMPARE(PictureChooser::LastOpenedFolder(), QDir(m_dir.path()).absolutePath());

    // Again: the same chooser, folder and selection; this time cancelled.
    whenModal(isChooser, [&](QWidget* w) {
        QCOMPARE(w, first);
        auto* chooser = static_cast<PictureChooser*>(w);
        QCOMPARE(chooser->fileList()->currentItem()->text(), QStringLiteral("small.bmp"));
        chooser->setFolder(QStringLiteral("/"));
        click(chooser, "Command2");
    });
    click(&window, "Command3");
    QVERIFY(!window.chooser());

    // A fresh chooser starts in the current folder again, with nothing selected.
    whenModal(isChooser, [&](QWidget* w) {
        auto* chooser = static_cast<PictureChooser*>(w);
        QCOMPARE(chooser->folder(), QDir(m_dir.path()).absolutePath());
        QVERIFY(!chooser->fileList()->currentItem());
        chooser->reject();
    });
    click(&window, "Command3");
    QVERIFY(!window.chooser());
}

void TestChooser::failedOpenKeepsCanvas_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expectedMessage");

    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QTest::newRow("broken") << "broken.gif" << QByteArray("GIF89a broken")
                            << QStringLiteral("图片数据读取失败！\n请确定文件准确性");
    QTest::newRow("too large") << "large.png"
                               << testing::pngClaiming(testing::encode(image, "PNG"), 60000, 60000)
                               << QStringLiteral("图片过大，无法载入！\n请缩小图片尺寸后再试");
}

void TestChooser::failedOpenKeepsCanvas()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expectedMessage);

    writeFile(m_dir.filePath(name), bytes);
    MainWindow window(m_dir.path(), [] { return false; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.canvas().setForeColor(0x0000FF);
    window.canvas().line(3000, 3000, 4000, 3000);
    const QImage before = window.canvas().image();

    QString message;
    whenModal(isChooser, [&](QWidget* w) {
        auto* chooser = static_cast<PictureChooser*>(w);
        selectFile(chooser, name);
        whenModal(isMessage, [&](QWidget* box) {
            message = static_cast<QMessageBox*>(box)->text();
            QCOMPARE(box->windowTitle(), QStringLiteral("Tessivo"));
            static_cast<QMessageBox*>(box)->accept();
        });
        click(chooser, "Command1");
    });
    click(&window, "Command3");
    QCOMPARE(message, expectedMessage);
    QCOMPARE(window.canvas().image(), before);
    QVERIFY(!window.chooser());
    QVERIFY(!window.holder().hasPicture());
}

// Tab goes from the drives down the lists to 打开 and 取消, then along the shortcuts.
void TestChooser::tabGoesInReadingOrder()
{
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    PictureChooser chooser(canvas, holder, history);
    QStringList order;
    QWidget* start = chooser.driveList();
    for (QWidget* w = start; order.size() < 20; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty())
            order.append(w->objectName());
        if (w->nextInFocusChain() == start)
            break;
    }
    QCOMPARE(order, QStringList({"Drive1", "Dir1", "File1", "Command1", "Command2", "Command3",
                                 "Command4", "Command5"}));
}

// Rows made tall enough for every glyph keep what the list's own rows do: their tooltips.
void TestChooser::rowsKeepTheirToolTips()
{
    QListWidget list;
    list.addItem(QStringLiteral("a_b.png"));
    list.item(0)->setToolTip(QStringLiteral("a_b.png, 2 KB"));
    MakeRowsFitGlyphs(list);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QPoint at = list.visualItemRect(list.item(0)).center();
    QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("a_b.png, 2 KB"));
    QToolTip::hideText();
}

void TestChooser::underscoresShow_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("list");
    // Fusion is what the program gets on Linux; Windows is the other style Qt brings.
    for (const char* style : {"Fusion", "Windows"}) {
        for (const char* list : {"Dir1", "File1", "Drive1"})
            QTest::addRow("%s, %s", list, style) << style << list;
    }
}

// A name with an underscore and the same name with a space draw alike but for the underscore's
// ink, below the baseline: the row must be tall enough for it.
void TestChooser::underscoresShow()
{
    QFETCH(QString, style);
    QFETCH(QString, list);

    const QFont font = QApplication::font();
    const QString styleBefore = QApplication::style()->name();
    const auto restore = qScopeGuard([&] {
        QApplication::setFont(font);
        QApplication::setStyle(styleBefore);
    });
    QApplication::setFont(WindowFont());
    QVERIFY(QApplication::setStyle(style));

    QTemporaryDir dir;
    const QStringList names = {QStringLiteral("under_score"), QStringLiteral("under score")};
    for (const QString& name : names) {
        QVERIFY(QDir(dir.path()).mkdir(name));
        writeFile(dir.filePath(name + QStringLiteral(".bmp")), "x");
    }
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    PictureChooser chooser(canvas, holder, history);
    chooser.setFolder(dir.path());
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));

    QAbstractItemView* view = nullptr;
    QList<QModelIndex> rows;
    if (list == QLatin1String("Drive1")) {
        QComboBox* drives = chooser.driveList();
        drives->clear();
        for (const QString& name : names) {
            drives->addItem(QStringLiteral("/media/") + name);
            rows.append(drives->model()->index(drives->count() - 1, 0));
        }
        drives->showPopup();
        view = drives->view();
        QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    } else {
        auto* nameList = chooser.findChild<QListWidget*>(list);
        QVERIFY(nameList);
        nameList->setCurrentRow(-1);
        for (const QString& name : names) {
            const QString text =
                list == QLatin1String("File1") ? name + QStringLiteral(".bmp") : name;
            for (int i = 0; i < nameList->count(); ++i) {
                if (nameList->item(i)->text().trimmed() == text)
                    rows.append(nameList->model()->index(i, 0));
            }
        }
        view = nameList;
    }
    QCOMPARE(rows.size(), 2);

    const QImage image = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Both rows whole in height; a drop-down's rows may be wider than its viewport.
    const QRect viewport = view->viewport()->rect();
    const QRect with = view->visualRect(rows[0]).intersected(viewport);
    const QRect without = view->visualRect(rows[1]).intersected(viewport);
    QCOMPARE(with.height(), view->visualRect(rows[0]).height());
    QCOMPARE(without.size(), with.size());
    // Pixels dark in the underscored name and light in the other, and the lowest such row.
    int ink = 0;
    int lowest = -1;
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            const int a = qGray(image.pixel(with.topLeft() + QPoint(x, y)));
            const int b = qGray(image.pixel(without.topLeft() + QPoint(x, y)));
            if (a < 128 && b >= 128) {
                ++ink;
                lowest = y;
            }
        }
    }
    QVERIFY2(ink >= 4, qPrintable(QStringLiteral("underscore ink: %1 pixels").arg(ink)));
    // The underscore lies below the text's middle.
    QVERIFY(lowest > with.height() / 2);
}

QTEST_MAIN(TestChooser)
#include "tst_chooser.moc"
