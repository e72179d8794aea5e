#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

#include <functional>
#include <memory>

class QTemporaryFile;

namespace tessivo {

// The frames of a moving picture joined into one file that plays them, each frame written first
// as a still of its art (ExportArt), so that it holds exactly what the still holds; plays is how
// many times the frames are shown, 0 for ever. Frames are added as they are made. How each is
// shown depends on the whole play's length, known only once all are in, so their art waits in
// a temporary file meanwhile (in memory where none can be made): however many frames there are,
// one is held at a time.
class ArtAnimation {
public:
    ArtAnimation();
    virtual ~ArtAnimation();
    ArtAnimation(const ArtAnimation&) = delete;
    ArtAnimation& operator=(const ArtAnimation&) = delete;

    // A frame as the still writer wrote it, shown for delay milliseconds.
    void add(const QByteArray& still, int delay);
    int frameCount() const { return int(m_starts.size()); }
    // Hands the file to write, piece after piece; false when write fails, or the frames kept
    // cannot be read back.
    bool finish(int plays, const std::function<bool(const QByteArray&)>& write);

protected:
    struct Parts {
        QByteArray head; // what every still of the format begins with, up to the art
        QByteArray art;
        QByteArray tail; // and ends with
    };
    virtual Parts split(const QByteArray& still) const = 0;
    // What comes before the frames, around each frame's art, and after the frames.
    virtual QByteArray head(int plays) const = 0;
    virtual QByteArray frameStart(int frame, int plays) const = 0;
    virtual QByteArray frameEnd() const = 0;
    virtual QByteArray tail() const = 0;

    // Each frame's share of the whole play: when it is shown and hidden, from 0 to 1.
    double shownAt(int frame) const;
    double hiddenAt(int frame) const;
    qint64 duration() const { return m_duration; }

    QByteArray m_head;
    QByteArray m_tail;

private:
    std::unique_ptr<QTemporaryFile> m_kept;
    QByteArrayList m_inMemory; // where no temporary file could be made
    QList<qint64> m_lengths;
    QList<qint64> m_starts; // milliseconds from the start of a play
    qint64 m_duration = 0;
};

// One HTML page: the frames' <pre> elements stacked in one place, each visible only for its
// delay, through CSS keyframes alone (no script).
class HtmlAnimation final : public ArtAnimation {
protected:
    Parts split(const QByteArray& still) const override;
    QByteArray head(int plays) const override;
    QByteArray frameStart(int frame, int plays) const override;
    QByteArray frameEnd() const override;
    QByteArray tail() const override;
};

// One SVG picture: each frame a group, visible only for its delay, through SMIL animation.
class SvgAnimation final : public ArtAnimation {
protected:
    Parts split(const QByteArray& still) const override;
    QByteArray head(int plays) const override;
    QByteArray frameStart(int frame, int plays) const override;
    QByteArray frameEnd() const override;
    QByteArray tail() const override;
};

} // namespace tessivo
