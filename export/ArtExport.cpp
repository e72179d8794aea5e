#include "export/ArtExport.h"
#include "export/ArtLines.h"

#include "engine/GenerationRun.h"

#include <algorithm>

namespace tessivo {

ArtDocument ArtOf(const GenerationRun& run, bool footer)
{
    ArtDocument art;
    art.text = footer ? run.resultText() : run.art().toString();
    art.colours = run.artColours();
    return art;
}

const QStringList& ArtFontFamilies()
{
    static const QStringList families = {
        QStringLiteral("新宋体"), QStringLiteral("NSimSun"), QStringLiteral("AR PL UMing CN"),
        QStringLiteral("WenQuanYi Zen Hei Mono"), QStringLiteral("monospace")};
    return families;
}

QString FontFamilyList(QChar quote)
{
    QStringList names;
    for (const QString& family : ArtFontFamilies())
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

ExportResult ExportArt(const ArtDocument& art, const ExportOptions& options)
{
    switch (options.format) {
    case ExportFormat::Txt: return WriteTxt(art, options.encoding);
    case ExportFormat::Html: return WriteHtml(art, options.encoding, options.colour);
    case ExportFormat::Svg: return WriteSvg(art, options.colour, options.fontSize);
    case ExportFormat::Png: return WritePng(art, options.colour, options.fontSize);
    case ExportFormat::Ansi: return WriteAnsi(art);
    }
    return {};
}

} // namespace tessivo
