#pragma once

#include "app/RunRecord.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace tessivo {

class ResultBox;

// Saving and copying a result box's art: "另存为…" (Ctrl+S in the box's window) and "复制为图片"
// in the box's context menu. Text types save what the box shows, edits included; the coloured
// page and the pictures are made from the last run's result (the box's text before any run).
class ResultSaver : public QObject {
    Q_OBJECT

public:
    // The types of the save dialog, in its order.
    enum class SaveType { TextUtf8, TextGbk, Page, ColourPage, Svg, Png };

    ResultSaver(RunRecord& record, QObject* parent = nullptr);

    // Gives the box both actions in its context menu, and Ctrl+S in window.
    void attach(ResultBox* box, QWidget* window);
    // Off while a run is going: the boxes are empty then.
    void setEnabled(bool enabled);

    // "另存为…" for box: the save dialog (object name "SaveDialog"), modal, then the file written.
    // Whether a file was written.
    bool openSaveDialog(ResultBox* box);
    // Writes box's art as type to path; false, with a message box, when nothing was written.
    bool save(ResultBox* box, const QString& path, SaveType type);
    // "复制为图片": the PNG rendering of the art on the clipboard.
    bool copyPicture(ResultBox* box);

    // The dialog's name filter of each type, in the order of SaveType.
    static QStringList NameFilters();

private:
    ArtDocument artFor(ResultBox* box, SaveType type);
    void warn(ResultBox* box, const QString& text);

    RunRecord& m_record;
    QList<QAction*> m_actions;
    bool m_enabled = true;
};

// Writes a file of the window whole: the old file stays as it was until every byte has reached
// the new one, and on any failure. Empty when written; otherwise why not, in Chinese.
QString WriteWholeFile(const QString& path, const QByteArray& bytes);

} // namespace tessivo
