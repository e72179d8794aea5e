#pragma once

// The metafile decoders. They run the metafile libraries in the calling process: the program
// runs them only inside its helper process tessivo-metafile, through DecodeMetafileFile.

#include "loading/Metafile.h"

#include <QByteArray>
#include <QImage>

namespace tessivo {

// Draws a whole metafile at its natural size (96 pixels to the inch), transparent where it draws
// nothing. Returns a null image for anything that is not a readable metafile of an acceptable
// size.
QImage DecodeWmf(const QByteArray& bytes);
QImage DecodeEmf(const QByteArray& bytes);
// An enhanced metafile drawn to fill a picture of the given size instead of its own.
QImage DecodeEmf(const QByteArray& bytes, QSize size);
// Either, as the file's content says.
QImage DecodeMetafile(const QByteArray& bytes);

} // namespace tessivo
