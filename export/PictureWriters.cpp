#include "export/ArtExport.h"
#include "export/ArtLines.h"

#include "art/ArtFont.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

namespace tessivo {

namespace {

// Each character of a line with the cell it starts at, calling place(index, units, cell).
template <typename Place> int placeLine(const QString& text, const ArtLine& line, Place place)
{
    int cell = 0;
    for (qsizetype i = line.from; i < line.from + line.length;) {
        int units = 1;
        const char32_t c = CodePointAt(text, i, &units);
        place(i, units, cell);
        cell += CellsOf(c);
        i += units;
    }
    return cell;
}

int widestLine(const QString& text, const QList<ArtLine>& lines)
{
    int cells = 1;
    for (const ArtLine& line : lines)
        cells = std::max(cells, placeLine(text, line, [](qsizetype, int, int) {}));
    return cells;
}

QString number(double v)
{
    return QString::number(v, 'g', 8);
}

QString colourName(QRgb rgb)
{
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

void appendXmlEscaped(QString& svg, QStringView text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': svg += QLatin1String("&amp;"); break;
        case '<': svg += QLatin1String("&lt;"); break;
        case '>': svg += QLatin1String("&gt;"); break;
        default: svg += c;
        }
    }
}

// The most pixels a PNG of the art may have (a gigabyte as the image is drawn), and the longest
// side QPainter draws on.
constexpr qint64 MostPngPixels = qint64(256) * 1024 * 1024;
constexpr int LongestPngSide = 32767;

// Each stretch of one colour in a line of the art, calling fill(line, firstCell, cells, rgb); the
// footer and lines past the colours have none.
template <typename Fill>
void forEachColourStretch(const ArtDocument& art, const QList<ArtLine>& lines, qsizetype coloursEnd,
                          Fill fill)
{
    for (qsizetype n = 0; n < lines.size(); ++n) {
        int first = 0;
        int cells = 0;
        ColorValue current = 0;
        placeLine(art.text, lines[n], [&](qsizetype i, int units, int cell) {
            const int width = CellsOf(CodePointAt(art.text, i, &units));
            if (i >= coloursEnd)
                return;
            const ColorValue c = FillAt(art, i);
            if (cells > 0 && c == current) {
                cells += width;
                return;
            }
            if (cells > 0)
                fill(n, first, cells, RgbOf(current));
            first = cell;
            cells = width;
            current = c;
        });
        if (cells > 0)
            fill(n, first, cells, RgbOf(current));
    }
}

} // namespace

ExportResult WriteSvg(const ArtDocument& art, const ExportOptions& options)
{
    const ArtFont grid(options.fontFamily, options.fontSize);
    const ColourMode mode = options.colourMode;
    const QList<ArtLine> lines = LinesOf(art.text);
    const qsizetype coloursEnd = options.colour ? art.colours.size() : 0;
    const double width = std::ceil(widestLine(art.text, lines) * grid.cellWidth());
    const double height = std::ceil(std::max<qsizetype>(lines.size(), 1) * grid.lineHeight());

    const QString families = FontFamilyList(grid.families(), QLatin1Char('\''));
    QString svg =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                       "viewBox=\"0 0 %1 %2\">\n"
                       "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n")
            .arg(number(width), number(height));
    // Coloured cells behind the characters, edge to edge.
    if (mode != ColourMode::Foreground && coloursEnd > 0) {
        svg += QLatin1String("<g shape-rendering=\"crispEdges\">\n");
        forEachColourStretch(
            art, lines, coloursEnd, [&](qsizetype n, int first, int cells, QRgb rgb) {
                svg += QStringLiteral(
                           "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                           .arg(number(first * grid.cellWidth()), number(n * grid.lineHeight()),
                                number(cells * grid.cellWidth()), number(grid.lineHeight()),
                                colourName(rgb));
            });
        svg += QLatin1String("</g>\n");
    }
    // The style sheet gives the fonts to browsers and the other viewers that read CSS; Qt's
    // reads a font list as one name, and takes the attribute, one font, over the style sheet.
    // Spaces are kept on each line of text: a browser does not take xml:space from the group.
    svg += QStringLiteral("<style>.art { font-family: %1; }</style>\n"
                          "<g class=\"art\" font-family=\"%2\" font-size=\"%3\" "
                          "fill=\"#000000\">\n")
               .arg(families, grid.family().isEmpty() ? SingleArtFamily() : grid.family(),
                    number(grid.em()));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const ArtLine& line = lines[n];
        svg += QStringLiteral("<text y=\"%1\" xml:space=\"preserve\">")
                   .arg(number(n * grid.lineHeight() + grid.baseline()));
        // One tspan for each stretch of one ink (one for the whole line in the plain ink), every
        // character at its cell.
        bool open = false;
        std::optional<QRgb> current;
        QString xs;
        QString characters;
        const auto close = [&] {
            if (!open)
                return;
            svg += QStringLiteral("<tspan x=\"%1\"").arg(xs);
            if (current)
                svg += QStringLiteral(" fill=\"%1\"").arg(colourName(*current));
            svg += QLatin1Char('>') + characters + QLatin1String("</tspan>");
            xs.clear();
            characters.clear();
            open = false;
        };
        placeLine(art.text, line, [&](qsizetype i, int units, int cell) {
            std::optional<QRgb> ink;
            if (i < coloursEnd && mode != ColourMode::Background)
                ink = PaintAt(art, i, mode, qRgb(0, 0, 0)).ink & 0xFFFFFF;
            if (open && ink != current)
                close();
            if (!open) {
                open = true;
                current = ink;
            } else {
                xs += QLatin1Char(' ');
            }
            xs += number(cell * grid.cellWidth());
            appendXmlEscaped(characters, QStringView(art.text).mid(i, units));
        });
        close();
        svg += QLatin1String("</text>\n");
    }
    svg += QLatin1String("</g>\n</svg>\n");
    return {svg.toUtf8(), {}};
}

