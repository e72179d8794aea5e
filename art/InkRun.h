#pragma once

#include "art/InkArt.h"

#include <QImage>
#include <QStringList>

namespace tessivo {

class SettingsSource;

// What an ink or shape run takes from the program's settings: ColorLevel, IgnoreValue and
// Contrast; the grid is the caller's.
InkOptions InkOptionsFor(const SettingsSource& settings, CharacterChoice choice, bool colours);

// The tail every ink or shape result gets, in the window and in tessivo-convert alike: blank
// lines cleared when the settings ask for it (with the colours, when kept), then the footer when
// asked for.
InkArt FinishInkArt(InkArt art, const SettingsSource& settings, bool footer);

// "生成" in the ink and shape modes: the whole picture (the Canvas) tiled with cells of the
// font's proportions, as many columns as a run at SampleX gives on a Canvas canvasWidthTwips
// wide, each cell the row of the loaded table chosen by the mode; then the tail, footer and all.
// It takes a few milliseconds, so it needs no timer.
InkArt InkRunArt(const QImage& picture, int canvasWidthTwips, const QStringList& loadedTable,
                 const SettingsSource& settings, const QString& family, double pointSize,
                 CharacterChoice choice, bool colours);

} // namespace tessivo
