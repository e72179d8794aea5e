#pragma once

#include "engine/GenerationSettings.h"
#include "settings/SettingsTable.h"

namespace tessivo {

// Generation settings that answer every setting through value(Setting): the run's own questions
// are asked of it, so a source only says where its values are kept. The settings page keeps them
// in its scroll bars, SettingValues as plain numbers.
class SettingsSource : public GenerationSettings {
public:
    // The setting's current value, inside its range in the settings table.
    virtual int value(Setting setting) const = 0;

    int sampleX() const final { return value(Setting::SampleX); }
    int sampleY() const final { return value(Setting::SampleY); }
    int colorLevel() const final { return value(Setting::ColorLevel); }
    int ignoreValue() const final { return value(Setting::IgnoreValue); }
    int pictureFit() const final { return value(Setting::PictureFit); }
};

} // namespace tessivo
