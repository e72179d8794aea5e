#include "cli/ConvertCommand.h"

#include "cli/ConvertOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

namespace tessivo {

namespace {

QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("tessivo-convert: cannot write %1: %2\n").arg(path, reason);
}

// Writes the bytes to the file whole, or leaves the file as it was. Returns an error message.
QString writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return cannotWrite(path, file.errorString());
    return {};
}

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            return false;
    }
    return true;
}

// One file of a folder of pictures, as writeFile, but not forced to the disk before it replaces
// the target: waiting on the disk for each file took longer than converting the pictures, and the
// files can be made again from them at will (other converters leave all their writing to the
// system). The bytes go to a new file beside the target, which is then renamed over it, with the
// permissions of the file it replaces. A target that is not a plain file is left to writeFile.
QString replaceFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat existing {};
    const bool exists = ::lstat(target.constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return writeFile(path, bytes);

    static std::atomic<unsigned> serial = 0;
    QByteArray temporary;
    int fd = -1;
    do {
        temporary = target + '.' + QByteArray::number(::getpid()) + '-' +
                    QByteArray::number(serial++) + ".part";
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EEXIST);
    if (fd < 0)
        return cannotWrite(path, qt_error_string(errno));
    bool written = (!exists || ::fchmod(fd, existing.st_mode & 07777) == 0) && writeAll(fd, bytes);
    int error = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && ::rename(temporary.constData(), target.constData()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(temporary.constData());
        return cannotWrite(path, qt_error_string(error));
    }
    return {};
}

// One picture converted into its file; the output carries only the exit code and messages.
ConversionOutput convertInto(const ConvertOptions& options, const QString& path,
                             QString (*write)(const QString&, const QByteArray&) = writeFile)
{
    ConversionOutput output = RunConversion(options);
    if (output.exitCode == 0) {
        const QString error = write(path, output.out);
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
            ConversionOutput output = convertInto(one, targets[i], replaceFile);
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
