#pragma once

#include <QByteArray>
#include <QString>

namespace tessivo {

// File names as the bytes they are. Qt reaches the file system through UTF-8, so a name whose
// bytes are not UTF-8 cannot be kept in a QString as it is: each such byte is kept as the lone
// surrogate U+DC80 + (byte - 0x80), which only EncodeFileName turns back into the byte.
QString DecodeFileName(const QByteArray& bytes);
QByteArray EncodeFileName(const QString& name);
// Whether Qt's own file classes reach the file of this name: its bytes are UTF-8.
bool QtReachesFileName(const QString& name);

// The system's description of an error number, in English whatever the locale.
QString SystemErrorText(int error);

// Writes all the bytes to a file descriptor, unbuffered; false with errno set when it cannot.
bool WriteAll(int fd, const QByteArray& bytes);

// An output that is never left half written. A plain file (or the file a link leads to) is
// written as a new file beside it and renamed over it only when every byte has reached it, with
// the permissions and owner of the file it replaces; until then, and on any failure, the old
// file stays as it was. The new file's name is the file's with ".PID-N.part" added, its stem
// cut where that would be longer than the folder allows. A link that leads to no file yet gets
// the file it names. A device, a pipe or a terminal is written straight, as a shell's
// redirection does, and stays what it is; so is an open file named through /proc/PID/fd
// (/dev/stdout, /dev/fd/N): the program's own is written through its descriptor, after what is
// there, another process's added to. A file that is read-only is left alone, also by root, which
// the system would let write it.
class OutputFile {
public:
    enum class Problem {
        None,
        Exists,   // told to keep existing files, and the file exists
        ReadOnly, // the file exists and may not be written
        System,   // the system refused: systemError() tells why
        NoReader, // told never to wait: a pipe that nothing reads
        Stalled,  // told never to wait: a pipe or device that stopped taking what is written
    };

    // When to wait for the disk before the new file is put in place: always (a file the user
    // saves), where it replaces a file (whose content a crash must not cost; a new file can be
    // made again), or never (files made again from their pictures at will).
    enum class Sync { Always, WhenReplacing, Never };

    struct Options {
        bool keepExisting = false; // refuse a plain file that exists instead of replacing it
        Sync sync = Sync::Always;
        // A window must not hang: a pipe or device is opened without waiting for a reader, and
        // given up when it takes nothing for StalledMilliseconds.
        bool neverWait = false;
    };
    static constexpr int StalledMilliseconds = 3000;

    explicit OutputFile(QByteArray name);
    // An output not committed is thrown away: its new file is removed, the old one kept.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open(Options options);
    bool write(const QByteArray& bytes);
    // Puts the file in place; false, with the old file kept, when anything before failed.
    bool commit();
    void discard();

    Problem problem() const { return m_problem; }
    int systemError() const { return m_error; }
    // Why the output failed, in English.
    QString errorString() const;

private:
    bool fail(Problem problem, int error = 0);
    void release();

    QByteArray m_name;
    QByteArray m_target;    // the file to be replaced: the name, or where its links lead
    QByteArray m_temporary; // the new file beside it; empty when written straight
    Options m_options;
    bool m_replacing = false; // a plain file is there
    int m_fd = -1;
    int m_slot = -1; // where the new file is registered for removal on an interrupt
    Problem m_problem = Problem::None;
    int m_error = 0;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the new files of outputs not yet committed and end the
// program at once with 128 + the signal's number: no file is left half written, none started.
void RemoveOutputsOnInterrupt();

} // namespace tessivo
