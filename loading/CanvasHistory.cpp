#include "loading/CanvasHistory.h"

#include <utility>

namespace tessivo {

CanvasHistory::CanvasHistory(CanvasModel& canvas, PictureHolder& holder, QObject* parent)
    : QObject(parent)
    , m_canvas(canvas)
    , m_holder(holder)
{
}

void CanvasHistory::setViewState(std::function<QList<int>()> save,
                                 std::function<void(const QList<int>&)> restore)
{
    m_saveView = std::move(save);
    m_restoreView = std::move(restore);
}

void CanvasHistory::setLimits(int maxSteps, qint64 maxBytes)
{
    m_maxSteps = maxSteps;
    m_maxBytes = maxBytes;
    trim();
}

CanvasHistory::Step CanvasHistory::capture() const
{
    return {m_canvas.snapshot(), m_holder, m_saveView ? m_saveView() : QList<int>()};
}

qint64 CanvasHistory::bytesOf(const Step& step)
{
    // Pixels shared between steps are counted in each: the bound errs on the safe side.
    return step.canvas.image.sizeInBytes() + step.holder.bytes();
}

void CanvasHistory::push(Step before)
{
    for (const Step& step : m_redo)
        m_bytes -= bytesOf(step);
    m_redo.clear();
    m_bytes += bytesOf(before);
    m_undo.push_back(std::move(before));
    trim();
}

void CanvasHistory::recordGesture()
{
    if (m_gestureRecorded)
        return;
    m_gestureRecorded = true;
    record();
}

void CanvasHistory::trim()
{
    while (!m_undo.empty() && (int(m_undo.size()) > m_maxSteps || m_bytes > m_maxBytes)) {
        m_bytes -= bytesOf(m_undo.front());
        m_undo.pop_front();
    }
}

void CanvasHistory::apply(const Step& step)
{
    m_canvas.restore(step.canvas);
    m_holder = step.holder;
    if (m_restoreView)
        m_restoreView(step.view);
    emit restored();
}

bool CanvasHistory::travel(std::deque<Step>& from, std::deque<Step>& to)
{
    if (from.empty())
        return false;
    Step step = std::move(from.back());
    from.pop_back();
    // A gesture still going on (a stroke being drawn) records its next change as a step of its
    // own, rather than adding it to the state just put back.
    m_gestureRecorded = false;
    Step now = capture();
    m_bytes += bytesOf(now) - bytesOf(step);
    apply(step);
    to.push_back(std::move(now));
    trim();
    return true;
}

bool CanvasHistory::undo()
{
    return travel(m_undo, m_redo);
}

bool CanvasHistory::redo()
{
    return travel(m_redo, m_undo);
}

} // namespace tessivo
