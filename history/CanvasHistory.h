#pragma once

#include "canvas/CanvasModel.h"
#include "loading/PictureLoader.h"

#include <QHash>
#include <QList>
#include <QObject>

#include <deque>
#include <functional>

namespace tessivo {

// Undo and redo of the Canvas. Each step holds what the Canvas was before one change the user
// made: its image, size and size bookkeeping, its background colour and font size, the held
// picture, and the state of widgets that show or set part of it (the zoom boxes' choices, the
// bars that set the colour, size and font). A step is recorded where the change is made, just
// before it; a change made of many events (a drag) is recorded once, at its first event.
// The history is bounded by steps and by bytes; the oldest steps go first, and the newest step
// stays whatever it holds. Steps share the pixels
// and file bytes they have in common (a held picture is the same in every step): the bound counts
// each such buffer once, however many steps hold it.
class CanvasHistory : public QObject {
    Q_OBJECT

public:
    static constexpr int DefaultMaxSteps = 64;
    static constexpr qint64 DefaultMaxBytes = qint64(256) * 1024 * 1024;

    struct Step {
        CanvasModel::Snapshot canvas;
        ColorValue backColor = 0;
        double fontSize = 0;
        PictureHolder holder;
        QList<QList<int>> views; // one list for each view state added
    };

    CanvasHistory(CanvasModel& canvas, PictureHolder& holder, QObject* parent = nullptr);

    // A part of the widgets' state kept in each step, and how it is put back. restore is given
    // what save gave when the step was recorded.
    void addViewState(std::function<QList<int>()> save,
                      std::function<void(const QList<int>&)> restore);
    void setLimits(int maxSteps, qint64 maxBytes);

    // The state as it is now, for a change that may not happen (a load that may fail).
    Step capture() const;
    // The change is about to happen (or happened from the state captured): one step back to
    // it. Anything undone is no longer redoable.
    void push(Step before);
    void record() { push(capture()); }

    // A gesture records its first change only: record() the first time after begin.
    void beginGesture() { m_gestureRecorded = false; }
    void recordGesture();

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    int undoCount() const { return int(m_undo.size()); }
    // The bytes the steps hold, each shared buffer counted once.
    qint64 bytes() const { return m_bytes; }
    // Each returns false when there was nothing to undo or redo.
    bool undo();
    bool redo();

signals:
    // An undo or redo has put a step back.
    void restored();

private:
    struct ViewState {
        std::function<QList<int>()> save;
        std::function<void(const QList<int>&)> restore;
    };
    struct Buffer {
        int steps = 0; // that hold it
        qint64 bytes = 0;
    };
    // A step joins or leaves the history: the buffers it holds are counted while any step does.
    void hold(const Step& step);
    void release(const Step& step);
    void apply(const Step& step);
    // Puts the last step of from back and keeps the state it replaced as the last step of to.
    bool travel(std::deque<Step>& from, std::deque<Step>& to);
    void trim();

    CanvasModel& m_canvas;
    PictureHolder& m_holder;
    QList<ViewState> m_views;
    std::deque<Step> m_undo;
    std::deque<Step> m_redo;
    // The buffers the steps of both lists hold, by where their data lies, and their sum.
    QHash<const void*, Buffer> m_buffers;
    qint64 m_bytes = 0;
    int m_maxSteps = DefaultMaxSteps;
    qint64 m_maxBytes = DefaultMaxBytes;
    bool m_gestureRecorded = false;
};

} // namespace tessivo
