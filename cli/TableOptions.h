#pragma once

#include "engine/TableFile.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tessivo {

// The command line of tessivo-table.
struct TableOptions {
    QStringList rows;  // the rows given as arguments, in their order
    QString inputFile; // more rows, one a line
    QString outputFile;
    QString family = QStringLiteral("新宋体"); // the result font
    double pointSize = 9;
    int rowCount = 0; // 0: every row is kept
    TableEncoding encoding = TableEncoding::Gbk;
    double minStep = 0.25; // percent of ink; closer neighbours are reported
    bool tones = false;
    bool help = false;
    bool version = false;
};

struct ParsedTableCommandLine {
    std::optional<TableOptions> options;
    QString error; // one line, set when options is empty
};

// args: the arguments after the program name.
ParsedTableCommandLine ParseTableOptions(const QStringList& args);

QString TableUsage();
QString TableVersion();

} // namespace tessivo
