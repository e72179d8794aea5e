#include "loading/Metafile.h"

#include "engine/Rounding.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QRectF>
#include <QStringDecoder>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtEndian>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/font.h>
#include <libwmf/svg.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>

// Both kinds of metafile are turned into SVG by their libraries and drawn by QSvgRenderer, so
// they go through one renderer with antialiasing and transparency, and text is drawn with the
// fonts Qt finds. libwmf's own raster (gd) device draws text only with font files of its own and
// has no transparency.

namespace tessivo {

namespace {

constexpr double PixelsPerInch = 96.0;
constexpr double PointsPerInch = 72.0;  // libwmf places everything in points
constexpr double FrameUnitsPerMm = 100; // the frame of an enhanced metafile is in 0.01 mm
constexpr double MmPerInch = 25.4;

constexpr int PlaceableHeaderBytes = 22;
constexpr int WmfHeaderBytes = 18; // the header every Windows metafile has
constexpr quint32 EmrEof = 14;
constexpr int EmfHeaderMinBytes = 88;

// Qt has fonts only in a GUI application; in a program without one the text is left out.
bool fontsAvailable()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// The document without its text elements.
QByteArray withoutText(const QByteArray& svg)
{
    QXmlStreamReader reader(svg);
    QByteArray kept;
    QXmlStreamWriter writer(&kept);
    int skipDepth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && (skipDepth > 0 || reader.name() == u"text"))
            ++skipDepth;
        else if (reader.isEndElement() && skipDepth > 0)
            --skipDepth;
        else if (skipDepth == 0)
            writer.writeCurrentToken(reader);
    }
    return reader.hasError() ? QByteArray() : kept;
}

QImage renderSvg(const QByteArray& svg, QSize size, std::optional<QRectF> viewBox = {})
{
    // Without fonts QSvgRenderer would end the program at the first text, so the picture is
    // drawn without it.
    QSvgRenderer renderer(fontsAvailable() ? svg : withoutText(svg));
    if (!renderer.isValid())
        return {};
    if (viewBox)
        renderer.setViewBox(*viewBox);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    // Left transparent: the Canvas shows its own background where the metafile draws nothing.
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

// --- Windows metafiles ---

// libwmf's SVG names the picture of a bitmap with the xlink prefix, which it does not declare,
// and places the bitmap twice: by its x, y, width and height, and again by a transform that
// scales the whole box. Without the declaration QSvgRenderer leaves the bitmap out, and with the
// transform it would land far outside the picture; the box alone is where the bitmap goes.
QByteArray repairedWmfSvg(QByteArray svg)
{
    const qsizetype root = svg.indexOf("<svg ");
    if (root >= 0 && !svg.contains("xmlns:xlink="))
        svg.insert(root + 5, "xmlns=\"http://www.w3.org/2000/svg\" "
                             "xmlns:xlink=\"http://www.w3.org/1999/xlink\" ");
    for (qsizetype image = svg.indexOf("<image "); image >= 0;
         image = svg.indexOf("<image ", image + 1)) {
        const qsizetype end = svg.indexOf('>', image);
        const qsizetype transform = svg.indexOf("transform=\"", image);
        if (end < 0 || transform < 0 || transform > end)
            continue;
        const qsizetype close = svg.indexOf('"', transform + 11);
        if (close >= 0 && close < end)
            svg.remove(transform, close + 1 - transform);
    }
    return svg;
}

// Text in a Windows metafile is in the code page of its font's character set.
QString decodeWmfText(const char* text, int charset)
{
    const char* codec = "windows-1252";
    switch (charset) {
    case 1: // the system's default: GBK on the systems this program is made for
    case 134: codec = "GBK"; break;
    case 128: codec = "Shift_JIS"; break;
    case 129: codec = "EUC-KR"; break;
    case 136: codec = "Big5"; break;
    }
    QStringDecoder decoder(codec);
    if (!decoder.isValid())
        return QString::fromLatin1(text);
    return decoder.decode(QByteArrayView(text));
}

// libwmf copies text into the SVG as it stands, so "&", "<" or any character outside ASCII
// would make the whole document unreadable, and markup in the text would become markup in the
// SVG. Escaped, and ASCII only, it is always well-formed.
QByteArray xmlText(const QString& text)
{
    QByteArray xml;
    for (const char32_t c : text.toUcs4()) {
        switch (c) {
        case '&': xml += "&amp;"; break;
        case '<': xml += "&lt;"; break;
        case '>': xml += "&gt;"; break;
        case '"': xml += "&quot;"; break;
        default:
            if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) // not allowed in XML
                xml += ' ';
            else if (c < 0x80)
                xml += char(c);
            else
                xml += "&#" + QByteArray::number(quint32(c)) + ';';
        }
    }
    return xml;
}

