#pragma once

#include "art/InkArt.h"
#include "art/TableWorkshop.h"
#include "engine/TableFile.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTimer;

namespace tessivo {

class CanvasModel;
class SettingsSource;

// "字符表工坊": rows typed or pasted into a box, measured in a font (the result box's unless
// changed), listed and drawn darkest first with their near-equal neighbours marked, and a
// preview of the Canvas converted with them. "另存为字符表…" writes a table file; "立即使用"
// asks the main window to load the table, as an accepted import would.
class TableWorkshopDialog : public QDialog {
    Q_OBJECT

public:
    // The preview runs over canvas with the window's settings and band count, read when it
    // starts.
    TableWorkshopDialog(const CanvasModel& canvas, const SettingsSource& settings,
                        std::function<int()> bandCount, QWidget* parent = nullptr);

    const TableWorkshop& workshop() const { return m_workshop; }
    void setResultFont(const QString& family, double pointSize);
    // The preview chooses each cell's row as "生成" does.
    void setCharacterChoice(CharacterChoice choice);

    // Writes the workshop's table to path. Returns an empty string on success, otherwise what
    // went wrong; nothing is written then.
    QString saveTable(const QString& path, TableEncoding encoding) const;
    // Shown below the buttons, e.g. why "立即使用" was refused.
    void setNote(const QString& text);

signals:
    // "立即使用": the loaded table the workshop's rows give, space row included.
    void useRequested(const QStringList& loadedTable);

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // No larger than the screen's free area, its frame and title bar included, and inside it.
    void fitScreen();
    // Measures the rows again and restarts the preview.
    void refresh();
    void startPreview();
    void tickPreview();
    void showTones();
    void chooseFileAndSave();

    const CanvasModel& m_canvas;
    const SettingsSource& m_settings;
    CharacterChoice m_choice = CharacterChoice::Tone;
    std::function<int()> m_bandCount;
    TableWorkshop m_workshop;

    QPlainTextEdit* m_rowsBox = nullptr;
    QComboBox* m_fontBox = nullptr;
    QDoubleSpinBox* m_sizeBox = nullptr;
    QDoubleSpinBox* m_thresholdBox = nullptr;
    QTableWidget* m_toneList = nullptr;
    QWidget* m_curve = nullptr;
    QLabel* m_closeNote = nullptr;
    QPlainTextEdit* m_previewBox = nullptr;
    QLabel* m_previewNote = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_useButton = nullptr;
    QLabel* m_note = nullptr;
    QTimer* m_debounce = nullptr;
    QTimer* m_previewTimer = nullptr;
    bool m_frameKnown = false; // fitted with the frame the window system gave, not a guess
};

} // namespace tessivo
