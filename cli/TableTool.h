#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>

namespace tessivo {

struct TableOptions;

struct TableToolOutput {
    int exitCode = 0;
    QByteArray out; // standard output
    QByteArray err; // standard error
};

// Rows of a list file: a byte-order mark names its encoding; without one it is UTF-8 when it is
// valid UTF-8 and GBK otherwise, so that a table file can be measured again. Lines end at LF,
// CR LF or CR; empty lines and lines with ### are left out.
QStringList ReadRowList(const QByteArray& bytes);

// Measures the rows, sorts them darkest first, keeps the requested number, and writes the table
// (or, with --tones, the tones). Fonts need a QGuiApplication; made is the time the comment
// names.
TableToolOutput RunTableTool(const TableOptions& options, const QDateTime& made);

} // namespace tessivo
