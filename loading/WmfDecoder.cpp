// Windows metafiles: the header and the record list are checked, then WmfPlayer.cpp plays the
// records onto the picture.

#include "loading/DibHeader.h"
#include "loading/LittleEndian.h"
#include "loading/MetafileDecoders.h"
#include "loading/MetafileRecords.h"

#include <algorithm>
#include <iterator>

namespace tessivo {

namespace {

// A standard metafile has no frame: its units are taken as points, as other programs take them.
constexpr double PointsPerInch = 72.0;
constexpr double MmPerInch = 25.4;

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

// The sizes of the newer bitmap header, and of its later versions, that the player reads.
bool readableHeader(quint32 headerBytes)
{
    static constexpr quint32 Sizes[] = {DibInfoHeaderBytes, 52, 56, 108, 124};
    return std::find(std::begin(Sizes), std::end(Sizes), headerBytes) != std::end(Sizes);
}

// Whether a device-independent bitmap of the given bytes has a header the player reads and holds
// the pixels it announces.
bool wholeBitmap(const QByteArray& bytes, qsizetype at, qsizetype size)
{
    if (size < qsizetype(DibCoreHeaderBytes))
        return false;
    const std::optional<DibHeader> dib = ReadDibHeader(QByteArrayView(bytes).sliced(at, size));
    if (!dib)
        return false;
    if (dib->headerBytes != DibCoreHeaderBytes &&
        (!readableHeader(dib->headerBytes) || size < dib->headerBytes))
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
// the file, and each bitmap in them must be whole. The list must end with its end record.
bool wellFormedWmf(const QByteArray& bytes, qsizetype at)
{
    qsizetype offset = at + WmfHeaderBytes;
    while (offset + RecordHeaderBytes <= bytes.size()) {
        const qint64 recordBytes = qint64(readLe<quint32>(bytes, offset)) * BytesPerWord;
        const quint16 function = readLe<quint16>(bytes, offset + RecordFunctionAt);
        if (recordBytes < RecordHeaderBytes || recordBytes > bytes.size() - offset)
            return false;
        // Only the end record of its own size ends the list: the player plays on past others.
        if (function == EndFunction && recordBytes == RecordHeaderBytes)
            return true;
        const qsizetype parameters = bitmapParameterBytes(function, recordBytes);
        if (parameters >= 0 && !wholeBitmap(bytes, offset + RecordHeaderBytes + parameters,
                                            recordBytes - RecordHeaderBytes - parameters))
            return false;
        offset += recordBytes;
    }
    // A file that ends before its end record is cut short.
    return false;
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

    // The header's largest record cannot be larger than the file.
    const qsizetype header = placeable ? PlaceableHeaderBytes : 0;
    if (bytes.size() < header + WmfHeaderBytes)
        return {};
    const quint64 largestRecordBytes =
        quint64(readLe<quint32>(bytes, header + LargestRecordWordsAt)) * BytesPerWord;
    if (largestRecordBytes > quint64(bytes.size() - header - WmfHeaderBytes))
        return {};
    if (!wellFormedWmf(bytes, header))
        return {};

    MetafilePlayer::Setup setup;
    QSize size;
    if (placeable) {
        // The frame's corner is the picture's, and a window set without a viewport maps onto
        // the frame.
        const QRectF frame(
            QPointF(readLe<qint16>(bytes, FrameLeftAt), readLe<qint16>(bytes, FrameTopAt)),
            QPointF(readLe<qint16>(bytes, FrameRightAt), readLe<qint16>(bytes, FrameBottomAt)));
        size = BoundedPictureSize(frameInches * MetafilePixelsPerInch);
        setup.origin = frame.topLeft();
        setup.viewportFallback = frame.size();
        setup.deviceUnitsPerMm = readLe<quint16>(bytes, UnitsPerInchAt) / MmPerInch;
        setup.deviceToImage =
            QTransform::fromTranslate(-frame.left(), -frame.top()) *
            QTransform::fromScale(size.width() / frame.width(), size.height() / frame.height());
    } else {
        // Sized by what it draws, with half a unit around it.
        setup.deviceUnitsPerMm = PointsPerInch / MmPerInch;
        MetafilePlayer measure(nullptr, setup);
        PlayWmfRecords(bytes, header, measure);
        if (measure.refused())
            return {};
        const QRectF drawn = measure.measured().adjusted(-0.5, -0.5, 0.5, 0.5);
        if (!drawn.isValid())
            return {};
        size = BoundedPictureSize(drawn.size() * (MetafilePixelsPerInch / PointsPerInch));
        if (size.isEmpty())
            return {};
        setup.deviceToImage =
            QTransform::fromTranslate(-drawn.left(), -drawn.top()) *
            QTransform::fromScale(size.width() / drawn.width(), size.height() / drawn.height());
    }
    if (size.isEmpty())
        return {};
    return PaintMetafile(size, setup,
                         [&](MetafilePlayer& player) { PlayWmfRecords(bytes, header, player); });
}

} // namespace tessivo
