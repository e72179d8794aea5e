#pragma once

#include <QStringList>

namespace tessivo {

// The built-in table: the 95 printable ASCII characters from the darkest to the lightest,
// ending with a space.
const QStringList& DefaultCharTable();

// Contrast / 100 to the nearest integer, ties to even; 0 and 1 both take every row.
int ContrastStride(int contrast);

// The active table for a loaded table: every k-th row (k = ContrastStride), then one space row.
QStringList RebuildActiveTable(const QStringList& loaded, int contrast);

// The two tables of the program: the loaded table (built-in, or imported from a table file)
// and the active table derived from it, which the tone mapping reads.
class CharTables {
public:
    CharTables();

    // LoadedCharTable: the table as built in or imported.
    const QStringList& loaded() const { return m_loaded; }
    // CharTable: the active table, the one a run maps tones to.
    const QStringList& active() const { return m_active; }

    // Replaces the loaded table with the rows of a table file (which end with a space row).
    void setLoaded(const QStringList& rows) { m_loaded = rows; }
    // The copy made at start-up: every loaded row, then one space row.
    void copyLoadedToActive();
    // Runs on every change of Contrast.
    void rebuildActive(int contrast);

private:
    QStringList m_loaded;
    QStringList m_active;
};

} // namespace tessivo
