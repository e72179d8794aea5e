#pragma once

#include "export/ArtExport.h"

#include <QString>
#include <QStringList>

namespace tessivo {

class CanvasModel;
class SettingsSource;

// "生成" in the ink mode: the whole Canvas tiled with cells of the result font's proportions, as
// many columns as a run at SampleX gives, each cell the row of the loaded table whose ink in that
// font is nearest its darkness (with shape, of rows of near ink the one whose ink lies in the
// cell as the Canvas's darkness does); blank lines cleared when asked, then the footer. It takes
// a few milliseconds, so it needs no timer.
QString InkResultText(const CanvasModel& canvas, const QStringList& loadedTable,
                      const SettingsSource& settings, const QString& family, double pointSize,
                      bool shape = false);

// The same result with the colour of every character of its art, for coloured exports.
ArtDocument InkResultArt(const CanvasModel& canvas, const QStringList& loadedTable,
                         const SettingsSource& settings, const QString& family, double pointSize,
                         bool shape);

} // namespace tessivo
