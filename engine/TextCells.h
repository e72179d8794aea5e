#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace tessivo {

// How many cells a character takes in the result font: two for the characters GBK keeps in two
// bytes (Chinese characters, the full-width forms, the Greek and Cyrillic letters of the Chinese
// fonts) and for the East Asian wide characters GBK lacks (Hangul, emoji), otherwise one.
int CellsOf(char32_t c);
// How many cells a row of a table takes: the sum of its characters'.
int CellsOf(QStringView row);

// Whether a row or line holds nothing but spaces (an empty one included).
bool IsBlankRow(QStringView row);

// The cells most rows of a table take (of two counts as common, the larger), rows of spaces
// alone left out; 1 for a table without other rows.
int CommonRowCells(const QStringList& rows);
// The blank row a table ends with: one space, or two where most rows are of full-width
// characters alone, so that a blank cell takes the room of a character of the table.
QString BlankRowFor(const QStringList& rows);
// The first row that is not CommonRowCells wide (rows of spaces alone left out); none: -1.
qsizetype FirstRowOfOtherWidth(const QStringList& rows);

} // namespace tessivo
