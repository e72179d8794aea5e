#include "settings/SettingsTable.h"

#include "engine/GenerationRun.h"

#include <array>
#include <string_view>

namespace tessivo {

namespace {

constexpr std::optional<int> Unchanged = std::nullopt;

// clang-format off
constexpr std::array<SettingRow, SettingCount> Rows = {{
    {Setting::ColorLevel, "ColorLevel", "HScroll3", "颜色", "",
     "* 颜色值越少，分辨出的颜色就越高，图片显示字符更复杂更凌乱。",
     795, 0, 1, 10, 1, 1, 1, 1, 1},
    {Setting::Contrast, "Contrast", "HScroll12", "对比度", "",
     "* 颜色值越大，颜色分辨越低，颜色敏感度越低。",
     795, 600, 1, 1500, 1, 30, 1, 750, 750},
    {Setting::IgnoreValue, "IgnoreValue", "HScroll16", "忽略值", "",
     "* 忽略值--忽略深颜色，随之代替为白色。",
     795, 1200, 1, 30, 1, 1, 1, 1, Unchanged},
    {Setting::SampleX, "SampleX", "HScroll1", "X坐标", "（窄）", "",
     795, 1920, 2, 300, 1, 5, 17, 17, 30},
    {Setting::SampleY, "SampleY", "HScroll2", "Y坐标", "（扁）",
     "*取样度  坐标越少，清晰度越大，处理时间越长，字符画幅越大。（Y坐标与运行效率的值有关）",
     795, 2280, 2, 300, 1, 5, 30, 30, 30},
    {Setting::PreviewFontSize, "PreviewFontSize", "HScroll4", "预览字体", "",
     "* 设置 载入选项卡里面'字体输入' 字体大小。",
     840, 3000, 1, 300, 1, 20, 20, 20, 24},
    {Setting::CanvasColor, "CanvasColor", "HScroll5", "画布颜色", "",
     "* 设置 载入选项卡里面'字体输入' 背景颜色。",
     795, 3600, 0, 32767, 1, 3000, 0, 0, 0},
    // "默认" puts PictureFit back to its start value.
    {Setting::PictureFit, "PictureFit", "HScroll6", "图片适应", "",
     "* 用于设置当生成的图片发现处理不全的部分。",
     795, 4200, 1, 100, 1, 2, 5, 5, 5},
    {Setting::PreviewWidth, "PreviewWidth", "HScroll8", "预览大小", "", "",
     795, 4800, 1, 7935, 1, 500, 7935, 7935, 7935},
    {Setting::PreviewHeight, "PreviewHeight", "HScroll9", "", "", "",
     795, 5160, 0, 5895, 1, 500, 5895, 5895, 5895},
    {Setting::ZoomRatio, "ZoomRatio", "HScroll10", "缩放比例", "",
     "* <--放大             用于设置图像比例缩放。                     缩小->",
     795, 5640, 1, 10, 1, 1, 5, 5, 5},
    {Setting::RunEfficiency, "RunEfficiency", "HScroll11", "运行效率", "",
     "* 用于设置程序处理速度，值越高，处理速度越快，机器性能需求越高。",
     840, 6240, GenerationRun::MinBandCount, GenerationRun::MaxBandCount,
     1, 1, 10, 50, Unchanged},
}};
// clang-format on

// tessivo-convert's setting options, in the order of its --help.
constexpr std::array<SettingOption, 9> Options = {{
    {Setting::SampleX, "--sample-x", "horizontal sampling step, twips"},
    {Setting::SampleY, "--sample-y", "vertical sampling step, twips"},
    {Setting::ColorLevel, "--color-level", "colour level"},
    {Setting::Contrast, "--contrast", "contrast (every 100 drops rows of the table)"},
    {Setting::IgnoreValue, "--ignore", "ignore value (dark tones lifted to white)"},
    {Setting::PictureFit, "--picture-fit", "picture fit, percent"},
    {Setting::RunEfficiency, "--bands", "bands sampled together (run efficiency)"},
    {Setting::PreviewWidth, "--canvas-width", "Canvas width, twips"},
    {Setting::PreviewHeight, "--canvas-height", "Canvas height, twips"},
}};

} // namespace

// The table is indexed by Setting.
static_assert([] {
    for (std::size_t i = 0; i < Rows.size(); ++i) {
        if (std::size_t(Rows[i].setting) != i)
            return false;
    }
    return true;
}());

// An option stands for one setting, and no two share a name.
static_assert([] {
    for (std::size_t i = 0; i < Options.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (Options[i].setting == Options[j].setting ||
                std::string_view(Options[i].name) == std::string_view(Options[j].name))
                return false;
        }
    }
    return true;
}());

std::span<const SettingRow> AllSettings()
{
    return Rows;
}

const SettingRow& SettingInfo(Setting setting)
{
    return Rows[static_cast<std::size_t>(setting)];
}

std::span<const SettingOption> SettingOptions()
{
    return Options;
}

} // namespace tessivo
