#include "app/InkRun.h"

#include "art/InkRun.h"
#include "canvas/CanvasModel.h"
#include "settings/SettingsSource.h"

namespace tessivo {

QString InkResultText(const CanvasModel& canvas, const QStringList& loadedTable,
                      const SettingsSource& settings, const QString& family, double pointSize,
                      bool shape)
{
    return InkRunArt(canvas.image(), canvas.widthTwips(), loadedTable, settings, family, pointSize,
                     shape ? CharacterChoice::Shape : CharacterChoice::Ink, false)
        .text;
}

ArtDocument InkResultArt(const CanvasModel& canvas, const QStringList& loadedTable,
                         const SettingsSource& settings, const QString& family, double pointSize,
                         bool shape)
{
    InkArt art = InkRunArt(canvas.image(), canvas.widthTwips(), loadedTable, settings, family,
                           pointSize, shape ? CharacterChoice::Shape : CharacterChoice::Ink, true);
    return ArtDocument{std::move(art.text), std::move(art.colours), std::move(art.backgrounds)};
}

} // namespace tessivo
