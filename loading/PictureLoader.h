#pragma once

#include "loading/PictureDecoder.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <array>

namespace tessivo {

class CanvasModel;

// The hidden holder of the last picture loaded from a file, at its natural size. A large photo
// is loaded straight at the size it is drawn; the holder then keeps the file's bytes as they were
// read and decodes them at the natural size only when that is asked for (a zoom of the held
// picture). Nothing it holds depends on the file after the load. Copies share their data.
class PictureHolder {
public:
    bool hasPicture() const { return !m_natural.isEmpty(); }
    // The picture at its natural size; null when it cannot be decoded (then a later call tries
    // again).
    const QImage& picture() const;
    // The natural size in twips.
    double widthTwips() const;
    double heightTwips() const;
    // What the holder keeps in memory.
    qint64 bytes() const { return m_picture.sizeInBytes() + m_source.size(); }
    // The two buffers behind bytes(), by where their data lies: copies of a holder share them.
    struct Buffer {
        const void* data;
        qint64 bytes;
    };
    std::array<Buffer, 2> buffers() const
    {
        return {{{m_picture.constBits(), m_picture.sizeInBytes()},
                 {m_source.constData(), m_source.size()}}};
    }
    void setPicture(const QImage& picture);
    // A picture as a load read it: at its natural size, or reduced with the bytes it came from.
    void setPicture(const ReducedPicture& read);

private:
    QSize m_natural;
    mutable QByteArray m_source; // the bytes of a picture read reduced, until it is decoded
    mutable QImage m_picture;
};

// The whole-number reduction of a picture drawn on the Canvas: its width over the Canvas's,
// in single precision, to the nearest whole number with ties to even. 0 and 1 mean natural size.
int ReductionRatio(double pictureWidth, double canvasWidth);

// The two-line message shown when a picture file cannot be read.
QString PictureReadFailureText();
// The two-line message shown when a picture is too large to load.
QString PictureTooLargeText();
// The message for a read that failed: one of the two above.
QString PictureFailureText(PictureRead outcome);

// Reads a picture file and, when it reads, wipes the Canvas and draws the picture at its top-left
// corner, reduced by ReductionRatio when that is 1 or more, and keeps it in the holder.
// A file that does not read changes nothing: Canvas and holder keep what they had. outcome, when
// given, tells how the read went.
bool LoadPictureOntoCanvas(const QString& path, CanvasModel& canvas, PictureHolder& holder,
                           PictureRead* outcome = nullptr);
// The same for a Canvas whose picture is not kept (tessivo-convert's): it gives the same Canvas,
// but a JPEG at its natural size is decoded only as far as the Canvas shows it, straight into the
// Canvas's pixels. A file that does not read leaves the Canvas wiped, or partly drawn; failure,
// when given, is then told ReducedPicture::failure. drawn, when given, is told the Canvas's pixels
// the picture covers.
bool DrawPictureFile(const QString& path, CanvasModel& canvas, PictureRead* outcome = nullptr,
                     QString* failure = nullptr, QRect* drawn = nullptr);

// Wipes the Canvas and draws a picture the way a load does.
void DrawLoadedPicture(const QImage& picture, CanvasModel& canvas);
void DrawLoadedPicture(const ReducedPicture& picture, CanvasModel& canvas);

// The path of a file in a folder: folder, "/", file name, with every doubled separator
// collapsed (a root folder already ends in one).
QString FormPicturePath(const QString& folder, const QString& fileName);

// Wipes a preview box and draws a picture in it: reduced by ReductionRatio against the box's
// width when that is 1 or more, otherwise at half its natural size.
void DrawPreview(const ReducedPicture& picture, CanvasModel& preview);

// Reads a picture for a preview box, reduced where the format allows.
ReducedPicture DecodeForPreview(const QString& path, const CanvasModel& preview);

// Wipes a picture box and prints the two-line message of a failed read at its top-left corner.
void ShowReadFailure(CanvasModel& box, PictureRead outcome = PictureRead::Unreadable);

} // namespace tessivo
