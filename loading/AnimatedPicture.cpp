#include "loading/AnimatedPicture.h"

#include "loading/LittleEndian.h"
#include "loading/MappedFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <optional>
#include <vector>

namespace tessivo {

// One format's frames, composed one after another onto an image of the picture's size.
class FrameSource {
public:
    enum class Read { Frame, End, Stopped };

    virtual ~FrameSource() = default;
    virtual QSize size() const = 0;
    virtual int frameCount() const = 0;
    virtual int plays() const = 0;
    // How far into the file the frames read so far reach: what lies before is not read again.
    virtual qsizetype readTo() const = 0;
    // Composes the next frame onto image (which the first call gets transparent); the frame's
    // stored delay in milliseconds. Stopped: why in problem.
    virtual Read next(QImage& image, int& delay, QString& problem) = 0;

protected:
    // Counts pixels read against MostPixelsRead; false once the picture has read too many.
    bool spend(qint64 pixels)
    {
        m_spent += pixels;
        return m_spent <= AnimatedPicture::MostPixelsRead;
    }
    static QString tooLong(int frame)
    {
        return QStringLiteral("frame %1 and those after it are not read: the picture is too long "
                              "to read whole (more than %2 pixels)")
            .arg(frame)
            .arg(AnimatedPicture::MostPixelsRead);
    }

private:
    qint64 m_spent = 0;
};

namespace {

constexpr int BytesPerPixel = 4;

// What a frame leaves behind for the next one.
enum class Disposal { Keep, Background, Previous };

// Clears a part of the image to transparent.
void clearRect(QImage& image, const QRect& rect)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(row + rect.left(), row + rect.right() + 1, QRgb(0));
    }
}

// Copies a part of one image into the same part of another of the same size.
void copyRect(const QImage& from, QImage& to, const QRect& rect)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        std::memcpy(to.scanLine(y) + qsizetype(rect.left()) * BytesPerPixel,
                    from.constScanLine(y) + qsizetype(rect.left()) * BytesPerPixel,
                    std::size_t(rect.width()) * BytesPerPixel);
}

// ---- GIF -----------------------------------------------------------------------------------

constexpr int GifMaxCodes = 4096;
constexpr int GifMaxCodeBits = 12;

struct GifPalette {
    std::array<QRgb, 256> colours{};
    int size = 0;
};

// The blocks of a GIF file, read in order from a position.
class GifBytes {
public:
    explicit GifBytes(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }
    bool has(qsizetype n) const { return m_at + n <= m_bytes.size(); }
    bool atEnd() const { return m_at >= m_bytes.size(); }
    qsizetype position() const { return m_at; }
    quint8 byte() { return quint8(m_bytes[m_at++]); }
    quint16 le16()
    {
        const quint16 v = readLe<quint16>(m_bytes, m_at);
        m_at += 2;
        return v;
    }
    QByteArrayView take(qsizetype n)
    {
        const QByteArrayView v = m_bytes.sliced(m_at, n);
        m_at += n;
        return v;
    }
    void skipToEnd() { m_at = m_bytes.size(); }
    // The next sub-block's data: empty for the one that ends them, none when the file ends
    // first.
    std::optional<QByteArrayView> subBlock()
    {
        if (!has(1))
            return std::nullopt;
        const int size = byte();
        if (!has(size)) {
            skipToEnd();
            return std::nullopt;
        }
        return take(size);
    }
    // Skips sub-blocks up to and with the one that ends them; false when the file ends first.
    bool skipSubBlocks()
    {
        for (;;) {
            const std::optional<QByteArrayView> block = subBlock();
            if (!block)
                return false;
            if (block->isEmpty())
                return true;
        }
    }
    bool readPalette(GifPalette& palette, int flags)
    {
        palette.size = 2 << (flags & 0x7);
        if (!has(3 * qsizetype(palette.size)))
            return false;
        for (int i = 0; i < palette.size; ++i) {
            const int r = byte(), g = byte(), b = byte();
            palette.colours[std::size_t(i)] = qRgb(r, g, b);
        }
        return true;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
};

constexpr quint8 GifExtension = 0x21, GifImage = 0x2C, GifTrailer = 0x3B;
constexpr quint8 GifControl = 0xF9, GifApplication = 0xFF;
constexpr int GifDescriptorBytes = 9, GifScreenBytes = 7, GifHeaderBytes = 6;
constexpr int GifLocalPalette = 0x80, GifInterlaced = 0x40, GifPaletteFollows = 0x80;
constexpr int GifPasses = 4;

// An image descriptor: where the frame lies on the logical screen.
struct GifFrameHeader {
    QRect rect;
    int flags = 0;
};

GifFrameHeader readFrameHeader(GifBytes& in)
{
    GifFrameHeader header;
    const int x = in.le16(), y = in.le16(), w = in.le16(), h = in.le16();
    header.rect = QRect(x, y, w, h);
    header.flags = in.byte();
    return header;
}

// The graphic control extension: how the next frame is drawn and what it leaves behind.
struct GifControlBlock {
    Disposal disposal = Disposal::Keep;
    int delay = 0; // milliseconds, as stored
    int transparent = -1;
};

GifControlBlock readControl(QByteArrayView data)
{
    GifControlBlock control;
    const int packed = quint8(data[0]);
    const int method = (packed >> 2) & 0x7;
    control.disposal = method == 2   ? Disposal::Background
                       : method == 3 ? Disposal::Previous
                                     : Disposal::Keep;
    constexpr int MillisecondsPerUnit = 10;
    control.delay = readLe<quint16>(data, 1) * MillisecondsPerUnit;
    control.transparent = (packed & 1) ? quint8(data[3]) : -1;
    return control;
}

// The LZW data of one frame, decoded row by row onto the composed picture.
class GifFrameDecoder {
public:
    enum class Outcome { Drawn, Cut, Damaged };

