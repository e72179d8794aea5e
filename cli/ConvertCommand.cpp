#include "cli/ConvertCommand.h"

#include "cli/AnimationCommand.h"
#include "cli/ConvertOptions.h"
#include "cli/FileArguments.h"

#include "engine/OutputFile.h"
#include "loading/PictureDecoder.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tessivo {

namespace {

QString cannotWrite(const QString& name, const QString& reason)
{
    return QStringLiteral("tessivo-convert: cannot write %1: %2\n")
        .arg(QuotedForMessage(name), reason);
}

// One picture converted into its file; the output carries only the exit code and messages. The
// file is opened first, so that an output that cannot be written costs no conversion.
ConversionOutput convertInto(const ConvertOptions& options, const QString& name,
                             OutputFile::Options fileOptions, const InkPalette* palette = nullptr)
{
    if (std::optional<ConversionOutput> moving =
            ConvertMovingPicture(options, name, fileOptions, palette))
        return std::move(*moving);
    OutputFile file(EncodeFileName(name));
    if (!file.open(fileOptions)) {
        ConversionOutput output;
        output.exitCode = 1;
        output.err = cannotWrite(name, file.errorString()).toUtf8();
        return output;
    }
    ConversionOutput output = RunConversion(options, palette);
    if (output.exitCode == 0 && !(file.write(output.out) && file.commit())) {
        output.exitCode = 1;
        output.err += cannotWrite(name, file.errorString()).toUtf8();
    }
    output.out.clear();
    return output;
}

// A failure among many as one line that names its picture.
QByteArray oneLineFor(const QString& picture, const QByteArray& err)
{
    QString message = QString::fromUtf8(err).trimmed();
    const QString program = QStringLiteral("tessivo-convert: ");
    const QString name = QuotedForMessage(picture);
    if (message.startsWith(program))
        message.remove(0, program.size());
    if (message.startsWith(name + QLatin1String(": ")))
        message.remove(0, name.size() + 2);
    message.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return (program + name + QLatin1String(": ") + message + QLatin1Char('\n')).toUtf8();
}

// The plain file a name leads to, links followed, as the system tells one file from another.
std::optional<std::pair<dev_t, ino_t>> plainFileOf(const QString& name)
{
    struct stat status {};
    if (::stat(EncodeFileName(name).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return std::pair(status.st_dev, status.st_ino);
}

// An output that is one of the inputs (a picture or the table file), under its own name,
// another one or through links, refused before any work: the art would replace what it is made
// from.
QString outputOverInput(const ConvertOptions& options, const QStringList& pictures,
                        const QStringList& outputs)
{
    std::map<std::pair<dev_t, ino_t>, QString> files;
    if (const auto table = plainFileOf(options.tableFile); table && !options.tableFile.isEmpty())
        files.emplace(*table,
                      QStringLiteral("the table file %1").arg(QuotedForMessage(options.tableFile)));
    for (const QString& picture : pictures) {
        if (const auto file = plainFileOf(picture))
            files.emplace(*file, QStringLiteral("the picture %1").arg(QuotedForMessage(picture)));
    }
    for (const QString& output : outputs) {
        const auto file = plainFileOf(output);
        if (const auto found = file ? files.find(*file) : files.end(); found != files.end())
            return QStringLiteral("tessivo-convert: %1 would be written over %2\n")
                .arg(QuotedForMessage(output), found->second);
    }
    return {};
}

ConversionOutput refused(const QString& message)
{
    ConversionOutput result;
    result.exitCode = 2;
    result.err = message.toUtf8();
    return result;
}

ConversionOutput convertAll(const ConvertOptions& options)
{
    ConversionOutput result;
    const ExportFormat format = options.exportOptions.format;
    QStringList targets;
    QHash<QString, QString> taken; // by each output, its picture
    for (const QString& picture : options.pictures) {
        const QString target = OutputFileFor(picture, options.outputDir, format);
        if (const auto first = taken.constFind(target); first != taken.cend()) {
            return refused(QStringLiteral("tessivo-convert: two pictures, %1 and %2, would both be "
                                          "written to %3\n")
                               .arg(QuotedForMessage(*first), QuotedForMessage(picture),
                                    QuotedForMessage(target)));
        }
        taken.insert(target, picture);
        targets.append(target);
    }
    if (const QString error = outputOverInput(options, options.pictures, targets); !error.isEmpty())
        return refused(error);
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
    // Measured once, before the jobs start, and only read by them.
    const std::shared_ptr<const InkPalette> palette =
        options.mode != CharacterChoice::Tone ? InkPaletteFor(options) : nullptr;
    if (palette)
        result.err += FontWarning(options, *palette);
    const auto work = [&] {
        for (qsizetype i = next++; i < count; i = next++) {
            ConvertOptions one = options;
            one.picture = options.pictures[i];
            one.pictures = {one.picture};
            // Files made again from their pictures at will are not waited for on the disk:
            // for a folder of small pictures, the waits took longer than the conversions.
            ConversionOutput output = convertInto(
                one, targets[i], OutputFile::Options{options.noClobber, OutputFile::Sync::Never},
                palette.get());
            if (output.exitCode != 0)
                output.err = oneLineFor(one.picture, output.err);
            outputs[std::size_t(i)] = std::move(output);
        }
    };
    // However many jobs run, the pictures they hold at once take no more memory than one
    // picture may.
    const SharedPictureMemory memory;
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
    if (options.pictures.contains(QStringLiteral("-"))) {
        // One picture from a pipe; a batch names its files (a file called "-" is "./-").
        if (options.pictures.size() > 1)
            return refused(QStringLiteral("tessivo-convert: - (standard input) is a picture of "
                                          "its own, not one of several\n"));
        if (const QString why = ReadStandardInput(PictureMemoryLimit()); !why.isEmpty()) {
            ConversionOutput output;
            output.exitCode = 1;
            output.err = QStringLiteral("tessivo-convert: -: %1\n").arg(why).toUtf8();
            return output;
        }
    }
    if (!options.outputDir.isEmpty())
        return convertAll(options);
    if (options.output == QLatin1String("-")) {
        if (std::optional<ConversionOutput> moving = ConvertMovingPicture(options, {}, {}))
            return std::move(*moving);
        return RunConversion(options);
    }
    if (const QString error = outputOverInput(options, {options.picture}, {options.output});
        !error.isEmpty())
        return refused(error);
    return convertInto(options, options.output,
                       OutputFile::Options{options.noClobber, OutputFile::Sync::WhenReplacing});
}

} // namespace tessivo
