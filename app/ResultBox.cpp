#include "app/ResultBox.h"

#include <QContextMenuEvent>
#include <QFont>
#include <QKeyEvent>
#include <QMenu>
#include <QTextDocument>

namespace tessivo {

ResultBox::ResultBox(QWidget* parent)
    : QPlainTextEdit(parent)
{
    // Character art only lines up unwrapped, in a font whose Latin characters share one width.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont designFont(QStringLiteral("宋体"));
    designFont.setPointSizeF(9.75);
    // Character art lines up only when every character takes its own advance: no kerning, no
    // ligatures. Skipping the shaper for scripts that do not need it also makes laying out a
    // line of several thousand characters about twice as fast; zoom and family changes keep it.
    designFont.setStyleStrategy(QFont::PreferNoShaping);
    setFont(designFont);
    // Tab moves the keyboard focus on, as in the rest of the window; Ctrl+Tab types a tab.
    setTabChangesFocus(true);

    // Any change of the contents that setText did not make is the user's edit; from then on the
    // box's own contents are the text.
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (!m_settingText)
            m_edited = true;
    });
}

void ResultBox::setText(const QString& text)
{
    m_settingText = true;
    // One call for the whole text: a result can hold millions of characters.
    setPlainText(text);
    m_settingText = false;
    m_text = text;
    m_edited = false;
}

QString ResultBox::text() const
{
    if (!m_edited)
        return m_text;
    return toPlainText().replace(u'\n', QStringLiteral("\r\n"));
}

QString ResultBox::fontFamily() const
{
    return font().family();
}

void ResultBox::setFontFamily(const QString& family)
{
    QFont f = font();
    f.setFamily(family);
    setFont(f);
}

double ResultBox::fontSize() const
{
    return font().pointSizeF();
}

void ResultBox::setFontSize(double points)
{
    // QFont would warn and fall back to a default size; the box keeps its size instead.
    if (!(points > 0))
        return;
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
}

void ResultBox::addContextAction(QAction* action)
{
    m_contextActions.append(action);
}

void ResultBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier && !isReadOnly()) {
        insertPlainText(QStringLiteral("\t"));
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void ResultBox::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (!m_contextActions.isEmpty()) {
        menu->setToolTipsVisible(true);
        menu->addSeparator();
        menu->addActions(m_contextActions);
    }
    menu->popup(event->globalPos());
}

} // namespace tessivo
