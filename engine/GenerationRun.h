#pragma once

#include "engine/Tone.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace tessivo {

class GenerationSettings;
class PixelSource;

// A generation run: cuts the Canvas into BandCount horizontal bands and samples one cell of every
// band per tick, all bands at the same column; at the end of a line every band moves down by
// SampleY. The run knows nothing of timers or widgets: the window calls tick() once per timer
// event, the command-line tool calls it in a loop, and both get the same text.
class GenerationRun {
public:
    enum class StartResult {
        Started,
        // Some position of the run would pass 32767 twips, the largest a position can hold.
        PositionsTooLarge,
        // The text could grow past MaxTextLength: the table's rows are too long for this many
        // cells.
        TextTooLong,
    };
    enum class TickOutcome {
        Sampled,     // one cell sampled in every band
        SteppedLine, // stepped every band to its next line, then sampled its first cell
        Finished,    // the run is over; the text is ready in resultText()
    };

    // The line that follows the art, then the footer lines.
    static const QString Footer;
    // Positions are 16-bit in the run's coordinate model.
    static constexpr int MaxPosition = 32767;
    // A line ends once the column has passed CanvasWidth less this many twips: the right edge
    // of the Canvas is never sampled, and a Canvas narrower than this gives one cell a line.
    static constexpr int LineEndMargin = 160;
    // The most characters a run may put together (64 MiB of text), reckoned before it starts as
    // if every cell took the table's longest row. The finest run of the largest Canvas gives
    // about 11.3 million characters from a table of single characters.
    static constexpr qsizetype MaxTextLength = qsizetype(32) * 1024 * 1024;
    // BandCount of a new run, and the range BandCount is kept in (the range of RunEfficiency).
    static constexpr int InitialBandCount = 15;
    static constexpr int MinBandCount = 1;
    static constexpr int MaxBandCount = 100;

    GenerationRun();

    // Sets BandCount, kept in MinBandCount..MaxBandCount, and re-creates the per-band arrays, all
    // rows 0 and texts empty.
    void setBandCount(int bandCount);
    int bandCount() const { return m_BandCount; }

    // Whether the run also records, for every character of the art, the colour of the Canvas
    // pixel its cell was sampled from (before ColorLevel). Off by default: a run that does not
    // record keeps no colours and does no work for them. Takes effect at the next start().
    void setRecordColours(bool record) { m_recordColours = record; }
    bool recordColours() const { return m_recordColours; }

    // Lays out the bands for the Canvas's recorded height and the settings' PictureFit.
    StartResult start(const PixelSource& canvas, const GenerationSettings& settings);

    TickOutcome tick(const PixelSource& canvas, const GenerationSettings& settings);

    // How far the run has come, ScanOffset / BandHeight (0 when the run has no lines). Only line
    // steps change it; after the last step it exceeds 1.
    double progress() const;

    // The art of the last finished run: every band's complete lines, each ending in CR LF.
    QStringView art() const { return QStringView(m_text).chopped(Footer.size()); }
    // The art followed by the footer: the whole result text.
    const QString& resultText() const { return m_text; }
    // With recordColours(), one colour for every character of art(), the characters of a
    // multi-character row all with their cell's colour; each CR LF has two entries of 0. The
    // footer has none. Empty when the last run did not record.
    const QList<ColorValue>& artColours() const { return m_colours; }

    // State, in twips, for progress displays and tests.
    int scanX() const { return m_ScanX; }
    int scanOffset() const { return m_ScanOffset; }
    int bandHeight() const { return m_BandHeight; }
    double bandStep() const { return m_BandStep; }
    int bandRowY(int band) const { return m_BandRowY.at(band); }
    QStringView bandText(int band) const;

private:
    void finish(const GenerationSettings& settings);
    // Makes room in every band for `more` characters beyond its longest text so far.
    void makeRoom(qsizetype more);
    char16_t* bandStart(int band) const { return m_bandStore.get() + (band - 1) * m_bandCapacity; }
    char16_t* bandEnd(int band) const
    {
        return m_sameLength >= 0 ? bandStart(band) + m_sameLength : m_bandEnd[band];
    }

    int m_BandCount = 0;
    // Indices 0..BandCount; only 1..BandCount are used.
    QList<int> m_BandRowY;
    // Each band's text: band i (1..BandCount) takes m_bandCapacity characters of the store from
    // bandStart(i) and ends at m_bandEnd[i] (m_bandEnd[0] is unused) or, while every band's text
    // has the same length, at bandStart(i) + m_sameLength. A run starts so, and stays so while
    // every cell's row is one character; m_sameLength is -1 once lengths may differ.
    std::unique_ptr<char16_t[]> m_bandStore;
    qsizetype m_bandCapacity = 0;
    QList<char16_t*> m_bandEnd;
    qsizetype m_sameLength = -1;
    // No band's text is longer than this: what the ticks since the last makeRoom() can have
    // added, at the longest row a cell.
    qsizetype m_longestBandAtMost = 0;
    // Each band's colours, one per character of its text, when the run records them.
    QList<QList<ColorValue>> m_BandColours;
    // Length of each band's text up to its last line step: what the band contributes at the end.
    QList<qsizetype> m_completeLength;
    // The colours of the current column, one per band.
    QList<std::int32_t> m_samples;
    std::unique_ptr<ToneCache> m_toneCache = std::make_unique<ToneCache>();
    int m_ScanX = 0;
    int m_ScanOffset = 0;
    int m_BandHeight = 0;
    double m_BandStep = 0;
    QString m_text = Footer;
    QList<ColorValue> m_colours;
    bool m_recordColours = false;
    bool m_recording = false; // m_recordColours as it was at start()
};

} // namespace tessivo
