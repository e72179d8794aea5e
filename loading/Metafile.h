#pragma once

// Metafiles as the program sees them: telling them by their content, the limits on their size,
// and drawing them in the helper process tessivo-metafile. The drawing itself, which runs in
// that process, is in MetafileDecoders.h.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

namespace tessivo {

enum class MetafileKind { None, Wmf, Emf };

// The marks by which the two kinds are told.
constexpr quint32 PlaceableKey = 0x9AC6CDD7; // a placeable Windows metafile's first word
constexpr quint32 EmrHeader = 1;             // an enhanced metafile's first record
constexpr quint32 EmfSignature = 0x464D4520; // " EMF", at offset 40 of that record

// Enough leading bytes to tell a metafile by its content.
constexpr int MetafileSniffBytes = 44;

// Limits on the size a metafile is drawn at. A metafile states its size in its header, so a few
// hundred bytes can ask for any size at all; anything beyond these is refused.
constexpr int MaxMetafileSide = 16384;
constexpr qint64 MaxMetafilePixels = qint64(64) * 1024 * 1024;
// Larger files are refused before they are read into memory.
constexpr qint64 MaxMetafileBytes = qint64(256) * 1024 * 1024;

// What tessivo-metafile writes to its standard output for a picture: a header of this mark and
// the width and height (32 bits each, little-endian), then the rows of premultiplied 32-bit
// pixels.
constexpr char MetafileReplyMark[] = "TMF1";
constexpr int MetafileReplyWidthAt = 4;
constexpr int MetafileReplyHeightAt = 8;
constexpr int MetafileReplyHeaderBytes = 12;

// What the leading bytes of a file announce: a Windows metafile (placeable or standard header)
// or an enhanced metafile. The file name plays no part.
MetafileKind SniffMetafile(const QByteArray& head);

// A natural size in pixels, rounded, or an empty size when it is not finite, empty or beyond the
// limits above.
QSize BoundedPictureSize(QSizeF pixels);

// Draws a metafile file in a child process (tessivo-metafile) with limits on its memory and
// time, so that a fault or a hang in a metafile library costs nothing but this picture: it then
// reads as unreadable. Needs no GUI application in the calling process. failure, when given, is
// told why no picture came where the helper failed rather than the file's content.
QImage DecodeMetafileFile(const QString& path, QString* failure = nullptr);
// The same for a metafile already read into memory (from a pipe, say).
QImage DecodeMetafileData(const QByteArray& bytes, QString* failure = nullptr);

// The picture in tessivo-metafile's reply: its header, then exactly the rows it announces. A reply
// with another mark, a size beyond the limits, fewer rows or any byte after them is malformed:
// a null image, and failure, when given, is told so.
QImage ReadMetafileReply(const QByteArray& reply, QString* failure = nullptr);

// Where tessivo-metafile is: ../libexec/tessivo/ from the running program's folder, which holds
// for an installed program in bin/ and for every program of a build, each one folder below the
// top of the build.
QString MetafileHelperPath();

} // namespace tessivo