    GifFrameDecoder(GifBytes& in, QImage& image, const GifFrameHeader& header,
                    const GifPalette& palette, int transparent)
        : m_in(in)
        , m_image(image)
        , m_frame(header.rect)
        , m_visible(header.rect & image.rect())
        , m_palette(palette)
        , m_transparent(transparent)
        , m_interlaced(header.flags & GifInterlaced)
    {
    }

    // The pixels decoded, visible or not.
    qint64 pixelsRead() const { return m_pixels; }

    // Drawn: every pixel there was, or the frame's data ended early (what it gave is drawn, as
    // viewers draw it). Cut: the file ends inside the frame before all its pixels. Damaged: a
    // code no encoder writes.
    Outcome decode()
    {
        if (!m_in.has(1))
            return Outcome::Cut;
        const int literalBits = m_in.byte();
        // A pixel is a byte: a code of more than 8 literal bits cannot be one.
        if (literalBits < 1 || literalBits > 8)
            return Outcome::Damaged;
        // Nothing of it shows: its data is passed over.
        if (m_visible.isEmpty())
            return m_in.skipSubBlocks() ? Outcome::Drawn : Outcome::Cut;
        m_row.resize(std::size_t(m_frame.width()));
        const int clear = 1 << literalBits, end = clear + 1;
        for (int c = 0; c < clear; ++c) {
            m_suffix[std::size_t(c)] = quint8(c);
            m_first[std::size_t(c)] = quint8(c);
            m_length[std::size_t(c)] = 1;
        }
        int codeBits = literalBits + 1;
        int next = clear + 2;
        int previous = -1;
        quint32 bits = 0;
        int bitCount = 0;
        QByteArrayView block;
        qsizetype inBlock = 0;
        bool ended = false;
        while (!ended && !done()) {
            while (bitCount < codeBits) {
                if (inBlock == block.size()) {
                    const std::optional<QByteArrayView> more = m_in.subBlock();
                    if (!more)
                        return done() ? Outcome::Drawn : Outcome::Cut;
                    if (more->isEmpty())
                        return Outcome::Drawn;
                    block = *more;
                    inBlock = 0;
                }
                bits |= quint32(quint8(block[inBlock++])) << bitCount;
                bitCount += 8;
            }
            const int code = int(bits & ((1u << codeBits) - 1));
            bits >>= codeBits;
            bitCount -= codeBits;
            if (code == clear) {
                codeBits = literalBits + 1;
                next = clear + 2;
                previous = -1;
            } else if (code == end) {
                ended = true;
            } else if (previous < 0) {
                if (code >= clear)
                    return Outcome::Damaged;
                emitString(code);
                previous = code;
            } else {
                quint8 first = 0;
                if (code < next) {
                    first = m_first[std::size_t(code)];
                    emitString(code);
                } else if (code == next && next < GifMaxCodes) {
                    // The code being defined: the previous string and its own first byte.
                    first = m_first[std::size_t(previous)];
                    emitString(previous);
                    put(&first, 1);
                } else {
                    return Outcome::Damaged;
                }
                if (next < GifMaxCodes) {
                    const auto n = std::size_t(next);
                    m_prefix[n] = quint16(previous);
                    m_suffix[n] = first;
                    m_first[n] = m_first[std::size_t(previous)];
                    m_length[n] = quint16(m_length[std::size_t(previous)] + 1);
                    ++next;
                    if (next == (1 << codeBits) && codeBits < GifMaxCodeBits)
                        ++codeBits;
                }
                previous = code;
            }
        }
        // What follows the pixels, up to the end of the data, draws nothing. The frame is whole
        // once its pixels or its end code are there, whatever of the file follows.
        return m_in.skipSubBlocks() || ended || done() ? Outcome::Drawn : Outcome::Cut;
    }

private:
    // Whether no pixel decoded from here on can land on the picture.
    bool done() const { return m_pass >= GifPasses; }

