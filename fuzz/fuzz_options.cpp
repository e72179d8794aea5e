// tessivo-convert's command line: the input is the argument list, arguments separated by NUL
// bytes. Parsing must accept only values inside each setting's range and refuse everything
// else with one line of explanation.
#include "FuzzCheck.h"

#include "cli/ConvertOptions.h"

#include <cstddef>
#include <cstdint>

using namespace tessivo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList args;
    if (!bytes.isEmpty()) {
        for (const QByteArray& arg : bytes.split('\0'))
            args.append(QString::fromUtf8(arg));
    }

    const ParsedCommandLine parsed = ParseConvertOptions(args);
    if (!parsed.options) {
        FUZZ_CHECK(parsed.error.startsWith(QLatin1String("tessivo-convert: ")));
        FUZZ_CHECK(!parsed.error.contains(QLatin1Char('\n')));
        return 0;
    }
    const ConvertOptions& options = *parsed.options;
    FUZZ_CHECK(parsed.error.isEmpty());
    for (const auto& [setting, value] : options.settings) {
        const SettingRow& row = SettingInfo(setting);
        FUZZ_CHECK(value >= row.minimum && value <= row.maximum);
    }
    if (options.help || options.version)
        return 0;
    // Several pictures only into a folder; each output option only with a format it fits.
    FUZZ_CHECK(!options.pictures.isEmpty() && options.picture == options.pictures.first());
    FUZZ_CHECK(options.pictures.size() <= 1 || !options.outputDir.isEmpty());
    FUZZ_CHECK(!options.exportOptions.colour || options.exportOptions.format != ExportFormat::Txt);
    FUZZ_CHECK(options.exportOptions.fontSize >= 1 && options.exportOptions.fontSize <= 200);
    FUZZ_CHECK(options.jobs >= 0 && options.jobs <= 256);
    return 0;
}
