#pragma once

#include "loading/PictureDecoder.h"

#include <QImage>
#include <QString>

namespace tessivo {

class CanvasModel;

// The hidden holder of the last picture loaded from a file, at its natural size. A large photo
// is loaded straight at the size it is drawn; the holder then reads it at its natural size only
// when that is asked for (a zoom of the held picture).
class PictureHolder {
public:
    bool hasPicture() const { return !m_natural.isEmpty(); }
    // The picture at its natural size; null when it cannot be read (any more).
    const QImage& picture() const;
    // The natural size in twips.
    double widthTwips() const;
    double heightTwips() const;
    // What the holder keeps in memory.
    qint64 bytes() const { return m_picture.sizeInBytes() + m_source.size(); }
    void setPicture(const QImage& picture);
    void setPicture(const QString& path, const ReducedPicture& read);

private:
    QSize m_natural;
    mutable QString m_path; // where to read the natural-size picture from, while it is not here
    mutable QByteArray m_source; // or its bytes, when it came from a pipe
    mutable QImage m_picture;
};

// The whole-number reduction of a picture drawn on the Canvas: its width over the Canvas's,
// in single precision, to the nearest whole number with ties to even. 0 and 1 mean natural size.
int ReductionRatio(double pictureWidth, double canvasWidth);

// The two-line message shown when a picture file cannot be read.
QString PictureReadFailureText();

// Reads a picture file and, when it reads, wipes the Canvas and draws the picture at its top-left
// corner, reduced by ReductionRatio when that is 1 or more, and keeps it in the holder.
// A file that does not read changes nothing: Canvas and holder keep what they had.
bool LoadPictureOntoCanvas(const QString& path, CanvasModel& canvas, PictureHolder& holder);

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

// Wipes a picture box and prints the two-line read failure at its top-left corner.
void ShowReadFailure(CanvasModel& box);

} // namespace tessivo
