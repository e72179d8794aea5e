#pragma once

#include <QByteArray>

class QFile;

namespace tessivo {

// The bytes of an open file, mapped into memory rather than copied into it: the pages are the
// system's file cache, read in as they are first used. Should the file be cut short while it is
// mapped (another program truncates it), reading past its new end would end the program with
// SIGBUS; instead, from there on, the mapping reads as zeros and damaged() tells so. Whatever was
// read from such a mapping is to be thrown away.
class MappedFile {
public:
    // Maps the whole of a plain file opened for reading; bytes() stays empty where it cannot.
    explicit MappedFile(QFile& file);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // The file's bytes, without a copy: valid only while this lives.
    QByteArray bytes() const;
    // Whether the file was found cut short while mapped.
    bool damaged() const;
    // Gives the pages wholly before offset back to the system: a reader that has passed them
    // keeps only what it still reads in memory. Read again, they come back from the file.
    void release(qsizetype offset) const;

private:
    const char* m_data = nullptr;
    qsizetype m_size = 0;
    int m_slot = -1;
};

} // namespace tessivo
