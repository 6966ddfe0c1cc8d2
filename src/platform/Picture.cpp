// Loading pictures from files of any format Qt reads, within size and memory limits.
#include "Picture.h"
#include "MappedPixmap.h"

#include "Blit.h"
#include "LargeAllocator.h"
#include "PngRows.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

namespace platform {

namespace {

// What a GIF file's first image is drawn with: its colour table (local or
// global) and the index of its transparent colour (-1 for none).
struct GifPalette {
    QVector<QRgb> colours;
    int transparent = -1;
};

std::optional<GifPalette> gifPalette(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.read(1 << 20); // the tables are near the start
    const auto byte = [&data](qsizetype i) { return i < data.size() ? static_cast<std::uint8_t>(data[i]) : 0; };
    if (data.size() < 13 || !data.startsWith("GIF"))
        return std::nullopt;
    const auto readTable = [&](qsizetype at, int entries) {
        QVector<QRgb> table;
        for (int i = 0; i < entries; ++i)
            table.append(qRgb(byte(at + 3 * i), byte(at + 3 * i + 1), byte(at + 3 * i + 2)));
        return table;
    };
    GifPalette palette;
    qsizetype at = 13;
    if (byte(10) & 0x80) {
        const int entries = 2 << (byte(10) & 7);
        if (at + 3 * entries > data.size())
            return std::nullopt;
        palette.colours = readTable(at, entries);
        at += 3 * entries;
    }
    while (at < data.size()) {
        const std::uint8_t kind = byte(at);
        if (kind == 0x21) { // extension: note a graphic control's transparent colour
            if (byte(at + 1) == 0xF9 && (byte(at + 3) & 1))
                palette.transparent = byte(at + 6);
            at += 2;
            while (at < data.size() && byte(at) != 0)
                at += byte(at) + 1;
            ++at;
        } else if (kind == 0x2C) { // the first image, perhaps with its own table
            const std::uint8_t packed = byte(at + 9);
            if (packed & 0x80) {
                const int entries = 2 << (packed & 7);
                if (at + 10 + 3 * entries > data.size())
                    return std::nullopt;
                palette.colours = readTable(at + 10, entries);
            }
            break;
        } else {
            return std::nullopt;
        }
    }
    if (palette.colours.isEmpty())
        return std::nullopt;
    return palette;
}

// The image as indices into the GIF's own table, when every pixel is one of
// its colours (transparent pixels taking the transparent index).
QImage indexedByPalette(const QImage& image, const GifPalette& palette)
{
    QHash<QRgb, int> index;
    for (int i = static_cast<int>(palette.colours.size()) - 1; i >= 0; --i)
        index.insert(palette.colours[i] | 0xFF000000u, i);
    QImage indexed(image.size(), QImage::Format_Indexed8);
    QVector<QRgb> table = palette.colours;
    if (palette.transparent >= 0 && palette.transparent < table.size())
        table[palette.transparent] &= 0x00FFFFFFu; // fully transparent
    indexed.setColorTable(table);
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QRgb lastColour = 0;
    int lastIndex = -1;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(in[x]) == 0 && palette.transparent >= 0) {
                out[x] = static_cast<uchar>(palette.transparent);
                continue;
            }
            // Neighbours mostly share a colour: look up only when it changes.
            const QRgb colour = in[x] | 0xFF000000u;
            if (colour != lastColour || lastIndex < 0) {
                const auto found = index.constFind(colour);
                if (found == index.constEnd())
                    return {};
                lastColour = colour;
                lastIndex = *found;
            }
            out[x] = static_cast<uchar>(lastIndex);
        }
    }
    return indexed;
}

// What a bitmap file's header states: size and depth (zeros if unreadable).
struct BitmapFacts {
    std::int64_t width = 0, height = 0;
    int depth = 0;
    bool truncated = false; // uncompressed pixels end before the file does not hold them all
};

