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

// Writes a tool's standard output and error; returns the exit code: code, or 1 with a message
// naming the system's reason when standard output could not take every byte (a full disk, a
// closed pipe).
int Finish(const char* program, const QByteArray& out, const QByteArray& err, int code);

} // namespace tessivo
