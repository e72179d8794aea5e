// Table file reader: any bytes become rows, and the rows drive a short run as an imported table
// does in the window.
#include "FuzzCheck.h"

#include "engine/GenerationRun.h"
#include "engine/TableFile.h"
#include "engine/TextCells.h"
#include "settings/SettingValues.h"

#include <cstddef>
#include <cstdint>

using namespace tessivo;

namespace {

// A small Canvas of grey steps, dark at the left, so that every row of a table can be chosen.
class Ramp : public PixelSource {
public:
    std::int32_t pixelAt(int x, int y) const override
    {
        if (x < 0 || y < 0 || x >= Width || y >= Height)
            return -1;
        const int grey = std::min(255, x * 256 / Width);
        return grey | grey << 8 | grey << 16;
    }
    int canvasWidth() const override { return Width; }
    int canvasHeight() const override { return Height; }

    static constexpr int Width = 600;
    static constexpr int Height = 300;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList rows = ParseTableFile(bytes);

    // Every table ends in its blank row, a space or two (as wide as a full-width character of
    // the table); no row keeps a line end or a comment.
    FUZZ_CHECK(!rows.isEmpty() &&
               (rows.last() == QLatin1String(" ") || rows.last() == QLatin1String("  ")));
    FUZZ_CHECK(rows.last() == BlankRowFor(rows.first(rows.size() - 1)));
    for (const QString& row : rows) {
        FUZZ_CHECK(!row.contains(QLatin1Char('\r')));
        FUZZ_CHECK(!row.contains(QLatin1String("###")));
    }

    SettingValues settings;
    settings.setLoadedTable(rows);
    // Strides 0 to 15.
    settings.setValue(Setting::Contrast, size > 0 ? 1 + data[0] * 1499 / 255 : 750);
    settings.setValue(Setting::SampleX, 40);
    GenerationRun run;
    run.setBandCount(2);
    FUZZ_CHECK(run.start(Ramp(), settings) == GenerationRun::StartResult::Started);
    while (run.tick(Ramp(), settings) != GenerationRun::TickOutcome::Finished) {
    }

    // Whatever the rows hold, the art keeps its lines: each band's lines, each ending in CR LF.
    const int linesPerBand = (run.bandHeight() + settings.sampleY() - 1) / settings.sampleY();
    FUZZ_CHECK(run.art().count(QLatin1Char('\r')) == 2 * linesPerBand);
    FUZZ_CHECK(run.art().count(QStringLiteral("\r\n")) == 2 * linesPerBand);
    return 0;
}
