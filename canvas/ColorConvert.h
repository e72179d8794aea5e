#pragma once

#include "engine/Color.h"

#include <QColor>
#include <QRgb>
#include <QtEndian>

namespace tessivo {

// ColorValue is 0x00BBGGRR, QRgb is 0xAARRGGBB: the one place where the two meet.
inline QRgb ToQRgb(ColorValue c)
{
    const Channels ch = SplitColor(c);
    return qRgb(ch.ChannelR, ch.ChannelG, ch.ChannelB);
}

inline QColor ToQColor(ColorValue c)
{
    return QColor::fromRgb(ToQRgb(c));
}

inline ColorValue FromQRgb(QRgb rgb)
{
    // 0xAARRGGBB byte-swapped is 0xBBGGRRAA: ComposeColor(qRed(rgb), qGreen(rgb), qBlue(rgb)).
    return ColorValue(qbswap(quint32(rgb)) >> 8);
}

} // namespace tessivo
