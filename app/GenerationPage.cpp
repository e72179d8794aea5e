#include "app/GenerationPage.h"

#include "app/HelpText.h"
#include "app/ResultBox.h"
#include "widgets/ScrollBar.h"
#include "widgets/TwipsLayout.h"
#include "widgets/WindowContext.h"

#include <QLabel>
#include <QPushButton>

namespace tessivo {

GenerationPage::GenerationPage(WindowContext& window, QWidget* parent)
    : QGroupBox(QStringLiteral("生成"), parent)
    , m_window(window)
{
    setObjectName(QStringLiteral("Frame1"));

    m_text1 = new ResultBox(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    PlaceInTwips(m_text1, 120, 240, 7935, 5970);
    m_text1->setText(HelpText());

    auto* zoomLabel = new QLabel(QStringLiteral("缩放浏览"), this);
    PlaceInTwips(zoomLabel, 120, 6285, 900, 255);
    m_zoomView = new ScrollBar(Qt::Horizontal, this);
    m_zoomView->setObjectName(QStringLiteral("HScroll7"));
    m_zoomView->configure(0, 36, 1, 2, 10);
    PlaceInTwips(m_zoomView, 1020, 6285, 2775, 255);

    m_viewButton =
        Placed<QPushButton>(this, "Command9", {5280, 6225, 1095, 345}, QStringLiteral("浏览"));
    m_generate =
        Placed<QPushButton>(this, "Command1", {6480, 6225, 1575, 345}, QStringLiteral("生成"));

    m_generate->setToolTip(QStringLiteral("生成字符画（F5 或 Ctrl+Enter）"));

    connect(m_generate, &QPushButton::clicked, this, &GenerationPage::generateRequested);
    connect(m_viewButton, &QPushButton::clicked, this, &GenerationPage::viewRequested);
    // The zoom acts while the thumb is dragged; arrows and track only move the thumb.
    connect(m_zoomView, &ScrollBar::dragged, this, &GenerationPage::HScroll7_Scroll);
}

void GenerationPage::HScroll7_Scroll(int position)
{
    m_window.setTitle(QString::number(position));
    // A size of 0 is refused by the box and the size stays.
    m_text1->setFontSize(position);
}

} // namespace tessivo
