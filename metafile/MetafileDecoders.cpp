#include "metafile/MetafileDecoders.h"

#include "metafile/MetafileRecords.h"

#include <QPainter>

namespace tessivo {

QImage PaintMetafile(QSize size, const MetafilePlayer::Setup& setup,
                     const std::function<void(MetafilePlayer&)>& play)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    // Left transparent: the Canvas shows its own background where the metafile draws nothing.
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    MetafilePlayer player(&painter, setup);
    play(player);
    player.finish();
    if (player.refused())
        return {};
    return image;
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
