#include "cli/CommandLine.h"

#include "engine/OutputFile.h"

#include <QString>

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
