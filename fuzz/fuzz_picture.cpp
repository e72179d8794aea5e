// Picture loading, from the bytes of a file to the pixels drawn on a Canvas. Built three times,
// once per family of decoders, so that each run spends its time on one family:
//   FUZZ_FAMILY 0: Qt's image readers, through the load the window and tessivo-convert make
//   FUZZ_FAMILY 1: Windows metafiles, 2: enhanced metafiles, decoded in this process as the
//                  metafile helper process decodes them, then drawn as a load draws them
// Inputs of another family are rejected (-1) and never enter the corpus.
#include "FuzzCheck.h"

#include "canvas/CanvasModel.h"
#include "loading/PictureLoader.h"
#include "metafile/MetafileDecoders.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace tessivo;

#ifndef FUZZ_FAMILY
#error "FUZZ_FAMILY must be 0, 1 or 2"
#endif

namespace {

constexpr MetafileKind Family = FUZZ_FAMILY == 1   ? MetafileKind::Wmf
                                : FUZZ_FAMILY == 2 ? MetafileKind::Emf
                                                   : MetafileKind::None;

QString g_path;

constexpr qint64 FuzzPictureMemoryBytes = qint64(128) * 1024 * 1024;

QImage earlierPicture()
{
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    return picture;
}

// Qt's decoders are not instrumented, so libFuzzer cannot see which of their paths an input
// takes. What it can see instead are these counters, libFuzzer's extra coverage: for each format
// the content was taken for, the pixel format and the size class of the result. An input that
// reaches a new one is kept in the corpus.
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t g_outcome[14][3][40];

void noteOutcome(const QString& path, const QImage& picture)
{
    static const QByteArrayList formats = {"bmp", "png", "jpeg", "gif", "ico", "cur", "pbm",
                                           "pgm", "ppm", "xbm",  "xpm", "svg", "svgz"};
    auto& counters = g_outcome[formats.indexOf(QImageReader::imageFormat(path)) + 1];
    counters[0][std::min<int>(picture.format(), 39)] = 1;
    counters[1][std::bit_width(unsigned(picture.width()))] = 1;
    counters[2][std::bit_width(unsigned(picture.height()))] = 1;
}

quint64 checksum(const QImage& image)
{
    return qHashBits(image.constBits(), std::size_t(image.sizeInBytes()));
}

// Qt's readers: the whole load from a file, which must leave the Canvas and the held picture
// alone when the file does not read. The Canvas is smaller than the window's, so that most
// pictures are reduced onto it, and is kept from one input to the next: a fresh one each time
// would cost more than the load.
void loadFromFile(const QByteArray& bytes)
{
    {
        QFile file(g_path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(bytes) == bytes.size());
    }
    static CanvasModel canvas;
    if (canvas.widthTwips() != 1500)
        canvas.setSizeTwips(1500, 1200);
    canvas.clear();
    canvas.line(0, 600, 1200, 600);
    PictureHolder holder;
    holder.setPicture(earlierPicture());
    const quint64 before = checksum(canvas.image());

    if (!LoadPictureOntoCanvas(g_path, canvas, holder)) {
        noteOutcome(g_path, QImage());
        FUZZ_CHECK(checksum(canvas.image()) == before);
        FUZZ_CHECK(holder.picture() == earlierPicture());
        return;
    }
    FUZZ_CHECK(holder.hasPicture() && holder.widthTwips() > 0 && holder.heightTwips() > 0);
    // A load never resizes the Canvas.
    FUZZ_CHECK(canvas.widthTwips() == 1500 && canvas.heightTwips() == 1200);
    // The picture at its natural size, as a zoom asks for it.
    const QImage natural = holder.picture();
    noteOutcome(g_path, natural);
    FUZZ_CHECK(natural.isNull() || natural.width() * TwipsPerPixel == int(holder.widthTwips()));
}

// Metafiles: the drawing the helper process makes, within its size limits, drawn onto a Canvas.
void drawMetafile(const QByteArray& bytes)
{
    const QImage picture = DecodeMetafile(bytes);
    if (picture.isNull())
        return;
    FUZZ_CHECK(!BoundedPictureSize(picture.size()).isEmpty());
    CanvasModel canvas;
    DrawLoadedPicture(picture, canvas);
    FUZZ_CHECK(canvas.widthTwips() == CanvasModel::StartWidth);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Metafile text needs fonts, which need a GUI application, as in the window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(*argc, *argv);
    // libFuzzer stops at 2048 MB resident, and a picture is held while a converted copy of it is
    // drawn, both under the sanitizers' bookkeeping: one picture may take 128 MiB here, not the
    // program's 1 GiB. Larger ones go the way of every picture over the limit.
    LowerPictureMemoryLimit(FuzzPictureMemoryBytes);
    // Each process its own file, so that parallel jobs do not share one.
    g_path = QDir::temp().filePath(
        QStringLiteral("tessivo-fuzz-%1.pic").arg(QCoreApplication::applicationPid()));
    std::atexit([] { QFile::remove(g_path); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (SniffMetafile(bytes.left(MetafileSniffBytes)) != Family)
        return -1;
    if (Family == MetafileKind::None)
        loadFromFile(bytes);
    else
        drawMetafile(bytes);
    return 0;
}