    // The string of a code, in order.
    void emitString(int code)
    {
        const int length = m_length[std::size_t(code)];
        quint8* out = m_string.data() + length;
        for (int c = code; out > m_string.data(); c = m_prefix[std::size_t(c)])
            *--out = m_suffix[std::size_t(c)];
        put(m_string.data(), length);
    }

    void put(const quint8* pixels, int count)
    {
        while (count > 0 && !done()) {
            const int n = std::min(count, m_frame.width() - m_column);
            std::memcpy(m_row.data() + m_column, pixels, std::size_t(n));
            m_column += n;
            pixels += n;
            count -= n;
            m_pixels += n;
            if (m_column == m_frame.width())
                finishRow();
        }
    }

    // Draws the row just decoded and moves to the next, in the order of the interlace passes
    // when the frame is interlaced.
    void finishRow()
    {
        const int y = m_frame.top() + m_y;
        if (y >= m_visible.top() && y <= m_visible.bottom()) {
            auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
            for (int x = m_visible.left(); x <= m_visible.right(); ++x) {
                const int index = m_row[std::size_t(x - m_frame.left())];
                // An index past the palette draws nothing, as the transparent one does.
                if (index != m_transparent && index < m_palette.size)
                    line[x] = m_palette.colours[std::size_t(index)];
            }
        }
        m_column = 0;
        if (!m_interlaced) {
            ++m_y;
            // Rows below the picture are not decoded.
            if (m_frame.top() + m_y > m_visible.bottom())
                m_pass = GifPasses;
            return;
        }
        static constexpr int Start[GifPasses] = {0, 4, 2, 1}, Step[GifPasses] = {8, 8, 4, 2};
        m_y += Step[m_pass];
        while (m_pass < GifPasses && m_y >= m_frame.height()) {
            if (++m_pass < GifPasses)
                m_y = Start[m_pass];
        }
    }

    GifBytes& m_in;
    QImage& m_image;
    QRect m_frame;
    QRect m_visible;
    const GifPalette& m_palette;
    int m_transparent;
    bool m_interlaced;
    std::vector<quint8> m_row;
    int m_column = 0;
    int m_y = 0;
    int m_pass = 0;
    qint64 m_pixels = 0;
    std::array<quint16, GifMaxCodes> m_prefix{};
    std::array<quint8, GifMaxCodes> m_suffix{};
    std::array<quint8, GifMaxCodes> m_first{};
    std::array<quint16, GifMaxCodes> m_length{};
    std::array<quint8, GifMaxCodes + 1> m_string{};
};

class GifSource final : public FrameSource {
public:
    // A GIF of two frames or more; null otherwise.
    static std::unique_ptr<GifSource> open(QByteArrayView bytes)
    {
        auto source = std::unique_ptr<GifSource>(new GifSource(bytes));
        return source->scan() ? std::move(source) : nullptr;
    }

    QSize size() const override { return m_size; }
    int frameCount() const override { return m_frameCount; }
    int plays() const override { return m_plays; }
    qsizetype readTo() const override { return m_in.position(); }

