#pragma once

#include <QPlainTextEdit>

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

private:
    QString m_text;
    bool m_edited = false;
    bool m_settingText = false;
};

} // namespace tessivo
