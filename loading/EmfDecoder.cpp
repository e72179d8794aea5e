// Enhanced metafiles: the header and the record list are checked, then EmfPlayer.cpp plays the
// records onto the picture.

#include "loading/LittleEndian.h"
#include "loading/MetafileDecoders.h"
#include "loading/MetafileRecords.h"

#include <QRectF>

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
// A later header goes on with the reference device's size in micrometres, which the rounded
// millimetres only approximate (a frame of 241 pixels stated as 63 mm is 1.2 % off).
constexpr qsizetype DeviceMicrometresAt = 100;
constexpr quint32 HeaderWithMicrometresBytes = 108;
constexpr double MicrometresPerMm = 1000;

// Each record: its type and its size in bytes (32 bits each), a whole number of 32-bit words.
constexpr quint32 RecordHeaderBytes = 8;
constexpr qsizetype RecordBytesAt = 4;
constexpr quint32 RecordAlignment = 4;
constexpr quint32 EmrEof = 14;

constexpr quint64 BytesPerDescriptionChar = 2; // UTF-16

struct EmfLayout {
    QSize size;             // pixels
    QRectF viewBox;         // the part of the device that makes the picture, in device pixels
    qsizetype bytes;        // as many as the header says the file holds
    double devicePerMm = 0; // the reference device's pixels to the millimetre, 0 if unknown
};

// Checks the header and walks the records, so that only a whole, well-formed record list reaches
// the player, and works out the picture's size and where it lies on the device.
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
    QSizeF deviceMm = sizeAt(DeviceMmAt);
    // The micrometres where the header holds them, and not the description in their place.
    if (headerBytes >= HeaderWithMicrometresBytes &&
        (descriptionChars == 0 || descriptionOffset >= HeaderWithMicrometresBytes)) {
        const QSizeF micrometres = sizeAt(DeviceMicrometresAt);
        if (micrometres.width() > 0 && micrometres.height() > 0)
            deviceMm = micrometres / MicrometresPerMm;
    }
    const QRectF boundsArea(bounds.left(), bounds.top(), bounds.width() + 1, bounds.height() + 1);

    if (frame.width() > 0 && frame.height() > 0) {
        layout.size = BoundedPictureSize(frame.size() / FrameUnitsPerMm *
                                         (MetafilePixelsPerInch / MmPerInch));
        if (devicePixels.width() > 0 && devicePixels.height() > 0 && deviceMm.width() > 0 &&
            deviceMm.height() > 0) {
            const double perMmX = devicePixels.width() / deviceMm.width() / FrameUnitsPerMm;
            const double perMmY = devicePixels.height() / deviceMm.height() / FrameUnitsPerMm;
            layout.viewBox = QRectF(frame.left() * perMmX, frame.top() * perMmY,
                                    frame.width() * perMmX, frame.height() * perMmY);
            layout.devicePerMm = perMmX * FrameUnitsPerMm;
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

    MetafilePlayer::Setup setup;
    const QRectF& view = layout->viewBox;
    setup.deviceToImage = QTransform::fromTranslate(-view.left(), -view.top()) *
                          QTransform::fromScale(layout->size.width() / view.width(),
                                                layout->size.height() / view.height());
    if (layout->devicePerMm > 0)
        setup.deviceUnitsPerMm = layout->devicePerMm;
    return PaintMetafile(layout->size, setup, [&](MetafilePlayer& player) {
        PlayEmfRecords(bytes, layout->bytes, player);
    });
}

} // namespace tessivo
