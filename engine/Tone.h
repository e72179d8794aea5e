#pragma once

#include "engine/Color.h"

#include <QString>

namespace tessivo {

class GenerationSettings;

// The row of the active table for a colour: its tone (0 black .. 0.99 white, equal weights),
// tones below (ignoreValue - 1) / 100 lifted to white, mapped onto rowCount rows and clamped.
int CharIndexFor(ColorValue v, int ignoreValue, int rowCount);

// Appends to a band's text the row chosen for a sampled colour, reading ColorLevel,
// IgnoreValue and the active table from the settings at the moment of the call.
void AppendCell(QString& bandText, ColorValue lastSample, const GenerationSettings& settings);

} // namespace tessivo
