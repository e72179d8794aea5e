#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tessivo {

// The shape both command lines share. An option is "--name" and takes no value or one, given as
// "--name=value" or as the argument after it, whatever that is; "--" ends the options; a lone "-"
// and every argument not starting with "-" are operands (pictures, rows).
struct OptionTable {
    std::vector<std::pair<QLatin1String, bool*>>
        flags;             // the options without a value: what each sets
    QStringList withValue; // the options that take a value
    QString unknownHint;   // what "unknown option X" ends with, e.g. " (see --help)"
};

// Takes an option's value, none when the option was the last argument; returns an error message,
// or nothing.
using OptionValueTaker =
    std::function<std::optional<QString>(const QString& name, const std::optional<QString>& value)>;

// Reads args in order: sets the flags given, hands each value to takeValue and each operand to
// takeOperand. Returns the first error message (without the program's name), or nothing.
std::optional<QString> ReadOptions(const QStringList& args, const OptionTable& table,
                                   const OptionValueTaker& takeValue,
                                   const std::function<void(const QString&)>& takeOperand);

// An argument as it is quoted in a message: control characters, line breaks among them, and the
// bytes of a file name that are not UTF-8 (see DecodeFileName) are written as \xNN, so that the
// message stays one line and nothing reaches the terminal raw.
QString QuotedForMessage(const QString& arg);

} // namespace tessivo
