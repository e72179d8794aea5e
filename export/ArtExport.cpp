#include "export/ArtExport.h"
#include "export/ArtLines.h"

#include "engine/GenerationRun.h"

#include <algorithm>
#include <utility>

namespace tessivo {

ArtDocument ArtOf(const GenerationRun& run, bool footer)
{
    ArtDocument art;
    art.text = footer ? run.resultText() : run.art().toString();
    art.colours = run.artColours();
    return art;
}

QString FontFamilyList(const QStringList& families, QChar quote)
{
    QStringList names;
    for (const QString& family : families)
        names << (family == QLatin1String("monospace") ? family : quote + family + quote);
    return names.join(QLatin1String(", "));
}

namespace {

struct FormatRow {
    ExportFormat format;
    const char* name;
    const char* extension;
};

constexpr FormatRow Formats[] = {
    {ExportFormat::Txt, "txt", "txt"},   {ExportFormat::Html, "html", "html"},
    {ExportFormat::Svg, "svg", "svg"},   {ExportFormat::Png, "png", "png"},
    {ExportFormat::Ansi, "ansi", "ans"},
};

const FormatRow& rowOf(ExportFormat format)
{
    return *std::find_if(std::begin(Formats), std::end(Formats),
                         [&](const FormatRow& row) { return row.format == format; });
}

} // namespace

QString FormatName(ExportFormat format)
{
    return QLatin1String(rowOf(format).name);
}

std::optional<ExportFormat> FormatByName(const QString& name)
{
    for (const FormatRow& row : Formats) {
        if (name == QLatin1String(row.name))
            return row.format;
    }
    return std::nullopt;
}

std::optional<ExportFormat> FormatByFileName(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    if (dot < 0 || dot < slash)
        return std::nullopt;
    const QString extension = fileName.mid(dot + 1).toLower();
    if (extension == QLatin1String("htm"))
        return ExportFormat::Html;
    for (const FormatRow& row : Formats) {
        if (extension == QLatin1String(row.extension))
            return row.format;
    }
    return std::nullopt;
}

QString FormatExtension(ExportFormat format)
{
    return QLatin1String(rowOf(format).extension);
}

bool FormatTakesEncoding(ExportFormat format)
{
    return format == ExportFormat::Txt || format == ExportFormat::Html;
}

bool FormatTakesColour(ExportFormat format)
{
    return format == ExportFormat::Html || format == ExportFormat::Svg ||
           format == ExportFormat::Png;
}

bool FormatTakesFontSize(ExportFormat format)
{
    return format == ExportFormat::Svg || format == ExportFormat::Png;
}

namespace {

template <typename Value, std::size_t N>
std::optional<Value> byName(const std::pair<const char*, Value> (&names)[N], const QString& name)
{
    for (const auto& [text, value] : names) {
        if (name == QLatin1String(text))
            return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<ColourMode> ColourModeByName(const QString& name)
{
    static const std::pair<const char*, ColourMode> names[] = {
        {"fg", ColourMode::Foreground}, {"bg", ColourMode::Background}, {"both", ColourMode::Both}};
    return byName(names, name);
}

std::optional<TerminalBackground> TerminalBackgroundByName(const QString& name)
{
    static const std::pair<const char*, TerminalBackground> names[] = {
        {"light", TerminalBackground::Light}, {"dark", TerminalBackground::Dark}};
    return byName(names, name);
}

std::optional<TerminalColours> TerminalColoursByName(const QString& name)
{
    static const std::pair<const char*, TerminalColours> names[] = {
        {"full", TerminalColours::Full},
        {"256", TerminalColours::Xterm256},
        {"16", TerminalColours::Basic16}};
    return byName(names, name);
}

ExportResult ExportArt(const ArtDocument& art, const ExportOptions& options)
{
    switch (options.format) {
    case ExportFormat::Txt: return WriteTxt(art, options.encoding);
    case ExportFormat::Html: return WriteHtml(art, options);
    case ExportFormat::Svg: return WriteSvg(art, options);
    case ExportFormat::Png: return WritePng(art, options);
    case ExportFormat::Ansi: return WriteAnsi(art, options);
    }
    return {};
}

} // namespace tessivo
