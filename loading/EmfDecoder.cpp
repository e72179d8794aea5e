// Enhanced metafiles: libemf2svg turns them into SVG, which MetafileSvg draws.

#include "loading/LittleEndian.h"
#include "loading/MetafileDecoders.h"
#include "loading/MetafileSvg.h"

#include <QRectF>
#include <QtEndian>

#include <emf2svg.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace tessivo {

namespace {

constexpr double FrameUnitsPerMm = 100; // the frame of an enhanced metafile is in 0.01 mm
constexpr double MmPerInch = 25.4;

// The header record, the first of the file, and where its fields are: the bounds (device
// pixels) and the frame (0.01 mm), each as left, top, right and bottom at 32 bits; the sizes of
// the header and the file; the description (characters and offset); the reference device's size
// in pixels and in millimetres.
constexpr quint32 EmfHeaderMinBytes = 88;
constexpr qsizetype HeaderBytesAt = 4;
constexpr qsizetype BoundsAt = 8;
constexpr qsizetype FrameAt = 24;
constexpr qsizetype FileBytesAt = 48;
constexpr qsizetype DescriptionCharsAt = 60;
constexpr qsizetype DescriptionOffsetAt = 64;
constexpr qsizetype DevicePixelsAt = 72;
constexpr qsizetype DeviceMmAt = 80;

// Each record: its type and its size in bytes (32 bits each), a whole number of 32-bit words.
constexpr quint32 RecordHeaderBytes = 8;
constexpr qsizetype RecordBytesAt = 4;
constexpr quint32 RecordAlignment = 4;
constexpr quint32 EmrEof = 14;

constexpr quint64 BytesPerDescriptionChar = 2; // UTF-16

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
    const quint32 headerBytes = readLe<quint32>(bytes, HeaderBytesAt);
    const quint32 fileBytes = readLe<quint32>(bytes, FileBytesAt);
    if (headerBytes < EmfHeaderMinBytes || headerBytes % RecordAlignment != 0 ||
        headerBytes > fileBytes || fileBytes > quint64(bytes.size()))
        return {};
    const quint32 descriptionChars = readLe<quint32>(bytes, DescriptionCharsAt);
    const quint32 descriptionOffset = readLe<quint32>(bytes, DescriptionOffsetAt);
    if (descriptionChars > 0 &&
        (descriptionOffset < EmfHeaderMinBytes ||
         quint64(descriptionOffset) + BytesPerDescriptionChar * descriptionChars > headerBytes))
        return {};

    EmfLayout layout{};
    quint64 offset = 0;
    for (;;) {
        if (offset + RecordHeaderBytes > fileBytes)
            return {};
        const quint32 type = readLe<quint32>(bytes, qsizetype(offset));
        const quint32 recordBytes = readLe<quint32>(bytes, qsizetype(offset) + RecordBytesAt);
        if (recordBytes < RecordHeaderBytes || recordBytes % RecordAlignment != 0 ||
            recordBytes > fileBytes - offset)
            return {};
        offset += recordBytes;
        if (type == EmrEof)
            break;
    }
    layout.bytes = qsizetype(fileBytes);

    const auto rectAt = [&](qsizetype at) {
        return QRectF(QPointF(readLe<qint32>(bytes, at), readLe<qint32>(bytes, at + 4)),
                      QPointF(readLe<qint32>(bytes, at + 8), readLe<qint32>(bytes, at + 12)));
    };
    const auto sizeAt = [&](qsizetype at) {
        return QSizeF(readLe<qint32>(bytes, at), readLe<qint32>(bytes, at + 4));
    };
    // Both corners of the bounds are inside.
    const QRectF bounds = rectAt(BoundsAt);
    const QRectF frame = rectAt(FrameAt);
    const QSizeF devicePixels = sizeAt(DevicePixelsAt);
    const QSizeF deviceMm = sizeAt(DeviceMmAt);
    const QRectF boundsArea(0, 0, bounds.width() + 1, bounds.height() + 1);

    // The SVG is in device pixels with the top-left corner of the bounds at its origin.
    if (frame.width() > 0 && frame.height() > 0) {
        layout.size = BoundedPictureSize(frame.size() / FrameUnitsPerMm *
                                         (MetafilePixelsPerInch / MmPerInch));
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
    qToLittleEndian<quint32>(0, input.data() + DescriptionCharsAt);
    qToLittleEndian<quint32>(0, input.data() + DescriptionOffsetAt);
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
    return RenderMetafileSvg(QByteArray(svg, qsizetype(svgLength)), layout->size, layout->viewBox);
}

} // namespace tessivo
