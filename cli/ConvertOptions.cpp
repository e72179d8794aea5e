#include "cli/ConvertOptions.h"

#include "cli/Conversion.h"
#include "cli/OptionTable.h"
#include "engine/OutputFile.h"
#include "engine/Version.h"

namespace tessivo {

namespace {

const SettingOption* findSettingOption(const QString& name)
{
    for (const SettingOption& option : SettingOptions()) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

QString settingOptionName(Setting setting)
{
    for (const SettingOption& option : SettingOptions()) {
        if (option.setting == setting)
            return QLatin1String(option.name);
    }
    return {};
}

std::optional<int> parseWholeNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 11)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!(c.isDigit() && c.unicode() < 128) &&
            !(i == 0 && c == QLatin1Char('-') && text.size() > 1))
            return std::nullopt;
    }
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString prefixed(const QString& message)
{
    return QStringLiteral("tessivo-convert: ") + message;
}

constexpr int MostJobs = 256;
// The most cells of an ink-mode grid on either side.
constexpr int MostCells = 5000;

std::optional<int> cellCount(const QString& text)
{
    const std::optional<int> count = parseWholeNumber(text);
    return count && *count >= 1 && *count <= MostCells ? count : std::nullopt;
}
// The most plays --loop takes, and the speeds --speed takes.
constexpr int MostPlays = 1000000;
constexpr double SlowestSpeed = 0.01, FastestSpeed = 100;

// all, first, N or N-M: the frames of a moving picture, from 1.
std::optional<FrameChoice> frameChoice(const QString& text)
{
    FrameChoice frames;
    frames.given = true;
    if (text == QLatin1String("all")) {
        frames.last = FrameChoice::ToTheEnd;
        return frames;
    }
    if (text == QLatin1String("first"))
        return frames;
    const QStringList ends = text.split(QLatin1Char('-'));
    const std::optional<int> first = ends.size() <= 2 ? parseWholeNumber(ends[0]) : std::nullopt;
    const std::optional<int> last = ends.size() == 2   ? parseWholeNumber(ends[1])
                                    : ends.size() == 1 ? first
                                                       : std::nullopt;
    if (!first || !last || *first < 1 || *last < *first)
        return std::nullopt;
    frames.first = *first;
    frames.last = *last;
    return frames;
}

constexpr double SmallestFontSize = 1;
constexpr double LargestFontSize = 200;

