#include "cli/AnimationCommand.h"

#include "cli/ConvertOptions.h"
#include "cli/FileArguments.h"
#include "cli/TerminalPlay.h"
#include "engine/GenerationRun.h"
#include "engine/Rounding.h"
#include "export/ArtAnimation.h"
#include "loading/AnimatedPicture.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace tessivo {

namespace {

// A terminal's frames are kept for the plays after the first up to this many bytes; past it, the
// picture is read and converted again for each play.
constexpr qint64 MostKeptTerminalBytes = qint64(64) * 1024 * 1024;

ConversionOutput failed(const QString& message)
{
    ConversionOutput output;
    output.exitCode = 1;
    output.err = message.toUtf8();
    return output;
}

QString cannotWrite(const QString& name, const QString& reason)
{
    return QStringLiteral("tessivo-convert: cannot write %1: %2\n")
        .arg(QuotedForMessage(name), reason);
}

// How long a frame is shown at the options' speed: at least a millisecond.
int atSpeed(int delay, double speed)
{
    return int(std::max<std::int64_t>(1, RoundEven(double(delay) / speed)));
}

// How many times the frames are played: as the options say, or as the file does; 0 for ever.
int playsOf(const ConvertOptions& options, const AnimatedPicture& picture)
{
    if (options.plays == ConvertOptions::PlayForever)
        return 0;
    if (options.plays > 0)
        return options.plays;
    return picture.plays() == AnimatedPicture::Forever ? 0 : picture.plays();
}

// The lines of a frame as the ansi writer writes it.
int linesOf(const QByteArray& ansi)
{
    return int(ansi.count("\r\n")) + (ansi.endsWith("\r\n") ? 0 : 1);
}

// Takes a frame's art as the format writes a still of it, its number and delay at the options'
// speed; false to stop (having said why in the output).
using FrameTaker = std::function<bool(const QByteArray& still, int number, int delay)>;

// Reads the picture's frames and converts the chosen ones as they are read. False when it
// stopped on a failure, which output then holds; a problem after some frames were converted is a
// warning.
bool convertFrames(const ConvertOptions& options, AnimatedPicture& picture,
                   FrameConversion& conversion, ConversionOutput& output, const FrameTaker& take)
{
    const FrameChoice& chosen = options.frames;
    const QString name = QuotedForMessage(options.picture);
    int converted = 0;
    while (picture.next()) {
        const int number = picture.number();
        if (number < chosen.first)
            continue;
        if (converted == MostConvertedFrames) {
            output.err += QStringLiteral("tessivo-convert: warning: %1: only its first %2 frames "
                                         "chosen are converted (see --frames)\n")
                              .arg(name)
                              .arg(MostConvertedFrames)
                              .toUtf8();
            return true;
        }
        const ConversionOutput written = conversion.written(conversion.art(&picture.image()));
        if (written.exitCode != 0) {
            output.exitCode = written.exitCode;
            output.err += written.err;
            return false;
        }
        ++converted;
        if (!take(written.out, number, atSpeed(picture.delay(), options.speed)))
            return false;
        if (number >= chosen.last)
            return true;
    }
    if (picture.problem().isEmpty())
        return true;
    if (converted == 0) {
        output.exitCode = 1;
        output.err +=
            QStringLiteral("tessivo-convert: %1: %2\n").arg(name, picture.problem()).toUtf8();
        return false;
    }
    output.err += QStringLiteral("tessivo-convert: warning: %1: %2; %3 converted\n")
                      .arg(name, picture.problem(),
                           converted == 1 ? QStringLiteral("1 frame is")
                                          : QStringLiteral("%1 frames are").arg(converted))
                      .toUtf8();
    return true;
}

// Each frame in a file of its own beside target, and the list of them.
ConversionOutput writeFrameFiles(const ConvertOptions& options, AnimatedPicture& picture,
                                 FrameConversion& conversion, ConversionOutput output,
                                 const QString& target, OutputFile::Options fileOptions)
{
    QByteArray list = "frame\tfile\tdelay_ms\n";
    int written = 0;
    const int count = picture.frameCount();
    convertFrames(
        options, picture, conversion, output, [&](const QByteArray& still, int number, int delay) {
            const QString name = FrameFileName(target, number, count);
            OutputFile file(EncodeFileName(name));
            if (!(file.open(fileOptions) && file.write(still) && file.commit())) {
                output.exitCode = 1;
                output.err += cannotWrite(name, file.errorString()).toUtf8();
                return false;
            }
            ++written;
            list += QByteArray::number(number) + '\t' + EncodeFileName(QFileInfo(name).fileName()) +
                    '\t' + QByteArray::number(delay) + '\n';
            return true;
        });
    // The files written are listed, also when a later one failed.
    if (written > 0) {
        const QString name = FrameListName(target);
        OutputFile file(EncodeFileName(name));
        if (!(file.open(fileOptions) && file.write(list) && file.commit())) {
            output.exitCode = 1;
            output.err += cannotWrite(name, file.errorString()).toUtf8();
        }
    }
    return output;
}

// The chosen frames on a terminal, played in place as many times as asked.
ConversionOutput play(const ConvertOptions& options, std::unique_ptr<AnimatedPicture> picture,
                      FrameConversion& conversion, ConversionOutput output,
                      const TerminalDevice& device, StandardOutputTerminal* standardOutput)
{
    TerminalPlayer player(device);
    const int plays = playsOf(options, *picture);
    QList<std::pair<QByteArray, int>> kept;
    qint64 keptBytes = 0;
    bool keptAll = true;
    const auto put = [&](const QByteArray& still, int delay) {
        if (player.show(still, delay))
            return true;
        output.exitCode = 1;
        output.err += QByteArray("tessivo-convert: cannot write to the terminal\n");
        return false;
    };
    const auto show = [&](const QByteArray& still, int, int delay) {
        if (kept.isEmpty() && standardOutput)
            standardOutput->setLines(linesOf(still));
        if (keptAll && keptBytes + still.size() <= MostKeptTerminalBytes) {
            kept.append({still, delay});
            keptBytes += still.size();
        } else {
            keptAll = false;
            kept.clear();
        }
        return put(still, delay);
    };
    bool going = convertFrames(options, *picture, conversion, output, show);
    const ReachableFile file(options.picture);
    for (int done = 1; going && (plays == 0 || done < plays); ++done) {
        if (keptAll) {
            for (qsizetype i = 0; going && i < kept.size(); ++i)
                going = put(kept[i].first, kept[i].second);
            continue;
        }
        // Read again: what went wrong the first time is not said again.
        picture = std::move(AnimatedPicture::open(file.path()).picture);
        ConversionOutput again;
        going = picture && convertFrames(options, *picture, conversion, again, show);
    }
    player.finish();
    return output;
}

std::optional<ConversionOutput> convertMoving(const ConvertOptions& options, const QString& target,
                                              OutputFile::Options fileOptions,
                                              const InkPalette* palette,
                                              const TerminalDevice* terminal)
{
    const ReachableFile file(options.picture);
    AnimatedPicture::Opened opened = AnimatedPicture::open(file.path());
    const QString name = QuotedForMessage(options.picture);
    if (!opened.picture) {
        if (!opened.tooLarge)
            return std::nullopt;
        return failed(QStringLiteral("tessivo-convert: %1: the picture is too large: two of its "
                                     "frames, held at once, would take more than %2 MiB\n")
                          .arg(name)
                          .arg(PictureMemoryLimit() / (1024 * 1024)));
    }
    AnimatedPicture& picture = *opened.picture;
    const FrameChoice& chosen = options.frames;
    if (chosen.first > picture.frameCount())
        return failed(QStringLiteral("tessivo-convert: %1: --frames starts at frame %2, and the "
                                     "picture has %3 frames\n")
                          .arg(name)
                          .arg(chosen.first)
                          .arg(picture.frameCount()));
    const bool several = std::min(chosen.last, picture.frameCount()) > chosen.first;
    const ExportFormat format = options.exportOptions.format;
    const bool playing = several && format == ExportFormat::Ansi && target.isEmpty() &&
                         options.outputDir.isEmpty() && (terminal || options.toTerminal);

    // Played in place, the art must fit the terminal, its footer and a line for the cursor.
    ConvertOptions own = options;
    if (playing && options.terminalLines > 0) {
        const int footer = options.noFooter ? 0 : int(GenerationRun::Footer.count(u"\r\n")) + 1;
        own.mostLines = std::max(1, options.terminalLines - footer - 1);
    }
    FrameConversion conversion(own, palette);
    if (conversion.failure())
        return *conversion.failure();
    ConversionOutput output;
    output.err = conversion.warnings();

    if (!options.outputDir.isEmpty() && chosen.given)
        return writeFrameFiles(own, picture, conversion, std::move(output), target, fileOptions);
    if (playing) {
        if (terminal)
            return play(own, std::move(opened.picture), conversion, std::move(output), *terminal,
                        nullptr);
        StandardOutputTerminal standardOutput;
        return play(own, std::move(opened.picture), conversion, std::move(output),
                    standardOutput.device(), &standardOutput);
    }

    // One file, or standard output: a still of the one frame chosen, or the frames joined.
    std::unique_ptr<OutputFile> out;
    if (!target.isEmpty()) {
        out = std::make_unique<OutputFile>(EncodeFileName(target));
        if (!out->open(fileOptions))
            return failed(cannotWrite(target, out->errorString()));
    }
    bool writeFailed = false;
    int standardOutputError = 0;
    const auto send = [&](const QByteArray& bytes) {
        if (out) {
            writeFailed = !out->write(bytes);
            return !writeFailed;
        }
        if (!options.streamToStandardOutput) {
            output.out += bytes;
            return true;
        }
        if (WriteAll(STDOUT_FILENO, bytes))
            return true;
        standardOutputError = errno;
        return false;
    };
    std::unique_ptr<ArtAnimation> joined;
    if (several && format == ExportFormat::Html)
        joined = std::make_unique<HtmlAnimation>();
    else if (several && format == ExportFormat::Svg)
        joined = std::make_unique<SvgAnimation>();
    bool first = true;
    bool done = convertFrames(own, picture, conversion, output,
                              [&](const QByteArray& still, int, int delay) {
                                  if (joined) {
                                      joined->add(still, delay);
                                      return true;
                                  }
                                  if (!several)
                                      return send(still);
                                  // A terminal's stream: each frame from the top-left corner.
                                  QByteArray frame = first ? terminal::ClearScreen : "";
                                  first = false;
                                  return send(frame + terminal::CursorHome + still);
                              });
    if (done && joined && joined->frameCount() > 0 &&
        !joined->finish(playsOf(options, picture), send)) {
        done = false;
        if (!writeFailed && standardOutputError == 0) {
            output.exitCode = 1;
            output.err += QByteArray("tessivo-convert: the frames kept for the page could not be "
                                     "read back from the temporary folder\n");
        }
    }
    if (done && out && !out->commit()) {
        done = false;
        writeFailed = true;
    }
    if (writeFailed) {
        output.exitCode = 1;
        output.err += cannotWrite(target, out->errorString()).toUtf8();
    }
    if (standardOutputError != 0) {
        output.exitCode = 1;
        output.err += QStringLiteral("tessivo-convert: cannot write to standard output: %1\n")
                          .arg(SystemErrorText(standardOutputError))
                          .toUtf8();
    }
    if (!done)
        output.out.clear();
    return output;
}

} // namespace

std::optional<ConversionOutput> ConvertMovingPicture(const ConvertOptions& options,
                                                     const QString& target,
                                                     OutputFile::Options fileOptions,
                                                     const InkPalette* palette)
{
    return convertMoving(options, target, fileOptions, palette, nullptr);
}

std::optional<ConversionOutput> PlayMovingPicture(const ConvertOptions& options,
                                                  const TerminalDevice& terminal)
{
    return convertMoving(options, {}, {}, nullptr, &terminal);
}

QString FrameFileName(const QString& target, int frame, int frameCount)
{
    const QFileInfo info(target);
    const int digits = std::max(4, int(QString::number(frameCount).size()));
    return info.dir().filePath(info.completeBaseName() + QLatin1Char('-') +
                               QStringLiteral("%1").arg(frame, digits, 10, QLatin1Char('0')) +
                               QLatin1Char('.') + info.suffix());
}

QString FrameListName(const QString& target)
{
    const QFileInfo info(target);
    return info.dir().filePath(info.completeBaseName() + QLatin1String(".frames.tsv"));
}

} // namespace tessivo
