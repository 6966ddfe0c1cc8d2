// Test helper: picture files built byte by byte (GIF, run-length and 16-bit bitmaps, cursors).
#include "ImageFiles.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>

namespace testsupport {

namespace {

void put16(QByteArray& out, int v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}

void put32(QByteArray& out, qint64 v)
{
    put16(out, static_cast<int>(v & 0xFFFF));
    put16(out, static_cast<int>((v >> 16) & 0xFFFF));
}

// Packs codes of `width` bits, least significant first, as GIF wants.
class CodeWriter {
public:
    void put(int code, int width)
    {
        buffer_ |= static_cast<quint32>(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            data_.append(static_cast<char>(buffer_ & 0xFF));
            buffer_ >>= 8;
            bits_ -= 8;
        }
    }
    QByteArray finish()
    {
        if (bits_ > 0)
            data_.append(static_cast<char>(buffer_ & 0xFF));
        return data_;
    }

private:
    QByteArray data_;
    quint32 buffer_ = 0;
    int bits_ = 0;
};

QByteArray bitmapHeaders(int bits, int width, int height, int compression, qint64 imageSize, int colours)
{
    QByteArray out("BM");
    const qint64 offset = 14 + 40 + 4 * colours;
    put32(out, offset + imageSize);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, width);
    put32(out, height);
    put16(out, 1);
    put16(out, bits);
    put32(out, compression);
    put32(out, imageSize);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, colours);
    put32(out, 0);
    return out;
}

} // namespace

// A GIF file around LZW `data` coded with `minimum` bits, of the given colours.
static QByteArray gifAround(int width, int height, const QVector<QRgb>& colours, int minimum, const QByteArray& data)
{
    int tableBits = 1;
    while ((1 << tableBits) < colours.size())
        ++tableBits;
    QByteArray out("GIF89a");
    put16(out, width);
    put16(out, height);
    out.append(static_cast<char>(0x80 | (tableBits - 1))); // global colour table of 2^tableBits entries
    out.append('\0');
    out.append('\0');
    for (int i = 0; i < (1 << tableBits); ++i) {
        const QRgb c = i < colours.size() ? colours[i] : qRgb(0, 0, 0);
        out.append(static_cast<char>(qRed(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qBlue(c)));
    }
    out.append(',');
    put16(out, 0);
    put16(out, 0);
    put16(out, width);
    put16(out, height);
    out.append('\0');
    out.append(static_cast<char>(minimum));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out.append(static_cast<char>(block.size()));
        out.append(block);
    }
    out.append('\0');
    out.append(';');
    return out;
}

QByteArray gifFile(int width, int height, const QVector<QRgb>& colours, const QByteArray& indices)
{
    int tableBits = 1;
    while ((1 << tableBits) < colours.size())
        ++tableBits;
    // Every pixel as a literal code; a clear code before the table would grow
    // keeps the code width fixed at minimum + 1 bits.
    const int minimum = std::max(2, tableBits);
    const int clear = 1 << minimum;
    const int width9 = minimum + 1;
    CodeWriter codes;
    codes.put(clear, width9);
    int sinceClear = 0;
    for (char index : indices) {
        if (sinceClear == clear - 2) {
            codes.put(clear, width9);
            sinceClear = 0;
        }
        codes.put(static_cast<quint8>(index), width9);
        ++sinceClear;
    }
    codes.put(clear + 1, width9); // end of information
    return gifAround(width, height, colours, minimum, codes.finish());
}

QByteArray singleColourGif(int width, int height)
{
    // Each code stands for one pixel more than the one before (its table
    // entry is made by the code itself), until the table is full at 4096
    // entries; from then on every code is its longest entry.
    constexpr int kMinimum = 2;
    constexpr int kClear = 1 << kMinimum;
    constexpr int kFirstEntry = kClear + 2;
    constexpr int kTableSize = 4096;
    const auto lengthOf = [](int code) { return code == 0 ? 1 : code - kFirstEntry + 2; };
    CodeWriter codes;
    int size = kMinimum + 1;
    codes.put(kClear, size);
    std::int64_t left = std::int64_t{width} * height;
    int next = kFirstEntry; // the table entry the decoder makes next
    bool first = true;
    while (left > 0) {
        int code = first ? 0 : std::min(next, kTableSize - 1);
        while (lengthOf(code) > left)
            code = code == kFirstEntry ? 0 : code - 1;
        codes.put(code, size);
        left -= lengthOf(code);
        if (!first && next < kTableSize && ++next == (1 << size) && size < 12)
            ++size;
        first = false;
    }
    codes.put(kClear + 1, size); // end of information
    return gifAround(width, height, {qRgb(40, 90, 200), qRgb(0, 0, 0)}, kMinimum, codes.finish());
}

