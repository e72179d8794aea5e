// Windows metafiles: the header and the record list are checked, then WmfPlayer.cpp plays the
// records onto the picture.

#include "loading/LittleEndian.h"
#include "metafile/MetafileDecoders.h"
#include "metafile/MetafileRecords.h"
#include "metafile/WmfRecords.h"

namespace tessivo {

namespace {

// A standard metafile has no frame: its units are taken as points, as other programs take them.
constexpr double PointsPerInch = 72.0;
constexpr double MmPerInch = 25.4;

} // namespace

QImage DecodeWmf(const QByteArray& bytes)
{
    // The frame of a placeable metafile gives its size; a standard one has none and is sized by
    // what it draws.
    const bool placeable = bytes.size() >= qsizetype(sizeof(PlaceableKey)) &&
                           readLe<quint32>(bytes, 0) == PlaceableKey;
    QSizeF frameInches;
    if (placeable) {
        if (bytes.size() < wmf::PlaceableHeaderBytes)
            return {};
        const int width =
            int(readLe<qint16>(bytes, wmf::FrameRightAt)) - readLe<qint16>(bytes, wmf::FrameLeftAt);
        const int height =
            int(readLe<qint16>(bytes, wmf::FrameBottomAt)) - readLe<qint16>(bytes, wmf::FrameTopAt);
        const int unitsPerInch = readLe<quint16>(bytes, wmf::UnitsPerInchAt);
        if (width <= 0 || height <= 0 || unitsPerInch == 0)
            return {};
        frameInches = QSizeF(double(width) / unitsPerInch, double(height) / unitsPerInch);
        // Refuse an oversized frame before the library does any work.
        if (BoundedPictureSize(frameInches * MetafilePixelsPerInch).isEmpty())
            return {};
    }

    // The header's largest record cannot be larger than the file.
    const qsizetype header = placeable ? wmf::PlaceableHeaderBytes : 0;
    if (bytes.size() < header + wmf::HeaderBytes)
        return {};
    const quint64 largestRecordBytes =
        quint64(readLe<quint32>(bytes, header + wmf::LargestRecordWordsAt)) * wmf::BytesPerWord;
    if (largestRecordBytes > quint64(bytes.size() - header - wmf::HeaderBytes))
        return {};
    // Walked once with every check before anything is drawn.
    if (!wmf::WalkRecords(bytes, header, [](const wmf::Record&) { return true; }))
        return {};
    // The enhanced metafile the file carries, when it carries one whole, draws the same picture
    // with more of what was drawn (the older format has no transparency), at the file's size.
    if (const QByteArray emf = wmf::EmbeddedEmf(bytes, header); !emf.isEmpty()) {
        const QImage picture = DecodeEmf(
            emf, placeable ? BoundedPictureSize(frameInches * MetafilePixelsPerInch) : QSize());
        if (!picture.isNull())
            return picture;
    }

    MetafilePlayer::Setup setup;
    QSize size;
    if (placeable) {
        // The frame's corner is the picture's, and a window set without a viewport maps onto
        // the frame.
        const QRectF frame(QPointF(readLe<qint16>(bytes, wmf::FrameLeftAt),
                                   readLe<qint16>(bytes, wmf::FrameTopAt)),
                           QPointF(readLe<qint16>(bytes, wmf::FrameRightAt),
                                   readLe<qint16>(bytes, wmf::FrameBottomAt)));
        size = BoundedPictureSize(frameInches * MetafilePixelsPerInch);
        setup.origin = frame.topLeft();
        setup.viewportFallback = frame.size();
        setup.deviceUnitsPerMm = readLe<quint16>(bytes, wmf::UnitsPerInchAt) / MmPerInch;
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