    Read next(QImage& image, int& delay, QString& problem) override
    {
        dispose(image);
        GifControlBlock control;
        const auto cut = [&] {
            problem =
                QStringLiteral("frame %1 is cut short: the file ends inside it").arg(m_read + 1);
            return Read::Stopped;
        };
        // The file may end without its trailer: after a whole frame, that is its end.
        while (!m_in.atEnd()) {
            const quint8 introducer = m_in.byte();
            if (introducer == GifTrailer)
                return Read::End;
            if (introducer == GifExtension) {
                if (!m_in.has(1))
                    return cut();
                const quint8 label = m_in.byte();
                const std::optional<QByteArrayView> data = m_in.subBlock();
                if (!data)
                    return cut();
                if (data->isEmpty())
                    continue;
                if (label == GifControl && data->size() >= 4)
                    control = readControl(*data);
                if (!m_in.skipSubBlocks())
                    return cut();
                continue;
            }
            if (introducer != GifImage) {
                problem = QStringLiteral("the file is damaged after frame %1").arg(m_read);
                return Read::Stopped;
            }
            if (!m_in.has(GifDescriptorBytes))
                return cut();
            const GifFrameHeader header = readFrameHeader(m_in);
            GifPalette local;
            if ((header.flags & GifLocalPalette) && !m_in.readPalette(local, header.flags))
                return cut();
            const GifPalette& palette = (header.flags & GifLocalPalette) ? local : m_global;
            const QRect visible = header.rect & image.rect();
            if (control.disposal == Disposal::Previous && !visible.isEmpty()) {
                if (m_saved.isNull())
                    m_saved = QImage(image.size(), image.format());
                if (m_saved.isNull()) {
                    problem =
                        QStringLiteral("frame %1 cannot be read: out of memory").arg(m_read + 1);
                    return Read::Stopped;
                }
                copyRect(image, m_saved, visible);
            }
            const auto decoder = std::make_unique<GifFrameDecoder>(m_in, image, header, palette,
                                                                   control.transparent);
            const GifFrameDecoder::Outcome outcome = decoder->decode();
            if (outcome == GifFrameDecoder::Outcome::Cut)
                return cut();
            ++m_read;
            if (outcome == GifFrameDecoder::Outcome::Damaged) {
                problem = QStringLiteral("frame %1 is damaged").arg(m_read);
                return Read::Stopped;
            }
            // A frame costs the pixels decoded, at least a row's worth, so that a long run of
            // empty frames is given up too, and the area it saves or clears after it.
            const qint64 disposed =
                control.disposal == Disposal::Keep ? 0 : qint64(visible.width()) * visible.height();
            if (!spend(std::max<qint64>(decoder->pixelsRead(), image.width()) + disposed)) {
                problem = tooLong(m_read);
                return Read::Stopped;
            }
            m_disposal = control.disposal;
            m_drawn = visible;
            delay = control.delay;
            return Read::Frame;
        }
        return Read::End;
    }

private:
    explicit GifSource(QByteArrayView bytes)
        : m_bytes(bytes)
        , m_in(bytes)
    {
    }

