#include "loading/DibHeader.h"

#include "loading/LittleEndian.h"

#include <cstdlib>

namespace tessivo {

namespace {

// Where the fields are, from the start of the header. The header's size comes first in both.
constexpr qsizetype SizeFieldBytes = 4;
constexpr qsizetype CoreWidthAt = 4;
constexpr qsizetype CoreHeightAt = 6;
constexpr qsizetype CoreBitsAt = 10;
constexpr qsizetype InfoWidthAt = 4;
constexpr qsizetype InfoHeightAt = 8;
constexpr qsizetype InfoBitsAt = 14;
constexpr qsizetype InfoCompressionAt = 16;
constexpr qsizetype InfoFieldsBytes = 20; // up to the end of the compression

constexpr qint64 BitsPerWord = 32;
constexpr qint64 BytesPerWord = 4;

} // namespace

std::optional<DibHeader> ReadDibHeader(QByteArrayView bytes)
{
    if (bytes.size() < SizeFieldBytes)
        return {};
    DibHeader header;
    header.headerBytes = readLe<quint32>(bytes, 0);
    if (header.headerBytes == DibCoreHeaderBytes) {
        if (bytes.size() < qsizetype(DibCoreHeaderBytes))
            return {};
        header.width = readLe<quint16>(bytes, CoreWidthAt);
        header.height = readLe<quint16>(bytes, CoreHeightAt);
        header.bitsPerPixel = readLe<quint16>(bytes, CoreBitsAt);
    } else if (header.headerBytes >= DibInfoHeaderBytes) {
        if (bytes.size() < InfoFieldsBytes)
            return {};
        header.width = readLe<qint32>(bytes, InfoWidthAt);
        const qint64 height = readLe<qint32>(bytes, InfoHeightAt);
        header.height = std::abs(height);
        header.topDown = height < 0;
        header.bitsPerPixel = readLe<quint16>(bytes, InfoBitsAt);
        header.compression = readLe<quint32>(bytes, InfoCompressionAt);
    } else {
        return {};
    }
    return header;
}

bool DibRowsFit(const DibHeader& header, qint64 available)
{
    if (available < 0)
        return false;
    const qint64 rowBytes =
        (header.width * header.bitsPerPixel + BitsPerWord - 1) / BitsPerWord * BytesPerWord;
    if (rowBytes <= 0)
        return true;
    // Divided rather than multiplied: a damaged header can announce more bytes than 64 bits
    // can count.
    return header.height <= available / rowBytes;
}

} // namespace tessivo
