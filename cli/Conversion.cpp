#include "cli/Conversion.h"

#include "cli/ConvertOptions.h"
#include "cli/FileArguments.h"
#include "engine/GenerationRun.h"
#include "engine/TableFile.h"
#include "export/ArtExport.h"
#include "loading/PictureLoader.h"

#include <algorithm>

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

// Why a picture did not read: the file could not be opened, the metafile helper failed, or the
// content is not a picture the program reads.
QString pictureFailure(const QString& picture, PictureRead outcome, const QString& failure)
{
    if (outcome == PictureRead::TooLarge)
        return QStringLiteral("the picture is too large: decoded, it would take more than %1 MiB")
            .arg(PictureMemoryLimit() / (1024 * 1024));
    if (const QString why = WhyUnopenable(picture); !why.isEmpty())
        return why;
    if (!failure.isEmpty())
        return failure;
    return QStringLiteral("not a picture in a format tessivo-convert reads, or a damaged one");
}

// Whether any row draws something: rows of spaces alone, the one the import appends among them,
// would give blank art whatever the picture.
bool holdsACharacter(const QStringList& rows)
{
    return std::any_of(rows.cbegin(), rows.cend(), [](const QString& row) {
        return std::any_of(row.cbegin(), row.cend(), [](QChar c) { return c != QLatin1Char(' '); });
    });
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
        const QString name = QuotedForMessage(options.tableFile);
        const ReachableFile file(options.tableFile);
        const TableFileResult table = ReadTableFile(file.path());
        switch (table.status) {
        case TableFileResult::Status::Read:
            if (!holdsACharacter(table.rows))
                return failure(1, QStringLiteral("tessivo-convert: the table file %1 holds no "
                                                 "row with a character\n")
                                      .arg(name));
            values.setLoadedTable(table.rows);
            break;
        case TableFileResult::Status::CannotOpen: {
            QString why = WhyUnopenable(options.tableFile);
            if (why.isEmpty())
                why = QStringLiteral("not a plain file");
            return failure(1, QStringLiteral("tessivo-convert: cannot open the table file %1: %2\n")
                                  .arg(name, why));
        }
        case TableFileResult::Status::ReadError:
            return failure(
                1, QStringLiteral("tessivo-convert: error while reading the table file %1\n")
                       .arg(name));
        case TableFileResult::Status::TooLarge:
            return failure(
                1, QStringLiteral("tessivo-convert: the table file %1 is larger than %2 bytes\n")
                       .arg(name)
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
    QString why;
    const ReachableFile picture(options.picture);
    if (!DrawPictureFile(picture.path(), canvas, &outcome, &why))
        return failure(1, QStringLiteral("tessivo-convert: %1: %2\n")
                              .arg(QuotedForMessage(options.picture),
                                   pictureFailure(options.picture, outcome, why)));

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
        return failure(1, QStringLiteral("tessivo-convert: %1: %2\n")
                              .arg(QuotedForMessage(options.picture), written.error));
    ConversionOutput output;
    output.out = std::move(written.bytes);
    return output;
}

} // namespace tessivo