    // Reads the header and walks the blocks without decoding any: the frames, the loop count and
    // the logical screen. False for anything but a GIF of two frames or more.
    bool scan()
    {
        GifBytes& in = m_in;
        if (!in.has(GifHeaderBytes + GifScreenBytes))
            return false;
        const QByteArrayView signature = in.take(GifHeaderBytes);
        if (signature != "GIF87a" && signature != "GIF89a")
            return false;
        const int width = in.le16(), height = in.le16();
        const int flags = in.byte();
        in.take(2); // the background colour and the aspect ratio: browsers use neither
        if ((flags & GifPaletteFollows) && !in.readPalette(m_global, flags))
            return false;
        // The frames are read from here on.
        GifBytes walk = in;
        QRect first;
        while (walk.has(1)) {
            const quint8 introducer = walk.byte();
            if (introducer == GifExtension) {
                if (!walk.has(1))
                    break;
                const quint8 label = walk.byte();
                const std::optional<QByteArrayView> data = walk.subBlock();
                if (!data)
                    break;
                if (data->isEmpty())
                    continue;
                if (label == GifApplication && (*data == "NETSCAPE2.0" || *data == "ANIMEXTS1.0")) {
                    const std::optional<QByteArrayView> loop = walk.subBlock();
                    if (!loop)
                        break;
                    if (loop->isEmpty())
                        continue;
                    // How often the frames are played again after the first time; 0: for ever.
                    if (loop->size() >= 3 && (*loop)[0] == 1) {
                        const int loops = readLe<quint16>(*loop, 1);
                        m_plays = loops == 0 ? AnimatedPicture::Forever : loops + 1;
                    }
                }
                if (!walk.skipSubBlocks())
                    break;
                continue;
            }
            if (introducer != GifImage || !walk.has(GifDescriptorBytes))
                break;
            const GifFrameHeader header = readFrameHeader(walk);
            if (m_frameCount == 0)
                first = header.rect;
            ++m_frameCount;
            GifPalette local;
            if ((header.flags & GifLocalPalette) && !walk.readPalette(local, header.flags))
                break;
            if (!walk.has(1))
                break;
            walk.take(1); // the code size
            if (!walk.skipSubBlocks())
                break;
        }
        // The picture takes in the whole of its first frame, where that reaches past the logical
        // screen (or the screen has no size), as browsers show it; later frames are cut at it.
        m_size = QSize(std::max(width, first.right() + 1), std::max(height, first.bottom() + 1));
        return m_frameCount >= 2 && !m_size.isEmpty();
    }

    void dispose(QImage& image)
    {
        if (m_drawn.isEmpty())
            return;
        if (m_disposal == Disposal::Background)
            clearRect(image, m_drawn);
        else if (m_disposal == Disposal::Previous)
            copyRect(m_saved, image, m_drawn);
        m_drawn = QRect();
    }

