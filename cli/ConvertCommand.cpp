#include "cli/ConvertCommand.h"

#include "cli/ConvertOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace tessivo {

namespace {

// Writes the bytes to the file whole, or leaves the file as it was. Returns an error message.
QString writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("tessivo-convert: cannot write %1: %2\n")
            .arg(path, file.errorString());
    return {};
}

// One picture converted into its file; the output carries only the exit code and messages.
ConversionOutput convertInto(const ConvertOptions& options, const QString& path)
{
    ConversionOutput output = RunConversion(options);
    if (output.exitCode == 0) {
        const QString error = writeFile(path, output.out);
        if (!error.isEmpty()) {
            output.exitCode = 1;
            output.err += error.toUtf8();
        }
    }
    output.out.clear();
    return output;
}

// A failure among many as one line that names its picture.
QByteArray oneLineFor(const QString& picture, const QByteArray& err)
{
    QString message = QString::fromUtf8(err).trimmed();
    const QString program = QStringLiteral("tessivo-convert: ");
    if (message.startsWith(program))
        message.remove(0, program.size());
    if (message.startsWith(picture + QLatin1String(": ")))
        message.remove(0, picture.size() + 2);
    message.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return (program + picture + QLatin1String(": ") + message + QLatin1Char('\n')).toUtf8();
}

ConversionOutput convertAll(const ConvertOptions& options)
{
    ConversionOutput result;
    const ExportFormat format = options.exportOptions.format;
    QStringList targets;
    QSet<QString> taken;
    for (const QString& picture : options.pictures) {
        const QString target = OutputFileFor(picture, options.outputDir, format);
        if (taken.contains(target)) {
            result.exitCode = 2;
            result.err =
                QStringLiteral("tessivo-convert: two pictures would both be written to %1\n")
                    .arg(target)
                    .toUtf8();
            return result;
        }
        taken.insert(target);
        targets.append(target);
    }
    if (!QDir().mkpath(options.outputDir)) {
        result.exitCode = 1;
        result.err = QStringLiteral("tessivo-convert: cannot make the folder %1\n")
                         .arg(options.outputDir)
                         .toUtf8();
        return result;
    }

    // Each job takes the next picture not yet taken, with a Canvas and a run of its own.
    const qsizetype count = options.pictures.size();
    std::vector<ConversionOutput> outputs(std::size_t(count), ConversionOutput{});
    std::atomic<qsizetype> next = 0;
    const auto work = [&] {
        for (qsizetype i = next++; i < count; i = next++) {
            ConvertOptions one = options;
            one.picture = options.pictures[i];
            one.pictures = {one.picture};
            ConversionOutput output = convertInto(one, targets[i]);
            if (output.exitCode != 0)
                output.err = oneLineFor(one.picture, output.err);
            outputs[std::size_t(i)] = std::move(output);
        }
    };
    const int processors = std::max(QThread::idealThreadCount(), 1);
    const int jobs = int(std::min<qsizetype>(options.jobs > 0 ? options.jobs : processors, count));
    std::vector<std::thread> threads;
    for (int j = 1; j < jobs; ++j)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();

    for (const ConversionOutput& output : outputs) {
        result.err += output.err;
        result.exitCode = std::max(result.exitCode, output.exitCode);
    }
    return result;
}

} // namespace

QString OutputFileFor(const QString& picture, const QString& outputDir, ExportFormat format)
{
    return QDir(outputDir).filePath(QFileInfo(picture).completeBaseName() + QLatin1Char('.') +
                                    FormatExtension(format));
}

ConversionOutput RunConvertCommand(const ConvertOptions& options)
{
    if (!options.outputDir.isEmpty())
        return convertAll(options);
    if (options.output == QLatin1String("-"))
        return RunConversion(options);
    return convertInto(options, options.output);
}

} // namespace tessivo
