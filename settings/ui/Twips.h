#pragma once

#include "engine/Rounding.h"

#include <QRect>
#include <QWidget>

namespace tessivo {

// Window layouts are written in twips, 15 to a pixel.
inline int TwipsToPixels(double twips)
{
    return int(RoundEven(twips / 15.0));
}

inline QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

inline void PlaceInTwips(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(TwipsRect(left, top, width, height));
}

} // namespace tessivo
