#include "art/InkRun.h"

#include "engine/BlankLines.h"
#include "engine/GenerationRun.h"
#include "settings/SettingsSource.h"

namespace tessivo {

InkOptions InkOptionsFor(const SettingsSource& settings, CharacterChoice choice, bool colours)
{
    InkOptions options;
    options.shape = choice == CharacterChoice::Shape;
    options.colorLevel = settings.value(Setting::ColorLevel);
    options.ignoreValue = settings.value(Setting::IgnoreValue);
    options.contrast = settings.value(Setting::Contrast);
    options.recordColours = colours;
    return options;
}

InkArt FinishInkArt(InkArt art, const SettingsSource& settings, bool footer)
{
    InkArt finished;
    if (!settings.removeBlankLines()) {
        finished = std::move(art);
    } else if (!art.colours.isEmpty()) {
        finished.text = ClearBlankLines(art.text, art.colours, finished.colours);
        if (!art.backgrounds.isEmpty())
            ClearBlankLines(art.text, art.backgrounds, finished.backgrounds);
    } else {
        finished.text = ClearBlankLines(art.text);
    }
    if (footer)
        finished.text += GenerationRun::Footer;
    return finished;
}

InkArt InkRunArt(const QImage& picture, int canvasWidthTwips, const QStringList& loadedTable,
                 const SettingsSource& settings, const QString& family, double pointSize,
                 CharacterChoice choice, bool colours)
{
    const InkPalette palette(loadedTable, family, pointSize, choice == CharacterChoice::Shape);
    InkOptions options = InkOptionsFor(settings, choice, colours);
    options.columns = RunColumns(canvasWidthTwips, settings.value(Setting::SampleX));
    options.lines = InkLinesFor(picture.size(), options.columns, palette);
    return FinishInkArt(DrawInkArt(picture, palette, options), settings, true);
}

} // namespace tessivo