BitmapFacts bitmapFacts(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(34);
    if (head.size() < 30 || !head.startsWith("BM"))
        return {};
    const auto byte = [&head](int i) { return static_cast<std::uint8_t>(head[i]); };
    const auto word = [&byte](int i) { return static_cast<std::uint32_t>(byte(i) | byte(i + 1) << 8); };
    const auto dword = [&word](int i) { return word(i) | word(i + 2) << 16; };
    if (dword(14) == 12) // the old OS/2 header: 16-bit sizes
        return {word(18), word(20), static_cast<int>(word(24)), false};
    const auto height = static_cast<std::int32_t>(dword(22));
    BitmapFacts facts{dword(18), height < 0 ? -std::int64_t{height} : height, static_cast<int>(word(28)), false};
    // Uncompressed rows, plain or with bit-field masks: the pixels' size is known.
    const std::uint32_t compression = head.size() >= 34 ? dword(30) : 1;
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (uncompressed && facts.depth > 0 && facts.depth <= 64) {
        // Width below 2^32 and depth at most 64: the stride fits; the rows'
        // total is compared by division so that it cannot overflow.
        const std::int64_t stride = (facts.width * facts.depth + 31) / 32 * 4;
        const std::int64_t room = file.size() - std::int64_t{dword(10)};
        facts.truncated = room < 0 || (stride > 0 && facts.height > room / stride);
    }
    return facts;
}

QRgb over(QRgb colour, const QColor& background)
{
    const int a = qAlpha(colour);
    const auto mix = [a](int c, int b) { return (c * a + b * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(colour), background.red()), mix(qGreen(colour), background.green()),
                mix(qBlue(colour), background.blue()));
}

ColorEntry entryOf(QRgb c)
{
    return {static_cast<std::uint8_t>(qBlue(c)), static_cast<std::uint8_t>(qGreen(c)), static_cast<std::uint8_t>(qRed(c)),
            0};
}

// The smallest bitmap depth that holds `count` colours.
int depthFor(int count) { return count <= 2 ? 1 : count <= 16 ? 4 : 8; }

// Binary colour PPM files with 8-bit samples and uncompressed 24-bit BMP
// files go straight from the mapped file into the 24-bit bitmap, without a
// picture-sized image between: the same pixels as Qt's reader gives, in
// less time and memory. Null for anything else (other kinds, a short file,
// a pipe), which Qt's reader then takes.
std::unique_ptr<Surface> readPixmap(const QString& path, std::int64_t width, std::int64_t height)
{
    const auto pixmap = MappedPixmap::open(path, Picture::kMaxPixels);
    if (!pixmap || pixmap->width() != width || pixmap->height() != height)
        return nullptr;
    auto bitmap = Surface::create(pixmap->width(), pixmap->height(), 24);
    if (!bitmap)
        return nullptr;
    bitBlt(*bitmap, 0, 0, pixmap->width(), pixmap->height(), pixmap->surface(), 0, 0);
    return bitmap;
}

// A file that fails every read once `cancel` is set, so that a decoder
// reading it gives up at its next read.
class CancellableFile : public QFile {
public:
    CancellableFile(const QString& path, const std::atomic<bool>* cancel) : QFile(path), cancel_(cancel) {}

protected:
    qint64 readData(char* data, qint64 size) override
    {
        if (cancel_ && cancel_->load(std::memory_order_relaxed)) {
            setErrorString("Opening was cancelled");
            return -1;
        }
        return QFile::readData(data, size);
    }

private:
    const std::atomic<bool>* cancel_;
};

// Copies the whole of `src` onto `dst`; a large picture in two bands at
// once, which halves the wait for the copy on a machine of two cores or more.
void copyAll(Surface& dst, const Surface& src)
{
    constexpr std::int64_t kBandedPixels = 4'000'000;
    const int w = src.width();
    const int h = src.height();
    if (std::int64_t{w} * h < kBandedPixels || std::thread::hardware_concurrency() < 2) {
        bitBlt(dst, 0, 0, w, h, src, 0, 0);
        return;
    }
    // The bands share no row: each writes only its own rows of `dst`.
    std::thread upper([&] { bitBlt(dst, 0, 0, w, h / 2, src, 0, 0); });
    bitBlt(dst, 0, h / 2, w, h - h / 2, src, 0, h / 2);
    upper.join();
}

// The image of the reader's file: of an icon holding several sizes of one
// picture, the largest (the first of equals).
QImage readLargest(QImageReader& reader, const QByteArray& format)
{
    constexpr int kMostImages = 256; // more than any icon holds
    QImage best = reader.read();
    if (format != "ico" || best.isNull())
        return best;
    const int count = std::min(reader.imageCount(), kMostImages);
    for (int i = 1; i < count; ++i) {
        if (!reader.jumpToImage(i))
            break;
        const QImage next = reader.read();
        if (std::int64_t{next.width()} * next.height() > std::int64_t{best.width()} * best.height())
            best = next;
    }
    return best;
}

