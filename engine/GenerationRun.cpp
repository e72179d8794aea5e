#include "engine/GenerationRun.h"

#include "engine/BlankLines.h"
#include "engine/FreshMemory.h"
#include "engine/GenerationSettings.h"
#include "engine/Rounding.h"
#include "engine/Tone.h"
#include "engine/Version.h"

#include <algorithm>

namespace tessivo {

namespace {

// Every start, step and sum of a run stays inside this range unless the run is refused.
bool fitsPosition(std::int64_t v)
{
    return v >= -GenerationRun::MaxPosition - 1 && v <= GenerationRun::MaxPosition;
}

} // namespace

const QString GenerationRun::Footer = QStringLiteral(
    "\r\n最佳显示字体:新宋体;\r\n字体大小：小五\r\nTessivo " TESSIVO_VERSION " - Orlen");

GenerationRun::GenerationRun()
{
    setBandCount(InitialBandCount);
}

void GenerationRun::setBandCount(int bandCount)
{
    m_BandCount = std::clamp(bandCount, MinBandCount, MaxBandCount);
    m_BandRowY = QList<int>(m_BandCount + 1, 0);
    m_bandStore.reset();
    m_bandCapacity = 0;
    m_bandEnd = QList<char16_t*>(m_BandCount + 1, nullptr);
    m_sameLength = -1;
    m_longestBandAtMost = 0;
    m_BandColours = QList<QList<ColorValue>>(m_BandCount + 1);
    m_completeLength = QList<qsizetype>(m_BandCount + 1, 0);
    m_samples = QList<std::int32_t>(m_BandCount + 1, 0);
}

GenerationRun::StartResult GenerationRun::start(const PixelSource& canvas,
                                                const GenerationSettings& settings)
{
    const int n = m_BandCount;
    const double bandStep = ((1 - settings.pictureFit() / 100.0) * canvas.canvasHeight()) / n;

    QList<int> rows(n + 1, 0);
    for (int i = 1; i <= n; ++i) {
        const std::int64_t y = RoundEven(i * bandStep);
        if (!fitsPosition(y))
            return StartResult::PositionsTooLarge;
        rows[i] = int(y);
    }

    // The furthest positions the run reaches: the last band's row after the last line step, the
    // offset after it, and the column after the last cell of a line.
    const std::int64_t bandHeight = rows[1];
    const std::int64_t sampleY = settings.sampleY();
    const std::int64_t sampleX = settings.sampleX();
    const std::int64_t steps = bandHeight > 0 ? (bandHeight + sampleY - 1) / sampleY : 0;
    const std::int64_t lastColumn =
        std::max<std::int64_t>(canvas.canvasWidth() - LineEndMargin, -1);
    const std::int64_t columnsEnd = (lastColumn / sampleX + 1) * sampleX;
    if (!fitsPosition(rows[n] + steps * sampleY) || !fitsPosition(steps * sampleY) ||
        !fitsPosition(columnsEnd))
        return StartResult::PositionsTooLarge;

    // Each band's lines, every cell as long as the longest row, each line ending in CR LF, and
    // the cell sampled after the last step.
    const QStringList& table = settings.charTable();
    const std::int64_t longestRow =
        std::max_element(table.begin(), table.end(), [](const QString& a, const QString& b) {
            return a.size() < b.size();
        })->size();
    const std::int64_t columns = lastColumn / sampleX + 1;
    if (std::int64_t(n) * (steps + 1) * (columns * longestRow + 2) > MaxTextLength)
        return StartResult::TextTooLong;

    m_ScanOffset = 0;
    m_ScanX = 0;
    m_BandStep = bandStep;
    m_BandRowY = rows;
    m_BandHeight = int(bandHeight);
    std::fill(m_completeLength.begin(), m_completeLength.end(), 0);
    m_recording = m_recordColours;
    for (QList<ColorValue>& colours : m_BandColours)
        colours.clear();

    // Room for each band's lines at one character a cell, so that the texts rarely move; a band
    // that could outgrow it makes room before its tick (makeRoom).
    const std::int64_t cells = (columns + 2) * (steps + 1);
    m_bandCapacity = qsizetype(std::min<std::int64_t>(cells, 1 << 24));
    m_bandStore.reset(new char16_t[std::size_t(n * m_bandCapacity)]);
    PrepareForWriting(m_bandStore.get(), std::size_t(n * m_bandCapacity) * sizeof(char16_t));
    m_sameLength = 0;
    m_longestBandAtMost = 0;
    return StartResult::Started;
}

GenerationRun::TickOutcome GenerationRun::tick(const PixelSource& canvas,
                                               const GenerationSettings& settings)
{
    if (m_ScanOffset >= m_BandHeight) {
        finish(settings);
        return TickOutcome::Finished;
    }

    // ColorLevel, IgnoreValue and the table, read once for the column: nothing can change them
    // within a tick. A tick adds at most a line end and the longest row to a band.
    m_toneCache->prepareColumn(settings);
    const qsizetype longestRow = m_toneCache->longestRow();
    if (m_longestBandAtMost + 2 + longestRow > m_bandCapacity)
        makeRoom(2 + longestRow);

    TickOutcome outcome = TickOutcome::Sampled;
    if (m_ScanX > canvas.canvasWidth() - LineEndMargin) {
        const int sampleY = settings.sampleY();
        m_ScanX = 0;
        m_ScanOffset += sampleY;
        for (int i = 1; i <= m_BandCount; ++i) {
            m_BandRowY[i] += sampleY;
            char16_t* end = bandEnd(i);
            end[0] = u'\r';
            end[1] = u'\n';
            if (m_sameLength < 0)
                m_bandEnd[i] = end + 2;
            if (m_recording)
                m_BandColours[i].append({0, 0});
            m_completeLength[i] = end + 2 - bandStart(i);
        }
        if (m_sameLength >= 0)
            m_sameLength += 2;
        m_longestBandAtMost += 2;
        outcome = TickOutcome::SteppedLine;
    }
    // Every band's cell of this column, band 1 first.
    std::int32_t* samples = m_samples.data() + 1;
    canvas.readColumn(m_ScanX, m_BandRowY.constData() + 1, m_BandCount, samples);
    int written = 0;
    if (m_sameLength >= 0 && !m_recording) {
        written = WriteOneCharacterCells(bandStart(1) + m_sameLength, m_bandCapacity, samples,
                                         m_BandCount, *m_toneCache);
        if (written == m_BandCount)
            ++m_sameLength;
    }
    if (m_sameLength >= 0 && written < m_BandCount) {
        // From here on the bands' lengths may differ: each keeps its own end.
        for (int i = 1; i <= m_BandCount; ++i)
            m_bandEnd[i] = bandStart(i) + m_sameLength + (i <= written ? 1 : 0);
        m_sameLength = -1;
    }
    if (m_sameLength < 0)
        WriteCells(m_bandEnd.data() + 1 + written, samples + written, m_BandCount - written,
                   *m_toneCache, m_recording ? m_BandColours.data() + 1 : nullptr);
    m_longestBandAtMost += longestRow;
    m_ScanX += settings.sampleX();
    return outcome;
}

void GenerationRun::finish(const GenerationSettings& settings)
{
    // Each band's text ends with the cell sampled after its last line step; that cell is
    // dropped whole, whatever its row holds, so every band gives exactly its complete lines.
    // (Trailing spaces of the last band therefore need no separate trim.)
    // The text is put together once, footer included: a result can hold millions of characters.
    QString text;
    qsizetype total = Footer.size();
    for (int i = 1; i <= m_BandCount; ++i)
        total += m_completeLength[i];
    text.reserve(total);
    PrepareForWriting(text.data(), std::size_t(text.capacity()) * sizeof(QChar));
    QList<ColorValue> colours;
    if (m_recording)
        colours.reserve(total);
    for (int i = 1; i <= m_BandCount; ++i) {
        text += QStringView(bandStart(i), m_completeLength[i]);
        if (m_recording)
            colours.append(m_BandColours[i].first(m_completeLength[i]));
        m_BandColours[i].clear();
        m_completeLength[i] = 0;
        m_bandEnd[i] = nullptr;
    }
    m_bandStore.reset();
    m_bandCapacity = 0;
    m_sameLength = -1;
    m_longestBandAtMost = 0;
    if (settings.removeBlankLines()) {
        if (m_recording) {
            QList<ColorValue> kept;
            text = ClearBlankLines(text, colours, kept);
            colours = std::move(kept);
        } else {
            text = ClearBlankLines(text);
        }
    }
    text += Footer;
    m_text = std::move(text);
    m_colours = std::move(colours);
}

QStringView GenerationRun::bandText(int band) const
{
    Q_ASSERT(band >= 0 && band <= m_BandCount);
    if (band < 1 || !m_bandStore)
        return {};
    return QStringView(bandStart(band), bandEnd(band));
}

void GenerationRun::makeRoom(qsizetype more)
{
    // Without a store (the band count was set during a run) every band starts empty.
    if (!m_bandStore)
        m_sameLength = 0;
    qsizetype longest = 0;
    for (int i = 1; i <= m_BandCount && m_bandStore; ++i)
        longest = std::max(longest, qsizetype(bandEnd(i) - bandStart(i)));
    m_longestBandAtMost = longest;
    if (longest + more <= m_bandCapacity)
        return;
    const qsizetype capacity = std::max(2 * m_bandCapacity, longest + more);
    const std::size_t size = std::size_t(m_BandCount) * std::size_t(capacity);
    std::unique_ptr<char16_t[]> store(new char16_t[size]);
    PrepareForWriting(store.get(), size * sizeof(char16_t));
    for (int i = 1; i <= m_BandCount; ++i) {
        char16_t* start = store.get() + (i - 1) * capacity;
        char16_t* end = m_bandStore ? std::copy(bandStart(i), bandEnd(i), start) : start;
        if (m_sameLength < 0)
            m_bandEnd[i] = end;
    }
    m_bandStore = std::move(store);
    m_bandCapacity = capacity;
}

double GenerationRun::progress() const
{
    if (m_BandHeight <= 0)
        return 0;
    return double(m_ScanOffset) / m_BandHeight;
}

} // namespace tessivo
