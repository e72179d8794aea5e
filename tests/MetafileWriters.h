#pragma once

// Little-endian writers for Windows and enhanced metafiles, enough for filled shapes, text and
// bitmaps: for the tests, and for the seeds of the metafile fuzz targets.

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QRect>
#include <QSize>

#include <algorithm>
#include <bit>
#include <initializer_list>

namespace tessivo::testing {

template <typename T> QByteArray le(std::initializer_list<T> values)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    for (T v : values)
        out << v;
    return bytes;
}

// 32-bit floats, as the transforms of both kinds and EMF+ points write them.
inline QByteArray floats(std::initializer_list<float> values)
{
    QByteArray bytes;
    for (const float v : values)
        bytes += le<quint32>({std::bit_cast<quint32>(v)});
    return bytes;
}

// A device-independent bitmap of 24 bits a pixel (header and rows) of one row of colours
// (0x00BBGGRR), left to right.
inline QByteArray dibRow(std::initializer_list<quint32> colours)
{
    QByteArray row;
    for (const quint32 c : colours)
        row += char((c >> 16) & 0xFF), row += char((c >> 8) & 0xFF), row += char(c & 0xFF);
    row += QByteArray((4 - row.size() % 4) % 4, '\0');
    return le<quint32>({40}) + le<qint32>({qint32(colours.size()), 1}) + le<quint16>({1, 24}) +
           le<quint32>({0, 0, 0, 0, 0, 0}) + row;
}

// A Windows metafile's records, and the file around them.
struct Wmf {
    QByteArray records;
    quint32 maxWords = 0;
    quint16 objects = 0;

    void add(quint16 function, const QByteArray& params) // an even number of bytes
    {
        const quint32 words = 3 + quint32(params.size() / 2);
        records += le<quint32>({words}) + le<quint16>({function}) + params;
        maxWords = std::max(maxWords, words);
    }
    void add(quint16 function, std::initializer_list<qint16> params)
    {
        add(function, le<qint16>(params));
    }
    // A record that creates an object, and one that selects it.
    void object(quint16 function, std::initializer_list<qint16> params)
    {
        add(function, params);
        add(0x012D, {qint16(objects++)});
    }
    void brush(quint32 colorRef) // solid
    {
        object(0x02FC, {0, qint16(colorRef & 0xFFFF), qint16(colorRef >> 16), 0});
    }
    void rectangle(int l, int t, int r, int b)
    {
        add(0x041B, {qint16(b), qint16(r), qint16(t), qint16(l)});
    }
    // STRETCHDIB of a bitmap of one row (dibRow) of count pixels onto a rectangle.
    void stretchDib(const QByteArray& dib, int count, quint32 rop, QRect to)
    {
        add(0x0F43,
            le<qint16>({qint16(rop & 0xFFFF), qint16(rop >> 16), 0, 1, qint16(count), 0, 0,
                        qint16(to.height()), qint16(to.width()), qint16(to.y()), qint16(to.x())}) +
                dib);
    }

    // A placeable header with the frame when unitsPerInch is given.
    QByteArray file(QRect frame = {}, int unitsPerInch = -1) const
    {
        const QByteArray body = records + le<quint32>({3}) + le<quint16>({0}); // META_EOF
        QByteArray head;
        if (unitsPerInch >= 0) {
            head = le<quint32>({0x9AC6CDD7}) +
                   le<qint16>({0, qint16(frame.left()), qint16(frame.top()),
                               qint16(frame.left() + frame.width()),
                               qint16(frame.top() + frame.height())}) +
                   le<quint16>({quint16(unitsPerInch)}) + le<quint32>({0});
            quint16 sum = 0;
            for (int i = 0; i < head.size(); i += 2)
                sum ^= quint16(uchar(head[i]) | uchar(head[i + 1]) << 8);
            head += le<quint16>({sum});
        }
        return head + le<quint16>({1, 9, 0x0300}) + le<quint32>({quint32(9 + body.size() / 2)}) +
               le<quint16>({objects}) + le<quint32>({maxWords}) + le<quint16>({0}) + body;
    }
};