struct WmfTextHook {
    void (*drawText)(wmfAPI*, wmfDrawText_t*);
};

void drawEscapedText(wmfAPI* api, wmfDrawText_t* text)
{
    const auto* hook = static_cast<const WmfTextHook*>(api->user_data);
    if (!text->str) {
        hook->drawText(api, text);
        return;
    }
    const wmfFont* font = text->dc ? text->dc->font : nullptr;
    QByteArray escaped = xmlText(decodeWmfText(text->str, font ? font->lfCharSet : 0));
    char* original = text->str;
    text->str = escaped.data();
    hook->drawText(api, text);
    text->str = original;
}

// libwmf looks for PostScript font files for every font a metafile selects, and without them
// refuses the whole file, even one without any text. Qt draws the text of the SVG, so libwmf
// only needs a font name, one of the three it writes into the SVG, and the width of a string.
void mapWmfFont(wmfAPI* api, wmfFont* font)
{
    auto* mapped = static_cast<wmfIPAFont*>(wmf_malloc(api, sizeof(wmfIPAFont)));
    if (!mapped)
        return;
    constexpr int FixedPitch = 1, FamilyRoman = 0x10, FamilyModern = 0x30;
    const char* name = "Helvetica";
    if ((font->lfPitchAndFamily & 3) == FixedPitch ||
        (font->lfPitchAndFamily & 0xF0) == FamilyModern)
        name = "Courier";
    else if ((font->lfPitchAndFamily & 0xF0) == FamilyRoman)
        name = "Times";
    mapped->ps_name = wmf_strdup(api, name);
    mapped->ft_face = nullptr;
    font->user_data = mapped;
}

// The width of a string at a size of one point; libwmf uses it to place centred and
// right-aligned text.
float wmfStringWidth(wmfAPI*, wmfFont* font, char* text)
{
    const QString string = decodeWmfText(text, font->lfCharSet);
    // Fonts are only available with a GUI application; a rough average width does otherwise.
    if (!fontsAvailable())
        return 0.5f * float(string.size());
    constexpr int size = 100;
    QFont qfont(font->lfFaceName ? QString::fromLatin1(font->lfFaceName) : QString());
    qfont.setPixelSize(size);
    qfont.setBold(font->lfWeight >= 600);
    qfont.setItalic(font->lfItalic != 0);
    return float(QFontMetricsF(qfont).horizontalAdvance(string) / size);
}

struct WmfApiDeleter {
    void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};

// libwmf sizes some buffers from numbers in the file (a bitmap stretched onto its destination,
// for one), so a small file can ask for gigabytes. Its allocations go through these, which
// refuse any single one larger than the largest picture allowed; libwmf then gives up on the
// file with an error.
constexpr std::size_t MaxWmfAllocation = std::size_t(MaxMetafilePixels) * 4;

void* wmfAllocate(void*, std::size_t size)
{
    return size <= MaxWmfAllocation ? std::malloc(size) : nullptr;
}

void* wmfReallocate(void*, void* memory, std::size_t size)
{
    return size <= MaxWmfAllocation ? std::realloc(memory, size) : nullptr;
}

void wmfRelease(void*, void* memory)
{
    std::free(memory);
}

