#include "cli/Conversion.h"

#include "cli/ConvertOptions.h"
#include "engine/GenerationRun.h"
#include "engine/TableFile.h"
#include "export/ArtExport.h"
#include "loading/PictureLoader.h"

namespace tessivo {

namespace {

ConversionOutput failure(int exitCode, const QString& message)
{
    ConversionOutput output;
    output.exitCode = exitCode;
    output.err = message.toUtf8();
    return output;
}

enum class CanvasSide { None, Width, Height };

// The settings that stand for a side of the Canvas rather than a plain value.
CanvasSide canvasSideOf(Setting setting)
{
    switch (setting) {
    case Setting::PreviewWidth: return CanvasSide::Width;
    case Setting::PreviewHeight: return CanvasSide::Height;
    case Setting::ColorLevel:
    case Setting::Contrast:
    case Setting::IgnoreValue:
    case Setting::SampleX:
    case Setting::SampleY:
    case Setting::PreviewFontSize:
    case Setting::CanvasColor:
    case Setting::PictureFit:
    case Setting::ZoomRatio:
    case Setting::RunEfficiency: break;
    }
    return CanvasSide::None;
}

} // namespace

void ConversionState::set(Setting setting, int value)
{
    values.setValue(setting, value);
    switch (canvasSideOf(setting)) {
    case CanvasSide::Width: canvas.setWidthTwips(value); break;
    case CanvasSide::Height: canvas.setHeightTwips(value); break;
    case CanvasSide::None: break;
    }
}

int ConversionState::get(Setting setting) const
{
    switch (canvasSideOf(setting)) {
    case CanvasSide::Width: return canvas.widthTwips();
    case CanvasSide::Height: return canvas.heightTwips();
    case CanvasSide::None: break;
    }
    return values.value(setting);
}

ConversionOutput RunConversion(const ConvertOptions& options)
{
    ConversionState state;
    SettingValues& values = state.values;
    CanvasModel& canvas = state.canvas;
    if (!options.tableFile.isEmpty()) {
        const TableFileResult table = ReadTableFile(options.tableFile);
        switch (table.status) {
        case TableFileResult::Status::Read: values.setLoadedTable(table.rows); break;
        case TableFileResult::Status::CannotOpen:
            return failure(1, QStringLiteral("tessivo-convert: cannot open the table file %1\n")
                                  .arg(options.tableFile));
        case TableFileResult::Status::ReadError:
            return failure(
                1, QStringLiteral("tessivo-convert: error while reading the table file %1\n")
                       .arg(options.tableFile));
        case TableFileResult::Status::TooLarge:
            return failure(
                1, QStringLiteral("tessivo-convert: the table file %1 is larger than %2 bytes\n")
                       .arg(options.tableFile)
                       .arg(MaxTableFileBytes));
        }
    }

    for (const auto& [setting, value] : options.settings)
        state.set(setting, value);
    values.setRemoveBlankLines(options.removeBlankLines);
    GenerationRun run;
    run.setBandCount(values.value(Setting::RunEfficiency));
    const ExportOptions& exportOptions = options.exportOptions;
    run.setRecordColours(exportOptions.format == ExportFormat::Ansi ||
                         (exportOptions.colour && FormatTakesColour(exportOptions.format)));

    PictureRead outcome = PictureRead::Unreadable;
    if (!DrawPictureFile(options.picture, canvas, &outcome)) {
        QString message = PictureFailureText(outcome);
        message.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        return failure(1, message + QLatin1Char('\n'));
    }

    switch (run.start(canvas, values)) {
    case GenerationRun::StartResult::Started: break;
    case GenerationRun::StartResult::PositionsTooLarge:
        return failure(1, QStringLiteral("tessivo-convert: the Canvas is too large for a run\n"));
    case GenerationRun::StartResult::TextTooLong:
        return failure(1, QStringLiteral("tessivo-convert: the table's rows are too long: the text "
                                         "could exceed %1 characters\n")
                              .arg(GenerationRun::MaxTextLength));
    }
    while (run.tick(canvas, values) != GenerationRun::TickOutcome::Finished) {
    }

    ExportResult written = ExportArt(ArtOf(run, !options.noFooter), exportOptions);
    if (!written.error.isEmpty())
        return failure(
            1, QStringLiteral("tessivo-convert: %1: %2\n").arg(options.picture, written.error));
    ConversionOutput output;
    output.out = std::move(written.bytes);
    return output;
}

} // namespace tessivo
