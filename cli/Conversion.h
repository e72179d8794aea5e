#pragma once

#include "canvas/CanvasModel.h"
#include "export/ArtExport.h"
#include "settings/SettingValues.h"

#include <QByteArray>

#include <memory>
#include <optional>

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

// A picture's art, or the output that says why there is none.
struct MadeArt {
    MadeArt(ArtDocument made)
        : art(std::move(made))
    {
    }
    MadeArt(ConversionOutput why)
        : failure(std::move(why))
    {
    }
    std::optional<ArtDocument> art;
    ConversionOutput failure;
};

// Conversions with one set of options, the table read and the settings set once. art() converts
// the options' picture file as RunConversion does; art(frame), a picture already decoded (a
// frame of a moving picture), exactly as it would a still file holding that picture.
class FrameConversion {
public:
    // palette: as for RunConversion; without one, the ink and shape modes measure their own.
    FrameConversion(const ConvertOptions& options, const InkPalette* palette = nullptr);
    ~FrameConversion();
    FrameConversion(const FrameConversion&) = delete;
    FrameConversion& operator=(const FrameConversion&) = delete;

    // Set when the table file cannot be read: then nothing converts.
    const std::optional<ConversionOutput>& failure() const { return m_failure; }
    // Lines for standard error about the table's rows and the font.
    const QByteArray& warnings() const { return m_warnings; }
    MadeArt art(const QImage* frame = nullptr);
    // The art in the options' format, a page titled after the picture; or the failure.
    ConversionOutput written(const MadeArt& made) const;

private:
    const ConvertOptions& m_options;
    std::unique_ptr<ConversionState> m_state;
    std::unique_ptr<InkPalette> m_ownPalette;
    const InkPalette* m_palette = nullptr;
    std::optional<ConversionOutput> m_failure;
    QByteArray m_warnings;
};

// The options' table measured in their font; null when the table file cannot be read (each
// conversion then says why).
std::shared_ptr<const InkPalette> InkPaletteFor(const ConvertOptions& options);
// A warning line when the palette's font is not installed, else nothing.
QByteArray FontWarning(const ConvertOptions& options, const InkPalette& palette);

} // namespace tessivo