// The options that take a value and are not settings: whether value holds one of theirs, and
// what the option then sets. Returns an error message, or nothing.
std::optional<QString> takeValueOption(const QString& name, const std::optional<QString>& value,
                                       ConvertOptions& options, bool& formatGiven,
                                       bool& encodingGiven, bool& fontSizeGiven)
{
    if (name == QLatin1String("--table")) {
        if (!value || value->isEmpty())
            return QStringLiteral("--table takes a file name");
        options.tableFile = *value;
    } else if (name == QLatin1String("--output")) {
        if (!value || value->isEmpty())
            return QStringLiteral("--output takes a file name, or - for standard output");
        options.output = *value;
    } else if (name == QLatin1String("--output-dir")) {
        if (!value || value->isEmpty())
            return QStringLiteral("--output-dir takes a folder name");
        options.outputDir = *value;
    } else if (name == QLatin1String("--format")) {
        const std::optional<ExportFormat> format = value ? FormatByName(*value) : std::nullopt;
        if (!format)
            return QStringLiteral("--format takes txt, html, svg, png or ansi");
        options.exportOptions.format = *format;
        formatGiven = true;
    } else if (name == QLatin1String("--encoding")) {
        const QString encoding = value ? value->toLower() : QString();
        if (encoding == QLatin1String("utf-8"))
            options.exportOptions.encoding = TextEncoding::Utf8;
        else if (encoding == QLatin1String("gbk"))
            options.exportOptions.encoding = TextEncoding::Gbk;
        else
            return QStringLiteral("--encoding takes utf-8 or gbk");
        encodingGiven = true;
    } else if (name == QLatin1String("--font-size")) {
        bool ok = false;
        const double size = value ? value->toDouble(&ok) : 0;
        if (!ok || !(size >= SmallestFontSize && size <= LargestFontSize))
            return QStringLiteral("--font-size takes a size in points from %1 to %2")
                .arg(SmallestFontSize)
                .arg(LargestFontSize);
        options.exportOptions.fontSize = size;
        options.fontSize = size;
        fontSizeGiven = true;
    } else if (name == QLatin1String("--colour-mode")) {
        const std::optional<ColourMode> mode = value ? ColourModeByName(*value) : std::nullopt;
        if (!mode)
            return QStringLiteral("--colour-mode takes fg, bg or both");
        options.exportOptions.colourMode = *mode;
        options.exportOptions.colour = true;
    } else if (name == QLatin1String("--background")) {
        const auto background = value ? TerminalBackgroundByName(*value) : std::nullopt;
        if (!background)
            return QStringLiteral("--background takes light or dark");
        options.exportOptions.background = *background;
    } else if (name == QLatin1String("--colours")) {
        const auto colours = value ? TerminalColoursByName(*value) : std::nullopt;
        if (!colours)
            return QStringLiteral("--colours takes full, 256 or 16");
        options.exportOptions.terminalColours = *colours;
    } else if (name == QLatin1String("--title")) {
        if (!value)
            return QStringLiteral("--title takes a text");
        options.exportOptions.title = *value;
    } else if (name == QLatin1String("--mode")) {
        if (value == QLatin1String("tone"))
            options.mode = CharacterChoice::Tone;
        else if (value == QLatin1String("ink"))
            options.mode = CharacterChoice::Ink;
        else if (value == QLatin1String("shape"))
            options.mode = CharacterChoice::Shape;
        else
            return QStringLiteral("--mode takes tone, ink or shape");
    } else if (name == QLatin1String("--size")) {
        const QStringList sides = value ? value->split(QLatin1Char('x')) : QStringList();
        const std::optional<int> columns = sides.size() == 2 ? cellCount(sides[0]) : std::nullopt;
        const std::optional<int> lines = sides.size() == 2 ? cellCount(sides[1]) : std::nullopt;
        if (!columns || !lines)
            return QStringLiteral("--size takes COLUMNSxLINES, each from 1 to %1").arg(MostCells);
        options.columns = *columns;
        options.lines = *lines;
    } else if (name == QLatin1String("--width") || name == QLatin1String("--height")) {
        const std::optional<int> count = value ? cellCount(*value) : std::nullopt;
        if (!count)
            return QStringLiteral("%1 takes a whole number from 1 to %2").arg(name).arg(MostCells);
        (name == QLatin1String("--width") ? options.columns : options.lines) = *count;
    } else if (name == QLatin1String("--font")) {
        if (!value || value->isEmpty())
            return QStringLiteral("--font takes a font family");
        options.fontFamily = *value;
        options.exportOptions.fontFamily = *value;
    } else if (name == QLatin1String("--dither")) {
        if (value == QLatin1String("none"))
            options.dither = Dither::None;
        else if (value == QLatin1String("diffusion"))
            options.dither = Dither::Diffusion;
        else
            return QStringLiteral("--dither takes none or diffusion");
    } else if (name == QLatin1String("--frames")) {
        const std::optional<FrameChoice> frames = value ? frameChoice(*value) : std::nullopt;
        if (!frames)
            return QStringLiteral("--frames takes all, first, N or N-M (frames from 1, M not "
                                  "before N)");
        options.frames = *frames;
    } else if (name == QLatin1String("--loop")) {
        const std::optional<int> plays = value == QLatin1String("forever")
                                             ? std::optional<int>(ConvertOptions::PlayForever)
                                         : value ? parseWholeNumber(*value)
                                                 : std::nullopt;
        if (!plays || *plays == 0 || *plays < ConvertOptions::PlayForever || *plays > MostPlays)
            return QStringLiteral("--loop takes the times to play, 1 to %1, or forever")
                .arg(MostPlays);
        options.plays = *plays;
    } else if (name == QLatin1String("--speed")) {
        bool ok = false;
        const double speed = value ? value->toDouble(&ok) : 0;
        if (!ok || !(speed >= SlowestSpeed && speed <= FastestSpeed))
            return QStringLiteral("--speed takes a factor from %1 to %2")
                .arg(SlowestSpeed)
                .arg(FastestSpeed);
        options.speed = speed;
    } else if (name == QLatin1String("--jobs")) {
        const std::optional<int> jobs = value ? parseWholeNumber(*value) : std::nullopt;
        if (!jobs || *jobs < 1 || *jobs > MostJobs)
            return QStringLiteral("--jobs takes a whole number from 1 to %1").arg(MostJobs);
        options.jobs = *jobs;
    }
    return std::nullopt;
}

