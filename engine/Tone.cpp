#include "engine/Tone.h"

#include "engine/GenerationSettings.h"
#include "engine/Rounding.h"

#include <algorithm>

namespace tessivo {

int CharIndexFor(ColorValue v, int ignoreValue, int rowCount)
{
    const Channels c = SplitColor(v);
    double tone =
        (c.ChannelR / 255.0) * 0.33 + (c.ChannelG / 255.0) * 0.33 + (c.ChannelB / 255.0) * 0.33;
    if (tone < (ignoreValue - 1) / 100.0)
        tone = 1;
    const std::int64_t q = RoundEven(tone * 10000);
    std::int64_t k = RoundEven(double(q * rowCount) / 10000) - 1;
    if (k > rowCount - 1)
        k = rowCount - 1;
    if (k < 0)
        k = 0;
    return int(k);
}

void ToneRows::prepare(int ignoreValue, int rowCount)
{
    m_ignoreValue = ignoreValue;
    m_rowCount = rowCount;
    for (int sum = 0; sum < SumCount; ++sum) {
        // The tone of a sum is sum / 255 * 0.33 = sum * 33 / 25500 and the threshold
        // (ignoreValue - 1) / 100 = (ignoreValue - 1) * 255 / 25500. Unless the two are equal,
        // they lie at least 1 / 25500 apart, far more than the rounding of the tone's three
        // terms can move it; and tone * 10000 = sum * 220 / 17 is never closer than 1 / 34 to a
        // halfway point, so every colour of the sum rounds alike.
        // Sums 0 and 765 are one colour each: black and white.
        if (sum != 0 && sum != SumCount - 1 &&
            std::int64_t(sum) * 33 == (std::int64_t(ignoreValue) - 1) * 255) {
            m_bySum[std::size_t(sum)] = PerColour;
            continue;
        }
        const int red = std::min(sum, 255);
        const int green = std::min(sum - red, 255);
        const int blue = sum - red - green;
        m_bySum[std::size_t(sum)] =
            CharIndexFor(ComposeColor(red, green, blue), ignoreValue, rowCount);
    }
}

int ToneRows::rowFor(ColorValue rgb) const
{
    const std::int32_t row = m_bySum[std::size_t(channelSum(std::uint32_t(rgb)))];
    return row == PerColour ? CharIndexFor(rgb, m_ignoreValue, m_rowCount) : row;
}

int ToneCache::charIndexFor(ColorValue v, int ignoreValue, int rowCount)
{
    Entry& e = m_entries[(std::uint32_t(v) * 2654435761u) >> 22];
    if (e.v != v || e.ignoreValue != ignoreValue || e.rowCount != rowCount)
        e = Entry{v, ignoreValue, rowCount, CharIndexFor(v, ignoreValue, rowCount)};
    return e.index;
}

void ToneCache::prepareColumn(const GenerationSettings& settings)
{
    m_level = settings.colorLevel();
    m_sumLevel = m_level >= 1 && m_level <= 10 ? std::uint32_t(m_level) : 0;
    const int ignoreValue = settings.ignoreValue();
    const QStringList& table = settings.charTable();
    if (table.constData() == m_table.constData() && table.size() == m_table.size() &&
        ignoreValue == m_ignoreValue)
        return;
    m_table = table;
    m_ignoreValue = ignoreValue;
    m_longestRow = 0;
    for (const QString& row : std::as_const(m_table))
        m_longestRow = std::max(m_longestRow, row.size());
    m_rows.prepare(ignoreValue, int(m_table.size()));
    for (int sum = 0; sum < ToneRows::SumCount; ++sum) {
        const std::int32_t index = m_rows.bySum(sum);
        const QString* row = index == ToneRows::PerColour ? nullptr : &m_table.at(index);
        m_cellBySum[std::size_t(sum)] =
            row != nullptr && row->size() == 1 ? row->front().unicode() : NotOneCharacter;
    }
}

ToneCache::Row ToneCache::rowAt(qsizetype index) const
{
    const QString& row = m_table.at(index);
    return Row{row.size(), reinterpret_cast<const char16_t*>(row.constData())};
}

ToneCache::Row ToneCache::rowOf(ColorValue sample)
{
    // ColorLevel multiplies the packed value, so carries run from red into green and blue and
    // the top byte of the product decides whether the colour survives (at most 10 * 0xFFFFFF
    // for a Canvas's colours: no overflow).
    return rowAt(charIndexFor(m_level * sample, m_ignoreValue, int(m_table.size())));
}

void AppendCells(QString* bandTexts, const ColorValue* samples, int count,
                 const GenerationSettings& settings, ToneCache& cache,
                 QList<ColorValue>* bandColours)
{
    cache.prepareColumn(settings);
    for (int i = 0; i < count; ++i) {
        const ToneCache::Row row = cache.rowFor(samples[i]);
        bandTexts[i].append(QStringView(row.text, row.length));
        if (bandColours)
            bandColours[i].insert(bandColours[i].size(), row.length, samples[i]);
    }
}

namespace {

// rowFor() cell by cell, with the common case inline: a sample of the Canvas (no -1) whose sum
// has a row of one character.
template <bool Record, bool LevelOne>
void writeCells(char16_t** bandEnds, const ColorValue* samples, int count, ToneCache& cache,
                QList<ColorValue>* bandColours)
{
    const std::uint32_t* cells = cache.cellsBySum();
    const std::uint32_t level = cache.sumLevel();
#pragma GCC unroll 4
    for (int i = 0; i < count; ++i) {
        const std::uint32_t sample = std::uint32_t(samples[i]);
        std::uint32_t cell = ToneCache::NotOneCharacter;
        if (sample <= 0xFFFFFFu) [[likely]]
            cell = cells[LevelOne ? ToneRows::channelSum(sample)
                                  : ToneCache::sumAfterLevel(sample, level)];
        char16_t* end = bandEnds[i];
        if (!(cell & ToneCache::NotOneCharacter)) [[likely]] {
            *end = char16_t(cell);
            bandEnds[i] = end + 1;
            if constexpr (Record)
                bandColours[i].append(samples[i]);
            continue;
        }
        const ToneCache::Row row = cache.rowFor(samples[i]);
        bandEnds[i] = std::copy_n(row.text, row.length, end);
        if constexpr (Record)
            bandColours[i].insert(bandColours[i].size(), row.length, samples[i]);
    }
}

template <bool Record>
void writeCellsByRow(char16_t** bandEnds, const ColorValue* samples, int count, ToneCache& cache,
                     QList<ColorValue>* bandColours)
{
    for (int i = 0; i < count; ++i) {
        const ToneCache::Row row = cache.rowFor(samples[i]);
        bandEnds[i] = std::copy_n(row.text, row.length, bandEnds[i]);
        if constexpr (Record)
            bandColours[i].insert(bandColours[i].size(), row.length, samples[i]);
    }
}

template <bool LevelOne>
int writeOneCharacterCells(char16_t* first, qsizetype stride, const ColorValue* samples, int count,
                           const ToneCache& cache)
{
    const std::uint32_t* cells = cache.cellsBySum();
    const std::uint32_t level = cache.sumLevel();
    const ColorValue* const end = samples + count;
    const ColorValue* sample = samples;
#pragma GCC unroll 4
    for (; sample != end; ++sample) {
        const std::uint32_t rgb = std::uint32_t(*sample);
        if (rgb > 0xFFFFFFu) [[unlikely]]
            break;
        const std::uint32_t cell =
            cells[LevelOne ? ToneRows::channelSum(rgb) : ToneCache::sumAfterLevel(rgb, level)];
        if (cell & ToneCache::NotOneCharacter) [[unlikely]]
            break;
        *first = char16_t(cell);
        first += stride;
    }
    return int(sample - samples);
}

} // namespace

int WriteOneCharacterCells(char16_t* first, qsizetype stride, const ColorValue* samples, int count,
                           const ToneCache& cache)
{
    switch (cache.sumLevel()) {
    case 0: return 0;
    case 1: return writeOneCharacterCells<true>(first, stride, samples, count, cache);
    default: return writeOneCharacterCells<false>(first, stride, samples, count, cache);
    }
}

void WriteCells(char16_t** bandEnds, const ColorValue* samples, int count, ToneCache& cache,
                QList<ColorValue>* bandColours)
{
    const std::uint32_t level = cache.sumLevel();
    if (bandColours != nullptr) {
        if (level == 0)
            writeCellsByRow<true>(bandEnds, samples, count, cache, bandColours);
        else if (level == 1)
            writeCells<true, true>(bandEnds, samples, count, cache, bandColours);
        else
            writeCells<true, false>(bandEnds, samples, count, cache, bandColours);
    } else {
        if (level == 0)
            writeCellsByRow<false>(bandEnds, samples, count, cache, nullptr);
        else if (level == 1)
            writeCells<false, true>(bandEnds, samples, count, cache, nullptr);
        else
            writeCells<false, false>(bandEnds, samples, count, cache, nullptr);
    }
}

} // namespace tessivo
