#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>

namespace tessivo {

// Reads a picture file at its natural size. The format is decided by the content, so a .dib
// bitmap, or a PNG under another name, reads as what it is. Only the formats the program offers
// are read (BMP, GIF, JPEG, PNG, ICO, CUR, WMF, EMF), and a bitmap cut short is refused. A file
// that cannot be read gives a null image. The file may be a pipe.
QImage DecodePicture(const QString& path);

// The same for a file already read into memory.
QImage DecodePictureData(const QByteArray& bytes);

// A pipe is read whole before its picture is decoded; a larger one is refused as too large,
// never cut to the limit and decoded.
constexpr qint64 MaxPipedPictureBytes = qint64(256) * 1024 * 1024;
// The most a pipe may give: MaxPipedPictureBytes unless lowered. Lowering works as for
// LowerPictureMemoryLimit, to the byte.
qint64 PipedPictureLimit();
void LowerPipedPictureLimit(qint64 bytes);

// The most memory one decoded picture may take: 1 GiB, or a quarter of the machine's physical
// memory where that is less. A picture is counted at four bytes a pixel, as the Canvas draws it,
// or at more where its decoded format has more. Every image reader the program makes is held to
// it, and a picture whose header announces more is refused as too large before it is decoded.
qint64 PictureMemoryLimit();
// Lowers the limit for the rest of the process (one with a tighter memory budget of its own);
// never raises it. Limits are kept in whole MiB, as the image readers count them.
void LowerPictureMemoryLimit(qint64 bytes);

// While one lives, the pictures decoded at the same time by any thread (a batch's jobs) share one
// budget of PictureMemoryLimit() bytes: a decode takes what its picture will take from it before
// decoding, waiting while the others hold too much, and gives it back when the ReducedPicture it
// made (and every copy of it) is gone. A picture whose header tells no size takes the whole
// budget. Without one, each picture is held to the limit alone.
class SharedPictureMemory {
public:
    SharedPictureMemory();
    ~SharedPictureMemory();
    SharedPictureMemory(const SharedPictureMemory&) = delete;
    SharedPictureMemory& operator=(const SharedPictureMemory&) = delete;
};

// How reading a picture went.
enum class PictureRead {
    Read,
    Unreadable, // missing, damaged, or not a format the program reads
    TooLarge,   // sound as far as its header goes, but over the memory limit
    Incomplete, // read only in part: its data ends or is damaged before the picture does, or
                // the file was cut short while it was read; refused as unreadable
};

// The format a file's first bytes show, where reading by content would come to the same
// answer: "jpeg", "gif", "png" or "bmp"; empty where only trying every reader can tell.
QByteArray PictureFormatByContent(const QByteArray& head);

// A picture read for drawing at a reduced size.
struct ReducedPicture {
    QImage image;      // at the natural size, or already reduced to reducedSize; null: not read
    QSize naturalSize; // pixels
    bool reduced = false;
    // The bytes a reduced picture was decoded from, for decoding it at its natural size later:
    // that decode reads what was loaded, whatever has become of the file since.
    QByteArray source;
    // With a null image: refused for the memory it would take, not for its content.
    bool tooLarge = false;
    // With a null image: refused as read only in part (PictureRead::Incomplete).
    bool incomplete = false;
    // Only the top-left part of the natural size was decoded (see DecodePictureReduced).
    bool cropped = false;
    // With a null image: why, in English, where more is known than the outcome tells (the
    // metafile helper failed; what the decoder said of the picture's data, in the program's
    // words); empty otherwise.
    QString failure;
    // The picture's share of a SharedPictureMemory budget, given back with the last copy.
    std::shared_ptr<const void> memory;

    PictureRead outcome() const
    {
        if (!image.isNull())
            return PictureRead::Read;
        if (tooLarge)
            return PictureRead::TooLarge;
        return incomplete ? PictureRead::Incomplete : PictureRead::Unreadable;
    }
};

// The pixel size of a picture drawn at 1 / divisor of its natural size, as the Canvas rounds it.
QSize ReducedSize(QSize natural, float divisor);

// Reads a picture that is to be drawn at 1 / divisor(natural size) of its natural size. Where the
// format can decode straight at a smaller size (JPEG, by its DCT scaling), it does, which is much
// faster and smaller for large photos; otherwise the picture comes at its natural size. A divisor
// of 1 or less means the natural size. A JPEG is read into memory whole and decoded from there,
// so that a reduced one can keep its bytes (one that is not held, with cropTo, is decoded from
// the file mapped into memory instead). A picture whose natural size is over
// PictureMemoryLimit() is refused as too large, also where it would be decoded reduced: the
// held picture must be able to give it at its natural size.
// With cropTo, a JPEG read at its natural size is decoded only as far as its top-left part of
// that size, which is all of it that a Canvas of that size shows (cropped is then set): the rows
// below are not decoded at all. Such a picture cannot be held for later zooms.
// With into as well, a JPEG that comes at its own size in into's format and fits in into is
// decoded straight into into's top-left pixels; the image returned is then over those pixels.
// A picture already in memory (a clipboard's bytes), read at its natural size as a file is,
// under the same limit; the outcome tells a picture too large from one that does not read.
ReducedPicture ReadPictureData(const QByteArray& bytes);

ReducedPicture DecodePictureReduced(const QString& path, const std::function<float(QSize)>& divisor,
                                    QSize cropTo = {}, const QImage& into = {});

} // namespace tessivo
