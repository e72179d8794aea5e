#pragma once

#include "cli/Conversion.h"
#include "engine/OutputFile.h"

#include <QString>

#include <optional>

namespace tessivo {

struct ConvertOptions;
class InkPalette;
struct TerminalDevice;

// The most frames of one moving picture that are converted. Each costs a conversion of its own;
// past this many a picture is cut short, with a warning.
constexpr int MostConvertedFrames = 10000;

// Converts a moving picture, an animated GIF or WebP, as the options ask, each frame exactly as a
// still of it converts. Nothing when the picture is not a moving one: the still conversion takes
// it, and says why where it cannot be read.
//
// target is the file the art goes to, or empty for standard output. One frame chosen gives a
// still of it in any format; several give a page or an SVG that plays them, or the terminal's
// stream: every frame once, each after a cursor-home sequence, or on a terminal (toTerminal)
// played in place at the frames' delays. With --output-dir and --frames, each frame chosen gets a
// file of its own beside target instead, named as FrameFileName says, and NAME.frames.tsv lists
// them with their delays. A file is opened before any frame is converted, and replaced only once
// whole.
std::optional<ConversionOutput> ConvertMovingPicture(const ConvertOptions& options,
                                                     const QString& target,
                                                     OutputFile::Options fileOptions,
                                                     const InkPalette* palette = nullptr);

// The same, played on the terminal given rather than standard output's (for the tests).
std::optional<ConversionOutput> PlayMovingPicture(const ConvertOptions& options,
                                                  const TerminalDevice& terminal);

// The file of a frame: target's name with the frame's number before its extension, in four
// digits, or as many as the picture's last frame needs (a.txt, frame 7: a-0007.txt).
QString FrameFileName(const QString& target, int frame, int frameCount);
// The list of a picture's frame files: target's name with .frames.tsv for its extension.
QString FrameListName(const QString& target);

} // namespace tessivo
