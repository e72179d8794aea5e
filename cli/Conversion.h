#pragma once

#include "canvas/CanvasModel.h"
#include "settings/SettingValues.h"

#include <QByteArray>

#include <memory>

namespace tessivo {

struct ConvertOptions;

// What a conversion runs on besides the picture: the settings and the Canvas. A fresh one holds
// what the window has after start-up.
struct ConversionState {
    SettingValues values;
    CanvasModel canvas;

    // Gives a setting a value; a size setting also resizes the Canvas, as dragging its bar in the
    // window does.
    void set(Setting setting, int value);
    // The value that takes effect: for the size settings, the Canvas's size, which starts apart
    // from the size bars.
    int get(Setting setting) const;
};

struct ConversionOutput {
    int exitCode = 0;
    QByteArray out; // standard output
    QByteArray err; // standard error
};

class InkPalette;

// Loads the picture onto a Canvas as the window's open does, runs a generation run to its end
// as the window's generate does, and gives the text the result box would then hold. In the ink
// mode, the whole picture is tiled instead (DrawInkArt), with palette when given, which must be
// InkPaletteFor(options): a batch measures its table once.
ConversionOutput RunConversion(const ConvertOptions& options, const InkPalette* palette = nullptr);

// Whether each cell's row and its two colours are chosen together: the ink and shape modes with
// --colour-mode both in a coloured format.
bool FitsColours(const ConvertOptions& options);

// The options' table measured in their font; null when the table file cannot be read (each
// conversion then says why).
std::shared_ptr<const InkPalette> InkPaletteFor(const ConvertOptions& options);
// A warning line when the palette's font is not installed, else nothing.
QByteArray FontWarning(const ConvertOptions& options, const InkPalette& palette);

} // namespace tessivo