    QByteArrayView m_bytes;
    GifBytes m_in;
    GifPalette m_global;
    QSize m_size;
    int m_frameCount = 0;
    int m_plays = 1;
    int m_read = 0;
    // What the last frame leaves: how, and where.
    Disposal m_disposal = Disposal::Keep;
    QRect m_drawn;
    QImage m_saved; // the picture as it was before a frame that restores it
};

// ---- WebP ----------------------------------------------------------------------------------

constexpr qsizetype RiffHeaderBytes = 12, ChunkHeaderBytes = 8;
constexpr int WebpAnimationFlag = 0x02, WebpAlphaFlag = 0x10;
constexpr qsizetype FrameHeaderBytes = 16;

quint32 le24(QByteArrayView bytes, qsizetype at)
{
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 |
           quint32(quint8(bytes[at + 2])) << 16;
}

// A chunk of a RIFF file: its name and data.
struct RiffChunk {
    QByteArrayView name;
    QByteArrayView data;
};

// The chunks from a position to the end of bytes; a chunk that runs past the end ends them.
std::vector<RiffChunk> chunksOf(QByteArrayView bytes)
{
    std::vector<RiffChunk> chunks;
    qsizetype at = 0;
    while (at + ChunkHeaderBytes <= bytes.size()) {
        const quint32 size = readLe<quint32>(bytes, at + 4);
        if (size > quint64(bytes.size() - at - ChunkHeaderBytes))
            break;
        chunks.push_back({bytes.sliced(at, 4), bytes.sliced(at + ChunkHeaderBytes, size)});
        at += ChunkHeaderBytes + size + (size & 1);
    }
    return chunks;
}

QByteArray le(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

QByteArray chunk(const char* name, QByteArrayView data)
{
    QByteArray out = QByteArray(name, 4) + le(quint32(data.size()), 4) + data.toByteArray();
    if (data.size() & 1)
        out += '\0';
    return out;
}

class WebpSource final : public FrameSource {
public:
    // An animated WebP of two frames or more; null otherwise.
    static std::unique_ptr<WebpSource> open(QByteArrayView bytes)
    {
        if (bytes.size() < RiffHeaderBytes || !bytes.startsWith("RIFF") ||
            bytes.sliced(8, 4) != "WEBP")
            return nullptr;
        // The file's own length, where it is shorter than the bytes.
        const qint64 riff = qint64(readLe<quint32>(bytes, 4)) + 8;
        const QByteArrayView body =
            bytes.first(std::min<qint64>(riff, bytes.size())).sliced(RiffHeaderBytes);
        auto source = std::unique_ptr<WebpSource>(new WebpSource);
        source->m_bytes = bytes;
        const std::vector<RiffChunk> chunks = chunksOf(body);
        constexpr qsizetype CanvasBytes = 10, AnimationBytes = 6;
        if (chunks.empty() || chunks.front().name != "VP8X" ||
            chunks.front().data.size() < CanvasBytes ||
            !(quint8(chunks.front().data[0]) & WebpAnimationFlag))
            return nullptr;
        const QByteArrayView canvas = chunks.front().data;
        source->m_size = QSize(int(le24(canvas, 4) + 1), int(le24(canvas, 7) + 1));
        for (const RiffChunk& c : chunks) {
            if (c.name == "ANIM" && c.data.size() >= AnimationBytes) {
                const int loops = readLe<quint16>(c.data, 4);
                source->m_plays = loops == 0 ? AnimatedPicture::Forever : loops;
            } else if (c.name == "ANMF" && c.data.size() >= FrameHeaderBytes) {
                source->m_frames.push_back(c.data);
            }
        }
        if (source->m_frames.size() < 2)
            return nullptr;
        return source;
    }

    QSize size() const override { return m_size; }
    int frameCount() const override { return int(std::min<std::size_t>(m_frames.size(), INT_MAX)); }
    int plays() const override { return m_plays; }
    qsizetype readTo() const override
    {
        if (m_read == 0)
            return 0;
        const QByteArrayView last = m_frames[m_read - 1];
        return last.data() + last.size() - m_bytes.data();
    }

    Read next(QImage& image, int& delay, QString& problem) override
    {
        if (m_read >= m_frames.size())
            return Read::End;
        const QByteArrayView data = m_frames[m_read];
        const int number = int(++m_read);
        if (m_clearAfter)
            clearRect(image, m_drawn);
        const QRect rect(int(le24(data, 0) * 2), int(le24(data, 3) * 2), int(le24(data, 6) + 1),
                         int(le24(data, 9) + 1));
        delay = int(le24(data, 12));
        const int flags = quint8(data[15]);
        constexpr int NoBlending = 0x02, DisposeToBackground = 0x01;
        const QRect visible = rect & image.rect();
        if (!spend(std::max<qint64>(qint64(rect.width()) * rect.height(), image.width()) +
                   qint64(visible.width()) * visible.height())) {
            problem = tooLong(number);
            return Read::Stopped;
        }
        const QImage frame = decodeFrame(data.sliced(FrameHeaderBytes), rect.size());
        if (frame.isNull()) {
            problem = QStringLiteral("frame %1 is damaged").arg(number);
            return Read::Stopped;
        }
        if (!visible.isEmpty()) {
            QPainter painter(&image);
            painter.setCompositionMode((flags & NoBlending) ? QPainter::CompositionMode_Source
                                                            : QPainter::CompositionMode_SourceOver);
            painter.setClipRect(visible);
            painter.drawImage(rect.topLeft(), frame);
        }
        m_clearAfter = flags & DisposeToBackground;
        m_drawn = visible;
        return Read::Frame;
    }

private:
    WebpSource() = default;

    // A frame's image chunks made into a still WebP, which the image reader decodes; null when
    // it does not decode to the frame's size.
    static QImage decodeFrame(QByteArrayView data, QSize size)
    {
        QByteArrayView alpha, image;
        for (const RiffChunk& c : chunksOf(data)) {
            if (c.name == "ALPH" && alpha.isEmpty())
                alpha = c.data;
            else if ((c.name == "VP8 " || c.name == "VP8L") && image.isEmpty())
                image = QByteArrayView(c.name.data(), ChunkHeaderBytes + c.data.size());
        }
        if (image.isEmpty())
            return {};
        QByteArray body = "WEBP";
        // Lossy pixels with an alpha plane of their own need the extended header.
        if (!alpha.isEmpty() && image.startsWith("VP8 ")) {
            body += chunk("VP8X", QByteArray(1, char(WebpAlphaFlag)) + QByteArray(3, '\0') +
                                      le(quint32(size.width() - 1), 3) +
                                      le(quint32(size.height() - 1), 3));
            body += chunk("ALPH", alpha);
        }
        body += image.toByteArray();
        if (image.size() & 1)
            body += '\0';
        QByteArray still = "RIFF" + le(quint32(body.size()), 4) + body;
        QBuffer buffer(&still);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "webp");
        reader.setAutoDetectImageFormat(false);
        QImage decoded;
        if (!reader.read(&decoded) || decoded.size() != size)
            return {};
        return decoded;
    }

    QByteArrayView m_bytes;
    QSize m_size;
    int m_plays = AnimatedPicture::Forever;
    std::vector<QByteArrayView> m_frames;
    std::size_t m_read = 0;
    bool m_clearAfter = false;
    QRect m_drawn;
};

} // namespace