QByteArray rleBitmapFile(int bits, int width, int height, const QVector<QRgb>& colours, const QByteArray& indices)
{
    QByteArray data;
    for (int y = height - 1; y >= 0; --y) { // bottom-up
        const QByteArray row = indices.mid(qsizetype{y} * width, width);
        for (int x = 0; x < width;) {
            const int n = std::min(width - x, 200);
            if (n < 3) { // literal runs need 3 or more pixels: use encoded runs of one
                for (int k = 0; k < n; ++k) {
                    data.append('\x01');
                    const auto v = static_cast<quint8>(row[x + k]);
                    data.append(static_cast<char>(bits == 8 ? v : (v << 4 | v)));
                }
            } else {
                data.append('\0');
                data.append(static_cast<char>(n));
                QByteArray literal;
                for (int k = 0; k < n; ++k) {
                    const auto v = static_cast<quint8>(row[x + k]);
                    if (bits == 8)
                        literal.append(static_cast<char>(v));
                    else if (k % 2 == 0)
                        literal.append(static_cast<char>(v << 4));
                    else
                        literal[literal.size() - 1] = static_cast<char>(literal.back() | v);
                }
                if (literal.size() % 2)
                    literal.append('\0'); // runs end on a 16-bit boundary
                data.append(literal);
            }
            x += n;
        }
        data.append('\0');
        data.append('\0'); // end of line
    }
    data.append('\0');
    data.append('\x01'); // end of bitmap
    QByteArray out = bitmapHeaders(bits, width, height, bits == 8 ? 1 : 2, data.size(), static_cast<int>(colours.size()));
    for (QRgb c : colours) {
        out.append(static_cast<char>(qBlue(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qRed(c)));
        out.append('\0');
    }
    out.append(data);
    return out;
}

QByteArray bitmap16File(const QImage& image)
{
    const int stride = (image.width() * 2 + 3) / 4 * 4;
    QByteArray out = bitmapHeaders(16, image.width(), image.height(), 0, qint64{stride} * image.height(), 0);
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            put16(row, (qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | (qBlue(c) >> 3));
        }
        row.resize(stride, '\0');
        out.append(row);
    }
    return out;
}

QByteArray cursorFromIcon(QByteArray ico, int x, int y)
{
    ico[2] = 2; // resource type 2: cursor
    // The first directory entry's planes and bit count become the hot spot.
    ico[6 + 4] = static_cast<char>(x & 0xFF);
    ico[6 + 5] = static_cast<char>(x >> 8);
    ico[6 + 6] = static_cast<char>(y & 0xFF);
    ico[6 + 7] = static_cast<char>(y >> 8);
    return ico;
}

QByteArray iconOfSizes(const QList<QByteArray>& icos)
{
    // The header and one 16-byte directory entry per image, then the images'
    // data, each entry's offset moved to where its data now lies.
    QByteArray head("\0\0\1\0", 4);
    put16(head, static_cast<int>(icos.size()));
    QByteArray data;
    const int start = 6 + 16 * static_cast<int>(icos.size());
    for (const QByteArray& ico : icos) {
        QByteArray entry = ico.mid(6, 16);
        const QByteArray image = ico.mid(6 + 16);
        qToLittleEndian<quint32>(static_cast<quint32>(start + data.size()), entry.data() + 12);
        head += entry;
        data += image;
    }
    return head + data;
}

QByteArray withOrientation(const QByteArray& jpeg, int orientation)
{
    // APP1 "Exif": a little-endian TIFF header and one IFD with one entry,
    // tag 0x0112 (orientation), type SHORT, count 1.
    QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24);
    put16(exif, orientation);
    exif += QByteArray(2 + 4, '\0'); // padding, no next IFD
    QByteArray segment("\xFF\xE1", 2);
    segment.append(static_cast<char>((exif.size() + 2) >> 8));
    segment.append(static_cast<char>((exif.size() + 2) & 0xFF));
    return jpeg.left(2) + segment + exif + jpeg.mid(2);
}

} // namespace testsupport
