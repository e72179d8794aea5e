#include "canvas/Fonts.h"
#include "cli/CommandLine.h"
#include "cli/TableOptions.h"
#include "cli/TableTool.h"
#include "engine/OutputFile.h"

#include <QDateTime>
#include <QGuiApplication>

#include <cstdlib>

namespace {

constexpr char Program[] = "tessivo-table";

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
    tessivo::HoldStandardStreams();
    tessivo::RemoveOutputsOnInterrupt();
    const tessivo::ParsedTableCommandLine parsed =
        tessivo::ParseTableOptions(tessivo::ArgumentsOf(argc, argv));
    if (!parsed.options)
        return tessivo::Finish(Program, {}, (parsed.error + QLatin1Char('\n')).toUtf8(), 2);
    if (parsed.options->help)
        return tessivo::Finish(Program, tessivo::TableUsage().toUtf8(), {}, 0);
    if (parsed.options->version)
        return tessivo::Finish(Program, tessivo::TableVersion().toUtf8(), {}, 0);

    // Glyphs are drawn into images only; no window is shown, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    tessivo::QuietenQtNotes();
    QGuiApplication app(argc, argv);
    tessivo::RegisterFontSubstitutes();

    const tessivo::TableToolOutput output = tessivo::RunTableTool(*parsed.options, madeAt());
    return tessivo::Finish(Program, output.out, output.err, output.exitCode);
}
