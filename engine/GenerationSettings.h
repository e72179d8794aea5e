#pragma once

#include <QStringList>

#include <cstdint>

namespace tessivo {

// What a generation run reads from the settings while it runs. The window answers from its
// settings controls and the command-line tool from fixed values; the run asks again every time
// it needs a value, so a setting changed between ticks takes effect at once. Each value lies in
// the range of its setting; the ranges are kept in the settings table (settings/SettingsTable).
class GenerationSettings {
public:
    virtual ~GenerationSettings() = default;

    virtual int sampleX() const = 0;
    virtual int sampleY() const = 0;
    virtual int colorLevel() const = 0;
    virtual int ignoreValue() const = 0;
    virtual int pictureFit() const = 0;
    virtual bool removeBlankLines() const = 0;
    // The active character table, darkest row first; never empty.
    virtual const QStringList& charTable() const = 0;
};

// What a run samples: the Canvas's pixels and its recorded size, in twips.
class PixelSource {
public:
    virtual ~PixelSource() = default;

    // The colour of the pixel under (x, y) as a ColorValue, or -1 outside the picture.
    virtual std::int32_t pixelAt(int x, int y) const = 0;
    // Reads the pixels under (x, ys[0]) .. (x, ys[count - 1]) into colors, as pixelAt does; a
    // run reads one column of all its bands per tick.
    virtual void readColumn(int x, const int* ys, int count, std::int32_t* colors) const
    {
        for (int i = 0; i < count; ++i)
            colors[i] = pixelAt(x, ys[i]);
    }
    virtual int canvasWidth() const = 0;  // CanvasWidth
    virtual int canvasHeight() const = 0; // CanvasHeight
};

} // namespace tessivo
