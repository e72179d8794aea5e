#include "cli/Conversion.h"

#include "art/InkRun.h"
#include "cli/ConvertOptions.h"
#include "cli/FileArguments.h"
#include "engine/GenerationRun.h"
#include "engine/TableFile.h"
#include "engine/TextCells.h"
#include "export/ArtExport.h"
#include "loading/PictureLoader.h"

#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <optional>

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

// Why a picture did not read: what the reading found (the metafile helper failed, what the
// decoder said of the data, a pipe too long), the file could not be opened, or the content is not
// a picture the program reads.
QString pictureFailure(const QString& picture, PictureRead outcome, const QString& failure)
{
    if (!failure.isEmpty())
        return failure;
    if (outcome == PictureRead::TooLarge)
        return QStringLiteral("the picture is too large: decoded, it would take more than %1 MiB")
            .arg(PictureMemoryLimit() / (1024 * 1024));
    if (const QString why = WhyUnopenable(picture); !why.isEmpty())
        return why;
    return QStringLiteral("not a picture in a format tessivo-convert reads, or a damaged one");
}

// Whether any row draws something: rows of spaces alone, the one the import appends among them,
// would give blank art whatever the picture.
bool holdsACharacter(const QStringList& rows)
{
    return !std::all_of(rows.cbegin(), rows.cend(),
                        [](const QString& row) { return IsBlankRow(row); });
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

namespace {

// Reads --table into values; the failure's output, or nothing.
std::optional<ConversionOutput> readTable(const ConvertOptions& options, SettingValues& values,
                                          QByteArray* warnings = nullptr)
{
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
            if (const qsizetype other = FirstRowOfOtherWidth(table.rows); other >= 0 && warnings)
                *warnings += QStringLiteral(
                                 "tessivo-convert: warning: the rows of the table file %1 are not "
                                 "all %2 cells wide (\"%3\" takes %4)%5\n")
                                 .arg(name)
                                 .arg(CommonRowCells(table.rows))
                                 .arg(QuotedForMessage(table.rows[other]))
                                 .arg(CellsOf(table.rows[other]))
                                 .arg(options.mode != CharacterChoice::Tone
                                          ? QStringLiteral("; each is padded with spaces")
                                          : QString())
                                 .toUtf8();
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
    return std::nullopt;
}

// On a dark terminal, the art is made from the picture's negative, so that the light parts take
// the dense rows; each character then gets back its own pixel's colour.
bool onDarkTerminal(const ConvertOptions& options)
{
    return options.exportOptions.format == ExportFormat::Ansi &&
           options.exportOptions.background == TerminalBackground::Dark;
}

// A frame of a moving picture as a picture read from a still file of it.
ReducedPicture FrameAsRead(const QImage& frame)
{
    ReducedPicture read;
    read.image = frame;
    read.naturalSize = frame.size();
    return read;
}

// The art written out in the options' format; a page is named after its picture.
ConversionOutput exported(const ConvertOptions& options, const ArtDocument& art)
{
    ExportOptions exportOptions = options.exportOptions;
    if (exportOptions.title.isEmpty())
        exportOptions.title = QFileInfo(options.picture).fileName();
    ExportResult written = ExportArt(art, exportOptions);
    if (!written.error.isEmpty())
        return failure(1, QStringLiteral("tessivo-convert: %1: %2\n")
                              .arg(QuotedForMessage(options.picture), written.error));
    ConversionOutput output;
    output.out = std::move(written.bytes);
    return output;
}

// The whole picture at its proportions in the palette's font, each cell the row of nearest ink.
// frame: a picture already decoded, in place of the options' file.
MadeArt runInk(const ConvertOptions& options, const ConversionState& state,
               const InkPalette& palette, const QImage* frame = nullptr)
{
    const SettingValues& values = state.values;
    const ExportOptions& exportOptions = options.exportOptions;
    InkOptions ink =
        InkOptionsFor(values, options.mode,
                      exportOptions.format == ExportFormat::Ansi ||
                          (exportOptions.colour && FormatTakesColour(exportOptions.format)));
    ink.dither = options.dither;
    if (FitsColours(options))
        ink.fit = exportOptions.format != ExportFormat::Ansi ? FitColours::Full
                  : exportOptions.terminalColours == TerminalColours::Xterm256
                      ? FitColours::Xterm256
                  : exportOptions.terminalColours == TerminalColours::Basic16 ? FitColours::Basic16
                                                                              : FitColours::Full;
    // Pixels each cell is read in across and down: a part of a cell wants one at least.
    const int partsPerCell = ink.fit     ? InkPalette::FitColumnsPerCell
                             : ink.shape ? InkPalette::ShapeColumnsPerCell
                                         : 1;
    // Without a size, as many columns as a run over the Canvas at SampleX gives (the ink mode
    // refuses the Canvas's size settings, so this is the Canvas the window starts with).
    const int runColumns = RunColumns(state.canvas.widthTwips(), values.value(Setting::SampleX));
    const auto gridFor = [&](QSize natural) {
        const int columns = options.columns > 0 ? options.columns
                            : options.lines > 0 ? InkColumnsFor(natural, options.lines, palette)
                                                : runColumns;
        const int lines =
            options.lines > 0 ? options.lines : InkLinesFor(natural, columns, palette);
        if (options.mostLines > 0 && lines > options.mostLines)
            return QSize(InkColumnsFor(natural, options.mostLines, palette), options.mostLines);
        return QSize(columns, lines);
    };
    // A JPEG larger than the grid is decoded reduced by its DCT scaling, which averages blocks
    // of pixels as the cells do: to a half, a quarter or an eighth of each side (the scalings the
    // decoder runs in SIMD code; the others take longer than a whole decode), the smallest that
    // leaves every cell a pixel. Asked for exactly that size, the reader scales no further.
    const auto divisor = [&](QSize natural) {
        const QSize grid = gridFor(natural);
        int divisor = 1;
        while (divisor < 8 && natural.width() / (2 * divisor) >= grid.width() * partsPerCell &&
               natural.height() / (2 * divisor) >= grid.height() * partsPerCell)
            divisor *= 2;
        return float(divisor);
    };
    const ReachableFile file(options.picture);
    // A crop no picture reaches: the picture is not held, so a JPEG is decoded from its file
    // mapped into memory, without a copy of its bytes.
    const QSize whole(std::numeric_limits<int>::max(), std::numeric_limits<int>::max());
    const ReducedPicture read =
        frame ? FrameAsRead(*frame) : DecodePictureReduced(file.path(), divisor, whole);
    if (read.image.isNull())
        return failure(1, QStringLiteral("tessivo-convert: %1: %2\n")
                              .arg(QuotedForMessage(options.picture),
                                   pictureFailure(options.picture, read.outcome(), read.failure)));
    // Transparent parts show the white of the Canvas.
    QImage picture = read.image;
    if (picture.hasAlphaChannel()) {
        picture = QImage(read.image.size(), QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter(&picture).drawImage(0, 0, read.image);
    }
    // On a dark terminal the rows are chosen for the picture's negative, the colours read from
    // the picture itself; colours fitted with their rows are the picture's own whatever the
    // terminal's paper.
    ink.negative = onDarkTerminal(options) && !ink.fit;
    const QSize grid = gridFor(read.naturalSize.isValid() ? read.naturalSize : picture.size());
    ink.columns = grid.width();
    ink.lines = grid.height();
    // The longest row: rows of one width in cells may differ in characters (a character beyond
    // the first plane takes two).
    qsizetype longestRow = 1;
    for (const QString& row : palette.rows())
        longestRow = std::max(longestRow, row.size());
    const qsizetype length = qsizetype(ink.lines) * (ink.columns + 2);
    if (length * longestRow > GenerationRun::MaxTextLength)
        return failure(1, QStringLiteral("tessivo-convert: the table's rows are too long: the text "
                                         "could exceed %1 characters\n")
                              .arg(GenerationRun::MaxTextLength));

    InkArt art = FinishInkArt(DrawInkArt(picture, palette, ink), values, !options.noFooter);
    return ArtDocument{std::move(art.text), std::move(art.colours), std::move(art.backgrounds)};
}

// The Canvas and a run over it, as the window's open and generate give them. frame: a picture
// already decoded, in place of the options' file.
MadeArt runTone(const ConvertOptions& options, ConversionState& state,
                const QImage* frame = nullptr)
{
    SettingValues& values = state.values;
    CanvasModel& canvas = state.canvas;
    GenerationRun run;
    run.setBandCount(values.value(Setting::RunEfficiency));
    const ExportOptions& exportOptions = options.exportOptions;
    run.setRecordColours(exportOptions.format == ExportFormat::Ansi ||
                         (exportOptions.colour && FormatTakesColour(exportOptions.format)));

    PictureRead outcome = PictureRead::Unreadable;
    QString why;
    const ReachableFile picture(options.picture);
    QRect drawn;
    if (frame) {
        DrawLoadedPicture(*frame, canvas);
        // Drawn as a load draws it: reduced by a whole ratio when much wider than the Canvas.
        const int ratio = std::max(
            1, ReductionRatio(double(frame->width()) * TwipsPerPixel, canvas.widthTwips()));
        drawn =
            QRect(0, 0, (frame->width() + ratio - 1) / ratio, (frame->height() + ratio - 1) / ratio)
                .intersected(canvas.image().rect());
    } else if (!DrawPictureFile(picture.path(), canvas, &outcome, &why, &drawn))
        return failure(1, QStringLiteral("tessivo-convert: %1: %2\n")
                              .arg(QuotedForMessage(options.picture),
                                   pictureFailure(options.picture, outcome, why)));

    // The picture alone is taken as its negative: the empty Canvas around it is the terminal's
    // own dark paper, blank as the light run leaves it.
    const auto invertPicture = [&] {
        QImage pixels = canvas.pixelsInPlace();
        for (int y = drawn.top(); y <= drawn.bottom(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(pixels.scanLine(y));
            for (int x = drawn.left(); x <= drawn.right(); ++x)
                line[x] ^= 0x00FFFFFF;
        }
    };
    const bool dark = onDarkTerminal(options) && !drawn.isEmpty();
    if (dark)
        invertPicture();
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

    ArtDocument art = ArtOf(run, !options.noFooter);
    if (dark) {
        // Every character keeps its own cell's colour: the colours of a run over the picture as
        // it is, which has the same cells.
        invertPicture();
        GenerationRun light;
        light.setBandCount(values.value(Setting::RunEfficiency));
        light.setRecordColours(true);
        light.start(canvas, values);
        while (light.tick(canvas, values) != GenerationRun::TickOutcome::Finished) {
        }
        art.colours = light.artColours();
    }
    return art;
}

} // namespace

QByteArray FontWarning(const ConvertOptions& options, const InkPalette& palette)
{
    if (palette.fallbackFamily().isEmpty())
        return {};
    return QStringLiteral("tessivo-convert: warning: no font %1 is installed; the rows are "
                          "measured in %2\n")
        .arg(options.fontFamily, palette.fallbackFamily())
        .toUtf8();
}

bool FitsColours(const ConvertOptions& options)
{
    const ExportOptions& out = options.exportOptions;
    return options.mode != CharacterChoice::Tone && out.colourMode == ColourMode::Both &&
           (out.format == ExportFormat::Ansi || (out.colour && FormatTakesColour(out.format)));
}

std::shared_ptr<const InkPalette> InkPaletteFor(const ConvertOptions& options)
{
    SettingValues values;
    if (readTable(options, values))
        return nullptr;
    return std::make_shared<const InkPalette>(
        values.tables().loaded(), options.fontFamily, options.fontSize,
        options.mode == CharacterChoice::Shape, FitsColours(options));
}

FrameConversion::FrameConversion(const ConvertOptions& options, const InkPalette* palette)
    : m_options(options)
    , m_state(std::make_unique<ConversionState>())
    , m_palette(palette)
{
    SettingValues& values = m_state->values;
    if (std::optional<ConversionOutput> failed = readTable(options, values, &m_warnings)) {
        m_failure = std::move(failed);
        return;
    }
    for (const auto& [setting, value] : options.settings)
        m_state->set(setting, value);
    values.setRemoveBlankLines(options.removeBlankLines);
    if (options.mode != CharacterChoice::Tone && !palette) {
        m_ownPalette = std::make_unique<InkPalette>(
            values.tables().loaded(), options.fontFamily, options.fontSize,
            options.mode == CharacterChoice::Shape, FitsColours(options));
        m_warnings += FontWarning(options, *m_ownPalette);
        m_palette = m_ownPalette.get();
    }
}

FrameConversion::~FrameConversion() = default;

MadeArt FrameConversion::art(const QImage* frame)
{
    if (m_failure)
        return *m_failure;
    if (m_options.mode == CharacterChoice::Tone)
        return runTone(m_options, *m_state, frame);
    return runInk(m_options, *m_state, *m_palette, frame);
}

ConversionOutput FrameConversion::written(const MadeArt& made) const
{
    return made.art ? exported(m_options, *made.art) : made.failure;
}

ConversionOutput RunConversion(const ConvertOptions& options, const InkPalette* palette)
{
    FrameConversion conversion(options, palette);
    ConversionOutput output = conversion.written(conversion.art());
    output.err.prepend(conversion.warnings());
    return output;
}

} // namespace tessivo