// The frames of a moving picture: without --frames, a page or a terminal plays them all and the
// other formats take the first. Only a page, an SVG and a terminal's stream hold several frames
// in one file; a folder holds one file for each.
std::optional<QString> settleFrames(ConvertOptions& options, const QStringList& given)
{
    const ExportFormat format = options.exportOptions.format;
    const bool plays =
        format == ExportFormat::Html || format == ExportFormat::Svg || format == ExportFormat::Ansi;
    if (!options.frames.given) {
        options.frames.last = format == ExportFormat::Html || format == ExportFormat::Ansi
                                  ? FrameChoice::ToTheEnd
                                  : 1;
    } else if (!options.frames.one() && !plays && options.outputDir.isEmpty()) {
        return QStringLiteral("a %1 file holds one frame: --frames with more than one needs "
                              "--output-dir, which gets a file for each")
            .arg(FormatName(format));
    }
    if (given.contains(QLatin1String("--loop")) && !plays)
        return QStringLiteral("--loop is for ansi, html and svg, not %1").arg(FormatName(format));
    return std::nullopt;
}

// What the options say together: the format the output's name implies, and the options that do
// not fit the format or each other.
std::optional<QString> settleOutput(ConvertOptions& options, bool outputGiven, bool formatGiven,
                                    bool encodingGiven, bool fontSizeGiven,
                                    const QStringList& given)
{
    if (options.pictures.size() > 1 && options.outputDir.isEmpty())
        return QStringLiteral("%1 pictures need --output-dir").arg(options.pictures.size());
    if (outputGiven && !options.outputDir.isEmpty())
        return QStringLiteral("--output and --output-dir do not go together");
    ExportOptions& out = options.exportOptions;
    if (!formatGiven && options.outputDir.isEmpty() && options.output != QLatin1String("-"))
        out.format = FormatByFileName(options.output).value_or(ExportFormat::Txt);
    const QString format = FormatName(out.format);
    if (encodingGiven && !FormatTakesEncoding(out.format))
        return QStringLiteral("--encoding is for txt and html, not %1").arg(format);
    if (out.colour && out.format == ExportFormat::Txt)
        return QStringLiteral("%1 is for html, svg, png and ansi, not txt")
            .arg(given.contains(QLatin1String("--colour-mode")) ? QLatin1String("--colour-mode")
                                                                : QLatin1String("--colour"));
    for (const char* option : {"--background", "--colours"}) {
        if (given.contains(QLatin1String(option)) && out.format != ExportFormat::Ansi)
            return QStringLiteral("%1 is for ansi, not %2").arg(QLatin1String(option), format);
    }
    if (given.contains(QLatin1String("--title")) && out.format != ExportFormat::Html)
        return QStringLiteral("--title is for html, not %1").arg(format);
    if (fontSizeGiven && !FormatTakesFontSize(out.format) && options.mode == CharacterChoice::Tone)
        return QStringLiteral("--font-size is for svg and png, not %1").arg(format);
    return settleFrames(options, given);
}

// The options each mode leaves aside: given to the other mode, they would do nothing.
std::optional<QString> settleMode(const ConvertOptions& options, const QStringList& given)
{
    if (options.mode == CharacterChoice::Tone) {
        for (const char* option : {"--size", "--width", "--height", "--font", "--dither"}) {
            if (given.contains(QLatin1String(option)))
                return QStringLiteral("%1 is for --mode ink and shape").arg(QLatin1String(option));
        }
        return std::nullopt;
    }
    // The ink and shape modes tile the whole picture at its own proportions, in one pass.
    const QLatin1String mode(options.mode == CharacterChoice::Shape ? "shape" : "ink");
    for (const Setting setting : {Setting::SampleY, Setting::PictureFit, Setting::RunEfficiency,
                                  Setting::PreviewWidth, Setting::PreviewHeight}) {
        if (options.settings.count(setting))
            return QStringLiteral("%1 does not apply to --mode %2, which tiles the whole picture "
                                  "with cells of the font's proportions")
                .arg(settingOptionName(setting), mode);
    }
    if (options.settings.count(Setting::SampleX) && options.columns > 0)
        return QStringLiteral("--sample-x sets the columns of --mode %1; it does not go with "
                              "--size or --width")
            .arg(mode);
    return std::nullopt;
}

} // namespace

