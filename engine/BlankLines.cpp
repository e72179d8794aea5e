#include "engine/BlankLines.h"

namespace tessivo {

namespace {

bool isBlank(QStringView line)
{
    for (QChar c : line) {
        if (c != QLatin1Char(' '))
            return false;
    }
    return true;
}

} // namespace

QString ClearBlankLines(const QString& text)
{
    static const QString crlf = QStringLiteral("\r\n");
    QString result;
    result.reserve(text.size());
    qsizetype from = 0;
    // Every part of the text followed by CR LF, the text itself taken as ending in CR LF.
    while (from <= text.size()) {
        qsizetype end = text.indexOf(crlf, from);
        if (end < 0)
            end = text.size();
        QStringView part = QStringView(text).mid(from, end - from);
        if (isBlank(part))
            part = {};
        if (result.isEmpty())
            result = part.toString();
        else
            result.append(crlf).append(part);
        from = end + 2;
    }
    return result;
}

} // namespace tessivo
