#include "engine/TextCells.h"

#include "engine/Gbk.h"

#include <QString>

#include <algorithm>
#include <map>

namespace tessivo {

namespace {

// The wide and full-width blocks of East Asian scripts: Hangul Jamo, CJK radicals to Yi (the
// half-empty U+303F excepted), Hangul syllables, compatibility ideographs, vertical and
// compatibility forms, full-width forms, emoji, and the ideographs beyond the first plane.
bool wideByItself(char32_t c)
{
    const auto in = [c](char32_t first, char32_t last) { return c >= first && c <= last; };
    return in(0x1100, 0x115F) || (in(0x2E80, 0xA4CF) && c != 0x303F) || in(0xAC00, 0xD7A3) ||
           in(0xF900, 0xFAFF) || in(0xFE10, 0xFE19) || in(0xFE30, 0xFE6F) || in(0xFF00, 0xFF60) ||
           in(0xFFE0, 0xFFE6) || in(0x1F300, 0x1F64F) || in(0x1F900, 0x1F9FF) ||
           in(0x20000, 0x3FFFD);
}

} // namespace

int CellsOf(char32_t c)
{
    if (c < 0x80)
        return 1;
    if (GbkBytes(c) == 2)
        return 2;
    return wideByItself(c) ? 2 : 1;
}

int CellsOf(QStringView row)
{
    int cells = 0;
    for (const char32_t c : row.toUcs4())
        cells += CellsOf(c);
    return cells;
}

bool IsBlankRow(QStringView row)
{
    return std::all_of(row.cbegin(), row.cend(), [](QChar c) { return c == QLatin1Char(' '); });
}

int CommonRowCells(const QStringList& rows)
{
    std::map<int, int> counts; // rows by their cells
    for (const QString& row : rows) {
        if (!IsBlankRow(row))
            ++counts[CellsOf(row)];
    }
    int common = 1, most = 0;
    for (const auto& [cells, count] : counts) {
        if (count >= most) {
            common = cells;
            most = count;
        }
    }
    return common;
}

QString BlankRowFor(const QStringList& rows)
{
    // Rows whose every character is full-width against the others.
    qsizetype wide = 0, narrow = 0;
    for (const QString& row : rows) {
        if (IsBlankRow(row))
            continue;
        const QList<uint> characters = row.toUcs4();
        const bool allWide = std::all_of(characters.cbegin(), characters.cend(),
                                         [](uint c) { return CellsOf(char32_t(c)) == 2; });
        ++(allWide ? wide : narrow);
    }
    return QString(wide > narrow ? 2 : 1, QLatin1Char(' '));
}

qsizetype FirstRowOfOtherWidth(const QStringList& rows)
{
    const int common = CommonRowCells(rows);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (!IsBlankRow(rows[i]) && CellsOf(rows[i]) != common)
            return i;
    }
    return -1;
}

} // namespace tessivo
