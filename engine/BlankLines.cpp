#include "engine/BlankLines.h"

#include "engine/TextCells.h"

namespace tessivo {

namespace {

// Calls keep(from, length) for each stretch of the text that stays, in order, and
// keepLineEnd(at) for each CR LF kept, at where it stands in the text.
template <typename Keep, typename KeepLineEnd>
void clearBlankLines(const QString& text, Keep keep, KeepLineEnd keepLineEnd)
{
    static const QString crlf = QStringLiteral("\r\n");
    bool started = false;
    qsizetype from = 0;
    // Every part of the text followed by CR LF, the text itself taken as ending in CR LF.
    while (from <= text.size()) {
        qsizetype end = text.indexOf(crlf, from);
        if (end < 0)
            end = text.size();
        const qsizetype length =
            IsBlankRow(QStringView(text).mid(from, end - from)) ? 0 : end - from;
        // Lines before the first one with text leave nothing, not even their line end.
        if (started)
            keepLineEnd(from - 2);
        keep(from, length);
        started = started || length > 0;
        from = end + 2;
    }
}

} // namespace

QString ClearBlankLines(const QString& text)
{
    QString result;
    result.reserve(text.size());
    clearBlankLines(
        text, [&](qsizetype from, qsizetype length) { result.append(text.mid(from, length)); },
        [&](qsizetype) { result.append(QLatin1String("\r\n")); });
    return result;
}

QString ClearBlankLines(const QString& text, const QList<ColorValue>& colours,
                        QList<ColorValue>& keptColours)
{
    QString result;
    result.reserve(text.size());
    keptColours.clear();
    keptColours.reserve(colours.size());
    clearBlankLines(
        text,
        [&](qsizetype from, qsizetype length) {
            result.append(QStringView(text).mid(from, length));
            keptColours.append(QList<ColorValue>(colours.constBegin() + from,
                                                 colours.constBegin() + from + length));
        },
        [&](qsizetype at) {
            result.append(QLatin1String("\r\n"));
            keptColours.append(colours.mid(at, 2));
        });
    return result;
}

} // namespace tessivo
