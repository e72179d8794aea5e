#pragma once

#include <QByteArray>
#include <QStringList>

namespace tessivo {

// What the command-line tools share around their work.

// The arguments after the program's name; file names are kept as the bytes they are
// (DecodeFileName).
QStringList ArgumentsOf(int argc, char* argv[]);

// Leaves out Qt's notes about folders the tools never use (the runtime folder that a session
// without XDG_RUNTIME_DIR lacks), which would stand among the tool's own messages.
void QuietenQtNotes();

// A standard stream the tool was started without (closed, as by >&-) is held by /dev/null before
// anything is opened: a file opened later would otherwise take its number, and the tool's output
// or messages would go into that file. Standard output is then held for reading only, so that
// Finish fails as writing to a closed one does.
void HoldStandardStreams();

// Writes a tool's standard output and error; returns the exit code: code, or 1 with a message
// naming the system's reason when standard output could not take every byte (a full disk, a
// closed pipe).
int Finish(const char* program, const QByteArray& out, const QByteArray& err, int code);

} // namespace tessivo
