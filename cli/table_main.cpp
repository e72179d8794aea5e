#include "canvas/Fonts.h"
#include "cli/TableOptions.h"
#include "cli/TableTool.h"

#include <QDateTime>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

namespace {

void write(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The time the table names: SOURCE_DATE_EPOCH when it is set, so that a build can make the
// same file twice.
QDateTime madeAt()
{
    bool ok = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&ok);
    if (ok)
        return QDateTime::fromSecsSinceEpoch(epoch, Qt::UTC);
    return QDateTime::currentDateTime().toOffsetFromUtc(
        QDateTime::currentDateTime().offsetFromUtc());
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const tessivo::ParsedTableCommandLine parsed = tessivo::ParseTableOptions(args);
    if (!parsed.options) {
        write(stderr, (parsed.error + QLatin1Char('\n')).toUtf8());
        return 2;
    }
    if (parsed.options->help) {
        write(stdout, tessivo::TableUsage().toUtf8());
        return 0;
    }
    if (parsed.options->version) {
        write(stdout, tessivo::TableVersion().toUtf8());
        return 0;
    }

    // Glyphs are drawn into images only; no window is shown, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    tessivo::RegisterFontSubstitutes();

    const tessivo::TableToolOutput output = tessivo::RunTableTool(*parsed.options, madeAt());
    write(stdout, output.out);
    write(stderr, output.err);
    return output.exitCode;
}
