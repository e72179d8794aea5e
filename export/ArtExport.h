#pragma once

#include "engine/Color.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <optional>

namespace tessivo {

class GenerationRun;

enum class ExportFormat { Txt, Html, Svg, Png, Ansi };
enum class TextEncoding { Utf8, Gbk };
// What a cell's colour paints: its character (on the paper), the cell behind a character in the
// plain ink, or both, the character then in a deeper shade of the cell's colour.
enum class ColourMode { Foreground, Background, Both };
// The terminal's own background: on a dark one, light parts of the picture take the dense rows.
enum class TerminalBackground { Light, Dark };
// The colours a terminal shows: 24-bit, the 256 of xterm, or the 16 named ones.
enum class TerminalColours { Full, Xterm256, Basic16 };

// A result to write out: its text, lines ending in CR LF, and optionally one colour for each
// character of the art, which comes first in the text; what follows the art (the footer) has no
// colour.
struct ArtDocument {
    QString text;
    QList<ColorValue> colours;
    // Where each character's row and colours were chosen together: the colour of its cell, and
    // colours that of its ink, whatever the colour mode.
    QList<ColorValue> backgrounds;

    bool hasColours() const { return !colours.isEmpty(); }
};

// The last finished run's result; with footer, the footer lines follow the art. The colours are
// those the run recorded, if it did.
ArtDocument ArtOf(const GenerationRun& run, bool footer);

struct ExportOptions {
    ExportFormat format = ExportFormat::Txt;
    TextEncoding encoding = TextEncoding::Utf8;     // txt and html
    bool colour = false;                            // html, svg and png; ansi is always in colour
    ColourMode colourMode = ColourMode::Foreground; // with colour, and ansi
    TerminalBackground background = TerminalBackground::Light; // ansi
    TerminalColours terminalColours = TerminalColours::Full;   // ansi
    double fontSize = DefaultFontSize;                         // svg and png, points
    QString fontFamily; // html, svg and png; empty: the result box's font
    QString title;      // html; empty: the program's name

    // The result box's font size.
    static constexpr double DefaultFontSize = 9;
};

struct ExportResult {
    QByteArray bytes;
    QString error; // set when nothing could be written; bytes is then empty
};

ExportResult ExportArt(const ArtDocument& art, const ExportOptions& options);

// The first character of a text that GBK cannot hold, and where it stands (from 1).
struct GbkMiss {
    char32_t character = 0;
    int line = 0;
    int column = 0;
};
std::optional<GbkMiss> FirstOutsideGbk(const QString& text);

class ArtFont;

// The art drawn as the PNG writer draws it, on white paper, each character in its cells. The
// image is null when it would pass the size a picture may have (tooLarge) or memory runs out;
// size says how large it is or would be. Needs a QGuiApplication.
struct ArtPicture {
    QImage image;
    QSize size;
    bool tooLarge = false;
};
ArtPicture RenderArt(const ArtDocument& art, bool colour, const ArtFont& font,
                     ColourMode mode = ColourMode::Foreground);
// A drawn art as the bytes of a PNG file; empty when it could not be made.
QByteArray EncodePng(const QImage& image);

// "txt", "html", "svg", "png", "ansi".
QString FormatName(ExportFormat format);
std::optional<ExportFormat> FormatByName(const QString& name);
// The format a file name's extension stands for (.txt, .htm or .html, .svg, .png, .ans).
std::optional<ExportFormat> FormatByFileName(const QString& fileName);
// The extension, without the dot, of files of a format.
QString FormatExtension(ExportFormat format);
bool FormatTakesEncoding(ExportFormat format);
bool FormatTakesColour(ExportFormat format);
bool FormatTakesFontSize(ExportFormat format);

// "fg", "bg", "both"; "light", "dark"; "full", "256", "16".
std::optional<ColourMode> ColourModeByName(const QString& name);
std::optional<TerminalBackground> TerminalBackgroundByName(const QString& name);
std::optional<TerminalColours> TerminalColoursByName(const QString& name);

} // namespace tessivo
