#pragma once

#include <QWidget>

namespace tessivo {

class ResultBox;

// The result window (Form2), titled "Tessivo": one result box (its own Text1) at the top-left
// corner that follows the window's outer size, its height 400 twips less (never below 0).
// Not owned by the main window and not modal.
class ResultWindow : public QWidget {
    Q_OBJECT

public:
    explicit ResultWindow(QWidget* parent = nullptr);

    ResultBox* textBox() const { return m_text; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ResultBox* m_text;
};

} // namespace tessivo