// Whether a device-independent bitmap of the given bytes has a header libwmf can read and holds
// the pixels it announces. libwmf's bitmap reader loops without end on some malformed headers.
bool wholeBitmap(const QByteArray& bytes, qsizetype at, qsizetype size)
{
    if (size < 12)
        return false;
    const quint32 infoSize = readLe<quint32>(bytes, at);
    qint64 width = 0, height = 0, bits = 0, compression = 0;
    if (infoSize == 12) {
        width = readLe<quint16>(bytes, at + 4);
        height = readLe<quint16>(bytes, at + 6);
        bits = readLe<quint16>(bytes, at + 10);
    } else if ((infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 ||
                infoSize == 124) &&
               size >= infoSize) {
        width = readLe<qint32>(bytes, at + 4);
        height = std::abs(qint64(readLe<qint32>(bytes, at + 8)));
        bits = readLe<quint16>(bytes, at + 14);
        compression = readLe<quint32>(bytes, at + 16);
    } else {
        return false;
    }
    if (width <= 0 || height <= 0 || width > MaxMetafileSide || height > MaxMetafileSide)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    constexpr qint64 Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3;
    if (compression == Rle8 || compression == Rle4)
        return bits == (compression == Rle8 ? 8 : 4);
    if (compression != Rgb && compression != BitFields)
        return false;
    // Every row, padded to 32-bit words, after the header (and a colour table, whose size
    // depends on how the record uses it: not counted).
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    return infoSize + rowBytes * height <= size;
}

// Walks the records of a Windows metafile whose header starts at offset at: each must lie within
// the file, and each bitmap in them must be whole. The list ends at its end record or the file's
// end.
bool wellFormedWmf(const QByteArray& bytes, qsizetype at)
{
    qsizetype offset = at + WmfHeaderBytes;
    while (offset + 6 <= bytes.size()) {
        const qint64 recordBytes = qint64(readLe<quint32>(bytes, offset)) * 2;
        const quint16 function = readLe<quint16>(bytes, offset + 4);
        if (recordBytes < 6 || recordBytes > bytes.size() - offset)
            return false;
        if (function == 0 && recordBytes == 6) // the end record (libwmf plays on past others)
            return true;
        // Where the records that carry a bitmap have it, after their parameters; a bit block
        // transfer without one has a record of (function >> 8) + 3 words.
        qsizetype parameters = -1;
        switch (function) {
        case 0x0940: parameters = 16; break; // DIBBITBLT
        case 0x0B41: parameters = 20; break; // DIBSTRETCHBLT
        case 0x0F43: parameters = 22; break; // STRETCHDIB
        case 0x0D33: parameters = 18; break; // SETDIBTODEV
        case 0x0142: parameters = 4; break;  // DIBCREATEPATTERNBRUSH
        default: break;
        }
        const bool withoutBitmap =
            (function == 0x0940 || function == 0x0B41) && recordBytes == ((function >> 8) + 3) * 2;
        if (parameters >= 0 && !withoutBitmap &&
            !wholeBitmap(bytes, offset + 6 + parameters, recordBytes - 6 - parameters))
            return false;
        offset += recordBytes;
    }
    return offset == bytes.size() || bytes.size() - offset < 6;
}

} // namespace

