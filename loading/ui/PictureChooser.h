#pragma once

#include "loading/PictureLoader.h"

#include <QDialog>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tessivo {

class CanvasModel;
class CanvasHistory;
class CanvasWidget;

// Opens a picture file onto the Canvas as "打开" does. The file is read before the Canvas is
// touched. A picture that reads is drawn and held, is one step of the Canvas's history, and its
// folder becomes the last opened folder; one that does not gives the two-line message in a box
// over parent and changes nothing. Returns whether it loaded; outcome, when given, tells how the
// read went.
bool OpenPictureFile(const QString& path, CanvasModel& canvas, PictureHolder& holder,
                     CanvasHistory& history, QWidget* parent, PictureRead* outcome = nullptr);

// The picture file chooser (Form3), "Tessivo - 图像文件": drives (Drive1), the folders of the
// current drive down to the current folder and its subfolders (Dir1), the matching picture files
// of that folder (File1), a preview (Picture1) and "打开", "取消" and three shortcut buttons.
// "打开" loads the chosen file onto the Canvas. After a successful open the chooser is only
// hidden, and shows the same folder and selection next time; after "取消" or a failed open it
// asks to be unloaded (shouldUnload()), and the next one starts afresh.
class PictureChooser : public QDialog {
    Q_OBJECT

public:
    // canvas and holder: the main window's Canvas and picture holder, which "打开" fills.
    // A picture opened is one step of the Canvas's history.
    PictureChooser(CanvasModel& canvas, PictureHolder& holder, CanvasHistory& history,
                   QWidget* parent = nullptr);
    ~PictureChooser() override;

    // The file-name patterns listed, matched without regard to case.
    static const QStringList& Patterns();
    // The folder of the picture opened last, in this run of the program or an earlier one;
    // empty before any.
    static QString LastOpenedFolder();

    QString folder() const { return m_folder; }
    // Goes to a folder: drive, folder list and file list follow. A folder that cannot be listed
    // is not entered.
    void setFolder(const QString& folder);
    // The path formed from the folder and the selected file.
    QString picturePath() const;
    bool shouldUnload() const { return m_unload; }

    QComboBox* driveList() const { return m_drives; }
    QListWidget* folderList() const { return m_folders; }
    QListWidget* fileList() const { return m_files; }
    CanvasModel& preview() const { return *m_preview; }

    // The handlers of the chooser's controls.
    void File1_Click();
    void Command1_Click(); // 打开
    void Command2_Click(); // 取消
    void goToShortcut(const QString& folder);

    // Closing the chooser in any other way counts as "取消".
    void reject() override;

signals:
    // "打开" read the file at path, with this outcome.
    void pictureOpened(const QString& path, PictureRead outcome);

private:
    void fillFolderList();
    void fillFileList();
    void driveChosen(int index);

    CanvasModel& m_canvas;
    PictureHolder& m_holder;
    CanvasHistory& m_history;
    std::unique_ptr<CanvasModel> m_preview;
    QString m_folder;
    bool m_unload = false;

    QComboBox* m_drives;
    QListWidget* m_folders;
    QListWidget* m_files;
    CanvasWidget* m_previewWidget;
};

} // namespace tessivo
