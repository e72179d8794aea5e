#include "cli/TableOptions.h"

#include "cli/OptionTable.h"
#include "engine/Version.h"

#include <cmath>

namespace tessivo {

namespace {

QString prefixed(const QString& message)
{
    return QStringLiteral("tessivo-table: ") + message;
}

// A plain decimal number: digits with at most one point, no sign, exponent or spaces.
std::optional<double> parseDecimal(const QString& text, double minimum, double maximum)
{
    if (text.isEmpty() || text.size() > 12)
        return std::nullopt;
    int points = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('.'))
            ++points;
        else if (!(c.isDigit() && c.unicode() < 128))
            return std::nullopt;
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || points > 1 || !std::isfinite(value) || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

} // namespace

ParsedTableCommandLine ParseTableOptions(const QStringList& args)
{
    TableOptions options;
    const auto fail = [](const QString& message) {
        return ParsedTableCommandLine{std::nullopt, prefixed(message)};
    };

    OptionTable table;
    table.flags = {{QLatin1String("--tones"), &options.tones},
                   {QLatin1String("--help"), &options.help},
                   {QLatin1String("--version"), &options.version}};
    table.withValue = {"--font",  "--font-size", "--rows",    "--output",
                       "--input", "--encoding",  "--min-step"};
    table.unknownHint = QStringLiteral(" (see --help; rows starting with - go after --)");

    const auto takeValue = [&](const QString& name,
                               const std::optional<QString>& value) -> std::optional<QString> {
        if (!value || value->isEmpty())
            return QStringLiteral("%1 takes a value").arg(name);
        if (name == QLatin1String("--font")) {
            options.family = *value;
        } else if (name == QLatin1String("--font-size")) {
            const auto size = parseDecimal(*value, 4, 96);
            if (!size)
                return QStringLiteral("--font-size takes a size in points from 4 to 96");
            options.pointSize = *size;
        } else if (name == QLatin1String("--rows")) {
            const auto count = parseDecimal(*value, 1, 9999);
            if (!count || value->contains(QLatin1Char('.')))
                return QStringLiteral("--rows takes a whole number from 1 to 9999");
            options.rowCount = int(*count);
        } else if (name == QLatin1String("--min-step")) {
            const auto step = parseDecimal(*value, 0, 100);
            if (!step)
                return QStringLiteral("--min-step takes a percentage from 0 to 100");
            options.minStep = *step;
        } else if (name == QLatin1String("--output")) {
            options.outputFile = *value;
        } else if (name == QLatin1String("--input")) {
            options.inputFile = *value;
        } else {
            if (value->compare(QLatin1String("gbk"), Qt::CaseInsensitive) == 0)
                options.encoding = TableEncoding::Gbk;
            else if (value->compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0 ||
                     value->compare(QLatin1String("utf8"), Qt::CaseInsensitive) == 0)
                options.encoding = TableEncoding::Utf8;
            else
                return QStringLiteral("--encoding takes gbk or utf-8");
        }
        return std::nullopt;
    };
    if (const std::optional<QString> error = ReadOptions(
            args, table, takeValue, [&](const QString& row) { options.rows.append(row); }))
        return fail(*error);

    if (options.help || options.version)
        return {options, {}};
    if (options.rows.isEmpty() && options.inputFile.isEmpty())
        return fail(QStringLiteral("no rows given (see --help)"));
    if (options.tones && !options.outputFile.isEmpty())
        return fail(QStringLiteral("--tones writes no table; leave out --output"));
    return {options, {}};
}

QString TableUsage()
{
    return QStringLiteral(
        "Usage: tessivo-table [options] ROW...\n"
        "\n"
        "Measures the ink of each row (one character or several) drawn in the result's font,\n"
        "each character in its cells (a CJK character takes two), and writes a character table\n"
        "file that Tessivo imports as it is: ### comment lines, then the rows darkest first,\n"
        "CR LF line ends. The space row is left out; the import adds it.\n"
        "\n"
        "Options:\n"
        "  --font FAMILY       measure in this font [新宋体, the result's font]\n"
        "  --font-size PT      size in points, 4 to 96 [9]\n"
        "  --rows N            keep N rows whose tones are spread most evenly; the darkest row\n"
        "                      always stays [every row]\n"
        "  --input FILE        more rows, one a line (UTF-8, or GBK, or as a byte-order mark\n"
        "                      says); empty lines and lines with ### are skipped\n"
        "  --output FILE       write the table to FILE instead of standard output\n"
        "  --encoding ENC      gbk or utf-8 (written with a byte-order mark) [gbk]\n"
        "  --tones             print each row with its ink in percent instead of a table\n"
        "  --min-step PERCENT  report neighbouring rows closer in ink than this [0.25]\n"
        "  --help              show this text\n"
        "  --version           show the version\n"
        "Rows starting with - go after --.\n"
        "\n"
        "Exit status: 0 done, 1 a file could not be read or written, or a row cannot be written\n"
        "in the encoding, 2 bad options.\n");
}

QString TableVersion()
{
    return QStringLiteral("tessivo-table " TESSIVO_VERSION "\n");
}

} // namespace tessivo
