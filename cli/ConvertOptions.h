#pragma once

#include "art/InkArt.h"
#include "cli/OptionTable.h"
#include "export/ArtExport.h"
#include "settings/SettingsTable.h"

#include <QString>
#include <QStringList>

#include <climits>
#include <map>
#include <optional>

namespace tessivo {

// The frames of a moving picture that are converted, numbered from 1: all of them, the first, or
// those from first to last.
struct FrameChoice {
    static constexpr int ToTheEnd = INT_MAX;
    int first = 1;
    int last = 1;
    bool given = false; // --frames was given; otherwise the format's own choice

    bool one() const { return first == last; }
};

// The command line of tessivo-convert. Every setting option takes a whole number inside the
// range of the setting it stands for; an option left out keeps the value the window starts with.
struct ConvertOptions {
    QString picture; // the first of pictures
    QStringList pictures;
    QString output = QStringLiteral("-"); // a file, or - for standard output
    QString outputDir;                    // for several pictures: one file each, in this folder
    int jobs = 0;                         // pictures converted at once; 0: one per processor
    ExportOptions exportOptions;
    QString tableFile;
    std::map<Setting, int> settings; // only the settings given on the command line
    bool removeBlankLines = false;
    bool noFooter = false;
    bool noClobber = false; // an output file that exists is refused, not replaced
    CharacterChoice mode = CharacterChoice::Tone;
    // The ink mode's grid: 0 where not given (taken from the other side and the picture's
    // proportions, or from SampleX), and the font its rows are measured in.
    int columns = 0;
    int lines = 0;
    // When the lines follow from the columns, at most this many (0: any): the columns then
    // follow from the lines. Art played in place on a terminal must fit its lines.
    int mostLines = 0;
    QString fontFamily = QStringLiteral("新宋体");
    double fontSize = ExportOptions::DefaultFontSize;
    Dither dither = Dither::Diffusion;
    // Moving pictures: the frames, how many times they are played (0: as often as the file
    // says, PlayForever: until interrupted) and how much faster than the file says.
    FrameChoice frames;
    static constexpr int PlayForever = -1;
    int plays = 0;
    double speed = 1;
    // Standard output is a terminal, where ansi art of several frames is played in place.
    bool toTerminal = false;
    // With toTerminal: the terminal's lines, which art played in place must not pass; 0 unknown.
    int terminalLines = 0;
    // A moving picture's art goes to standard output as it is made, rather than in the output
    // returned: a long stream is never held whole.
    bool streamToStandardOutput = false;
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    std::optional<ConvertOptions> options;
    QString error; // one line, set when options is empty
};

// args: the arguments after the program name.
ParsedCommandLine ParseConvertOptions(const QStringList& args);

QString ConvertUsage();
QString ConvertVersion();

} // namespace tessivo
