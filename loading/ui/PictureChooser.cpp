#include "loading/ui/PictureChooser.h"

#include "canvas/CanvasModel.h"
#include "history/CanvasHistory.h"
#include "loading/PictureDecoder.h"
#include "widgets/CanvasWidget.h"
#include "widgets/GlyphRows.h"
#include "widgets/TwipsLayout.h"
#include "widgets/UserSettings.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStorageInfo>

namespace tessivo {

namespace {

// The folders the chooser remembers between runs of the program: where the last picture was
// opened from, and the folder it was last left in.
const QString LastOpenedKey = QStringLiteral("chooser/lastOpenedFolder");
const QString LastShownKey = QStringLiteral("chooser/lastShownFolder");

QString rememberedFolder(const QString& key)
{
    return UserSettings().value(key).toString();
}

void rememberFolder(const QString& key, const QString& folder)
{
    KeepUserSetting(key, folder);
}

// Mounted volumes that can be read, the root first.
QStringList driveRoots()
{
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots.append(volume.rootPath());
    }
    roots.removeAll(QStringLiteral("/"));
    roots.sort();
    roots.prepend(QStringLiteral("/"));
    return roots;
}

// The drive a folder lies on: the longest root that contains it.
QString driveOf(const QString& folder, const QStringList& roots)
{
    QString best = QStringLiteral("/");
    for (const QString& root : roots) {
        const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
        if ((folder == root || folder.startsWith(prefix)) && root.size() > best.size())
            best = root;
    }
    return best;
}

bool canList(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect twips)
{
    auto* b = Placed<QPushButton>(parent, name, twips, caption);
    b->setAutoDefault(false);
    return b;
}

} // namespace

const QStringList& PictureChooser::Patterns()
{
    // The classic picture formats, and the commonest on Linux besides them: desktop backgrounds
    // and scans come as WebP and TIFF.
    static const QStringList patterns = {"*.bmp",  "*.dib", "*.gif", "*.jpg", "*.wmf",
                                         "*.emf",  "*.ico", "*.cur", "*.png", "*.jpeg",
                                         "*.webp", "*.tif", "*.tiff"};
    return patterns;
}

QString PictureChooser::LastOpenedFolder()
{
    return rememberedFolder(LastOpenedKey);
}

PictureChooser::PictureChooser(CanvasModel& canvas, PictureHolder& holder, CanvasHistory& history,
                               QWidget* parent)
    : QDialog(parent)
    , m_canvas(canvas)
    , m_holder(holder)
    , m_history(history)
    , m_preview(std::make_unique<CanvasModel>())
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Tessivo - 图像文件"));
    setModal(true);
    setFixedSize(TwipsToPixels(9585), TwipsToPixels(4980));

    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("Drive1"));
    m_drives->addItems(driveRoots());
    PlaceInTwips(m_drives, 0, 0, 4935, 300);

    m_folders = new QListWidget(this);
    m_folders->setObjectName(QStringLiteral("Dir1"));
    PlaceInTwips(m_folders, 0, 360, 4935, 2610);

    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("File1"));
    PlaceInTwips(m_files, 0, 3000, 4935, 1530);

    // Underscores and descenders of names stay whole in the window's Song font. The drive
    // list's drop-down rows are tall enough already.
    MakeRowsFitGlyphs(*m_folders);
    MakeRowsFitGlyphs(*m_files);

    auto* open = button(this, "Command1", QStringLiteral("打开"), {7080, 4560, 1215, 375});
    auto* cancel = button(this, "Command2", QStringLiteral("取消"), {8280, 4560, 1215, 375});

    // The preview is a small Canvas of its own: white, in a 10.5-point Song font.
    m_preview->setSizeTwips(4455, 4575);
    m_preview->setFontSize(10.5);
    m_previewWidget = new CanvasWidget(*m_preview, this);
    m_previewWidget->move(TwipsRect(5040, 0, 0, 0).topLeft());

    auto* desktop = button(this, "Command3", QStringLiteral("桌面"), {0, 4560, 855, 375});
    auto* documents = button(this, "Command4", QStringLiteral("我的文档"), {840, 4560, 855, 375});
    auto* recent =
        button(this, "Command5", QStringLiteral("最后打开的文件目录"), {1680, 4560, 1935, 375});

    QWidget::setTabOrder(m_drives, m_folders);
    QWidget::setTabOrder(m_folders, m_files);
    QWidget::setTabOrder(m_files, open);
    QWidget::setTabOrder(open, cancel);
    QWidget::setTabOrder(cancel, desktop);
    QWidget::setTabOrder(desktop, documents);
    QWidget::setTabOrder(documents, recent);

    connect(m_drives, &QComboBox::activated, this, &PictureChooser::driveChosen);
    connect(m_folders, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setFolder(item->data(Qt::UserRole).toString()); });
    connect(m_files, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            File1_Click();
    });
    connect(open, &QPushButton::clicked, this, &PictureChooser::Command1_Click);
    connect(cancel, &QPushButton::clicked, this, &PictureChooser::Command2_Click);
    connect(desktop, &QPushButton::clicked, this, [this] {
        goToShortcut(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    });
    connect(documents, &QPushButton::clicked, this, [this] {
        goToShortcut(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    });
    connect(recent, &QPushButton::clicked, this, [this] {
        const QString last = LastOpenedFolder();
        goToShortcut(last.isEmpty() ? QDir::homePath() : last);
    });

    // A fresh chooser starts in the program's current folder; the first one of a run starts
    // where the chooser was left in the run before, when that folder is still there.
    static bool firstOfRun = true;
    const QString earlier = firstOfRun ? rememberedFolder(LastShownKey) : QString();
    firstOfRun = false;
    setFolder(QDir::currentPath());
    if (!earlier.isEmpty())
        setFolder(earlier);
}

PictureChooser::~PictureChooser() = default;

void PictureChooser::setFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    if (!canList(clean))
        return;
    m_folder = clean;
    rememberFolder(LastShownKey, clean);
    const int drive = m_drives->findText(driveOf(clean, driveRoots()));
    if (drive >= 0)
        m_drives->setCurrentIndex(drive);
    fillFolderList();
    fillFileList();
}