QImage DecodeWmf(const QByteArray& bytes)
{
    // The frame of a placeable metafile gives its size; a standard one has none and is sized by
    // what it draws.
    const bool placeable = bytes.size() >= 4 && readLe<quint32>(bytes, 0) == PlaceableKey;
    QSizeF frameInches;
    if (placeable) {
        if (bytes.size() < PlaceableHeaderBytes)
            return {};
        const int width = int(readLe<qint16>(bytes, 10)) - readLe<qint16>(bytes, 6);
        const int height = int(readLe<qint16>(bytes, 12)) - readLe<qint16>(bytes, 8);
        const int unitsPerInch = readLe<quint16>(bytes, 14);
        if (width <= 0 || height <= 0 || unitsPerInch == 0)
            return {};
        frameInches = QSizeF(double(width) / unitsPerInch, double(height) / unitsPerInch);
        // Refuse an oversized frame before the library does any work.
        if (BoundedPictureSize(frameInches * PixelsPerInch).isEmpty())
            return {};
    }

    // libwmf allocates a buffer of the header's "largest record" before it reads a single record,
    // so a few bytes could ask for gigabytes. No record can be larger than the file.
    const qsizetype header = placeable ? PlaceableHeaderBytes : 0;
    if (bytes.size() < header + WmfHeaderBytes)
        return {};
    const quint64 largestRecordBytes = quint64(readLe<quint32>(bytes, header + 12)) * 2;
    if (largestRecordBytes > quint64(bytes.size() - header - WmfHeaderBytes))
        return {};
    if (!wellFormedWmf(bytes, header))
        return {};

    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    options.malloc = wmfAllocate;
    options.realloc = wmfReallocate;
    options.free = wmfRelease;
    const unsigned long flags = WMF_OPT_ALLOC | WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL |
                                WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* created = nullptr;
    if (wmf_api_create(&created, flags, &options) != wmf_E_None || !created)
        return {};
    // Everything libwmf allocates, the SVG text included, belongs to the API and goes with it.
    const std::unique_ptr<wmfAPI, WmfApiDeleter> api(created);
    auto* fonts = static_cast<wmfFontData*>(api->font_data);
    if (!fonts)
        return {};
    fonts->map = mapWmfFont;
    fonts->stringwidth = wmfStringWidth;
    auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
    if (!functions || !functions->draw_text)
        return {};
    WmfTextHook textHook{functions->draw_text};
    api->user_data = &textHook;
    functions->draw_text = drawEscapedText;

    QByteArray input = bytes; // libwmf takes a non-const buffer
    if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char*>(input.data()),
                     long(input.size())) != wmf_E_None)
        return {};
    wmfD_Rect bbox{};
    if (wmf_scan(api.get(), 0, &bbox) != wmf_E_None)
        return {};

    wmf_svg_t* device = WMF_SVG_GetData(api.get());
    QSize size;
    if (placeable) {
        size = BoundedPictureSize(frameInches * PixelsPerInch);
        // libwmf puts the top-left corner of the frame at the origin. Its own scan gives the
        // extent of what is drawn, which would stretch a drawing that does not fill its frame.
        device->bbox.TL = {0, 0};
        device->bbox.BR = {float(frameInches.width() * PointsPerInch),
                           float(frameInches.height() * PointsPerInch)};
    } else {
        size = BoundedPictureSize(
            QSizeF(double(bbox.BR.x) - bbox.TL.x, double(bbox.BR.y) - bbox.TL.y) *
            (PixelsPerInch / PointsPerInch));
        device->bbox = bbox;
    }
    if (size.isEmpty())
        return {};
    device->width = unsigned(size.width());
    device->height = unsigned(size.height());
    // Bitmaps go into the SVG itself instead of files beside it.
    device->flags |= WMF_SVG_INLINE_IMAGES;
    device->out = wmf_stream_create(api.get(), nullptr);
    if (!device->out)
        return {};

    const wmf_error_t played = wmf_play(api.get(), 0, &bbox);
    char* svg = nullptr;
    unsigned long svgLength = 0;
    wmf_stream_destroy(api.get(), device->out, &svg, &svgLength);
    device->out = nullptr;
    wmf_mem_close(api.get());
    if (played != wmf_E_None || !svg || svgLength == 0)
        return {};
    return renderSvg(repairedWmfSvg(QByteArray(svg, qsizetype(svgLength))), size);
}

// --- Enhanced metafiles ---

