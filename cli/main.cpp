#include "cli/CommandLine.h"
#include "cli/ConvertCommand.h"
#include "cli/ConvertOptions.h"
#include "engine/OutputFile.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <malloc.h>

#include <memory>

namespace {

constexpr char Program[] = "tessivo-convert";

} // namespace

int main(int argc, char* argv[])
{
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

    // The image plugins need an application object. Only a PNG needs fonts, and so a
    // QGuiApplication; it draws off screen unless told otherwise, so that no display is needed.
    // (Metafiles are drawn by a child process of their own.)
    tessivo::QuietenQtNotes();
    std::unique_ptr<QCoreApplication> app;
    if (parsed.options->exportOptions.format == tessivo::ExportFormat::Png) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    const tessivo::ConversionOutput output = tessivo::RunConvertCommand(*parsed.options);
    return tessivo::Finish(Program, output.out, output.err, output.exitCode);
}
