#include "cli/ConvertOptions.h"

#include "cli/Conversion.h"
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

QString quoted(const QString& arg)
{
    return QuotedForMessage(arg);
}

QString prefixed(const QString& message)
{
    return QStringLiteral("tessivo-convert: ") + message;
}

} // namespace

QString QuotedForMessage(const QString& arg)
{
    QString text;
    for (const QChar c : arg) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

ParsedCommandLine ParseConvertOptions(const QStringList& args)
{
    ConvertOptions options;
    QStringList pictures;
    bool optionsEnded = false;

    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1String("--"))) {
            if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1)
                return {std::nullopt, prefixed(QStringLiteral("unknown option %1 (see --help)")
                                                   .arg(quoted(arg)))};
            pictures.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }

        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? arg : arg.left(equals);
        std::optional<QString> inlineValue;
        if (equals >= 0)
            inlineValue = arg.mid(equals + 1);

        // Options without a value.
        bool* flag = nullptr;
        if (name == QLatin1String("--remove-blank-lines"))
            flag = &options.removeBlankLines;
        else if (name == QLatin1String("--no-footer"))
            flag = &options.noFooter;
        else if (name == QLatin1String("--help"))
            flag = &options.help;
        else if (name == QLatin1String("--version"))
            flag = &options.version;
        if (flag) {
            if (inlineValue)
                return {std::nullopt, prefixed(QStringLiteral("%1 takes no value").arg(name))};
            *flag = true;
            continue;
        }

        const SettingOption* setting = findSettingOption(name);
        if (!setting && name != QLatin1String("--table"))
            return {std::nullopt, prefixed(QStringLiteral("unknown option %1 (see --help)")
                                               .arg(quoted(name)))};

        std::optional<QString> value = inlineValue;
        if (!value && i + 1 < args.size())
            value = args[++i];

        if (!setting) {
            if (!value || value->isEmpty())
                return {std::nullopt, prefixed(QStringLiteral("--table takes a file name"))};
            options.tableFile = *value;
            continue;
        }

        const SettingRow& row = SettingInfo(setting->setting);
        const std::optional<int> number = value ? parseWholeNumber(*value) : std::nullopt;
        if (!number || *number < row.minimum || *number > row.maximum) {
            return {std::nullopt, prefixed(QStringLiteral("%1 takes a whole number from %2 to %3")
                                               .arg(name)
                                               .arg(row.minimum)
                                               .arg(row.maximum))};
        }
        options.settings[setting->setting] = *number;
    }

    if (options.help || options.version)
        return {options, {}};
    if (pictures.isEmpty())
        return {std::nullopt, prefixed(QStringLiteral("no picture given (see --help)"))};
    if (pictures.size() > 1)
        return {std::nullopt,
                prefixed(QStringLiteral("one picture at a time, got %1").arg(pictures.size()))};
    options.picture = pictures.first();
    return {options, {}};
}

QString ConvertUsage()
{
    QString text = QStringLiteral(
        "Usage: tessivo-convert [options] PICTURE\n"
        "\n"
        "Turns a picture into character art, exactly as Tessivo's window does after start-up\n"
        "with the same settings, and writes the result text (UTF-8, CR LF line ends) to\n"
        "standard output.\n"
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
        "  --help                show this text\n"
        "  --version             show the version\n"
        "\n"
        "Exit status: 0 done, 1 the picture or table file could not be read, 2 bad options.\n");
    return text;
}

QString ConvertVersion()
{
    return QStringLiteral("tessivo-convert " TESSIVO_VERSION "\n");
}

} // namespace tessivo
