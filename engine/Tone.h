#pragma once

#include "engine/Color.h"

#include <QList>
#include <QString>

namespace tessivo {

class GenerationSettings;

// The row of the active table for a colour: its tone (0 black .. 0.99 white, equal weights),
// tones below (ignoreValue - 1) / 100 lifted to white, mapped onto rowCount rows and clamped.
int CharIndexFor(ColorValue v, int ignoreValue, int rowCount);

// Remembers rows already chosen: the row depends only on the colour, IgnoreValue and the table's
// length, and pictures repeat colours a great deal.
class ToneCache {
public:
    int charIndexFor(ColorValue v, int ignoreValue, int rowCount);

private:
    struct Entry {
        ColorValue v = 0;
        int ignoreValue = -1; // no entry
        int rowCount = 0;
        int index = 0;
    };
    Entry m_entries[1024];
};

// Appends to each band's text the row chosen for its sampled colour: band i's text gets the row
// for samples[i], a run's whole column at a time. ColorLevel, IgnoreValue and the active table
// are read from the settings once for the column, since they cannot change within it.
// With bandColours, band i's colours also get samples[i] (the colour before ColorLevel) once for
// every character appended, so that text and colours stay the same length.
void AppendCells(QString* bandTexts, const ColorValue* samples, int count,
                 const GenerationSettings& settings, ToneCache& cache,
                 QList<ColorValue>* bandColours = nullptr);

} // namespace tessivo
