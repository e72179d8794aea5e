#include "export/ArtExport.h"
#include "export/ArtLines.h"

#include "engine/FreshMemory.h"

#include <QStringEncoder>

#include <algorithm>

namespace tessivo {

namespace {

// The text in UTF-8. Art from the built-in table is plain ASCII, which is copied byte for byte,
// straight into a buffer of the final size: a fine run's art has millions of characters.
QByteArray utf8(QStringView text)
{
    const bool ascii =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii)
        return text.toUtf8();
    QByteArray bytes(text.size(), Qt::Uninitialized);
    PrepareForWriting(bytes.data(), std::size_t(bytes.size()));
    std::transform(text.cbegin(), text.cend(), bytes.data(),
                   [](QChar c) { return char(c.unicode()); });
    return bytes;
}

// The first character GBK cannot hold, as a message naming it and where it stands; empty when
// it can hold them all.
QString firstOutsideGbk(const QString& text)
{
    const std::optional<GbkMiss> miss = FirstOutsideGbk(text);
    if (!miss)
        return {};
    const char32_t c = miss->character;
    return QStringLiteral("GBK cannot hold the character %1 (U+%2) at line %3, column %4")
        .arg(QString::fromUcs4(&c, 1),
             QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')))
        .arg(miss->line)
        .arg(miss->column);
}

QByteArray gbk(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QString colourName(QRgb rgb)
{
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

void appendEscaped(QString& html, const QString& text, qsizetype from, qsizetype length,
                   TextEncoding encoding)
{
    for (qsizetype i = from; i < from + length;) {
        int units = 1;
        const char32_t c = CodePointAt(text, i, &units);
        switch (c) {
        case U'&': html += QLatin1String("&amp;"); break;
        case U'<': html += QLatin1String("&lt;"); break;
        case U'>': html += QLatin1String("&gt;"); break;
        default:
            // A page in GBK names what GBK cannot hold by its number.
            if (encoding == TextEncoding::Gbk && !GbkHolds(c))
                html += QStringLiteral("&#x%1;").arg(uint(c), 0, 16);
            else
                html += QStringView(text).mid(i, units);
        }
        i += units;
    }
}

} // namespace

std::optional<GbkMiss> FirstOutsideGbk(const QString& text)
{
    int line = 1;
    int column = 1;
    for (qsizetype i = 0; i < text.size();) {
        int units = 1;
        const char32_t c = CodePointAt(text, i, &units);
        if (!GbkHolds(c))
            return GbkMiss{c, line, column};
        if (c == U'\n') {
            ++line;
            column = 1;
        } else if (c != U'\r') {
            ++column;
        }
        i += units;
    }
    return std::nullopt;
}

ExportResult WriteTxt(const ArtDocument& art, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        return {utf8(art.text), {}};
    const QString outside = firstOutsideGbk(art.text);
    if (!outside.isEmpty())
        return {{}, outside};
    return {gbk(art.text), {}};
}

ExportResult WriteHtml(const ArtDocument& art, TextEncoding encoding, bool colour)
{
    const bool coloured = colour && art.hasColours();
    const QString families = FontFamilyList(QLatin1Char('"'));
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"%1\">\n"
                       "<title>Tessivo</title>\n<style>\n"
                       "body { background: #ffffff; color: #000000; }\n"
                       "pre { font-family: %2; font-size: 9pt; line-height: 1; }\n"
                       "</style>\n</head>\n<body>\n<pre>")
            .arg(encoding == TextEncoding::Gbk ? QLatin1String("GBK") : QLatin1String("utf-8"),
                 families);
    html.reserve(html.size() + art.text.size() * (coloured ? 4 : 1) + 32);
    const qsizetype coloursEnd = coloured ? art.colours.size() : 0;
    for (const ArtLine& line : LinesOf(art.text)) {
        if (line.from > 0)
            html += QLatin1String("\r\n");
        // Each stretch of one colour in one span; the footer and lines past the colours plain.
        qsizetype i = line.from;
        const qsizetype end = line.from + line.length;
        while (i < end) {
            if (i >= coloursEnd) {
                appendEscaped(html, art.text, i, end - i, encoding);
                break;
            }
            const ColorValue c = art.colours.at(i);
            qsizetype j = i + 1;
            while (j < end && j < coloursEnd && art.colours.at(j) == c)
                ++j;
            html += QStringLiteral("<span style=\"color:%1\">").arg(colourName(RgbOf(c)));
            appendEscaped(html, art.text, i, j - i, encoding);
            html += QLatin1String("</span>");
            i = j;
        }
    }
    if (art.text.endsWith(QLatin1String("\r\n")))
        html += QLatin1String("\r\n");
    html += QLatin1String("</pre>\n</body>\n</html>\n");
    if (encoding == TextEncoding::Gbk)
        return {gbk(html), {}};
    return {html.toUtf8(), {}};
}

ExportResult WriteAnsi(const ArtDocument& art)
{
    QString out;
    out.reserve(art.text.size() * 2);
    const QString reset = QStringLiteral("\x1b[0m");
    for (const ArtLine& line : LinesOf(art.text)) {
        if (line.from > 0)
            out += QLatin1String("\r\n");
        bool coloured = false;
        ColorValue current = 0;
        const qsizetype end = line.from + line.length;
        for (qsizetype i = line.from; i < end; ++i) {
            if (i < art.colours.size() && (!coloured || art.colours.at(i) != current)) {
                current = art.colours.at(i);
                coloured = true;
                const QRgb rgb = RgbOf(current);
                out += QStringLiteral("\x1b[38;2;%1;%2;%3m")
                           .arg(qRed(rgb))
                           .arg(qGreen(rgb))
                           .arg(qBlue(rgb));
            } else if (i >= art.colours.size() && coloured) {
                out += reset;
                coloured = false;
            }
            out += art.text.at(i);
        }
        if (coloured)
            out += reset;
    }
    if (art.text.endsWith(QLatin1String("\r\n")))
        out += QLatin1String("\r\n");
    return {out.toUtf8(), {}};
}

} // namespace tessivo