// ---- the picture -----------------------------------------------------------------------------

int PlayedDelay(int storedMilliseconds)
{
    return storedMilliseconds < AnimatedPicture::ShortestDelay ? AnimatedPicture::DelayOfTooShort
                                                               : storedMilliseconds;
}

AnimatedPicture::~AnimatedPicture() = default;

QSize AnimatedPicture::size() const
{
    return m_source ? m_source->size() : QSize();
}

AnimatedPicture::Opened AnimatedPicture::open(const QString& path)
{
    // Only a plain file is looked into, and opening it never waits: a FIFO with no writer
    // would hold the open until one came, and a pipe is the still reader's to read whole.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    // Only a GIF or a WebP is mapped and looked into: every picture converted passes here.
    struct stat status {};
    constexpr std::size_t HeadBytes = RiffHeaderBytes;
    std::array<char, HeadBytes> head{};
    QFile file;
    const QByteArrayView start(head.data(), qsizetype(head.size()));
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        ::pread(fd, head.data(), HeadBytes, 0) != ssize_t(HeadBytes) ||
        !(start.startsWith("GIF8") || (start.startsWith("RIFF") && start.endsWith("WEBP"))) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    auto picture = std::unique_ptr<AnimatedPicture>(new AnimatedPicture);
    picture->m_mapped = std::make_unique<MappedFile>(file);
    picture->m_bytes = picture->m_mapped->bytes();
    return openSource(std::move(picture));
}

AnimatedPicture::Opened AnimatedPicture::fromData(const QByteArray& bytes)
{
    auto picture = std::unique_ptr<AnimatedPicture>(new AnimatedPicture);
    picture->m_bytes = bytes;
    return openSource(std::move(picture));
}

AnimatedPicture::Opened AnimatedPicture::openSource(std::unique_ptr<AnimatedPicture> picture)
{
    const QByteArrayView bytes(picture->m_bytes);
    if (bytes.startsWith("GIF8"))
        picture->m_source = GifSource::open(bytes);
    else if (bytes.startsWith("RIFF"))
        picture->m_source = WebpSource::open(bytes);
    if (!picture->m_source)
        return {};
    const QSize size = picture->m_source->size();
    // The picture composed so far and one frame beside it: the part a frame restores, saved.
    const qint64 held = 2 * qint64(size.width()) * size.height() * BytesPerPixel;
    if (held > PictureMemoryLimit())
        return {nullptr, true};
    picture->m_frameCount = picture->m_source->frameCount();
    picture->m_plays = picture->m_source->plays();
    // The frames were counted by reading through the whole file; each page comes back as a frame
    // reads it.
    if (picture->m_mapped)
        picture->m_mapped->release(bytes.size());
    return {std::move(picture), false};
}

bool AnimatedPicture::next()
{
    if (!m_problem.isEmpty() || !m_source)
        return false;
    if (m_image.isNull()) {
        m_image = QImage(m_source->size(), QImage::Format_ARGB32_Premultiplied);
        if (m_image.isNull()) {
            m_problem = QStringLiteral("not enough memory for its frames");
            return false;
        }
        m_image.fill(Qt::transparent);
    }
    int stored = 0;
    switch (m_source->next(m_image, stored, m_problem)) {
    case FrameSource::Read::Frame: break;
    case FrameSource::Read::End: m_source.reset(); return false;
    case FrameSource::Read::Stopped: return false;
    }
    // A mapped file cut short while it was read reads as zeros from there: what came of it
    // is not a frame of the file.
    if (m_mapped && m_mapped->damaged()) {
        m_problem = QStringLiteral("the file was cut short while it was read");
        return false;
    }
    ++m_number;
    m_delay = PlayedDelay(stored);
    if (m_mapped)
        m_mapped->release(m_source->readTo());
    return true;
}

} // namespace tessivo