ParsedCommandLine ParseConvertOptions(const QStringList& args)
{
    ConvertOptions options;
    QStringList& pictures = options.pictures;
    QStringList given; // the options with a value that were given, settings aside
    bool outputGiven = false;
    bool formatGiven = false;
    bool encodingGiven = false;
    bool fontSizeGiven = false;

    OptionTable table;
    table.flags = {{QLatin1String("--remove-blank-lines"), &options.removeBlankLines},
                   {QLatin1String("--no-footer"), &options.noFooter},
                   {QLatin1String("--help"), &options.help},
                   {QLatin1String("--version"), &options.version},
                   {QLatin1String("--colour"), &options.exportOptions.colour},
                   {QLatin1String("--no-clobber"), &options.noClobber}};
    table.withValue = {"--table",     "--output", "--output-dir",  "--format",     "--encoding",
                       "--font-size", "--jobs",   "--mode",        "--size",       "--width",
                       "--height",    "--font",   "--colour-mode", "--background", "--colours",
                       "--title",     "--dither", "--frames",      "--loop",       "--speed"};
    for (const SettingOption& option : SettingOptions())
        table.withValue.append(QLatin1String(option.name));
    table.unknownHint = QStringLiteral(" (see --help)");

    const auto takeValue = [&](const QString& name,
                               const std::optional<QString>& value) -> std::optional<QString> {
        const SettingOption* setting = findSettingOption(name);
        if (!setting) {
            const std::optional<QString> error =
                takeValueOption(name, value, options, formatGiven, encodingGiven, fontSizeGiven);
            if (error)
                return error;
            outputGiven = outputGiven || name == QLatin1String("--output");
            given.append(name);
            return std::nullopt;
        }
        const SettingRow& row = SettingInfo(setting->setting);
        const std::optional<int> number = value ? parseWholeNumber(*value) : std::nullopt;
        if (!number || *number < row.minimum || *number > row.maximum)
            return QStringLiteral("%1 takes a whole number from %2 to %3")
                .arg(name)
                .arg(row.minimum)
                .arg(row.maximum);
        options.settings[setting->setting] = *number;
        return std::nullopt;
    };
    if (const std::optional<QString> error = ReadOptions(
            args, table, takeValue, [&](const QString& picture) { pictures.append(picture); }))
        return {std::nullopt, prefixed(*error)};

    if (options.help || options.version)
        return {options, {}};
    if (pictures.isEmpty())
        return {std::nullopt, prefixed(QStringLiteral("no picture given (see --help)"))};
    std::optional<QString> error =
        settleOutput(options, outputGiven, formatGiven, encodingGiven, fontSizeGiven, given);
    if (!error)
        error = settleMode(options, given);
    if (error)
        return {std::nullopt, prefixed(*error)};
    options.picture = pictures.first();
    return {options, {}};
}

