#pragma once

#include <QString>

namespace tessivo {

// A file named on the command line, in a form Qt's file classes can open. A name whose bytes
// are not UTF-8 (see DecodeFileName) is opened here, and the open file is then reached through
// /proc/PID/fd/N, by this process and by the helper processes it starts alike.
class ReachableFile {
public:
    explicit ReachableFile(const QString& name);
    ~ReachableFile();
    ReachableFile(const ReachableFile&) = delete;
    ReachableFile& operator=(const ReachableFile&) = delete;

    const QString& path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

// The name that stands for standard input where a picture is named ("-", as other converters
// take it; a file of that name is "./-").
bool IsStandardInput(const QString& name);
// Reads standard input whole, once, into memory that the picture's readers (and the helper
// processes they start) reach as a file, which ReachableFile("-") then names. Empty when read;
// else why not, in a line: it held more than limit bytes, or could not be read.
QString ReadStandardInput(qint64 limit);

// Why a file named on the command line cannot be read, in the system's words ("No such file or
// directory", "Is a directory", ...); empty where it opens as a file.
QString WhyUnopenable(const QString& name);

} // namespace tessivo
