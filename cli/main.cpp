#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"

#include <QCoreApplication>

#include <cstdio>

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

    // Only the image plugins need an application object; no GUI is made (metafiles are drawn by
    // a child process of their own).
    QCoreApplication app(argc, argv);

    const tessivo::ConversionOutput output = tessivo::RunConversion(*parsed.options);
    write(stdout, output.out);
    write(stderr, output.err);
    return output.exitCode;
}
