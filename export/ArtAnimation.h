#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

namespace tessivo {

// The frames of a moving picture joined into one file that plays them, each frame written first
// as a still of its art (ExportArt), so that it holds exactly what the still holds; plays is how
// many times the frames are shown, 0 for ever. Frames are added as they are made; each keeps
// only its own art, and the file is handed over in pieces at the end, the frames' art among
// them as it was kept, so that the whole file is never held twice.
class ArtAnimation {
public:
    virtual ~ArtAnimation() = default;
    // A frame as the still writer wrote it, shown for delay milliseconds.
    void add(const QByteArray& still, int delay);
    int frameCount() const { return int(m_frames.size()); }
    // The file, in pieces to be written one after another; the frames are handed over.
    QByteArrayList finish(int plays);

protected:
    struct Parts {
        QByteArray head; // what every still of the format begins with, up to the art
        QByteArray art;
        QByteArray tail; // and ends with
    };
    virtual Parts split(const QByteArray& still) const = 0;
    // The head with what makes the frames play, each frame, the tail.
    virtual QByteArrayList join(int plays) = 0;

    // Each frame's share of the whole play: when it is shown and hidden, from 0 to 1.
    double shownAt(int frame) const;
    double hiddenAt(int frame) const;
    qint64 duration() const { return m_duration; }

    QByteArray m_head;
    QByteArray m_tail;
    QList<QByteArray> m_frames;
    QList<qint64> m_starts; // milliseconds from the start of a play
    qint64 m_duration = 0;
};

// One HTML page: the frames' <pre> elements stacked in one place, each visible only for its
// delay, through CSS keyframes alone (no script).
class HtmlAnimation final : public ArtAnimation {
protected:
    Parts split(const QByteArray& still) const override;
    QByteArrayList join(int plays) override;
};

// One SVG picture: each frame a group, visible only for its delay, through SMIL animation.
class SvgAnimation final : public ArtAnimation {
protected:
    Parts split(const QByteArray& still) const override;
    QByteArrayList join(int plays) override;
};

} // namespace tessivo
