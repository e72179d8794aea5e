#pragma once

// Reading the exported formats back as a viewer would: the SVG with an XML reader, the page with
// libxml2's HTML parser, the terminal text escape by escape. Tests compare what they give with
// the result text: the characters of each line, and the colour each is drawn in.

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <libxml/HTMLparser.h>

namespace tessivo {

constexpr QRgb NoColour = 0xFF000000; // a character drawn in no colour of its own

// One line as an export holds it.
struct ReadLine {
    QString text;
    QList<QRgb> colours;    // one per QChar: the character's
    QList<QRgb> backs;      // one per QChar: its cell's, where the format paints cells
    QList<double> x;        // where each character is placed, where the format says
    bool spacesKept = true; // the SVG's <text> keeps its spaces (xml:space="preserve")
};

inline QRgb parseHexColour(QStringView hex)
{
    if (hex.startsWith(QLatin1Char('#')))
        hex = hex.mid(1);
    return QRgb(hex.toUInt(nullptr, 16)) & 0xFFFFFF;
}

// Cut at line ends, CR LF or LF.
inline QList<ReadLine> splitLines(const QString& text, const QList<QRgb>& colours,
                                  const QList<QRgb>& backs)
{
    QList<ReadLine> lines(1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool crlf = text.at(i) == QLatin1Char('\r') && i + 1 < text.size() &&
                          text.at(i + 1) == QLatin1Char('\n');
        if (crlf || text.at(i) == QLatin1Char('\n')) {
            lines.append(ReadLine{});
            i += crlf ? 1 : 0;
            continue;
        }
        lines.last().text += text.at(i);
        lines.last().colours.append(colours.at(i));
        lines.last().backs.append(backs.at(i));
    }
    return lines;
}

// A page as libxml2's HTML parser reads it.
struct ReadPage {
    QString lang;
    QString title;
    QList<ReadLine> lines; // the <pre>'s
    bool parsed = false;
};

namespace parsers {

inline QString textOf(const xmlChar* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

inline QString attribute(xmlNode* node, const char* name)
{
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    const QString text = value ? textOf(value) : QString();
    xmlFree(value);
    return text;
}

inline xmlNode* findElement(xmlNode* node, const char* name)
{
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && textOf(node->name) == QLatin1String(name))
            return node;
        if (xmlNode* inside = findElement(node->children, name))
            return inside;
    }
    return nullptr;
}

// The text under node, each character with the colours of the spans around it.
inline void readRuns(xmlNode* node, QRgb colour, QRgb back, QString& text, QList<QRgb>& colours,
                     QList<QRgb>& backs)
{
    for (; node; node = node->next) {
        if (node->type == XML_TEXT_NODE) {
            const QString run = textOf(node->content);
            text += run;
            colours.append(QList<QRgb>(run.size(), colour));
            backs.append(QList<QRgb>(run.size(), back));
        } else if (node->type == XML_ELEMENT_NODE) {
            QRgb innerColour = colour;
            QRgb innerBack = back;
            // style="color:#rrggbb;background:#rrggbb"
            for (const QString& declaration : attribute(node, "style").split(QLatin1Char(';'))) {
                const QStringList parts = declaration.split(QLatin1Char(':'));
                if (parts.size() != 2)
                    continue;
                const QString property = parts[0].trimmed();
                if (property == QLatin1String("color"))
                    innerColour = parseHexColour(parts[1].trimmed());
                else if (property == QLatin1String("background"))
                    innerBack = parseHexColour(parts[1].trimmed());
            }
            readRuns(node->children, innerColour, innerBack, text, colours, backs);
        }
    }
}

} // namespace parsers

