#include "cli/OptionTable.h"

#include "engine/OutputFile.h"

#include <algorithm>

namespace tessivo {

std::optional<QString> ReadOptions(const QStringList& args, const OptionTable& table,
                                   const OptionValueTaker& takeValue,
                                   const std::function<void(const QString&)>& takeOperand)
{
    const auto unknown = [&](const QString& option) {
        return QStringLiteral("unknown option %1").arg(QuotedForMessage(option)) +
               table.unknownHint;
    };
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg.size() == 1) {
            takeOperand(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!arg.startsWith(QLatin1String("--")))
            return unknown(arg);

        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? arg : arg.left(equals);
        std::optional<QString> value;
        if (equals >= 0)
            value = arg.mid(equals + 1);

        const auto flag = std::find_if(table.flags.cbegin(), table.flags.cend(),
                                       [&](const auto& entry) { return name == entry.first; });
        if (flag != table.flags.cend()) {
            if (value)
                return QStringLiteral("%1 takes no value").arg(name);
            *flag->second = true;
            continue;
        }
        if (!table.withValue.contains(name))
            return unknown(name);
        if (!value && i + 1 < args.size())
            value = args[++i];
        if (std::optional<QString> error = takeValue(name, value))
            return error;
    }
    return std::nullopt;
}

QString QuotedForMessage(const QString& arg)
{
    QString text;
    for (qsizetype i = 0; i < arg.size(); ++i) {
        const QChar c = arg[i];
        const bool paired =
            (c.isHighSurrogate() && i + 1 < arg.size() && arg[i + 1].isLowSurrogate()) ||
            (c.isLowSurrogate() && i > 0 && arg[i - 1].isHighSurrogate());
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else if (c.isSurrogate() && !paired) // a byte of a file name that is not UTF-8
            text += QStringLiteral("\\x%1").arg(EncodeFileName(c).toHex());
        else
            text += c;
    }
    return text;
}

} // namespace tessivo