// The picture read straight into the block that becomes its bitmap, for a
// reader that says beforehand it gives 32-bit pixels: it writes them into a
// block of ours, whose rows are then packed to three bytes a pixel in place
// (transparency laid over `background`), turned bottom-up, and the block's
// unused end given back. So one picture-sized block is held at any time
// instead of an image and its copy. Null where the reader failed or read
// into a buffer of its own after all (a turned picture); `image` then holds
// what it read.
std::unique_ptr<Surface> readPacked(QImageReader& reader, QSize size, const QColor& background, QImage& image)
{
    const QImage::Format format = reader.imageFormat();
    const int w = size.width();
    const int h = size.height();
    const std::int64_t stride = Surface::rowBytes(w, 24);
    const auto bytes = static_cast<std::size_t>(std::int64_t{w} * h * 4);
    auto* block = static_cast<std::uint8_t*>(allocateLarge(bytes));
    if (!block) {
        image = reader.read(); // the reader's own buffer, or its error
        return nullptr;
    }
    image = QImage(block, w, h, std::int64_t{w} * 4, format);
    const bool read = reader.read(&image);
    if (!read || image.constBits() != block || image.size() != size || image.format() != format) {
        if (!read)
            image = QImage();
        else if (image.constBits() == block)
            image = image.copy(); // not expected: keep what was read, not the block
        freeLarge(block, bytes);
        return nullptr;
    }
    image = QImage(); // the block is ours alone again
    const bool opaque = format == QImage::Format_RGB32;
    for (int y = 0; y < h; ++y) {
        // Each pixel is read before its three bytes are written, and no
        // write reaches a pixel not yet read: rows only shrink.
        const std::uint8_t* in = block + std::int64_t{y} * w * 4;
        std::uint8_t* out = block + y * stride;
        for (int x = 0; x < w; ++x) {
            QRgb c;
            std::memcpy(&c, in + 4 * x, sizeof c);
            if (!opaque)
                c = over(c, background);
            out[3 * x] = static_cast<std::uint8_t>(qBlue(c));
            out[3 * x + 1] = static_cast<std::uint8_t>(qGreen(c));
            out[3 * x + 2] = static_cast<std::uint8_t>(qRed(c));
        }
        std::fill(out + 3 * std::int64_t{w}, out + stride, std::uint8_t{0});
    }
    std::vector<std::uint8_t> spare(static_cast<std::size_t>(stride));
    for (int top = 0, bottom = h - 1; top < bottom; ++top, --bottom) {
        std::uint8_t* a = block + top * stride;
        std::uint8_t* b = block + bottom * stride;
        std::memcpy(spare.data(), a, spare.size());
        std::memcpy(a, b, spare.size());
        std::memcpy(b, spare.data(), spare.size());
    }
    const std::size_t kept = trimLarge(block, bytes, static_cast<std::size_t>(stride * h));
    return Surface::adopt(block, kept, w, h);
}

// An 8-bit true-colour PNG decoded a row at a time straight into its bitmap
// (transparency laid over `background`): the bitmap is the one picture-sized
// block held. Null where the file is of another kind or damaged, or the
// reading was cancelled: Qt's reader then reads it, and says why it cannot.
std::unique_ptr<Surface> readPngRows(const QString& path, const QColor& background, bool upright,
                                     const std::atomic<bool>* cancel)
{
    CancellableFile device(path, cancel);
    PngRows png;
    if (!device.open(QIODevice::ReadOnly) || !png.open(device, upright))
        return nullptr;
    auto bitmap = Surface::create(png.width(), png.height(), 24);
    if (!bitmap)
        return nullptr;
    std::vector<std::uint8_t> rgba(png.hasAlpha() ? static_cast<std::size_t>(png.width()) * 4 : 0);
    for (int y = 0; y < png.height(); ++y) {
        std::uint8_t* out = bitmap->scanLine(y);
        if (!png.hasAlpha()) {
            if (!png.readRow(out))
                return nullptr;
            continue;
        }
        if (!png.readRow(rgba.data()))
            return nullptr;
        for (int x = 0; x < png.width(); ++x) {
            const std::uint8_t* in = &rgba[4 * static_cast<std::size_t>(x)];
            const QRgb c = over(qRgba(in[0], in[1], in[2], in[3]), background);
            out[3 * x] = static_cast<std::uint8_t>(qBlue(c));
            out[3 * x + 1] = static_cast<std::uint8_t>(qGreen(c));
            out[3 * x + 2] = static_cast<std::uint8_t>(qRed(c));
        }
    }
    return bitmap;
}

