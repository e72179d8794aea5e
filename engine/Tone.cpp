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

void AppendCell(QString& bandText, ColorValue lastSample, const GenerationSettings& settings)
{
    // ColorLevel multiplies the packed value, so carries run from red into green and blue and
    // the top byte of the product decides whether the colour survives (at most 10 * 0xFFFFFF:
    // no overflow).
    const ColorValue v = settings.colorLevel() * lastSample;
    const QStringList& table = settings.charTable();
    bandText += table.at(CharIndexFor(v, settings.ignoreValue(), int(table.size())));
}

} // namespace tessivo
