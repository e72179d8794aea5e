#include "app/RunRecord.h"

#include "engine/GenerationRun.h"

namespace tessivo {

void RunRecord::started(const CanvasModel& canvas, const GenerationSettings& settings,
                        int bandCount)
{
    m_canvas = canvas.snapshot();
    m_settings = FixedGenerationSettings(settings);
    m_bandCount = bandCount;
    m_pending = true;
}

void RunRecord::finished(const GenerationRun& run)
{
    if (!m_pending)
        return;
    m_pending = false;
    m_result = ArtOf(run, true);
    m_coloured = m_result->hasColours();
}

void RunRecord::finishedWith(ArtDocument result)
{
    m_pending = false;
    m_result = std::move(result);
    m_coloured = true;
}

ArtDocument RunRecord::art(bool colours)
{
    if (!m_result)
        return {};
    if (!colours || m_coloured)
        return *m_result;
    CanvasModel canvas;
    canvas.restore(m_canvas);
    GenerationRun run;
    run.setBandCount(m_bandCount);
    run.setRecordColours(true);
    if (run.start(canvas, m_settings) == GenerationRun::StartResult::Started) {
        while (run.tick(canvas, m_settings) != GenerationRun::TickOutcome::Finished) {
        }
        // The same run again gives the same text; only then do its colours belong to it.
        if (run.resultText() == m_result->text)
            m_result->colours = run.artColours();
    }
    m_coloured = true;
    return *m_result;
}

} // namespace tessivo
