#pragma once

#include "engine/CharTable.h"
#include "settings/SettingsSource.h"

#include <array>

namespace tessivo {

// Generation settings held as plain values, starting from the values the window shows after
// start-up, with the active table kept in step with Contrast. The command-line tool runs on
// these; tests use them too.
class SettingValues : public SettingsSource {
public:
    SettingValues();

    int value(Setting setting) const override { return m_values[std::size_t(setting)]; }
    // Setting Contrast also rebuilds the active table from the loaded one.
    void setValue(Setting setting, int value);

    bool removeBlankLines() const override { return m_removeBlankLines; }
    void setRemoveBlankLines(bool on) { m_removeBlankLines = on; }

    const QStringList& charTable() const override { return m_tables.active(); }
    CharTables& tables() { return m_tables; }
    // Replaces the loaded table (an imported table file) and rebuilds the active table.
    void setLoadedTable(const QStringList& rows);

private:
    CharTables m_tables;
    // By Setting.
    std::array<int, SettingCount> m_values{};
    bool m_removeBlankLines = false;
};

} // namespace tessivo