namespace {

struct EmfLayout {
    QSize size;      // pixels
    QRectF viewBox;  // the part of the SVG that makes the picture, in the SVG's units
    qsizetype bytes; // as many as the header says the file holds
};

// Checks the header and walks the records, so that only a whole, well-formed record list reaches
// the library, and works out the picture's size and where it lies in the SVG.
std::optional<EmfLayout> layoutEmf(const QByteArray& bytes)
{
    if (bytes.size() < EmfHeaderMinBytes || SniffMetafile(bytes) != MetafileKind::Emf)
        return {};
    const quint32 headerBytes = readLe<quint32>(bytes, 4);
    const quint32 fileBytes = readLe<quint32>(bytes, 48);
    if (headerBytes < EmfHeaderMinBytes || headerBytes % 4 != 0 || headerBytes > fileBytes ||
        fileBytes > quint64(bytes.size()))
        return {};
    const quint32 descriptionChars = readLe<quint32>(bytes, 60);
    const quint32 descriptionOffset = readLe<quint32>(bytes, 64);
    if (descriptionChars > 0 &&
        (descriptionOffset < EmfHeaderMinBytes ||
         quint64(descriptionOffset) + 2 * quint64(descriptionChars) > headerBytes))
        return {};

    EmfLayout layout{};
    quint64 offset = 0;
    for (;;) {
        if (offset + 8 > fileBytes)
            return {};
        const quint32 type = readLe<quint32>(bytes, qsizetype(offset));
        const quint32 recordBytes = readLe<quint32>(bytes, qsizetype(offset) + 4);
        if (recordBytes < 8 || recordBytes % 4 != 0 || recordBytes > fileBytes - offset)
            return {};
        offset += recordBytes;
        if (type == EmrEof)
            break;
    }
    layout.bytes = qsizetype(fileBytes);

    const auto rect = [&](qsizetype at) {
        return QRectF(QPointF(readLe<qint32>(bytes, at), readLe<qint32>(bytes, at + 4)),
                      QPointF(readLe<qint32>(bytes, at + 8), readLe<qint32>(bytes, at + 12)));
    };
    // Bounds in device pixels, both corners inside; the frame in 0.01 mm.
    const QRectF bounds = rect(8);
    const QRectF frame = rect(24);
    const QSizeF devicePixels(readLe<qint32>(bytes, 72), readLe<qint32>(bytes, 76));
    const QSizeF deviceMm(readLe<qint32>(bytes, 80), readLe<qint32>(bytes, 84));
    const QRectF boundsArea(0, 0, bounds.width() + 1, bounds.height() + 1);

    // The SVG is in device pixels with the top-left corner of the bounds at its origin.
    if (frame.width() > 0 && frame.height() > 0) {
        layout.size =
            BoundedPictureSize(frame.size() / FrameUnitsPerMm * (PixelsPerInch / MmPerInch));
        if (devicePixels.width() > 0 && devicePixels.height() > 0 && deviceMm.width() > 0 &&
            deviceMm.height() > 0) {
            const double perMmX = devicePixels.width() / deviceMm.width() / FrameUnitsPerMm;
            const double perMmY = devicePixels.height() / deviceMm.height() / FrameUnitsPerMm;
            layout.viewBox =
                QRectF(frame.left() * perMmX - bounds.left(), frame.top() * perMmY - bounds.top(),
                       frame.width() * perMmX, frame.height() * perMmY);
        } else if (bounds.width() >= 0 && bounds.height() >= 0) {
            layout.viewBox = boundsArea;
        }
    } else if (bounds.width() >= 0 && bounds.height() >= 0) {
        layout.size = BoundedPictureSize(boundsArea.size());
        layout.viewBox = boundsArea;
    }
    if (layout.size.isEmpty() || !layout.viewBox.isValid())
        return {};
    return layout;
}

} // namespace

QImage DecodeEmf(const QByteArray& bytes)
{
    const std::optional<EmfLayout> layout = layoutEmf(bytes);
    if (!layout)
        return {};

    QByteArray input = bytes.left(layout->bytes); // the library takes a non-const buffer
    // The description is not drawn, and the library reads it up to a NUL whenever its offset is
    // set, even with no characters, past the end of the buffer: it gets none.
    qToLittleEndian<quint32>(0, input.data() + 60);
    qToLittleEndian<quint32>(0, input.data() + 64);
    generatorOptions options{};
    // No name space prefix: the library leaks the prefix string it builds for one.
    options.nameSpace = nullptr;
    options.verbose = false;
    // Drawn from the plain records: a file with EMF+ records carries plain ones as well, and the
    // library draws those more completely.
    options.emfplus = false;
    options.svgDelimiter = true;
    // Zero keeps the SVG in device pixels, which the view box above is reckoned in.
    options.imgWidth = 0;
    options.imgHeight = 0;
    char* svg = nullptr;
    size_t svgLength = 0;
    const int converted = emf2svg(input.data(), size_t(input.size()), &svg, &svgLength, &options);
    const std::unique_ptr<char, decltype(&std::free)> owned(svg, &std::free);
    if (converted == 0 || !svg || svgLength == 0)
        return {};
    return renderSvg(QByteArray(svg, qsizetype(svgLength)), layout->size, layout->viewBox);
}

QImage DecodeMetafile(const QByteArray& bytes)
{
    switch (SniffMetafile(bytes.left(MetafileSniffBytes))) {
    case MetafileKind::Wmf: return DecodeWmf(bytes);
    case MetafileKind::Emf: return DecodeEmf(bytes);
    case MetafileKind::None: break;
    }
    return {};
}

} // namespace tessivo
