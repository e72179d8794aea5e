#pragma once

#include <QStringList>

namespace tessivo {

// What the image readers and their libraries say while a picture is decoded: kept for the
// decode, which knows which picture they are about, instead of reaching standard error without
// its name. While one lives, the messages of Qt's image readers (qt.gui.imageio...) and what the
// decoding libraries write to standard error themselves (libpng's errors) are kept in it, when
// this thread says them; other threads' messages, and this thread's others, pass as before.
// Nested ones keep the messages in the innermost.
class DecoderMessages {
public:
    DecoderMessages();
    ~DecoderMessages();
    DecoderMessages(const DecoderMessages&) = delete;
    DecoderMessages& operator=(const DecoderMessages&) = delete;

    // One a message, as said.
    QStringList lines() const;

    // Kept here, for the decoders' messages of this thread while this lives.
    void add(const QString& text);

private:
    DecoderMessages* m_outer = nullptr;
    QString m_text; // complete lines, each ending in a line feed, and the start of the next
};

// What a decoder's message means for the picture, in the program's words.
enum class DecoderVerdict {
    Note,       // nothing was lost: the picture is what its file holds
    CutShort,   // the data ends before the picture does
    Damaged,    // the data is damaged partway
    OverMemory, // the reader refused the memory the picture would take
};
DecoderVerdict VerdictOf(const QString& message);
// The meaning of a message, as a message of the program's own: "the picture is incomplete: its
// data ends before the picture does"; the message itself, quoted, where it is none the program
// knows.
QString ProgramWordsFor(const QString& message);

} // namespace tessivo
