#include "cli/CommandLine.h"

#include "engine/OutputFile.h"

#include <QString>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tessivo {

QStringList ArgumentsOf(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(DecodeFileName(QByteArray(argv[i])));
    return args;
}

namespace {

QtMessageHandler qtHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg && message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    qtHandler(type, context, message);
}

} // namespace

void QuietenQtNotes()
{
    qtHandler = qInstallMessageHandler(quietHandler);
}

void HoldStandardStreams()
{
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free number: the stream's own, those below it being held already.
        const int held =
            ::open("/dev/null", (stream == STDERR_FILENO ? O_WRONLY : O_RDONLY) | O_NOCTTY);
        if (held >= 0 && held != stream) {
            ::dup2(held, stream);
            ::close(held);
        }
    }
}

int Finish(const char* program, const QByteArray& out, const QByteArray& err, int code)
{
    const bool written = WriteAll(STDOUT_FILENO, out);
    const int error = errno;
    WriteAll(STDERR_FILENO, err);
    if (written)
        return code;
    WriteAll(STDERR_FILENO, QStringLiteral("%1: cannot write to standard output: %2\n")
                                .arg(QLatin1String(program), SystemErrorText(error))
                                .toUtf8());
    return 1;
}

} // namespace tessivo
