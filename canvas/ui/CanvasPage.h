#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace tessivo {

class CanvasHistory;
class CanvasModel;
class CanvasWidget;
class WindowContext;

// The canvas page "画布" (Frame2): the Canvas (Picture1), the zoom boxes "X:" (Combo1) and "Y:"
// (Combo2), the text to imprint (Text2) with "印入文字" (Command2), "清空画布" (Command11) and
// "载入图片" (Command3). Every change it makes to the Canvas is an undo step.
class CanvasPage : public QGroupBox {
    Q_OBJECT

public:
    CanvasPage(WindowContext& window, CanvasModel& canvas, CanvasHistory& history,
               QWidget* parent = nullptr);

    CanvasWidget* canvasWidget() const { return m_canvasWidget; }
    QComboBox* zoomX() const { return m_zoomX; }
    QComboBox* zoomY() const { return m_zoomY; }
    QPlainTextEdit* textBox() const { return m_text; }

    // Fills each zoom box with "40%" .. "100%"; both keep showing "100%" with no entry chosen.
    void fillZoomBoxes();

    // "印入文字": prints the text box's text into the Canvas at the marker's right edge.
    void imprint();
    // A font-size slider settled: the Canvas is cleared and the text printed anew at that size.
    void previewFont(int points);

signals:
    // "载入图片" was clicked.
    void loadPictureRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void zoom(QComboBox* box, int index);
    void printText();

    WindowContext& m_window;
    CanvasModel& m_canvas;
    CanvasHistory& m_history;
    CanvasWidget* m_canvasWidget;
    QComboBox* m_zoomX;
    QComboBox* m_zoomY;
    QPlainTextEdit* m_text;
    // The entries the zoom boxes last applied, -1 for none: what an undo step keeps of them.
    int m_zoomXIndex = -1;
    int m_zoomYIndex = -1;
};

} // namespace tessivo
