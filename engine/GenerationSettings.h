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

// Settings held as they were at one moment: a run over them later gives what a run over the
// settings they were taken from gave then.
class FixedGenerationSettings final : public GenerationSettings {
public:
    FixedGenerationSettings() = default;
    explicit FixedGenerationSettings(const GenerationSettings& from)
        : FixedGenerationSettings(from, from.charTable())
    {
    }
    // The same with another active table.
    FixedGenerationSettings(const GenerationSettings& from, QStringList table)
        : m_sampleX(from.sampleX())
        , m_sampleY(from.sampleY())
        , m_colorLevel(from.colorLevel())
        , m_ignoreValue(from.ignoreValue())
        , m_pictureFit(from.pictureFit())
        , m_removeBlankLines(from.removeBlankLines())
        , m_charTable(std::move(table))
    {
    }

    int sampleX() const override { return m_sampleX; }
    int sampleY() const override { return m_sampleY; }
    int colorLevel() const override { return m_colorLevel; }
    int ignoreValue() const override { return m_ignoreValue; }
    int pictureFit() const override { return m_pictureFit; }
    bool removeBlankLines() const override { return m_removeBlankLines; }
    const QStringList& charTable() const override { return m_charTable; }

private:
    int m_sampleX = 1;
    int m_sampleY = 1;
    int m_colorLevel = 1;
    int m_ignoreValue = 0;
    int m_pictureFit = 0;
    bool m_removeBlankLines = false;
    QStringList m_charTable{QStringLiteral(" ")};
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
