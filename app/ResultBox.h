#pragma once

#include <QList>
#include <QPlainTextEdit>

class QAction;

namespace tessivo {

// A result box (Text1): multi-line, both scroll bars, no line wrapping, in the Song-style font
// whose Latin characters all have one width, so that character art lines up. It keeps the exact
// text it was given, CR LF line ends included, so that what is copied on is what was produced.
class ResultBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit ResultBox(QWidget* parent = nullptr);

    void setText(const QString& text);
    // The text last given to setText, or, once the user has edited the box, what it shows with
    // CR LF line ends.
    QString text() const;

    QString fontFamily() const;
    void setFontFamily(const QString& family);
    double fontSize() const; // points
    // A size of 0 or less is refused and the size stays as it was.
    void setFontSize(double points);

    // Actions the box's context menu shows below the standard editing actions, in the order
    // added (the program's own: save, copy as a picture, the table workshop). Not owned.
    void addContextAction(QAction* action);
    QList<QAction*> contextActions() const { return m_contextActions; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QList<QAction*> m_contextActions;
    QString m_text;
    bool m_edited = false;
    bool m_settingText = false;
};

} // namespace tessivo
