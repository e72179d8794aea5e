// Moving pictures: the bytes of an animated GIF or WebP read frame by frame, each composed on the
// ones before it, as tessivo-convert reads them. Every frame has the picture's size, the frames
// are numbered in turn, none is shown for less than the shortest delay, and no more are read than
// the file announced; reading stops at the end, at damage or at the reader's budget.
#include "FuzzCheck.h"

#include "loading/AnimatedPicture.h"
#include "loading/PictureDecoder.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <memory>

using namespace tessivo;

namespace {

// As fuzz_picture_qt: the composed picture and the part a frame restores, with the sanitizers'
// bookkeeping, well within libFuzzer's 2048 MB.
constexpr qint64 FuzzPictureMemoryBytes = qint64(128) * 1024 * 1024;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The WebP frames are decoded by Qt's image plugin, which needs an application.
    static QGuiApplication app(*argc, *argv);
    LowerPictureMemoryLimit(FuzzPictureMemoryBytes);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const AnimatedPicture::Opened opened = AnimatedPicture::fromData(bytes);
    if (!opened.picture)
        return 0;
    AnimatedPicture& picture = *opened.picture;
    const QSize pictureSize = picture.size();
    FUZZ_CHECK(!pictureSize.isEmpty() && picture.frameCount() >= 2);
    int frames = 0;
    while (picture.next()) {
        ++frames;
        FUZZ_CHECK(picture.number() == frames);
        FUZZ_CHECK(frames <= picture.frameCount());
        FUZZ_CHECK(picture.image().size() == pictureSize);
        FUZZ_CHECK(picture.delay() >= AnimatedPicture::ShortestDelay);
    }
    FUZZ_CHECK(!picture.next());
    return 0;
}
