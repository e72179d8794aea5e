// Telling metafiles by their content, and drawing them in a child process.

#include "engine/Rounding.h"
#include "loading/LittleEndian.h"
#include "loading/Metafile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <cstring>

namespace tessivo {

namespace {

// What tessivo-metafile may use: generous for any sane metafile (the largest picture allowed
// is 256 MiB of pixels), small enough that a runaway one cannot hurt the machine.
constexpr rlim_t ChildMemoryBytes = rlim_t(1536) * 1024 * 1024;
constexpr rlim_t ChildCpuSeconds = 20;
constexpr int ChildWallMilliseconds = 30000;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SanitizedBuild = true;
#else
constexpr bool SanitizedBuild = false;
#endif
#else
constexpr bool SanitizedBuild = false;
#endif

// tessivo-metafile from the folder of the running program: bin/ and libexec/tessivo/ lie side by
// side once installed, and the build lays out its programs the same way.
constexpr char HelperFromProgramFolder[] = "/../libexec/tessivo/tessivo-metafile";

// The words of a standard Windows metafile's header that tell it: its type (in memory or on
// disk), its header's size in words, and its format's version.
constexpr qsizetype WmfTypeAt = 0;
constexpr qsizetype WmfHeaderWordsAt = 2;
constexpr qsizetype WmfVersionAt = 4;
constexpr qsizetype WmfSniffBytes = 6;
constexpr quint16 WmfInMemory = 1;
constexpr quint16 WmfOnDisk = 2;
constexpr quint16 WmfHeaderWords = 9;
constexpr quint16 WmfVersion1 = 0x0100;
constexpr quint16 WmfVersion3 = 0x0300;
constexpr qsizetype EmfSignatureAt = 40;

constexpr qsizetype BytesPerPixel = 4; // in the reply's rows

// The folder of the running program, also before (or without) a QCoreApplication.
QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QFileInfo(program).absolutePath();
}

} // namespace

MetafileKind SniffMetafile(const QByteArray& head)
{
    if (head.size() >= qsizetype(sizeof(PlaceableKey)) && readLe<quint32>(head, 0) == PlaceableKey)
        return MetafileKind::Wmf;
    if (head.size() >= WmfSniffBytes) {
        const quint16 type = readLe<quint16>(head, WmfTypeAt);
        const quint16 headerWords = readLe<quint16>(head, WmfHeaderWordsAt);
        const quint16 version = readLe<quint16>(head, WmfVersionAt);
        if ((type == WmfInMemory || type == WmfOnDisk) && headerWords == WmfHeaderWords &&
            (version == WmfVersion3 || version == WmfVersion1))
            return MetafileKind::Wmf;
    }
    if (head.size() >= MetafileSniffBytes && readLe<quint32>(head, 0) == EmrHeader &&
        readLe<quint32>(head, EmfSignatureAt) == EmfSignature)
        return MetafileKind::Emf;
    return MetafileKind::None;
}

QSize BoundedPictureSize(QSizeF pixels)
{
    const double w = pixels.width();
    const double h = pixels.height();
    if (!std::isfinite(w) || !std::isfinite(h) || w > MaxMetafileSide + 1 ||
        h > MaxMetafileSide + 1)
        return {};
    const qint64 width = RoundEven(w);
    const qint64 height = RoundEven(h);
    if (width < 1 || height < 1 || width > MaxMetafileSide || height > MaxMetafileSide ||
        width * height > MaxMetafilePixels)
        return {};
    return QSize(int(width), int(height));
}

QString MetafileHelperPath()
{
    return QDir::cleanPath(programFolder() + QLatin1String(HelperFromProgramFolder));
}

namespace {

QImage malformedReply(QString* failure)
{
    if (failure)
        *failure = QStringLiteral("the metafile helper's reply was malformed");
    return {};
}

// Runs tessivo-metafile on a file, or on the bytes given on its standard input ("-"). failure,
// when given, is told why no picture came where the file's content was not to blame.
QImage runHelper(const QString& argument, const QByteArray& input, QString* failure)
{
    const auto failed = [failure](const QString& why) {
        if (failure)
            *failure = why;
        return QImage();
    };
    QProcess child;
    const pid_t parent = ::getpid();
    child.setChildProcessModifier([parent] {
        // The helper ends with the program (a SIGTERM, a crash), rather than drawing on alone
        // until its limits stop it; if the program ended before this, at once.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
        // A sanitizer runtime reserves terabytes of address space for its shadow memory at
        // start-up, so a sanitized build leaves the memory limit to the sanitizer.
        if (!SanitizedBuild) {
            const rlimit memory{ChildMemoryBytes, ChildMemoryBytes};
            setrlimit(RLIMIT_AS, &memory);
        }
        const rlimit cpu{ChildCpuSeconds, ChildCpuSeconds};
        setrlimit(RLIMIT_CPU, &cpu);
    });
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start(MetafileHelperPath(), {argument});
    if (!child.waitForStarted())
        return failed(QStringLiteral("the metafile helper %1 could not be started: %2")
                          .arg(MetafileHelperPath(), child.errorString()));
    if (!input.isEmpty())
        child.write(input);
    child.closeWriteChannel();
    if (!child.waitForFinished(ChildWallMilliseconds)) {
        child.kill();
        child.waitForFinished();
        return failed(QStringLiteral("the metafile helper took longer than %1 s and was stopped")
                          .arg(ChildWallMilliseconds / 1000));
    }
    if (child.exitStatus() != QProcess::NormalExit)
        return failed(QStringLiteral("the metafile helper was stopped by a signal (it crashed, "
                                     "ran out of memory or time, or was killed)"));
    if (child.exitCode() != 0)
        return {};
    return ReadMetafileReply(child.readAllStandardOutput(), failure);
}

} // namespace

QImage ReadMetafileReply(const QByteArray& reply, QString* failure)
{
    if (reply.size() < MetafileReplyHeaderBytes || !reply.startsWith(MetafileReplyMark))
        return malformedReply(failure);
    const QSize size = BoundedPictureSize(QSizeF(readLe<quint32>(reply, MetafileReplyWidthAt),
                                                 readLe<quint32>(reply, MetafileReplyHeightAt)));
    const qsizetype rowBytes = qsizetype(size.width()) * BytesPerPixel;
    // Exactly the rows announced: a reply cut short, or with anything after its rows, is not
    // what the helper writes.
    if (size.isEmpty() || reply.size() != MetafileReplyHeaderBytes + rowBytes * size.height())
        return malformedReply(failure);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        if (failure)
            *failure = QStringLiteral("not enough memory for the picture");
        return {};
    }
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(image.scanLine(y), reply.constData() + MetafileReplyHeaderBytes + y * rowBytes,
                    std::size_t(rowBytes));
    return image;
}

QImage DecodeMetafileFile(const QString& path, QString* failure)
{
    // The helper reads "-" as its standard input, and a name starting with "-" might be taken
    // for an option: it is given the absolute path, which starts with "/".
    return runHelper(QFileInfo(path).absoluteFilePath(), {}, failure);
}

QImage DecodeMetafileData(const QByteArray& bytes, QString* failure)
{
    if (bytes.isEmpty() || bytes.size() > MaxMetafileBytes)
        return {};
    return runHelper(QStringLiteral("-"), bytes, failure);
}

} // namespace tessivo
