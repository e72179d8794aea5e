#pragma once

#include "engine/Color.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace tessivo {

class GenerationSettings;

// The row of the active table for a colour: its tone (0 black .. 0.99 white, equal weights),
// tones below (ignoreValue - 1) / 100 lifted to white, mapped onto rowCount rows and clamped.
int CharIndexFor(ColorValue v, int ignoreValue, int rowCount);

// CharIndexFor for plain colours (0x00BBGGRR), looked up by the sum of the channels. The tone is
// the channels' mean, so every colour of one sum has the same row, except where the sum's tone
// lies exactly on the IgnoreValue threshold: there the rounding of the three terms decides colour
// by colour, and those sums are marked PerColour.
class ToneRows {
public:
    static constexpr int SumCount = 3 * 255 + 1;
    static constexpr std::int32_t PerColour = -1;

    static int channelSum(std::uint32_t rgb)
    {
        return int((rgb & 0xFFu) + ((rgb >> 8) & 0xFFu) + ((rgb >> 16) & 0xFFu));
    }

    void prepare(int ignoreValue, int rowCount);
    // The row index of the colours of this sum, or PerColour.
    std::int32_t bySum(int sum) const { return m_bySum[std::size_t(sum)]; }
    // CharIndexFor(rgb, ignoreValue, rowCount) of the last prepare().
    int rowFor(ColorValue rgb) const;

private:
    int m_ignoreValue = 0;
    int m_rowCount = 0;
    std::array<std::int32_t, SumCount> m_bySum{};
};

// What a run needs to choose rows: remembers the rows already chosen, and the active table's rows
// by tone sum for the current column's ColorLevel, IgnoreValue and table.
class ToneCache {
public:
    // CharIndexFor, remembered: the row depends only on the colour, IgnoreValue and the table's
    // length, and pictures repeat colours a great deal.
    int charIndexFor(ColorValue v, int ignoreValue, int rowCount);

    // A row of the active table as a cell appends it.
    struct Row {
        qsizetype length = 0;
        const char16_t* text = nullptr;
    };

    // Reads ColorLevel, IgnoreValue and the active table for a column; the rows by sum are made
    // again only when IgnoreValue or the table changed. The table is held, so a table replaced
    // or edited in the settings never shares the held one's storage.
    void prepareColumn(const GenerationSettings& settings);
    // The longest row of the table of the last prepareColumn().
    qsizetype longestRow() const { return m_longestRow; }
    // The row for a sample as read from the Canvas (before ColorLevel).
    Row rowFor(ColorValue sample)
    {
        if (m_sumLevel != 0 && std::uint32_t(sample) <= 0xFFFFFFu) {
            const std::int32_t index =
                m_rows.bySum(sumAfterLevel(std::uint32_t(sample), m_sumLevel));
            if (index != ToneRows::PerColour)
                return rowAt(index);
        }
        return rowOf(sample);
    }

    // The parts of rowFor() for a loop over cells.
    // A sum's row as one value: its character when the row is one character, else
    // NotOneCharacter (also for sums chosen colour by colour), for which rowFor() answers.
    static constexpr std::uint32_t NotOneCharacter = 0x10000;
    const std::uint32_t* cellsBySum() const { return m_cellBySum.data(); }
    // ColorLevel when it lies in 1..10, else 0: then rowFor() answers every sample.
    std::uint32_t sumLevel() const { return m_sumLevel; }
    // The channel sum of level * rgb after the top byte of the product is read as SplitColor
    // reads it; level 1..10, rgb 0..0xFFFFFF. The product's top byte is then 0..9: 0 and 2 keep
    // the low three bytes (plain and palette-relative RGB), the others give black.
    static int sumAfterLevel(std::uint32_t rgb, std::uint32_t level)
    {
        static constexpr std::uint32_t Kept[16] = {0xFFFFFFu, 0, 0xFFFFFFu};
        const std::uint32_t v = rgb * level;
        return ToneRows::channelSum(v & Kept[v >> 24]);
    }

private:
    Row rowAt(qsizetype index) const;
    // Any sample, colour by colour.
    Row rowOf(ColorValue sample);

    struct Entry {
        ColorValue v = 0;
        int ignoreValue = -1; // no entry
        int rowCount = 0;
        int index = 0;
    };
    Entry m_entries[1024];

    QStringList m_table;
    int m_level = 0;
    std::uint32_t m_sumLevel = 0;
    int m_ignoreValue = 0;
    qsizetype m_longestRow = 0;
    ToneRows m_rows;
    std::array<std::uint32_t, ToneRows::SumCount> m_cellBySum{};
};

// Appends to each band's text the row chosen for its sampled colour: band i's text gets the row
// for samples[i], a run's whole column at a time. ColorLevel, IgnoreValue and the active table
// are read from the settings once for the column, since they cannot change within it.
// With bandColours, band i's colours also get samples[i] (the colour before ColorLevel) once for
// every character appended, so that text and colours stay the same length.
void AppendCells(QString* bandTexts, const ColorValue* samples, int count,
                 const GenerationSettings& settings, ToneCache& cache,
                 QList<ColorValue>* bandColours = nullptr);

// The run's form of AppendCells, after cache.prepareColumn(): band i's text ends at
// bandEnds[i], which moves past the row written there. Each band must have room for
// cache.longestRow() more characters.
void WriteCells(char16_t** bandEnds, const ColorValue* samples, int count, ToneCache& cache,
                QList<ColorValue>* bandColours = nullptr);

// WriteCells for bands whose texts have one length, written as long as the cells' rows are one
// character each: band i's text ends at first + i * stride. Returns the number of cells written:
// count, or the index of the first cell whose row is not a single character (or that needs
// choosing colour by colour), which it leaves unwritten with those after it.
int WriteOneCharacterCells(char16_t* first, qsizetype stride, const ColorValue* samples, int count,
                           const ToneCache& cache);

} // namespace tessivo
