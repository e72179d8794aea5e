#include "canvas/Fonts.h"
#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
#include "loading/PictureDecoder.h"

#include <QCoreApplication>
#include <QGuiApplication>

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

    // Pictures need only the image plugins, which a plain application object provides. Text in
    // a metafile is drawn with fonts, as in the window, and fonts need a GUI application: one
    // without a screen.
    std::unique_ptr<QCoreApplication> app;
    if (tessivo::IsMetafile(parsed.options->picture)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        tessivo::RegisterFontSubstitutes();
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    const tessivo::ConversionOutput output = tessivo::RunConversion(*parsed.options);
    write(stdout, output.out);
    write(stderr, output.err);
    return output.exitCode;
}
