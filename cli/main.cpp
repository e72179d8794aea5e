#include "cli/ConvertCommand.h"
#include "cli/ConvertOptions.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <malloc.h>

#include <cstdio>
#include <memory>

namespace {

void write(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const tessivo::ParsedCommandLine parsed = tessivo::ParseConvertOptions(args);
    if (!parsed.options) {
        write(stderr, (parsed.error + QLatin1Char('\n')).toUtf8());
        return 2;
    }
    if (parsed.options->help) {
        write(stdout, tessivo::ConvertUsage().toUtf8());
        return 0;
    }
    if (parsed.options->version) {
        write(stdout, tessivo::ConvertVersion().toUtf8());
        return 0;
    }
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
    std::unique_ptr<QCoreApplication> app;
    if (parsed.options->exportOptions.format == tessivo::ExportFormat::Png) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    const tessivo::ConversionOutput output = tessivo::RunConvertCommand(*parsed.options);
    write(stdout, output.out);
    write(stderr, output.err);
    return output.exitCode;
}
