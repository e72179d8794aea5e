// The walk over a Windows metafile's records, with the checks every record must pass.

#include "metafile/WmfRecords.h"

#include "loading/DibHeader.h"
#include "loading/LittleEndian.h"
#include "metafile/MetafilePlayer.h"
#include "metafile/MetafileRecords.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace tessivo::wmf {

namespace {

// The sizes of the newer bitmap header, and of its later versions, that the player reads.
bool readableHeader(quint32 headerBytes)
{
    static constexpr quint32 Sizes[] = {DibInfoHeaderBytes, 52, 56, 108, 124};
    return std::find(std::begin(Sizes), std::end(Sizes), headerBytes) != std::end(Sizes);
}

// Whether the device-independent bitmap that fills bytes has a header the player reads and holds
// the pixels it announces.
bool wholeBitmap(QByteArrayView bytes)
{
    if (bytes.size() < qsizetype(DibCoreHeaderBytes))
        return false;
    const std::optional<DibHeader> dib = ReadDibHeader(bytes);
    if (!dib)
        return false;
    if (dib->headerBytes != DibCoreHeaderBytes &&
        (!readableHeader(dib->headerBytes) || bytes.size() < dib->headerBytes))
        return false;
    if (!MetafileBitmapReadable(*dib))
        return false;
    // Rows compressed as run lengths have no size to check here.
    if (dib->compression == DibRle8 || dib->compression == DibRle4)
        return true;
    // Every row after the header (and a colour table, whose size depends on how the record uses
    // it: not counted).
    return DibRowsFit(*dib, bytes.size() - dib->headerBytes);
}

} // namespace

bool BltCarriesBitmap(quint16 function, qint64 recordBytes)
{
    // Without a bitmap the record has (function >> 8) + 3 words.
    return recordBytes != ((function >> 8) + 3) * BytesPerWord;
}

qsizetype BitmapAt(quint16 function, qint64 recordBytes)
{
    switch (function) {
    case DibBitBlt: return BltCarriesBitmap(function, recordBytes) ? DibBitBltAt::Bitmap : -1;
    case DibStretchBlt:
        return BltCarriesBitmap(function, recordBytes) ? DibStretchBltAt::Bitmap : -1;
    case StretchDib: return StretchDibAt::Bitmap;
    case SetDibToDev: return SetDibToDevAt::Bitmap;
    case DibCreatePatternBrush: return PatternBrushAt::Bitmap;
    default: return -1;
    }
}

bool WalkRecords(QByteArrayView file, qsizetype headerAt,
                 const std::function<bool(const Record&)>& visit)
{
    if (file.size() < headerAt + HeaderBytes)
        return false;
    qsizetype offset = headerAt + HeaderBytes;
    while (offset + RecordHeaderBytes <= file.size()) {
        const qint64 recordBytes = qint64(readLe<quint32>(file, offset)) * BytesPerWord;
        const quint16 function = readLe<quint16>(file, offset + RecordFunctionAt);
        if (recordBytes < RecordHeaderBytes || recordBytes > file.size() - offset)
            return false;
        if (function == Eof && recordBytes == RecordHeaderBytes)
            return true;
        const Record record{
            function, file.sliced(offset + RecordHeaderBytes, recordBytes - RecordHeaderBytes)};
        const qsizetype bitmapAt = BitmapAt(function, recordBytes);
        if (bitmapAt >= 0 &&
            (bitmapAt > record.params.size() || !wholeBitmap(record.params.sliced(bitmapAt))))
            return false;
        if (!visit(record))
            return false;
        offset += recordBytes;
    }
    return false;
}

QByteArray EmbeddedEmf(QByteArrayView file, qsizetype headerAt)
{
    using tessivo::RecordParams;
    QByteArray emf;
    quint32 count = 0, parts = 0, total = 0;
    bool whole = true;
    WalkRecords(file, headerAt, [&](const Record& record) {
        const RecordParams p(record.params);
        const RecordParams data(p.from(EscapeAt::Data));
        if (record.function != Escape || p.at<quint16>(EscapeAt::Function) != EscapeComment ||
            data.at<quint32>(EmbeddedEmfAt::Identifier) != EmbeddedEmfIdentifier)
            return true;
        const quint32 bytes = data.at<quint32>(EmbeddedEmfAt::PartBytes);
        if (parts == 0) {
            count = data.at<quint32>(EmbeddedEmfAt::Count);
            total = data.at<quint32>(EmbeddedEmfAt::TotalBytes);
        }
        // Each part says how much is still to come after it, and all agree on the whole.
        whole =
            data.at<quint32>(EmbeddedEmfAt::Kind) == EmbeddedEmfKind &&
            data.at<quint32>(EmbeddedEmfAt::Version) == EmbeddedEmfVersion &&
            data.at<quint32>(EmbeddedEmfAt::Count) == count &&
            data.at<quint32>(EmbeddedEmfAt::TotalBytes) == total && ++parts <= count &&
            p.at<quint16>(EscapeAt::Bytes) >= EmbeddedEmfAt::Part + qint64(bytes) &&
            data.holds(EmbeddedEmfAt::Part, bytes) &&
            quint64(emf.size()) + bytes + data.at<quint32>(EmbeddedEmfAt::RemainingBytes) == total;
        if (whole)
            emf.append(data.bytes(EmbeddedEmfAt::Part, bytes));
        return whole;
    });
    if (!whole || parts == 0 || parts != count || quint64(emf.size()) != total)
        return {};
    return emf;
}

} // namespace tessivo::wmf
