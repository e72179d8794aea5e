#pragma once

#include <QGroupBox>

namespace tessivo {

// The drawing-tools page "画笔工具" (Frame5) with its groups "字体" (font), "形状" (shape),
// "颜色" (colour) and "总体属性" (general properties).
class DrawingPage : public QGroupBox {
    Q_OBJECT

public:
    explicit DrawingPage(QWidget* parent = nullptr);

    QGroupBox* fontGroup() const { return m_font; }
    QGroupBox* shapeGroup() const { return m_shape; }
    QGroupBox* colorGroup() const { return m_color; }
    QGroupBox* generalGroup() const { return m_general; }

private:
    QGroupBox* m_font;
    QGroupBox* m_shape;
    QGroupBox* m_color;
    QGroupBox* m_general;
};

} // namespace tessivo
