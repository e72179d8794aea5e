#pragma once

#include <QImage>
#include <QString>

namespace tessivo {

// Reads a picture file at its natural size. The format is decided by the content, so a .dib
// bitmap, or a PNG under another name, reads as what it is. A file that cannot be read gives a
// null image.
QImage DecodePicture(const QString& path);

// Whether a file is a metafile, told by its content. Metafiles may hold text, and drawing text
// needs a GUI application object.
bool IsMetafile(const QString& path);

} // namespace tessivo
