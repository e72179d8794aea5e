#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace tessivo {

// Reads a picture file at its natural size. The format is decided by the content, so a .dib
// bitmap, or a PNG under another name, reads as what it is. Only the formats the program offers
// are read (BMP, GIF, JPEG, PNG, ICO, CUR, WMF, EMF), and a bitmap cut short is refused. A file
// that cannot be read gives a null image. The file may be a pipe.
QImage DecodePicture(const QString& path);

// The same for a file already read into memory.
QImage DecodePictureData(const QByteArray& bytes);

// A pipe is read whole before its picture is decoded; a larger one is refused.
constexpr qint64 MaxPipedPictureBytes = qint64(256) * 1024 * 1024;

// The format a file's first bytes show, where reading by content would come to the same
// answer: "jpeg", "gif", "png" or "bmp"; empty where only trying every reader can tell.
QByteArray PictureFormatByContent(const QByteArray& head);

// A picture read for drawing at a reduced size.
struct ReducedPicture {
    QImage image;      // at the natural size, or already reduced to reducedSize
    QSize naturalSize; // pixels
    bool reduced = false;
    // A reduced picture read from a pipe cannot be read from its file again: its bytes, for
    // reading it at the natural size later.
    QByteArray source;
};

// The pixel size of a picture drawn at 1 / divisor of its natural size, as the Canvas rounds it.
QSize ReducedSize(QSize natural, float divisor);

// Reads a picture that is to be drawn at 1 / divisor(natural size) of its natural size. Where the
// format can decode straight at a smaller size (JPEG, by its DCT scaling), it does, which is much
// faster and smaller for large photos; otherwise the picture comes at its natural size. A divisor
// of 1 or less means the natural size.
ReducedPicture DecodePictureReduced(const QString& path,
                                    const std::function<float(QSize)>& divisor);

} // namespace tessivo
