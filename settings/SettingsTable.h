#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace tessivo {

// The settings of the settings page. Ranges, steps and values are written here once; the page,
// the window's start-up, the generation run's settings and the command-line tool all read them
// from this table.
enum class Setting {
    ColorLevel,
    Contrast,
    IgnoreValue,
    SampleX,
    SampleY,
    PreviewFontSize,
    CanvasColor,
    PictureFit,
    PreviewWidth,
    PreviewHeight,
    ZoomRatio,
    RunEfficiency,
};
inline constexpr std::size_t SettingCount = 12;

struct SettingRow {
    Setting setting;
    const char* name;       // the setting's own name, e.g. "SampleX"
    const char* control;    // object name of its scroll bar, e.g. "HScroll1"
    const char* caption;    // label at its left (UTF-8)
    const char* rightLabel; // label at its right end, or ""
    const char* note;       // note line under it, or ""
    int left;               // position of the scroll bar on the panel, twips
    int top;
    int minimum;
    int maximum;
    int smallChange;
    int largeChange;
    int designValue;               // the value the control is created with
    int startValue;                // the value when the window is first shown
    std::optional<int> resetValue; // the value "默认" gives it; none: left as it is
};

// A setting as tessivo-convert takes it: the option that sets it and what --help says of it.
struct SettingOption {
    Setting setting;
    const char* name; // e.g. "--sample-x"
    const char* help; // --help adds the range and the value after start-up
};

// Indexed by Setting.
std::span<const SettingRow> AllSettings();
const SettingRow& SettingInfo(Setting setting);
// The settings tessivo-convert takes, in the order --help lists them.
std::span<const SettingOption> SettingOptions();

} // namespace tessivo
