#pragma once

#include "canvas/CanvasModel.h"
#include "engine/GenerationSettings.h"
#include "export/ArtExport.h"

#include <optional>

namespace tessivo {

class GenerationRun;

// What the window's last run was made from, so that its result can be written out in colour
// afterwards. The window's runs do not record colours, which would cost every run about half its
// time again for a result that is seldom saved in colour; the colours are made when they are
// asked for, by a second run over the same Canvas with the same settings, which gives the same
// text. Holding the Canvas costs nothing until it changes: its picture is shared, and the first
// change after a run copies it whether or not it is held (the undo history keeps it too).
class RunRecord {
public:
    // A run has started over this Canvas and these settings, with this many bands.
    void started(const CanvasModel& canvas, const GenerationSettings& settings, int bandCount);
    // The run has finished; its result is the one written out from now on.
    void finished(const GenerationRun& run);
    // A result made in one go (the ink and shape modes), colours and all, is the one written out
    // from now on.
    void finishedWith(ArtDocument result);
    bool hasResult() const { return m_result.has_value(); }

    // The last finished run's result, footer included (empty text before any), with the colour
    // of every character of its art when colours is set.
    ArtDocument art(bool colours);

private:
    CanvasModel::Snapshot m_canvas;
    FixedGenerationSettings m_settings;
    int m_bandCount = 1;
    bool m_pending = false;
    std::optional<ArtDocument> m_result;
    bool m_coloured = false;
};

} // namespace tessivo
