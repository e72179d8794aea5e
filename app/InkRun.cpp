#include "app/InkRun.h"

#include "canvas/CanvasModel.h"
#include "canvas/InkArt.h"
#include "engine/BlankLines.h"
#include "engine/GenerationRun.h"
#include "settings/SettingsSource.h"

namespace tessivo {

namespace {

ArtDocument inkResult(const CanvasModel& canvas, const QStringList& loadedTable,
                      const SettingsSource& settings, const QString& family, double pointSize,
                      bool shape, bool colours)
{
    const InkPalette palette(loadedTable, family, pointSize, shape);
    InkOptions options;
    options.shape = shape;
    options.columns = RunColumns(canvas.widthTwips(), settings.value(Setting::SampleX));
    options.lines = InkLinesFor(canvas.image().size(), options.columns, palette);
    options.colorLevel = settings.value(Setting::ColorLevel);
    options.ignoreValue = settings.value(Setting::IgnoreValue);
    options.contrast = settings.value(Setting::Contrast);
    options.recordColours = colours;
    InkArt art = DrawInkArt(canvas.image(), palette, options);
    ArtDocument document;
    if (!settings.removeBlankLines())
        document = ArtDocument{std::move(art.text), std::move(art.colours)};
    else if (colours)
        document.text = ClearBlankLines(art.text, art.colours, document.colours);
    else
        document.text = ClearBlankLines(art.text);
    document.text += GenerationRun::Footer;
    return document;
}

} // namespace

QString InkResultText(const CanvasModel& canvas, const QStringList& loadedTable,
                      const SettingsSource& settings, const QString& family, double pointSize,
                      bool shape)
{
    return inkResult(canvas, loadedTable, settings, family, pointSize, shape, false).text;
}

ArtDocument InkResultArt(const CanvasModel& canvas, const QStringList& loadedTable,
                         const SettingsSource& settings, const QString& family, double pointSize,
                         bool shape)
{
    return inkResult(canvas, loadedTable, settings, family, pointSize, shape, true);
}

} // namespace tessivo
