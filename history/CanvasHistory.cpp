#include "history/CanvasHistory.h"

#include <utility>

namespace tessivo {

CanvasHistory::CanvasHistory(CanvasModel& canvas, PictureHolder& holder, QObject* parent)
    : QObject(parent)
    , m_canvas(canvas)
    , m_holder(holder)
{
}

void CanvasHistory::addViewState(std::function<QList<int>()> save,
                                 std::function<void(const QList<int>&)> restore)
{
    m_views.append({std::move(save), std::move(restore)});
}

void CanvasHistory::setLimits(int maxSteps, qint64 maxBytes)
{
    m_maxSteps = maxSteps;
    m_maxBytes = maxBytes;
    trim();
}

CanvasHistory::Step CanvasHistory::capture() const
{
    Step step{m_canvas.snapshot(), m_canvas.backColor(), m_canvas.font().pointSize, m_holder, {}};
    for (const ViewState& view : m_views)
        step.views.append(view.save());
    return step;
}

void CanvasHistory::hold(const Step& step)
{
    // A step's copies share their data with the state they were taken from and with every other
    // step that has not been changed since: the data's address tells one buffer from another.
    const auto count = [this](const void* data, qint64 bytes) {
        if (!data || bytes <= 0)
            return;
        Buffer& buffer = m_buffers[data];
        if (buffer.steps++ == 0) {
            buffer.bytes = bytes;
            m_bytes += bytes;
        }
    };
    count(step.canvas.image.constBits(), step.canvas.image.sizeInBytes());
    for (const PictureHolder::Buffer& buffer : step.holder.buffers())
        count(buffer.data, buffer.bytes);
}

void CanvasHistory::release(const Step& step)
{
    const auto uncount = [this](const void* data, qint64 bytes) {
        if (!data || bytes <= 0)
            return;
        const auto it = m_buffers.find(data);
        if (it == m_buffers.end() || --it->steps > 0)
            return;
        m_bytes -= it->bytes;
        m_buffers.erase(it);
    };
    uncount(step.canvas.image.constBits(), step.canvas.image.sizeInBytes());
    for (const PictureHolder::Buffer& buffer : step.holder.buffers())
        uncount(buffer.data, buffer.bytes);
}

void CanvasHistory::push(Step before)
{
    for (const Step& step : m_redo)
        release(step);
    m_redo.clear();
    hold(before);
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
    // The newest step is kept whatever it holds: a change just made can always be undone.
    const auto overBytes = [this] { return m_bytes > m_maxBytes && m_undo.size() > 1; };
    while (!m_undo.empty() && (int(m_undo.size()) > m_maxSteps || overBytes())) {
        release(m_undo.front());
        m_undo.pop_front();
    }
}

void CanvasHistory::apply(const Step& step)
{
    // A new background colour clears the image, which the snapshot then puts back.
    if (m_canvas.backColor() != step.backColor)
        m_canvas.setBackColor(step.backColor);
    m_canvas.setFontSize(step.fontSize);
    m_canvas.restore(step.canvas);
    m_holder = step.holder;
    for (qsizetype i = 0; i < m_views.size() && i < step.views.size(); ++i)
        m_views[i].restore(step.views[i]);
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
    hold(now);
    release(step);
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
