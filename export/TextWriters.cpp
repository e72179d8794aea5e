#include "export/ArtExport.h"
#include "export/ArtLines.h"

#include "art/ArtFont.h"

#include "engine/FreshMemory.h"
#include "engine/Gbk.h"
#include "engine/TerminalPalette.h"

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

QString colourName(QRgb rgb)
{
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// Whether the text holds Chinese: such a page says so, and browsers then draw the characters
// Chinese shares with Japanese and Korean in Chinese forms and fonts.
bool holdsChinese(const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        int units = 1;
        const char32_t c = CodePointAt(text, i, &units);
        if (c >= 0x2E80 && (QChar::script(c) == QChar::Script_Han || (c >= 0x3000 && c <= 0x303F) ||
                            (c >= 0xFF00 && c <= 0xFFEF)))
            return true;
        i += units;
    }
    return false;
}

// The style of a span of one paint.
QString spanStyle(const CellPaint& paint, ColourMode mode)
{
    if (paint.filled && mode == ColourMode::Foreground)
        mode = ColourMode::Both;
    switch (mode) {
    case ColourMode::Foreground: break;
    case ColourMode::Background: return QStringLiteral("background:") + colourName(paint.back);
    case ColourMode::Both:
        return QStringLiteral("color:%1;background:%2")
            .arg(colourName(paint.ink), colourName(paint.back));
    }
    return QStringLiteral("color:") + colourName(paint.ink);
}

// The parameters that set a character's colour, or its cell's (back), in the terminal's colours.
QString sgrColour(QRgb c, bool back, TerminalColours colours)
{
    switch (colours) {
    case TerminalColours::Full: break;
    case TerminalColours::Xterm256:
        return QStringLiteral("%1;5;%2").arg(back ? 48 : 38).arg(Xterm256Index(c & 0xFFFFFF));
    case TerminalColours::Basic16: {
        const int i = Basic16Index(c & 0xFFFFFF);
        return QString::number(i < 8 ? (back ? 40 : 30) + i : (back ? 100 : 90) + i - 8);
    }
    }
    return QStringLiteral("%1;2;%2;%3;%4")
        .arg(back ? 48 : 38)
        .arg(qRed(c))
        .arg(qGreen(c))
        .arg(qBlue(c));
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
        // A carriage return alone breaks the line in a browser; the page's one line end says so.
        case U'\r': html += QLatin1Char('\n'); break;
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
    return {EncodeGbk(art.text), {}};
}

ExportResult WriteHtml(const ArtDocument& art, const ExportOptions& options)
{
    const TextEncoding encoding = options.encoding;
    const bool coloured = options.colour && art.hasColours();
    const ArtFont font(options.fontFamily, options.fontSize);
    const QString families = FontFamilyList(font.families(), QLatin1Char('"'));
    const QString title = options.title.isEmpty() ? QStringLiteral("Tessivo") : options.title;
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html%1>\n<head>\n<meta charset=\"%2\">\n<title>")
            .arg(holdsChinese(art.text) ? QLatin1String(" lang=\"zh-CN\"") : QLatin1String(),
                 encoding == TextEncoding::Gbk ? QLatin1String("GBK") : QLatin1String("utf-8"));
    appendEscaped(html, title, 0, title.size(), encoding);
    html += QStringLiteral("</title>\n<style>\n"
                           "body { background: #ffffff; color: #000000; }\n"
                           "pre { font-family: %1; font-size: %2pt; line-height: %3; }\n"
                           "</style>\n</head>\n<body>\n<pre>\n")
                .arg(families, QString::number(font.pointSize()),
                     // The result font's lines are an em apart; another font keeps its own.
                     font.family().isEmpty() ? QLatin1String("1") : QLatin1String("normal"));
    // A browser drops the line end that follows <pre>: the one above, not the art's first line.
    html.reserve(html.size() + art.text.size() * (coloured ? 4 : 1) + 32);
    const qsizetype coloursEnd = coloured ? art.colours.size() : 0;
    for (const ArtLine& line : LinesOf(art.text)) {
        if (line.from > 0)
            html += QLatin1Char('\n');
        // Each stretch of one colour in one span; the footer and lines past the colours plain.
        qsizetype i = line.from;
        const qsizetype end = line.from + line.length;
        while (i < end) {
            if (i >= coloursEnd) {
                appendEscaped(html, art.text, i, end - i, encoding);
                break;
            }
            const ColorValue c = art.colours.at(i), back = FillAt(art, i);
            qsizetype j = i + 1;
            while (j < end && j < coloursEnd && art.colours.at(j) == c && FillAt(art, j) == back)
                ++j;
            html += QStringLiteral("<span style=\"%1\">")
                        .arg(spanStyle(PaintAt(art, i, options.colourMode, qRgb(0, 0, 0)),
                                       options.colourMode));
            appendEscaped(html, art.text, i, j - i, encoding);
            html += QLatin1String("</span>");
            i = j;
        }
    }
    if (art.text.endsWith(QLatin1String("\r\n")))
        html += QLatin1Char('\n');
    html += QLatin1String("</pre>\n</body>\n</html>\n");
    if (encoding == TextEncoding::Gbk)
        return {EncodeGbk(html), {}};
    return {html.toUtf8(), {}};
}

ExportResult WriteAnsi(const ArtDocument& art, const ExportOptions& options)
{
    QString out;
    out.reserve(art.text.size() * 2);
    const QString reset = QStringLiteral("\x1b[0m");
    const QRgb plainInk =
        options.background == TerminalBackground::Dark ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    for (const ArtLine& line : LinesOf(art.text)) {
        if (line.from > 0)
            out += QLatin1String("\r\n");
        // The parameters of the escape in force, empty when none is.
        QString current;
        const qsizetype end = line.from + line.length;
        for (qsizetype i = line.from; i < end; ++i) {
            if (i < art.colours.size()) {
                const CellPaint paint = PaintAt(art, i, options.colourMode, plainInk);
                QString style = sgrColour(paint.ink, false, options.terminalColours);
                if (paint.filled)
                    style +=
                        QLatin1Char(';') + sgrColour(paint.back, true, options.terminalColours);
                if (style != current) {
                    out += QLatin1String("\x1b[") + style + QLatin1Char('m');
                    current = style;
                }
            } else if (!current.isEmpty()) {
                out += reset;
                current.clear();
            }
            out += art.text.at(i);
        }
        if (!current.isEmpty())
            out += reset;
    }
    if (art.text.endsWith(QLatin1String("\r\n")))
        out += QLatin1String("\r\n");
    return {out.toUtf8(), {}};
}

} // namespace tessivo