// Whether a JPEG file's frame is coded arithmetically (start of frame 0xC9
// to 0xCB or 0xCD to 0xCF), looked up through the segments before it.
bool jpegIsArithmetic(const QString& path)
{
    QFile file(path);
    uchar mark[4];
    if (!file.open(QIODevice::ReadOnly) || file.read(reinterpret_cast<char*>(mark), 2) != 2 || mark[0] != 0xFF ||
        mark[1] != 0xD8)
        return false;
    while (file.read(reinterpret_cast<char*>(mark), 4) == 4 && mark[0] == 0xFF) {
        const int kind = mark[1];
        const bool frame = kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC;
        if (frame || kind == 0xDA) // a frame, or the first scan without one
            return frame && kind >= 0xC9;
        const int length = mark[2] << 8 | mark[3];
        if (length < 2 || !file.seek(file.pos() + length - 2))
            return false;
    }
    return false;
}

} // namespace

std::int64_t Picture::mostPixelsIn(const QString& path, const QByteArray& format)
{
    // Each format's best case in pixels a byte, taken twice for a margin.
    std::int64_t perByte = 0;
    if (format == "png")
        perByte = 8 * 1032; // 1-bit pixels, deflated at its best: 258 bytes in two bits
    else if (format == "gif")
        perByte = 4096 * 8 / 12; // a code of 12 bits stands for 4096 pixels at most
    else if (format == "jpeg" && !jpegIsArithmetic(path))
        perByte = 64 * 8; // a block of 8 x 8 pixels takes one bit at least
    else if (format == "pbm" || format == "pgm" || format == "ppm" || format == "xbm" || format == "xpm")
        perByte = 8; // 1-bit pixels, uncompressed
    // Left unbounded: vector pictures, run-length bitmaps (whose rows may end
    // early), arithmetic coding, the formats of Qt's add-on plug-ins.
    const std::int64_t bytes = std::min<std::int64_t>(QFileInfo(path).size(), kMaxPixels);
    return bytes * perByte * 2;
}

std::unique_ptr<Picture> Picture::make(const QImage& source, const QColor& background, int fileBitCount)
{
    if (source.isNull() || std::int64_t{source.width()} * source.height() > kMaxPixels)
        return nullptr;
    QImage image = source;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
        image = image.convertToFormat(QImage::Format_Indexed8);
    if (image.format() == QImage::Format_Grayscale16)
        image = image.convertToFormat(QImage::Format_Grayscale8);

    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Grayscale8) {
        std::vector<ColorEntry> table;
        if (image.format() == QImage::Format_Grayscale8) {
            for (int i = 0; i < 256; ++i)
                table.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 0});
        } else {
            for (QRgb c : image.colorTable())
                table.push_back(entryOf(over(c, background))); // transparent entries over the background
        }
        int highest = 0;
        for (int y = 0; y < image.height(); ++y) {
            const uchar* line = image.constScanLine(y);
            highest = std::max(highest, static_cast<int>(*std::max_element(line, line + image.width())));
        }
        int depth = std::max(depthFor(static_cast<int>(table.size())), depthFor(highest + 1));
        if (fileBitCount == 1 || fileBitCount == 4 || fileBitCount == 8)
            depth = std::max(depth, fileBitCount);
        auto bitmap = Surface::create(image.width(), image.height(), depth, table);
        if (!bitmap)
            return nullptr;
        for (int y = 0; y < image.height(); ++y)
            bitmap->writeIndices(y, 0, image.width(), image.constScanLine(y));
        return std::unique_ptr<Picture>(new Picture(depth, std::move(bitmap)));
    }

    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            auto* out = reinterpret_cast<QRgb*>(flat.scanLine(y));
            for (int x = 0; x < argb.width(); ++x)
                out[x] = over(in[x], background);
        }
        image = flat;
    }
    auto bitmap = Surface::create(image.width(), image.height(), 24);
    const auto pixels = Surface::wrap(image);
    if (!bitmap || !pixels)
        return nullptr;
    copyAll(*bitmap, *pixels);
    const int depth = fileBitCount == 16 ? 16 : 24;
    return std::unique_ptr<Picture>(new Picture(depth, std::move(bitmap)));
}

std::unique_ptr<Picture> Picture::fromImage(const QImage& image, const QColor& background)
{
    return make(image, background, 0);
}

QSize Picture::declaredSize(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return {};
    const QSize size = reader.size();
    if (size.isValid() || reader.format() != "bmp")
        return size;
    const BitmapFacts bitmap = bitmapFacts(path);
    if (bitmap.width <= 0 || bitmap.height <= 0 || bitmap.width > INT_MAX || bitmap.height > INT_MAX)
        return {};
    return QSize(static_cast<int>(bitmap.width), static_cast<int>(bitmap.height));
}

