// Pictures that reach the main window other than through the picture chooser: a file named on
// the command line, a file dropped on the window, and a picture pasted from the clipboard.

#include "app/MainWindow.h"

#include "app/StatusTexts.h"
#include "canvas/ui/CanvasPage.h"
#include "loading/PictureDecoder.h"
#include "loading/PictureLoader.h"
#include "loading/ui/PictureChooser.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QShortcut>

namespace tessivo {

namespace {

// The first local file a drag carries, or an empty string.
QString droppedFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return {};
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

} // namespace

bool MainWindow::openPicture(const QString& path)
{
    if (isRunning())
        return false;
    PictureRead outcome = PictureRead::Unreadable;
    const bool opened = OpenPictureFile(path, m_canvas, m_holder, m_history, this, &outcome);
    showPictureOutcome(path, outcome);
    if (!opened)
        return false;
    showPage(Page::Canvas);
    return true;
}

bool MainWindow::pastePicture()
{
    if (isRunning() || !m_canvasPage->isVisible())
        return false;
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime)
        return false;
    // A file copied in a file manager comes as its address: the file is opened.
    if (const QString file = droppedFile(mime); !file.isEmpty())
        return openPicture(file);
    // The picture's own bytes are read as a file's are, under the program's memory limit rather
    // than the image readers' default one, and a picture too large says so.
    ReducedPicture read;
    for (const QString& format : mime->formats()) {
        if (!format.startsWith(QLatin1String("image/")))
            continue;
        read = ReadPictureData(mime->data(format));
        if (read.outcome() != PictureRead::Unreadable)
            break;
    }
    if (read.outcome() == PictureRead::Unreadable && mime->hasImage())
        read.image = qvariant_cast<QImage>(mime->imageData());
    if (read.outcome() == PictureRead::TooLarge) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tessivo"),
                        PictureTooLargeText().replace(QLatin1String("\r\n"), QLatin1String("\n")),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("readFailure"));
        box.exec();
        return false;
    }
    if (read.image.isNull())
        return false;
    // Drawn as a picture opened from a file, and held, so that 缩放比例 zooms it.
    m_history.record();
    m_holder.setPicture(read.image);
    DrawLoadedPicture(read.image, m_canvas);
    return true;
}

void MainWindow::showPictureOutcome(const QString& path, PictureRead outcome)
{
    // The message box says only that the picture did not read; a picture read only in part is
    // told apart, and named, on the status line.
    if (outcome == PictureRead::Incomplete)
        ShowStatus(*m_status,
                   StatusTextFor(Status::PictureIncomplete, 0, QFileInfo(path).fileName()));
}

void MainWindow::buildFileDrops()
{
    // Files are taken anywhere on the window. A drop on a widget that takes no drops comes to
    // the window; the text boxes take drops themselves, so a file is taken from them first,
    // while text dropped on them stays theirs.
    setAcceptDrops(true);
    for (QWidget* widget : findChildren<QWidget*>()) {
        if (widget->acceptDrops())
            widget->installEventFilter(this);
    }
    auto* paste = new QShortcut(QKeySequence::Paste, this);
    connect(paste, &QShortcut::activated, this, &MainWindow::pastePicture);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    handleFileDrop(event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    handleFileDrop(event);
}

void MainWindow::dropEvent(QDropEvent* event)
{
    handleFileDrop(event);
}

bool MainWindow::handleFileDrop(QEvent* event)
{
    const auto type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QString file = droppedFile(drop->mimeData());
    if (file.isEmpty())
        return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    // The first of several files is opened; a file that is not a picture gets the message.
    if (type == QEvent::Drop)
        openPicture(file);
    return true;
}

} // namespace tessivo
