#pragma once

// Reading the exported formats back: the characters each holds and the colour each character is
// drawn in, so that tests can compare them with the result text.

#include <QList>
#include <QRegularExpression>
#include <QRgb>
#include <QString>
#include <QStringList>

namespace tessivo {

constexpr QRgb NoColour = 0xFF000000; // a character drawn in no colour of its own

// One line as an export holds it.
struct ReadLine {
    QString text;
    QList<QRgb> colours; // one per QChar
    QList<double> x;     // where each character is placed, where the format says
};

inline QRgb parseHexColour(QStringView hex)
{
    return QRgb(hex.toUInt(nullptr, 16)) & 0xFFFFFF;
}

inline QList<ReadLine> splitLines(const QString& text, const QList<QRgb>& colours)
{
    QList<ReadLine> lines(1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\r') && i + 1 < text.size() &&
            text.at(i + 1) == QLatin1Char('\n')) {
            lines.append(ReadLine{});
            ++i;
            continue;
        }
        lines.last().text += text.at(i);
        lines.last().colours.append(colours.at(i));
    }
    return lines;
}

// The <pre> of a page: spans give colours; entities are read back.
inline QList<ReadLine> readHtml(const QString& page)
{
    const qsizetype from = page.indexOf(QLatin1String("<pre>")) + 5;
    const qsizetype to = page.indexOf(QLatin1String("</pre>"));
    static const QRegularExpression span(QStringLiteral("<span style=\"color:#([0-9a-f]{6})\">"));
    static const QRegularExpression entity(QStringLiteral("&(amp|lt|gt|#x[0-9a-f]+);"));
    QString text;
    QList<QRgb> colours;
    QRgb current = NoColour;
    for (qsizetype i = from; i < to;) {
        const QStringView rest = QStringView(page).mid(i, to - i);
        // Only a tag or an entity starts with these; the rest are characters.
        const QChar c = page.at(i);
        if (const auto m = c != QLatin1Char('<')
                               ? QRegularExpressionMatch()
                               : span.match(page, i, QRegularExpression::NormalMatch,
                                            QRegularExpression::AnchorAtOffsetMatchOption);
            m.hasMatch()) {
            current = parseHexColour(m.capturedView(1));
            i += m.capturedLength();
        } else if (rest.startsWith(QLatin1String("</span>"))) {
            current = NoColour;
            i += 7;
        } else if (const auto e = c != QLatin1Char('&')
                                      ? QRegularExpressionMatch()
                                      : entity.match(page, i, QRegularExpression::NormalMatch,
                                                     QRegularExpression::AnchorAtOffsetMatchOption);
                   e.hasMatch()) {
            const QStringView name = e.capturedView(1);
            QString character = name == QLatin1String("amp")  ? QStringLiteral("&")
                                : name == QLatin1String("lt") ? QStringLiteral("<")
                                : name == QLatin1String("gt") ? QStringLiteral(">")
                                                              : QString();
            if (character.isEmpty()) {
                const char32_t u = name.mid(2).toUInt(nullptr, 16);
                character = QString::fromUcs4(&u, 1);
            }
            text += character;
            colours.append(QList<QRgb>(character.size(), current));
            i += e.capturedLength();
        } else {
            text += page.at(i);
            colours.append(current);
            ++i;
        }
    }
    return splitLines(text, colours);
}

// One <text> a line, its characters in tspans with an x for each.
inline QList<ReadLine> readSvg(const QString& svg)
{
    static const QRegularExpression textLine(QStringLiteral("<text y=\"[^\"]*\">(.*)</text>"));
    static const QRegularExpression tspan(
        QStringLiteral("<tspan x=\"([^\"]*)\"(?: fill=\"#([0-9a-f]{6})\")?>([^<]*)</tspan>"));
    QList<ReadLine> lines;
    for (auto it = textLine.globalMatch(svg); it.hasNext();) {
        const QString inner = it.next().captured(1);
        ReadLine line;
        for (auto t = tspan.globalMatch(inner); t.hasNext();) {
            const auto m = t.next();
            QString chars = m.captured(3);
            chars.replace(QLatin1String("&lt;"), QLatin1String("<"))
                .replace(QLatin1String("&gt;"), QLatin1String(">"))
                .replace(QLatin1String("&amp;"), QLatin1String("&"));
            const QRgb colour = m.capturedLength(2) ? parseHexColour(m.capturedView(2)) : NoColour;
            const QStringList xs = m.captured(1).split(QLatin1Char(' '));
            qsizetype n = 0;
            for (qsizetype i = 0; i < chars.size(); ++i) {
                line.text += chars.at(i);
                line.colours.append(colour);
                if (!chars.at(i).isLowSurrogate())
                    line.x.append(xs.value(n++).toDouble());
            }
        }
        lines.append(line);
    }
    return lines;
}

// 24-bit colour escapes; a reset ends a colour.
inline QList<ReadLine> readAnsi(const QString& ansi, int* escapes)
{
    static const QRegularExpression colour(QStringLiteral("\x1b\\[38;2;(\\d+);(\\d+);(\\d+)m"));
    QString text;
    QList<QRgb> colours;
    QRgb current = NoColour;
    *escapes = 0;
    for (qsizetype i = 0; i < ansi.size();) {
        const QStringView rest = QStringView(ansi).mid(i);
        if (const auto m = ansi.at(i) != QLatin1Char('\x1b')
                               ? QRegularExpressionMatch()
                               : colour.match(ansi, i, QRegularExpression::NormalMatch,
                                              QRegularExpression::AnchorAtOffsetMatchOption);
            m.hasMatch()) {
            current = qRgb(m.capturedView(1).toInt(), m.capturedView(2).toInt(),
                           m.capturedView(3).toInt()) &
                      0xFFFFFF;
            ++*escapes;
            i += m.capturedLength();
        } else if (rest.startsWith(QLatin1String("\x1b[0m"))) {
            current = NoColour;
            i += 4;
        } else {
            text += ansi.at(i);
            colours.append(current);
            ++i;
        }
    }
    return splitLines(text, colours);
}

} // namespace tessivo