std::unique_ptr<Picture> Picture::load(const QString& path, QString* error, const QColor& background,
                                       QString* reason, bool upright, const std::atomic<bool>* cancel)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = QString("Cannot open %1: %2").arg(path, why);
        if (reason)
            *reason = why.left(1).toUpper() + why.mid(1);
        return nullptr;
    };
    const auto cancelled = [cancel] { return cancel && cancel->load(); };
    if (cancelled())
        return fail("opening was cancelled.");
    const QFileInfo info(path);
    if (!info.exists())
        return fail("the file does not exist.");
    if (info.isDir())
        return fail("it is a folder, not a picture.");
    if (info.size() == 0)
        return fail("the file is empty.");

    CancellableFile device(path, cancel);
    if (!device.open(QIODevice::ReadOnly))
        return fail(QString("the file cannot be read (%1).").arg(device.errorString()));
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(upright);
    if (!reader.canRead())
        return cancelled() ? fail("opening was cancelled.")
                           : fail(QString("not a picture in a known format (%1).").arg(reader.errorString()));
    const QByteArray format = reader.format(); // known only until the picture is read
    const BitmapFacts bitmap = format == "bmp" ? bitmapFacts(path) : BitmapFacts{};
    const QSize size = reader.size();
    const std::int64_t width = size.isValid() ? size.width() : bitmap.width;
    const std::int64_t height = size.isValid() ? size.height() : bitmap.height;
    if (width * height > kMaxPixels)
        return fail(QString("the picture is too large (%1 x %2 pixels).").arg(width).arg(height));
    // Decoded, a file far too small for its pixels would be a picture of
    // nothing that took seconds and gigabytes to make.
    if (const std::int64_t most = mostPixelsIn(path, format); most > 0 && width * height > most)
        return fail(QString("the file declares %1 x %2 pixels but holds only %3 bytes, too few for a picture of "
                            "that size.")
                        .arg(width).arg(height).arg(info.size()));
    if (bitmap.truncated)
        return fail("the file is truncated: it ends before all its pixels.");
    if (format == "ppm" || format == "bmp")
        if (auto pixels = readPixmap(path, width, height))
            return std::unique_ptr<Picture>(new Picture(24, std::move(pixels)));
    if (format == "png")
        if (auto rows = readPngRows(path, background, upright, cancel))
            return std::unique_ptr<Picture>(new Picture(24, std::move(rows)));
    if (cancelled())
        return fail("opening was cancelled.");
    // Enough for the largest picture accepted, at four bytes a pixel.
    QImageReader::setAllocationLimit(static_cast<int>(kMaxPixels * 4 / (1024 * 1024)) + 1);
    QImage image;
    // GIF pictures are indexed again below; an icon's largest image is sought.
    const bool packable = size.isValid() && format != "gif" && format != "ico" &&
                          reader.supportsOption(QImageIOHandler::ImageFormat) &&
                          (reader.imageFormat() == QImage::Format_RGB32 || reader.imageFormat() == QImage::Format_ARGB32);
    if (packable) {
        if (auto packed = readPacked(reader, size, background, image)) {
            if (cancelled())
                return fail("opening was cancelled.");
            return std::unique_ptr<Picture>(new Picture(bitmap.depth == 16 ? 16 : 24, std::move(packed)));
        }
    } else {
        image = readLargest(reader, format);
    }
    if (cancelled())
        return fail("opening was cancelled.");
    if (image.isNull())
        return fail(QString("the picture cannot be read (%1).").arg(reader.errorString()));
    if (std::int64_t{image.width()} * image.height() > kMaxPixels)
        return fail(QString("the picture is too large (%1 x %2 pixels).").arg(image.width()).arg(image.height()));
    int fileDepth = bitmap.depth;
    if (format == "gif" && image.format() != QImage::Format_Indexed8) {
        // Qt hands GIF pictures over in true colour; index them by the file's table again.
        if (const auto palette = gifPalette(path)) {
            const QImage indexed = indexedByPalette(image, *palette);
            if (!indexed.isNull()) {
                image = indexed;
                fileDepth = palette->colours.size() <= 2 ? 1 : palette->colours.size() <= 16 ? 4 : 8;
            }
        }
    }
    auto picture = make(image, background, fileDepth);
    if (!picture)
        return fail("there is not enough memory for it.");
    return picture;
}

} // namespace platform
