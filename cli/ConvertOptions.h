#pragma once

#include "art/InkArt.h"
#include "cli/OptionTable.h"
#include "export/ArtExport.h"
#include "settings/SettingsTable.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace tessivo {

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
    QString fontFamily = QStringLiteral("新宋体");
    double fontSize = ExportOptions::DefaultFontSize;
    Dither dither = Dither::Diffusion;
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