inline QByteArray emfRecord(quint32 type, const QByteArray& params)
{
    return le<quint32>({type, quint32(8 + params.size())}) + params;
}

inline QByteArray emfRecord(quint32 type, std::initializer_list<qint32> params)
{
    return emfRecord(type, le<qint32>(params));
}

// An enhanced metafile of the records and its end record. bounds: device pixels, corners inside;
// frame: 0.01 mm. The reference device: 2000 pixels to 530 mm, so 200 pixels make a frame of
// 53 mm; with micrometres, the header of 108 bytes that gives them as well.
inline QByteArray emfFile(QRect bounds, QRect frame, const QByteArray& records,
                          QSize device = {2000, 1000}, QSize mm = {530, 265},
                          QSize micrometres = {})
{
    const QByteArray body = records + emfRecord(14, {0, 16, 20});
    const QByteArray extension =
        micrometres.isValid()
            ? le<quint32>({0, 0, 0}) + le<qint32>({micrometres.width(), micrometres.height()})
            : QByteArray();
    const quint32 header = quint32(88 + extension.size());
    return le<quint32>({1, header}) +
           le<qint32>({bounds.left(), bounds.top(), bounds.right(), bounds.bottom(), frame.left(),
                       frame.top(), frame.left() + frame.width(), frame.top() + frame.height()}) +
           le<quint32>({0x464D4520, 0x10000, quint32(header + body.size()), 10}) +
           le<quint16>({4, 0}) + le<quint32>({0, 0, 0}) +
           le<qint32>({device.width(), device.height(), mm.width(), mm.height()}) + extension +
           body;
}

// STRETCHDIBITS of a bitmap of one row (dibRow) of count pixels onto a rectangle.
inline QByteArray emfStretchDiBits(const QByteArray& dib, int count, quint32 rop, QRect to)
{
    constexpr qint32 InfoAt = 80, InfoBytes = 40;
    return emfRecord(81, le<qint32>({0, 0, 0, 0, to.x(), to.y(), 0, 0, count, 1, InfoAt, InfoBytes,
                                     InfoAt + InfoBytes, qint32(dib.size()) - InfoBytes, 0,
                                     qint32(rop), to.width(), to.height()}) +
                             dib);
}

// EMF+ records (a type, flags and data of whole words) and the comment record that carries them.
inline QByteArray emfPlusRecord(quint16 type, quint16 flags, const QByteArray& data = {})
{
    return le<quint16>({type, flags}) +
           le<quint32>({quint32(12 + data.size()), quint32(data.size())}) + data;
}

inline QByteArray emfPlusComment(const QByteArray& records)
{
    const QByteArray data = le<quint32>({0x2B464D45}) + records; // "EMF+"
    return emfRecord(70, le<quint32>({quint32(data.size())}) + data);
}

// The first comment of a dual file: the EMF+ header (96 dots to the inch), then GETDC, which
// lets the plain records after it draw.
inline QByteArray emfPlusStart()
{
    return emfPlusComment(emfPlusRecord(0x4001, 1, le<quint32>({0xDBC01002, 1, 96, 96})) +
                          emfPlusRecord(0x4004, 0));
}

// A Windows metafile's records carrying an enhanced metafile in comment escapes of at most
// partBytes bytes each, each saying how many parts there are (as many as there are, unless
// extraParts says more).
inline void carryEmf(Wmf& w, const QByteArray& emf, qsizetype partBytes, int extraParts = 0)
{
    const qsizetype parts = (emf.size() + partBytes - 1) / partBytes + extraParts;
    for (qsizetype at = 0; at < emf.size(); at += partBytes) {
        const QByteArray part = emf.mid(at, partBytes);
        QByteArray data =
            le<quint32>({0x43464D57, 1, 0x10000}) + le<quint16>({0}) +
            le<quint32>({0, quint32(parts), quint32(part.size()),
                         quint32(emf.size() - at - part.size()), quint32(emf.size())}) +
            part;
        if (data.size() % 2)
            data += '\0';
        w.add(0x0626, le<quint16>({0x000F, quint16(34 + part.size())}) + data);
    }
}

} // namespace tessivo::testing
