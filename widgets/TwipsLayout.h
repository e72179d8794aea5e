#pragma once

#include "engine/Twips.h"

#include <QRect>
#include <QWidget>

#include <utility>

namespace tessivo {

// Window layouts are written in twips, as the program's forms were designed.

// Every page of the main window occupies this rectangle of its client area.
inline constexpr QRect PageRectTwips(1080, 0, 8100, 6615);

inline QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

inline QRect TwipsRect(const QRect& twips)
{
    return TwipsRect(twips.x(), twips.y(), twips.width(), twips.height());
}

inline void PlaceInTwips(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(TwipsRect(left, top, width, height));
}

// A control of the window's layout: made with the arguments given and its parent, named, and
// placed at a rectangle in twips.
template <typename Widget, typename... Args>
Widget* Placed(QWidget* parent, const char* objectName, const QRect& twips, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(QLatin1String(objectName));
    widget->setGeometry(TwipsRect(twips));
    return widget;
}

} // namespace tessivo
