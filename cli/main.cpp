#include "canvas/Fonts.h"
#include "cli/CommandLine.h"
#include "cli/ConvertCommand.h"
#include "cli/ConvertOptions.h"
#include "engine/OutputFile.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <malloc.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr char Program[] = "tessivo-convert";

} // namespace

int main(int argc, char* argv[])
{
    tessivo::HoldStandardStreams();
    tessivo::RemoveOutputsOnInterrupt();
    const tessivo::ParsedCommandLine parsed =
        tessivo::ParseConvertOptions(tessivo::ArgumentsOf(argc, argv));
    if (!parsed.options)
        return tessivo::Finish(Program, {}, (parsed.error + QLatin1Char('\n')).toUtf8(), 2);
    if (parsed.options->help)
        return tessivo::Finish(Program, tessivo::ConvertUsage().toUtf8(), {}, 0);
    if (parsed.options->version)
        return tessivo::Finish(Program, tessivo::ConvertVersion().toUtf8(), {}, 0);
    if (parsed.options->pictures.size() > 1) {
        // A batch makes and frees a conversion's large buffers (the decoded picture, the Canvas,
        // the texts) for every picture. Kept in the heap rather than handed back to the system,
        // the next picture reuses pages already mapped instead of faulting fresh ones in. One
        // picture gains nothing from it, and its peak memory would grow by the heap's gaps.
        mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    }

    tessivo::QuietenQtNotes();
    tessivo::ConvertOptions options = *parsed.options;
    options.streamToStandardOutput = true;
    // Ansi art of several frames is played in place on a terminal, and fits it.
    if (options.output == QLatin1String("-") && options.outputDir.isEmpty() &&
        isatty(STDOUT_FILENO)) {
        options.toTerminal = true;
        winsize size{};
        if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0)
            options.terminalLines = size.ws_row;
    }
    // Art for a terminal fits the terminal's width, as other converters' does.
    if (options.mode != tessivo::CharacterChoice::Tone && options.columns == 0 &&
        options.lines == 0 && options.exportOptions.format == tessivo::ExportFormat::Ansi &&
        options.output == QLatin1String("-") && options.outputDir.isEmpty() &&
        isatty(STDOUT_FILENO)) {
        winsize size{};
        if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
            options.columns = size.ws_col;
    }

    // The image plugins need an application object. Only a PNG and the ink mode need fonts, and
    // so a QGuiApplication; it draws off screen unless told otherwise, so that no display is
    // needed. (Metafiles are drawn by a child process of their own.)
    std::unique_ptr<QCoreApplication> app;
    if (options.exportOptions.format == tessivo::ExportFormat::Png ||
        options.mode != tessivo::CharacterChoice::Tone) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        // The ink mode measures its rows in the result font, a Song-style family by name.
        tessivo::RegisterFontSubstitutes();
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    const tessivo::ConversionOutput output = tessivo::RunConvertCommand(options);
    return tessivo::Finish(Program, output.out, output.err, output.exitCode);
}
