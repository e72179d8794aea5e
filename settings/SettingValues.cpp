#include "settings/SettingValues.h"

#include "settings/SettingsTable.h"

namespace tessivo {

namespace {

int start(Setting s)
{
    return SettingInfo(s).startValue;
}

} // namespace

SettingValues::SettingValues()
    : m_sampleX(start(Setting::SampleX))
    , m_sampleY(start(Setting::SampleY))
    , m_colorLevel(start(Setting::ColorLevel))
    , m_ignoreValue(start(Setting::IgnoreValue))
    , m_pictureFit(start(Setting::PictureFit))
    , m_contrast(start(Setting::Contrast))
    , m_runEfficiency(start(Setting::RunEfficiency))
{
    m_tables.rebuildActive(m_contrast);
}

void SettingValues::setContrast(int v)
{
    m_contrast = v;
    m_tables.rebuildActive(v);
}

void SettingValues::setLoadedTable(const QStringList& rows)
{
    m_tables.setLoaded(rows);
    m_tables.rebuildActive(m_contrast);
}

} // namespace tessivo
