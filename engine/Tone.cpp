#include "engine/Tone.h"

#include "engine/GenerationSettings.h"
#include "engine/Rounding.h"

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

int ToneCache::charIndexFor(ColorValue v, int ignoreValue, int rowCount)
{
    Entry& e = m_entries[(std::uint32_t(v) * 2654435761u) >> 22];
    if (e.v != v || e.ignoreValue != ignoreValue || e.rowCount != rowCount)
        e = Entry{v, ignoreValue, rowCount, CharIndexFor(v, ignoreValue, rowCount)};
    return e.index;
}

void AppendCells(QString* bandTexts, const ColorValue* samples, int count,
                 const GenerationSettings& settings, ToneCache& cache,
                 QList<ColorValue>* bandColours)
{
    const int level = settings.colorLevel();
    const int ignoreValue = settings.ignoreValue();
    const QStringList& table = settings.charTable();
    const int rows = int(table.size());
    for (int i = 0; i < count; ++i) {
        // ColorLevel multiplies the packed value, so carries run from red into green and blue
        // and the top byte of the product decides whether the colour survives (at most
        // 10 * 0xFFFFFF: no overflow).
        const ColorValue v = level * samples[i];
        const QString& row = table.at(cache.charIndexFor(v, ignoreValue, rows));
        if (row.size() == 1)
            bandTexts[i].append(row.front());
        else
            bandTexts[i].append(row);
        if (bandColours)
            bandColours[i].insert(bandColours[i].size(), row.size(), samples[i]);
    }
}

} // namespace tessivo