inline ReadPage readPage(const QByteArray& utf8)
{
    ReadPage page;
    htmlDocPtr doc = htmlReadMemory(utf8.constData(), int(utf8.size()), nullptr, "UTF-8",
                                    HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (!doc)
        return page;
    xmlNode* root = xmlDocGetRootElement(doc);
    page.parsed = root != nullptr;
    if (root) {
        page.lang = parsers::attribute(root, "lang");
        if (xmlNode* title = parsers::findElement(root, "title")) {
            xmlChar* content = xmlNodeGetContent(title);
            page.title = parsers::textOf(content);
            xmlFree(content);
        }
        QString text;
        QList<QRgb> colours, backs;
        if (xmlNode* pre = parsers::findElement(root, "pre"))
            parsers::readRuns(pre->children, NoColour, NoColour, text, colours, backs);
        // A browser drops a line end right after <pre>; libxml2 keeps it.
        if (text.startsWith(QLatin1Char('\n'))) {
            text.remove(0, 1);
            colours.removeFirst();
            backs.removeFirst();
        }
        page.lines = splitLines(text, colours, backs);
    }
    xmlFreeDoc(doc);
    return page;
}

// The <pre> of a page, line by line.
inline QList<ReadLine> readHtml(const QString& page)
{
    return readPage(page.toUtf8()).lines;
}

// A cell painted behind the characters of an SVG.
struct SvgCell {
    double x = 0, y = 0, width = 0, height = 0;
    QRgb fill = 0;
};

// One <text> a line, its characters in tspans with an x for each; the painted cells in rects
// (the paper, the first rect, left out). error is set when the reader finds the XML not well
// formed.
inline QList<ReadLine> readSvg(const QString& svg, QList<SvgCell>* cells = nullptr,
                               QString* error = nullptr)
{
    QXmlStreamReader reader(svg);
    QList<ReadLine> lines;
    bool paper = true;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() == QLatin1String("rect")) {
            if (!paper && cells)
                cells->append({attributes.value("x").toDouble(), attributes.value("y").toDouble(),
                               attributes.value("width").toDouble(),
                               attributes.value("height").toDouble(),
                               parseHexColour(attributes.value("fill"))});
            paper = false;
        } else if (reader.name() == QLatin1String("text")) {
            lines.append(ReadLine{});
            lines.last().spacesKept =
                attributes.value(QLatin1String("http://www.w3.org/XML/1998/namespace"),
                                 QLatin1String("space")) == QLatin1String("preserve");
        } else if (reader.name() == QLatin1String("tspan") && !lines.isEmpty()) {
            ReadLine& line = lines.last();
            const QRgb colour = attributes.hasAttribute("fill")
                                    ? parseHexColour(attributes.value("fill"))
                                    : NoColour;
            const QList<QStringView> xs = attributes.value("x").split(QLatin1Char(' '));
            const QString chars = reader.readElementText();
            qsizetype n = 0;
            for (const QChar c : chars) {
                line.text += c;
                line.colours.append(colour);
                line.backs.append(NoColour);
                if (!c.isLowSurrogate())
                    line.x.append(xs.value(n++).toDouble());
            }
        }
    }
    if (error)
        *error = reader.hasError() ? reader.errorString() : QString();
    return lines;
}

// The colours of escapes ESC [ ... m: 38;2;R;G;B and 48;2;R;G;B; a reset ends both.
inline QList<ReadLine> readAnsi(const QString& ansi, int* escapes)
{
    QString text;
    QList<QRgb> colours, backs;
    QRgb colour = NoColour, back = NoColour;
    *escapes = 0;
    for (qsizetype i = 0; i < ansi.size();) {
        if (ansi.at(i) == QLatin1Char('\x1b') && i + 1 < ansi.size() &&
            ansi.at(i + 1) == QLatin1Char('[')) {
            const qsizetype end = ansi.indexOf(QLatin1Char('m'), i);
            const QStringList params = ansi.mid(i + 2, end - i - 2).split(QLatin1Char(';'));
            i = end + 1;
            if (params == QStringList{QStringLiteral("0")}) {
                colour = back = NoColour;
                continue;
            }
            ++*escapes;
            for (qsizetype p = 0; p < params.size(); ++p) {
                if ((params[p] == QLatin1String("38") || params[p] == QLatin1String("48")) &&
                    params.value(p + 1) == QLatin1String("2") && p + 4 < params.size()) {
                    const QRgb rgb =
                        qRgb(params[p + 2].toInt(), params[p + 3].toInt(), params[p + 4].toInt()) &
                        0xFFFFFF;
                    (params[p] == QLatin1String("38") ? colour : back) = rgb;
                    p += 4;
                }
            }
            continue;
        }
        text += ansi.at(i);
        colours.append(colour);
        backs.append(back);
        ++i;
    }
    return splitLines(text, colours, backs);
}

} // namespace tessivo
