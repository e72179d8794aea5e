#pragma once

#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>

namespace tessivo {

// The window font: 9-point Song, which the window's layout is measured in.
QFont WindowFont();

// Installs Qt's own Chinese texts (the buttons of message boxes, the context menus of text boxes)
// from folder, whatever the system's language. A second call replaces the first one's. Returns
// false, and leaves Qt's texts as they were, when folder has no such translation.
bool InstallQtTranslation(const QString& folder);
// The same, from the folder where Qt's translations are installed.
bool InstallQtTranslation();

// The program's icon at every size it is drawn in.
QIcon ProgramIcon();

// What the program sets up before its window: the font substitutes, the window font, Qt's
// Chinese texts.
void SetUpApplication();

// The command line of the window program: tessivo [PICTURE], or --help or --version, which
// print and end the program before any window is made.
struct WindowCommandLine {
    enum class Action { Run, PrintAndExit, Fail };
    Action action = Action::Run;
    QString picture; // to open once the window has started, or empty
    QString text;    // to print, for PrintAndExit (standard output) and Fail (standard error)
};
WindowCommandLine ParseWindowCommandLine(const QStringList& arguments);

// Where the table file is looked for at start-up, in order: the working folder, the program's
// folder, then tessivo/ in the user's configuration folder ($XDG_CONFIG_HOME, normally
// ~/.config). A place that cannot be told is left out.
QStringList TableFileFolders();

} // namespace tessivo
