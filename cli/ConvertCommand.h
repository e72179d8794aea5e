#pragma once

#include "cli/Conversion.h"
#include "export/ArtExport.h"

namespace tessivo {

struct ConvertOptions;

// Runs the whole command: one picture to standard output or to --output's file, or every
// picture into --output-dir, several at once (--jobs), each file as a single conversion of its
// picture would make it. Exit code 0 when all went well, 1 when any picture could not be
// converted or written (each with its line in err, in the pictures' order; the others are still
// converted), 2 when two pictures would be written to the same file or an output would be written
// over one of the pictures or the table file (refused before any work).
ConversionOutput RunConvertCommand(const ConvertOptions& options);

// The file a picture is converted into in the output folder: its name with the format's
// extension in place of its own.
QString OutputFileFor(const QString& picture, const QString& outputDir, ExportFormat format);

} // namespace tessivo
