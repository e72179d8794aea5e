#pragma once

#include <QGroupBox>

class QPushButton;

namespace tessivo {

class ResultBox;
class ScrollBar;
class WindowContext;

// The generation page "生成" (Frame1): the result box Text1, which shows the help text until a
// run's result replaces it, its zoom "缩放浏览" (HScroll7), "浏览" (Command9) and "生成"
// (Command1). The buttons are reported; the main window runs and shows.
class GenerationPage : public QGroupBox {
    Q_OBJECT

public:
    explicit GenerationPage(WindowContext& window, QWidget* parent = nullptr);

    ResultBox* resultBox() const { return m_text1; }
    ScrollBar* zoomBar() const { return m_zoomView; }
    QPushButton* generateButton() const { return m_generate; }
    QPushButton* viewButton() const { return m_viewButton; }

signals:
    // "生成" was clicked.
    void generateRequested();
    // "浏览" was clicked.
    void viewRequested();

private:
    void HScroll7_Scroll(int position);

    WindowContext& m_window;
    ResultBox* m_text1 = nullptr;
    ScrollBar* m_zoomView = nullptr;     // HScroll7
    QPushButton* m_viewButton = nullptr; // Command9
    QPushButton* m_generate = nullptr;   // Command1
};

} // namespace tessivo
