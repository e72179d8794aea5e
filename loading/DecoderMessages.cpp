#include "loading/DecoderMessages.h"

#include <QLatin1StringView>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace tessivo {

namespace {

thread_local DecoderMessages* innermost = nullptr;
QtMessageHandler nextHandler = nullptr;

// Qt's image readers say what they meet through the logging categories qt.gui.imageio and
// qt.gui.imageio.FORMAT (the JPEG reader passes on libjpeg's warnings so).
void keepReaderMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (innermost && type != QtFatalMsg && context.category &&
        QLatin1StringView(context.category).startsWith(QLatin1StringView("qt.gui.imageio"))) {
        innermost->add(message + QLatin1Char('\n'));
        return;
    }
    if (nextHandler)
        nextHandler(type, context, message);
}

// libpng writes its errors to standard error itself, past Qt. Standard error becomes a stream
// that hands what a thread writes while it decodes to its DecoderMessages, and writes the rest
// where standard error went before.
ssize_t writeStandardError(void*, const char* text, size_t size)
{
    if (innermost) {
        innermost->add(QString::fromLocal8Bit(text, qsizetype(size)));
        return ssize_t(size);
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(STDERR_FILENO, text + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return done > 0 ? ssize_t(done) : -1;
        done += size_t(n);
    }
    return ssize_t(done);
}

void takeMessagesOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        nextHandler = qInstallMessageHandler(keepReaderMessages);
        cookie_io_functions_t functions{nullptr, writeStandardError, nullptr, nullptr};
        if (FILE* stream = ::fopencookie(nullptr, "w", functions)) {
            // Unbuffered: each write reaches the thread's messages, or standard error, at once.
            ::setvbuf(stream, nullptr, _IONBF, 0);
            ::fflush(stderr);
            stderr = stream;
        }
    });
}

bool contains(const QString& message, const char* text)
{
    return message.contains(QLatin1StringView(text), Qt::CaseInsensitive);
}

} // namespace

DecoderMessages::DecoderMessages()
    : m_outer(innermost)
{
    takeMessagesOnce();
    innermost = this;
}

DecoderMessages::~DecoderMessages()
{
    innermost = m_outer;
}

void DecoderMessages::add(const QString& text)
{
    m_text += text;
}

QStringList DecoderMessages::lines() const
{
    QStringList lines;
    for (const QString& line : m_text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed());
    }
    return lines;
}

namespace {

constexpr QLatin1StringView PngError("libpng error: ");
constexpr QLatin1StringView PngWarning("libpng warning: ");

// A message without the prefix a library gives its own.
QString withoutPrefix(const QString& message)
{
    for (const QLatin1StringView prefix : {PngError, PngWarning}) {
        if (message.startsWith(prefix))
            return message.mid(prefix.size());
    }
    return message;
}

} // namespace

DecoderVerdict VerdictOf(const QString& message)
{
    // libjpeg's "Premature end of JPEG file" and "premature end of data segment" (the rest of the
    // picture is then grey); libpng's "Not enough image data", and "Read Error" where Qt found
    // the file's end.
    if (contains(message, "premature end") || contains(message, "not enough image data") ||
        withoutPrefix(message) == QLatin1StringView("Read Error"))
        return DecoderVerdict::CutShort;
    if (contains(message, "exceeds the current allocation limit"))
        return DecoderVerdict::OverMemory;
    // Bytes between a JPEG's parts are left out, and nothing of the picture with them.
    if (contains(message, "extraneous bytes before marker"))
        return DecoderVerdict::Note;
    for (const char* damage : {"corrupt jpeg data", "crc error", "incorrect header check",
                               "incorrect data check", "invalid distance", "invalid code",
                               "invalid block type", "invalid stored block", "too far back"}) {
        if (contains(message, damage))
            return DecoderVerdict::Damaged;
    }
    // libpng gives up on anything else it cannot read in the picture's data.
    return message.startsWith(PngError) ? DecoderVerdict::Damaged : DecoderVerdict::Note;
}

QString ProgramWordsFor(const QString& said)
{
    const QString message = withoutPrefix(said);
    switch (VerdictOf(said)) {
    case DecoderVerdict::CutShort:
        return QStringLiteral("the picture is incomplete: its data ends before the picture does");
    case DecoderVerdict::Damaged:
        return QStringLiteral("the picture's data is damaged (its decoder found \"%1\")")
            .arg(message);
    case DecoderVerdict::OverMemory:
        return QStringLiteral("the picture is too large: its decoder would take more memory "
                              "than it may");
    case DecoderVerdict::Note: break;
    }
    return QStringLiteral("the picture does not read (its decoder says \"%1\")").arg(message);
}

} // namespace tessivo
