#pragma once

#include "loading/PictureDecoder.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

namespace tessivo {

class FrameSource;
class MappedFile;

// A moving picture, an animated GIF or WebP of two frames or more, read one frame at a time.
// Each frame is composed onto what the frames before it left, as a web browser shows it: a GIF
// frame's transparent pixels leave what lies below, a WebP frame is blended or not as it says,
// and after a frame its area stays, is cleared to transparent ("restore to background") or is put
// back as it was before the frame ("restore to previous"). The background colour a file names is
// not painted, as browsers do not paint it. Frames are read as they are asked for, never all at
// once: what is held is the picture composed so far and, for a frame that restores what lay
// below it, that part saved; at most two frames' worth, which the picture memory limit counts.
class AnimatedPicture {
public:
    // What opening a file gave.
    struct Opened {
        std::unique_ptr<AnimatedPicture> picture; // null: not a moving picture, or too large
        bool tooLarge = false; // a moving picture whose two frames held at once pass the limit
    };
    // Opens a plain file. A still picture (a GIF of one frame, a WebP without animation), a file
    // in another format, a pipe or a file that cannot be opened gives no picture: the still
    // path reads those, and says why where it cannot.
    static Opened open(const QString& path);
    // The same for bytes in memory, which must stay as they are while the picture is read.
    static Opened fromData(const QByteArray& bytes);
    ~AnimatedPicture();
    AnimatedPicture(const AnimatedPicture&) = delete;
    AnimatedPicture& operator=(const AnimatedPicture&) = delete;

    // The number of plays that stands for "for ever".
    static constexpr int Forever = 0;
    // Frames that show for 10 ms or less are shown for 100 ms, as browsers show them: many
    // files say 0 and mean "as fast as a browser plays it".
    static constexpr int ShortestDelay = 20;
    static constexpr int DelayOfTooShort = 100;
    // The pixels read, over all frames, before the rest of a picture is given up as too long
    // to read: four thousand million, some seconds of decoding.
    static constexpr qint64 MostPixelsRead = qint64(1) << 32;

    // Every frame's size: the picture's logical screen, and all of the first frame.
    QSize size() const;
    // The frames the file holds, as its structure announces them before any is decoded.
    int frameCount() const { return m_frameCount; }
    // How many times the file asks to be played: GIF's loop count plus the first play, WebP's
    // own count, Forever.
    int plays() const { return m_plays; }

    // Reads and composes the next frame; false after the last one, or where the rest of the file
    // cannot be read (problem() says why).
    bool next();
    // The frame last composed: ARGB32 premultiplied, transparent where no frame has drawn.
    const QImage& image() const { return m_image; }
    // Its number, from 1, and how long it is shown, in milliseconds.
    int number() const { return m_number; }
    int delay() const { return m_delay; }
    // Why reading stopped before the file's end: a frame cut short or damaged, or a picture too
    // long to read whole; empty when it stopped at the end. Names the frame, in English.
    const QString& problem() const { return m_problem; }

private:
    AnimatedPicture() = default;
    static Opened openSource(std::unique_ptr<AnimatedPicture> picture);

    std::unique_ptr<MappedFile> m_mapped;
    QByteArray m_bytes;
    std::unique_ptr<FrameSource> m_source;
    QImage m_image;
    int m_frameCount = 0;
    int m_plays = 1;
    int m_number = 0;
    int m_delay = 0;
    QString m_problem;
};

// A frame's delay as it is played: a stored delay of 10 ms or less is 100 ms.
int PlayedDelay(int storedMilliseconds);

} // namespace tessivo
