// Windows metafiles: libwmf turns them into SVG, which MetafileSvg draws. libwmf's own raster
// device draws text only with font files of its own and has no transparency.

#include "loading/DibHeader.h"
#include "loading/LittleEndian.h"
#include "loading/MetafileDecoders.h"
#include "loading/MetafileSvg.h"

#include <QFont>
#include <QFontMetricsF>
#include <QStringDecoder>

#include <libwmf/api.h>
#include <libwmf/font.h>
#include <libwmf/svg.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>

namespace tessivo {

namespace {

constexpr double PointsPerInch = 72.0; // libwmf places everything in points

// The placeable header before the standard one: the key, a handle, the frame (left, top, right,
// bottom, 16 bits each) and the units per inch the frame is in.
constexpr qsizetype PlaceableHeaderBytes = 22;
constexpr qsizetype FrameLeftAt = 6;
constexpr qsizetype FrameTopAt = 8;
constexpr qsizetype FrameRightAt = 10;
constexpr qsizetype FrameBottomAt = 12;
constexpr qsizetype UnitsPerInchAt = 14;

// The header every Windows metafile has, and where it gives its largest record, in words.
constexpr qsizetype WmfHeaderBytes = 18;
constexpr qsizetype LargestRecordWordsAt = 12;

// Each record: its size in 16-bit words (32 bits), then its function (16 bits), then its
// parameters.
constexpr qsizetype RecordHeaderBytes = 6;
constexpr qsizetype RecordFunctionAt = 4;
constexpr qint64 BytesPerWord = 2;
constexpr quint16 EndFunction = 0x0000;

// The records that can carry a bitmap, and how many bytes of parameters come before it.
constexpr quint16 DibBitBlt = 0x0940;
constexpr quint16 DibStretchBlt = 0x0B41;
constexpr quint16 StretchDib = 0x0F43;
constexpr quint16 SetDibToDev = 0x0D33;
constexpr quint16 DibCreatePatternBrush = 0x0142;
constexpr qsizetype DibBitBltParameterBytes = 16;
constexpr qsizetype DibStretchBltParameterBytes = 20;
constexpr qsizetype StretchDibParameterBytes = 22;
constexpr qsizetype SetDibToDevParameterBytes = 18;
constexpr qsizetype DibCreatePatternBrushParameterBytes = 4;

// Font character sets whose text is not in the Western code page.
constexpr int DefaultCharset = 1;
constexpr int ShiftJisCharset = 128;
constexpr int HangulCharset = 129;
constexpr int Gb2312Charset = 134;
constexpr int ChineseBig5Charset = 136;

// The font weight from which a face is bold.
constexpr int BoldWeight = 600;

// libwmf's SVG names the picture of a bitmap with the xlink prefix, which it does not declare,
// and places the bitmap twice: by its x, y, width and height, and again by a transform that
// scales the whole box. Without the declaration QSvgRenderer leaves the bitmap out, and with the
// transform it would land far outside the picture; the box alone is where the bitmap goes.
QByteArray repairedWmfSvg(QByteArray svg)
{
    constexpr QByteArrayView Root = "<svg ";
    constexpr QByteArrayView Image = "<image ";
    constexpr QByteArrayView Transform = "transform=\"";
    const qsizetype root = svg.indexOf(Root);
    if (root >= 0 && !svg.contains("xmlns:xlink="))
        svg.insert(root + Root.size(), "xmlns=\"http://www.w3.org/2000/svg\" "
                                       "xmlns:xlink=\"http://www.w3.org/1999/xlink\" ");
    for (qsizetype image = svg.indexOf(Image); image >= 0; image = svg.indexOf(Image, image + 1)) {
        const qsizetype end = svg.indexOf('>', image);
        const qsizetype transform = svg.indexOf(Transform, image);
        if (end < 0 || transform < 0 || transform > end)
            continue;
        const qsizetype close = svg.indexOf('"', transform + Transform.size());
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
    case DefaultCharset: // the system's default: GBK on the systems this program is made for
    case Gb2312Charset: codec = "GBK"; break;
    case ShiftJisCharset: codec = "Shift_JIS"; break;
    case HangulCharset: codec = "EUC-KR"; break;
    case ChineseBig5Charset: codec = "Big5"; break;
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
            if (c < U' ' || c == 0xFFFE || c == 0xFFFF) // not allowed in XML
                xml += ' ';
            else if (c < 0x80) // ASCII
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
    constexpr int PitchMask = 0x03, FixedPitch = 1;
    constexpr int FamilyMask = 0xF0, FamilyRoman = 0x10, FamilyModern = 0x30;
    const char* name = "Helvetica";
    if ((font->lfPitchAndFamily & PitchMask) == FixedPitch ||
        (font->lfPitchAndFamily & FamilyMask) == FamilyModern)
        name = "Courier";
    else if ((font->lfPitchAndFamily & FamilyMask) == FamilyRoman)
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
    if (!MetafileFontsAvailable())
        return 0.5f * float(string.size());
    // Measured at a size large enough to keep the advance's rounding small.
    constexpr int size = 100;
    QFont qfont(font->lfFaceName ? QString::fromLatin1(font->lfFaceName) : QString());
    qfont.setPixelSize(size);
    qfont.setBold(font->lfWeight >= BoldWeight);
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
constexpr std::size_t BytesPerPixel = 4;
constexpr std::size_t MaxWmfAllocation = std::size_t(MaxMetafilePixels) * BytesPerPixel;

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

// The sizes of the newer bitmap header, and of its later versions, that libwmf reads; its bitmap
// reader loops without end on some others.
bool libwmfReadsHeader(quint32 headerBytes)
{
    static constexpr quint32 Sizes[] = {DibInfoHeaderBytes, 52, 56, 108, 124};
    return std::find(std::begin(Sizes), std::end(Sizes), headerBytes) != std::end(Sizes);
}

// Whether a device-independent bitmap of the given bytes has a header libwmf can read and holds
// the pixels it announces. libwmf's bitmap reader loops without end on some malformed headers.
bool wholeBitmap(const QByteArray& bytes, qsizetype at, qsizetype size)
{
    if (size < qsizetype(DibCoreHeaderBytes))
        return false;
    const std::optional<DibHeader> dib = ReadDibHeader(QByteArrayView(bytes).sliced(at, size));
    if (!dib)
        return false;
    if (dib->headerBytes != DibCoreHeaderBytes &&
        (!libwmfReadsHeader(dib->headerBytes) || size < dib->headerBytes))
        return false;
    if (dib->width <= 0 || dib->height <= 0 || dib->width > MaxMetafileSide ||
        dib->height > MaxMetafileSide)
        return false;
    switch (dib->bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return false;
    }
    if (dib->compression == DibRle8 || dib->compression == DibRle4)
        return dib->bitsPerPixel == (dib->compression == DibRle8 ? 8 : 4);
    if (dib->compression != DibRgb && dib->compression != DibBitFields)
        return false;
    // Every row after the header (and a colour table, whose size depends on how the record uses
    // it: not counted).
    return DibRowsFit(*dib, size - dib->headerBytes);
}

// Where a record that carries a bitmap has it, after its parameters; -1 for a record without
// one. A bit block transfer without a bitmap has a record of (function >> 8) + 3 words.
qsizetype bitmapParameterBytes(quint16 function, qint64 recordBytes)
{
    switch (function) {
    case DibBitBlt:
    case DibStretchBlt:
        if (recordBytes == ((function >> 8) + 3) * BytesPerWord)
            return -1;
        return function == DibBitBlt ? DibBitBltParameterBytes : DibStretchBltParameterBytes;
    case StretchDib: return StretchDibParameterBytes;
    case SetDibToDev: return SetDibToDevParameterBytes;
    case DibCreatePatternBrush: return DibCreatePatternBrushParameterBytes;
    default: return -1;
    }
}

// Walks the records of a Windows metafile whose header starts at offset at: each must lie within
// the file, and each bitmap in them must be whole. The list ends at its end record or the file's
// end.
bool wellFormedWmf(const QByteArray& bytes, qsizetype at)
{
    qsizetype offset = at + WmfHeaderBytes;
    while (offset + RecordHeaderBytes <= bytes.size()) {
        const qint64 recordBytes = qint64(readLe<quint32>(bytes, offset)) * BytesPerWord;
        const quint16 function = readLe<quint16>(bytes, offset + RecordFunctionAt);
        if (recordBytes < RecordHeaderBytes || recordBytes > bytes.size() - offset)
            return false;
        // Only the end record of its own size ends the list: libwmf plays on past others.
        if (function == EndFunction && recordBytes == RecordHeaderBytes)
            return true;
        const qsizetype parameters = bitmapParameterBytes(function, recordBytes);
        if (parameters >= 0 && !wholeBitmap(bytes, offset + RecordHeaderBytes + parameters,
                                            recordBytes - RecordHeaderBytes - parameters))
            return false;
        offset += recordBytes;
    }
    return offset == bytes.size() || bytes.size() - offset < RecordHeaderBytes;
}

} // namespace

QImage DecodeWmf(const QByteArray& bytes)
{
    // The frame of a placeable metafile gives its size; a standard one has none and is sized by
    // what it draws.
    const bool placeable = bytes.size() >= qsizetype(sizeof(PlaceableKey)) &&
                           readLe<quint32>(bytes, 0) == PlaceableKey;
    QSizeF frameInches;
    if (placeable) {
        if (bytes.size() < PlaceableHeaderBytes)
            return {};
        const int width =
            int(readLe<qint16>(bytes, FrameRightAt)) - readLe<qint16>(bytes, FrameLeftAt);
        const int height =
            int(readLe<qint16>(bytes, FrameBottomAt)) - readLe<qint16>(bytes, FrameTopAt);
        const int unitsPerInch = readLe<quint16>(bytes, UnitsPerInchAt);
        if (width <= 0 || height <= 0 || unitsPerInch == 0)
            return {};
        frameInches = QSizeF(double(width) / unitsPerInch, double(height) / unitsPerInch);
        // Refuse an oversized frame before the library does any work.
        if (BoundedPictureSize(frameInches * MetafilePixelsPerInch).isEmpty())
            return {};
    }

    // libwmf allocates a buffer of the header's "largest record" before it reads a single record,
    // so a few bytes could ask for gigabytes. No record can be larger than the file.
    const qsizetype header = placeable ? PlaceableHeaderBytes : 0;
    if (bytes.size() < header + WmfHeaderBytes)
        return {};
    const quint64 largestRecordBytes =
        quint64(readLe<quint32>(bytes, header + LargestRecordWordsAt)) * BytesPerWord;
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
        size = BoundedPictureSize(frameInches * MetafilePixelsPerInch);
        // libwmf puts the top-left corner of the frame at the origin. Its own scan gives the
        // extent of what is drawn, which would stretch a drawing that does not fill its frame.
        device->bbox.TL = {0, 0};
        device->bbox.BR = {float(frameInches.width() * PointsPerInch),
                           float(frameInches.height() * PointsPerInch)};
    } else {
        size = BoundedPictureSize(
            QSizeF(double(bbox.BR.x) - bbox.TL.x, double(bbox.BR.y) - bbox.TL.y) *
            (MetafilePixelsPerInch / PointsPerInch));
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
    return RenderMetafileSvg(repairedWmfSvg(QByteArray(svg, qsizetype(svgLength))), size);
}

} // namespace tessivo