QString ConvertUsage()
{
    QString text = QStringLiteral(
        "Usage: tessivo-convert [options] PICTURE\n"
        "       tessivo-convert [options] --output-dir DIR PICTURE...\n"
        "\n"
        "Turns a picture into character art, exactly as Tessivo's window does after start-up\n"
        "with the same settings, and writes the result text (UTF-8, CR LF line ends) to\n"
        "standard output, or the art in another format to a file. PICTURE - is read from\n"
        "standard input.\n"
        "\n"
        "Options (the value after start-up in brackets):\n");
    const ConversionState fresh;
    for (const SettingOption& option : SettingOptions()) {
        const SettingRow& row = SettingInfo(option.setting);
        text += QStringLiteral("  ") +
                (QLatin1String(option.name) + QStringLiteral(" N")).leftJustified(22);
        text += QStringLiteral("%1, %2 to %3 [%4]\n")
                    .arg(QLatin1String(option.help))
                    .arg(row.minimum)
                    .arg(row.maximum)
                    .arg(fresh.get(option.setting));
    }
    text += QStringLiteral(
        "  --remove-blank-lines  drop blank lines at the top and empty the other blank lines\n"
        "  --table FILE          use a character table file (GBK text, or UTF-8 or UTF-16\n"
        "                        with a byte-order mark; one row per line, darkest first,\n"
        "                        lines with ### skipped)\n"
        "  --no-footer           leave out the footer lines after the art\n"
        "\n"
        "Character choice:\n"
        "  --mode M              tone: a row of the table for each cell's tone, as the window\n"
        "                        does after start-up [tone]; ink: of every row of the table,\n"
        "                        the one whose ink in --font is nearest each cell's darkness,\n"
        "                        cells tiling the whole picture in the font's proportions;\n"
        "                        shape: as ink, but of rows of near ink the one whose ink\n"
        "                        lies in the cell as the picture's darkness does\n"
        "  --size COLSxLINES     the ink mode's grid [the columns --sample-x gives on the\n"
        "                        Canvas, or the terminal's width for ansi to a terminal; the\n"
        "                        lines from the picture's proportions in the font]\n"
        "  --width COLS          the ink mode's columns; the lines follow the picture\n"
        "  --height LINES        the ink mode's lines; the columns follow the picture\n"
        "  --font FAMILY         the font the ink mode measures the rows in, and draws them in\n"
        "                        for svg, png and html [新宋体]\n"
        "  --dither D            none, or diffusion: a cell's darkness its row cannot show\n"
        "                        is carried to the next cells, so that tones between rows\n"
        "                        far apart in ink come out as a mix of them [diffusion]\n"
        "\n"
        "Output:\n"
        "  --output FILE         write to FILE; - is standard output [-]\n"
        "  --format F            txt, html, svg, png or ansi (24-bit colour for terminals)\n"
        "                        [from the extension of --output: .txt, .html or .htm, .svg,\n"
        "                        .png, .ans; otherwise txt]\n"
        "  --encoding E          utf-8 or gbk, for txt and html [utf-8]; a character GBK\n"
        "                        cannot hold stops a txt file, with its line and column\n"
        "  --colour              draw each character in its picture colour (html, svg, png)\n"
        "  --colour-mode M       what the colour paints (html, svg, png, ansi; implies\n"
        "                        --colour): fg the characters, bg the cells behind them, both\n"
        "                        the cells, and the characters halfway to the plain ink;\n"
        "                        in the ink and shape modes, both fits each character and\n"
        "                        its two colours to the cell together [fg]\n"
        "  --background B        the terminal's background, for ansi: light, or dark, where\n"
        "                        light parts of the picture take the dense characters [light]\n"
        "  --colours N           full (24-bit), 256 or 16 colours, for ansi [full]\n"
        "  --title TEXT          the page's title, for html [the picture's file name]\n"
        "  --font-size PT        font size in points, for svg, png and the ink mode [9]\n"
        "  --output-dir DIR      convert every picture given into DIR, one file each, named\n"
        "                        after the picture with the format's extension; with\n"
        "                        --frames, a moving picture's frames one file each,\n"
        "                        NAME-0001.EXT ..., listed with their delays in\n"
        "                        NAME.frames.tsv\n"
        "  --jobs N              pictures converted at once, 1 to 256 [one per processor]\n"
        "  --no-clobber          never replace a file that exists: leave it and say so\n"
        "\n"
        "A file that exists is replaced whole once its new content is complete, keeping its\n"
        "permissions (through a link, the file it leads to); a read-only one, or one of the\n"
        "pictures, is left as it is. A device or pipe is written straight.\n"
        "\n"
        "Moving pictures (animated GIF and WebP):\n"
        "  --frames F            all, first, N or N-M (from 1) [all for html and ansi, which\n"
        "                        play them, first for the others]; html and svg play the\n"
        "                        frames at their delays, ansi plays them in place on a\n"
        "                        terminal and writes them one after another, each after a\n"
        "                        cursor-home sequence, to a file or pipe\n"
        "  --loop N              play N times, or forever (ansi, html, svg) [as the file says]\n"
        "  --speed F             play F times as fast, 0.01 to 100 [1]\n"
        "\n"
        "  --help                show this text\n"
        "  --version             show the version\n"
        "\n"
        "Exit status: 0 done, 1 a picture or the table file could not be read or an output\n"
        "not written (the other pictures are still converted), 2 bad options.\n");
    return text;
}

QString ConvertVersion()
{
    return QStringLiteral("tessivo-convert " TESSIVO_VERSION "\n");
}

} // namespace tessivo
