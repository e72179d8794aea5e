#include "app/InkRun.h"

#include "canvas/CanvasModel.h"
#include "canvas/InkArt.h"
#include "engine/BlankLines.h"
#include "engine/GenerationRun.h"
#include "settings/SettingsSource.h"

namespace tessivo {

QString InkResultText(const CanvasModel& canvas, const QStringList& loadedTable,
                      const SettingsSource& settings, const QString& family, double pointSize,
                      bool shape)
{
    const InkPalette palette(loadedTable, family, pointSize, shape);
    InkOptions options;
    options.shape = shape;
    options.columns = RunColumns(canvas.widthTwips(), settings.value(Setting::SampleX));
    options.lines = InkLinesFor(canvas.image().size(), options.columns, palette);
    options.colorLevel = settings.value(Setting::ColorLevel);
    options.ignoreValue = settings.value(Setting::IgnoreValue);
    options.contrast = settings.value(Setting::Contrast);
    QString text = DrawInkArt(canvas.image(), palette, options).text;
    if (settings.removeBlankLines())
        text = ClearBlankLines(text);
    return text + GenerationRun::Footer;
}

} // namespace tessivo