void PictureChooser::driveChosen(int index)
{
    const QString root = m_drives->itemText(index);
    // Staying on the same drive keeps the folder.
    if (driveOf(m_folder, driveRoots()) != root)
        setFolder(root);
}

void PictureChooser::fillFolderList()
{
    m_folders->clear();
    // The folders from the root down to the current one, then its subfolders, one step further
    // in; a double click or Enter goes to a folder.
    QStringList chain;
    for (QDir dir(m_folder);;) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& path : chain) {
        const QString name = depth == 0 ? path : QFileInfo(path).fileName();
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, m_folders);
        item->setData(Qt::UserRole, path);
        ++depth;
    }
    QListWidgetItem* current = m_folders->item(m_folders->count() - 1);
    QFont bold = current->font();
    bold.setBold(true);
    current->setFont(bold);
    m_folders->setCurrentItem(current);

    const QDir dir(m_folder);
    const QStringList subfolders =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subfolders) {
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, m_folders);
        item->setData(Qt::UserRole, dir.filePath(name));
    }
}

void PictureChooser::fillFileList()
{
    const QSignalBlocker blocker(m_files);
    m_files->clear();
    // Name filters match without regard to case unless told otherwise.
    m_files->addItems(QDir(m_folder).entryList(Patterns(), QDir::Files | QDir::Readable,
                                               QDir::Name | QDir::IgnoreCase));
}

namespace {

// The wait cursor while a picture is read: a large photo, or a metafile drawn by the helper
// process, can take a noticeable time.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

bool OpenPictureFile(const QString& path, CanvasModel& canvas, PictureHolder& holder,
                     CanvasHistory& history, QWidget* parent, PictureRead* readOutcome)
{
    CanvasHistory::Step before = history.capture();
    PictureRead ignored = PictureRead::Unreadable;
    PictureRead& outcome = readOutcome ? *readOutcome : ignored;
    outcome = PictureRead::Unreadable;
    // Only a file is read: a folder, a device or a pipe (which would hold the window until
    // something writes to it) is refused at once.
    const bool loaded = QFileInfo(path).isFile() && [&] {
        const BusyCursor busy;
        return LoadPictureOntoCanvas(path, canvas, holder, &outcome);
    }();
    if (loaded) {
        history.push(std::move(before));
        rememberFolder(LastOpenedKey, QFileInfo(path).absolutePath());
        return true;
    }
    QString message = PictureFailureText(outcome);
    message.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tessivo"), message, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("readFailure"));
    box.exec();
    return false;
}

QString PictureChooser::picturePath() const
{
    const QListWidgetItem* item = m_files->currentItem();
    return FormPicturePath(m_folder, item ? item->text() : QString());
}

void PictureChooser::File1_Click()
{
    const QString path = picturePath();
    const ReducedPicture picture = [&] {
        const BusyCursor busy;
        return DecodeForPreview(path, *m_preview);
    }();
    if (picture.image.isNull()) {
        ShowReadFailure(*m_preview, picture.outcome());
        return;
    }
    DrawPreview(picture, *m_preview);
}

void PictureChooser::Command1_Click()
{
    hide();
    PictureRead outcome = PictureRead::Unreadable;
    const QString path = picturePath();
    const bool opened =
        OpenPictureFile(path, m_canvas, m_holder, m_history, parentWidget(), &outcome);
    emit pictureOpened(path, outcome);
    if (opened)
        accept();
    else
        reject();
}

void PictureChooser::Command2_Click()
{
    reject();
}

void PictureChooser::reject()
{
    m_unload = true;
    QDialog::reject();
}

void PictureChooser::goToShortcut(const QString& folder)
{
    if (!folder.isEmpty())
        setFolder(folder);
}

} // namespace tessivo
