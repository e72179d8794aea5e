// Enhanced metafiles: the header and the record list are checked, then EmfPlayer.cpp plays the
// records onto the picture.

#include "loading/LittleEndian.h"
#include "metafile/EmfRecords.h"
#include "metafile/MetafileDecoders.h"
#include "metafile/MetafileRecords.h"

#include <QRectF>

#include <optional>

namespace tessivo {

namespace {

using namespace emf;

constexpr double FrameUnitsPerMm = 100; // the frame of an enhanced metafile is in 0.01 mm
constexpr double MmPerInch = 25.4;
constexpr double MicrometresPerMm = 1000;

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
    if (bytes.size() < HeaderMinBytes || SniffMetafile(bytes) != MetafileKind::Emf)
        return {};
    const quint32 headerBytes = readLe<quint32>(bytes, HeaderBytesAt);
    const quint32 fileBytes = readLe<quint32>(bytes, FileBytesAt);
    if (headerBytes < HeaderMinBytes || headerBytes % RecordAlignment != 0 ||
        headerBytes > fileBytes || fileBytes > quint64(bytes.size()))
        return {};
    const quint32 descriptionChars = readLe<quint32>(bytes, DescriptionCharsAt);
    const quint32 descriptionOffset = readLe<quint32>(bytes, DescriptionOffsetAt);
    if (descriptionChars > 0 &&
        (descriptionOffset < HeaderMinBytes ||
         quint64(descriptionOffset) + BytesPerDescriptionChar * descriptionChars > headerBytes))
        return {};

    if (!WalkRecords(bytes, fileBytes, [](const Record&) { return true; }))
        return {};
    EmfLayout layout{};
    layout.bytes = qsizetype(fileBytes);

    const RecordParams header(QByteArrayView(bytes).first(headerBytes));
    const auto sizeAt = [&](qsizetype at) {
        return QSizeF(header.at<qint32>(at), header.at<qint32>(at + 4));
    };
    // Both corners of the bounds are inside.
    const QRectF bounds = EmfRect(header, BoundsAt);
    const QRectF frame = EmfRect(header, FrameAt);
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
    return DecodeEmf(bytes, QSize());
}

QImage DecodeEmf(const QByteArray& bytes, QSize size)
{
    std::optional<EmfLayout> layout = layoutEmf(bytes);
    if (!layout)
        return {};
    if (!size.isEmpty())
        layout->size = size;

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