ArtPicture RenderArt(const ArtDocument& art, bool colour, const ArtFont& grid, ColourMode mode)
{
    const QList<ArtLine> lines = LinesOf(art.text);
    const qint64 width = qint64(std::ceil(widestLine(art.text, lines) * grid.cellWidth()));
    const qint64 height =
        qint64(std::ceil(std::max<qsizetype>(lines.size(), 1) * grid.lineHeight()));
    ArtPicture picture;
    picture.size =
        QSize(int(std::min<qint64>(width, INT_MAX)), int(std::min<qint64>(height, INT_MAX)));
    picture.tooLarge =
        width > LongestPngSide || height > LongestPngSide || width * height > MostPngPixels;
    if (picture.tooLarge)
        return picture;

    QImage image(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull())
        return picture;
    image.fill(Qt::white);
    const qsizetype coloursEnd = colour ? art.colours.size() : 0;
    const auto pixel = [](double v) { return int(std::lround(v)); };
    // The cells' colours first, so that no cell covers what a character reaches into it.
    if (mode != ColourMode::Foreground) {
        forEachColourStretch(
            art, lines, coloursEnd, [&](qsizetype n, int first, int cells, QRgb rgb) {
                const int left = grid.cellLeft(first);
                const int top = pixel(n * grid.lineHeight());
                const int right = std::min(image.width(), grid.cellLeft(first + cells));
                const int bottom = std::min(image.height(), pixel((n + 1) * grid.lineHeight()));
                for (int y = top; y < bottom; ++y) {
                    QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
                    std::fill(row + left, row + right, rgb);
                }
            });
    }
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const int top = int(std::lround(n * grid.lineHeight()));
        placeLine(art.text, lines[n], [&](qsizetype i, int units, int cell) {
            if (units == 1 && art.text.at(i) == QLatin1Char(' '))
                return;
            const QRgb ink =
                i < coloursEnd ? PaintAt(art, i, mode, qRgb(0, 0, 0)).ink : qRgb(0, 0, 0);
            const QImage& mask = grid.mask(QStringView(art.text).mid(i, units));
            BlendMask(image, mask, grid.cellLeft(cell) - grid.margin(), top - grid.margin(), ink);
        });
    }
    picture.image = std::move(image);
    return picture;
}

ExportResult WritePng(const ArtDocument& art, const ExportOptions& options)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {{}, QStringLiteral("drawing a PNG needs a QGuiApplication")};
    const ArtPicture picture = RenderArt(
        art, options.colour, ArtFont(options.fontFamily, options.fontSize), options.colourMode);
    if (picture.tooLarge)
        return {{},
                QStringLiteral("the picture would be %1 x %2 pixels, too large for a PNG; "
                               "a smaller --font-size may do")
                    .arg(picture.size.width())
                    .arg(picture.size.height())};
    if (picture.image.isNull())
        return {{},
                QStringLiteral("not enough memory for a %1 x %2 picture")
                    .arg(picture.size.width())
                    .arg(picture.size.height())};
    QByteArray bytes = EncodePng(picture.image);
    if (bytes.isEmpty())
        return {{}, QStringLiteral("the PNG could not be made")};
    return {bytes, {}};
}

QByteArray EncodePng(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return bytes;
}

} // namespace tessivo
