#include "settings/SettingValues.h"

namespace tessivo {

SettingValues::SettingValues()
{
    for (const SettingRow& row : AllSettings())
        m_values[std::size_t(row.setting)] = row.startValue;
    m_tables.rebuildActive(value(Setting::Contrast));
}

void SettingValues::setValue(Setting setting, int value)
{
    m_values[std::size_t(setting)] = value;
    if (setting == Setting::Contrast)
        m_tables.rebuildActive(value);
}

void SettingValues::setLoadedTable(const QStringList& rows)
{
    m_tables.setLoaded(rows);
    m_tables.rebuildActive(value(Setting::Contrast));
}

} // namespace tessivo
