// Drawing surfaces of 1, 4, 8 and 24 bits with colour tables, and their rows in and out.
#include "Surface.h"

#include "ColorMatch.h"
#include "LargeAllocator.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace platform {

namespace {

// Blue-green-red-unused pixels to blue-green-red ones: four pixels (16 bytes
// in, 12 out) at a time as three 32-bit words, the rest one by one.
void dropFourthBytes(const std::uint8_t* in, std::int64_t count, std::uint8_t* out)
{
    std::int64_t i = 0;
    for (; i + 4 <= count; i += 4, in += 16, out += 12) {
        std::uint32_t p[4];
        std::memcpy(p, in, sizeof p);
        if constexpr (std::endian::native == std::endian::little) {
            const std::uint32_t words[3] = {(p[0] & 0xFFFFFFu) | (p[1] << 24), ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
                                            ((p[2] >> 16) & 0xFFu) | (p[3] << 8)};
            std::memcpy(out, words, sizeof words);
        } else {
            for (int k = 0; k < 4; ++k)
                std::memcpy(out + 3 * k, in + 4 * k, 3);
        }
    }
    for (; i < count; ++i, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    }
}

// Red-green-blue to blue-green-red, four pixels (three 32-bit words) at a time.
void swapRedBlue(const std::uint8_t* in, std::int64_t count, std::uint8_t* out)
{
    std::int64_t i = 0;
    if (std::endian::native == std::endian::little && in != out) {
        for (; i + 4 <= count; i += 4, in += 12, out += 12) {
            // Word by word: one 12-byte copy through a local array would
            // make the processor stall on mismatched store and load sizes.
            std::uint32_t w0, w1, w2;
            std::memcpy(&w0, in, 4);
            std::memcpy(&w1, in + 4, 4);
            std::memcpy(&w2, in + 8, 4);
            // In memory: w0 = r0 g0 b0 r1, w1 = g1 b1 r2 g2, w2 = b2 r3 g3 b3 (lowest byte first).
            const std::uint32_t o0 = ((w0 >> 16) & 0xFFu) | (w0 & 0xFF00u) | ((w0 & 0xFFu) << 16) | (((w1 >> 8) & 0xFFu) << 24);
            const std::uint32_t o1 = (w1 & 0xFFu) | ((w0 >> 24) << 8) | ((w2 & 0xFFu) << 16) | (w1 & 0xFF000000u);
            const std::uint32_t o2 = ((w1 >> 16) & 0xFFu) | ((w2 >> 24) << 8) | (w2 & 0xFF0000u) | (((w2 >> 8) & 0xFFu) << 24);
            std::memcpy(out, &o0, 4);
            std::memcpy(out + 4, &o1, 4);
            std::memcpy(out + 8, &o2, 4);
        }
    }
    for (; i < count; ++i, in += 3, out += 3) {
        const std::uint8_t red = in[0];
        out[1] = in[1];
        out[0] = in[2];
        out[2] = red;
    }
}

} // namespace

std::int64_t Surface::rowBytes(std::int64_t width, int bitCount)
{
    if (width < 0)
        return -1;
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        break;
    default:
        return -1;
    }
    const std::int64_t bytes = (width * bitCount + 31) / 32 * 4;
    return bytes > std::numeric_limits<std::int32_t>::max() ? -1 : bytes;
}

std::unique_ptr<Surface> Surface::create(int width, int height, int bitCount, std::span<const ColorEntry> table)
{
    const std::int64_t stride = rowBytes(width, bitCount);
    if (width <= 0 || height <= 0 || stride < 0 || stride * height > std::numeric_limits<std::int32_t>::max())
        return nullptr;
    // Zero-filled, as a fresh bitmap is black (or colour 0).
    auto* memory = static_cast<std::uint8_t*>(allocateLarge(static_cast<std::size_t>(stride * height)));
    if (!memory)
        return nullptr;
    std::unique_ptr<Surface> surface(new Surface);
    surface->width_ = width;
    surface->height_ = height;
    surface->bitCount_ = bitCount;
    surface->stride_ = stride;
    surface->bits_ = memory;
    surface->ownsBits_ = true;
    surface->ownedBytes_ = static_cast<std::size_t>(stride * height);
    if (bitCount != 24) {
        surface->layout_ = Layout::Indexed;
        surface->colorTable_.assign(std::size_t{1} << bitCount, ColorEntry{});
        std::copy_n(table.begin(), std::min(table.size(), surface->colorTable_.size()), surface->colorTable_.begin());
    }
    return surface;
}

namespace {

// The colour table a header carries: biClrUsed entries, or all 2^bits.
std::span<const ColorEntry> tableOf(const BitmapInfo& info)
{
    const int bits = info.bmiHeader.biBitCount;
    if (bits == 24)
        return {};
    const std::uint32_t full = 1u << bits;
    const std::uint32_t used = info.bmiHeader.biClrUsed == 0 ? full : std::min(info.bmiHeader.biClrUsed, full);
    return {info.bmiColors, used};
}

bool describable(const BitmapInfo& info)
{
    const BitmapInfoHeader& h = info.bmiHeader;
    return h.biSize >= 40 && h.biPlanes == 1 && h.biCompression == 0 && h.biWidth > 0 && h.biHeight != 0 &&
           h.biHeight != std::numeric_limits<std::int32_t>::min() && Surface::rowBytes(h.biWidth, h.biBitCount) >= 0;
}

} // namespace

std::unique_ptr<Surface> Surface::create(const BitmapInfo& info)
{
    if (!describable(info))
        return nullptr;
    const BitmapInfoHeader& h = info.bmiHeader;
    auto surface = create(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, h.biBitCount, tableOf(info));
    if (surface)
        surface->bottomUp_ = h.biHeight > 0;
    return surface;
}

std::unique_ptr<Surface> Surface::adopt(std::uint8_t* bits, std::size_t bytes, int width, int height)
{
    const std::int64_t stride = rowBytes(width, 24);
    if (!bits || width <= 0 || height <= 0 || stride < 0 || static_cast<std::uint64_t>(stride) * height > bytes) {
        freeLarge(bits, bytes);
        return nullptr;
    }
    std::unique_ptr<Surface> surface(new Surface);
    surface->width_ = width;
    surface->height_ = height;
    surface->bitCount_ = 24;
    surface->stride_ = stride;
    surface->bits_ = bits;
    surface->ownsBits_ = true;
    surface->ownedBytes_ = bytes;
    return surface;
}

std::unique_ptr<Surface> Surface::view(std::uint8_t* bits, const BitmapInfo& info)
{
    if (!bits || !describable(info))
        return nullptr;
    const BitmapInfoHeader& h = info.bmiHeader;
    std::unique_ptr<Surface> surface(new Surface);
    surface->width_ = h.biWidth;
    surface->height_ = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    surface->bitCount_ = h.biBitCount;
    surface->stride_ = rowBytes(h.biWidth, h.biBitCount);
    surface->bottomUp_ = h.biHeight > 0;
    surface->bits_ = bits;
    if (h.biBitCount != 24) {
        surface->layout_ = Layout::Indexed;
        surface->colorTable_.assign(std::size_t{1} << h.biBitCount, ColorEntry{});
        const auto table = tableOf(info);
        std::copy(table.begin(), table.end(), surface->colorTable_.begin());
    }
    return surface;
}

std::unique_ptr<Surface> Surface::viewRows(const std::uint8_t* bits, int width, int height, std::int64_t stride,
                                           Layout layout, bool bottomUp)
{
    const int bytesPerPixel = layout == Layout::Bgrx32 ? 4 : 3;
    if (!bits || width <= 0 || height <= 0 || layout == Layout::Indexed || stride < std::int64_t{bytesPerPixel} * width)
        return nullptr;
    std::unique_ptr<Surface> surface(new Surface);
    surface->width_ = width;
    surface->height_ = height;
    surface->bitCount_ = 8 * bytesPerPixel;
    surface->layout_ = layout;
    surface->stride_ = stride;
    surface->bottomUp_ = bottomUp;
    surface->bits_ = const_cast<std::uint8_t*>(bits); // never written: a copy source only
    return surface;
}

std::unique_ptr<Surface> Surface::wrap(const QImage& image)
{
    if (image.isNull())
        return nullptr;
    Layout layout = Layout::Bgr24;
    QImage pixels = image;
    switch (image.format()) {
    case QImage::Format_BGR888:
        break;
    case QImage::Format_RGB888:
        layout = Layout::Rgb24;
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        if (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            layout = Layout::Bgrx32;
            break;
        }
        [[fallthrough]];
    default:
        pixels = image.convertToFormat(QImage::Format_BGR888);
        if (pixels.isNull())
            return nullptr;
        break;
    }
    std::unique_ptr<Surface> surface(new Surface);
    surface->width_ = pixels.width();
    surface->height_ = pixels.height();
    surface->bitCount_ = layout == Layout::Bgrx32 ? 32 : 24;
    surface->layout_ = layout;
    surface->stride_ = pixels.bytesPerLine();
    surface->bottomUp_ = false;
    surface->wrapped_ = pixels;
    // Reading keeps the pixels shared with the caller's image (see makeWritable).
    surface->bits_ = const_cast<std::uint8_t*>(surface->wrapped_.constBits());
    surface->sharesImage_ = true;
    return surface;
}

Surface::~Surface()
{
    if (ownsBits_)
        freeLarge(bits_, ownedBytes_);
}

void Surface::release(int rows)
{
    if (!ownsBits_ || rows <= 0)
        return;
    const std::int64_t done = std::min(rows, height_) * stride_;
    // Bottom-up, the top rows lie at the end of the block.
    const std::int64_t from = bottomUp_ ? (height_ * stride_ - done) : 0;
    releaseLarge(bits_, ownedBytes_, static_cast<std::size_t>(from), static_cast<std::size_t>(from + done));
}

int Surface::setStretchMode(int mode)
{
    if (mode != static_cast<int>(StretchMode::ColorOnColor) && mode != static_cast<int>(StretchMode::Halftone))
        return 0;
    const int previous = static_cast<int>(stretchMode_);
    stretchMode_ = static_cast<StretchMode>(mode);
    return previous;
}

int Surface::getColorTable(int start, int count, ColorEntry* out) const
{
    const int size = static_cast<int>(colorTable_.size());
    if (start < 0 || start >= size || count <= 0)
        return 0;
    const int moved = std::min(count, size - start);
    std::copy_n(colorTable_.begin() + start, moved, out);
    return moved;
}

int Surface::setColorTable(int start, int count, const ColorEntry* in)
{
    const int size = static_cast<int>(colorTable_.size());
    if (start < 0 || start >= size || count <= 0)
        return 0;
    const int moved = std::min(count, size - start);
    std::copy_n(in, moved, colorTable_.begin() + start);
    return moved;
}

void Surface::readIndices(int y, std::int64_t x, std::int64_t count, std::uint8_t* indices) const
{
    const std::uint8_t* row = scanLine(y);
    switch (bitCount_) {
    case 8:
        std::memcpy(indices, row + x, static_cast<std::size_t>(count));
        break;
    case 4:
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t p = x + i;
            indices[i] = static_cast<std::uint8_t>((row[p >> 1] >> ((p & 1) ? 0 : 4)) & 0x0F);
        }
        break;
    case 1:
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t p = x + i;
            indices[i] = static_cast<std::uint8_t>((row[p >> 3] >> (7 - (p & 7))) & 1);
        }
        break;
    default:
        std::memset(indices, 0, static_cast<std::size_t>(count));
        break;
    }
}

void Surface::writeIndices(int y, std::int64_t x, std::int64_t count, const std::uint8_t* indices)
{
    std::uint8_t* row = scanLine(y);
    switch (bitCount_) {
    case 8:
        std::memmove(row + x, indices, static_cast<std::size_t>(count));
        break;
    case 4:
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t p = x + i;
            const int shift = (p & 1) ? 0 : 4;
            row[p >> 1] = static_cast<std::uint8_t>((row[p >> 1] & ~(0x0F << shift)) | ((indices[i] & 0x0F) << shift));
        }
        break;
    case 1:
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t p = x + i;
            const int shift = 7 - static_cast<int>(p & 7);
            row[p >> 3] = static_cast<std::uint8_t>((row[p >> 3] & ~(1 << shift)) | ((indices[i] & 1) << shift));
        }
        break;
    default:
        break;
    }
}

void Surface::readRow(int y, std::int64_t x, std::int64_t count, std::uint8_t* bgr) const
{
    const std::uint8_t* in = scanLine(y);
    switch (layout_) {
    case Layout::Bgr24:
        std::memmove(bgr, in + 3 * x, static_cast<std::size_t>(3 * count));
        break;
    case Layout::Rgb24:
        in += 3 * x;
        swapRedBlue(in, count, bgr);
        break;
    case Layout::Bgrx32:
        dropFourthBytes(in + 4 * x, count, bgr);
        break;
    case Layout::Indexed: {
        std::uint8_t indices[256];
        for (std::int64_t done = 0; done < count;) {
            const std::int64_t n = std::min<std::int64_t>(count - done, 256);
            readIndices(y, x + done, n, indices);
            for (std::int64_t i = 0; i < n; ++i, bgr += 3) {
                const ColorEntry& e = colorTable_[indices[i]];
                bgr[0] = e.blue;
                bgr[1] = e.green;
                bgr[2] = e.red;
            }
            done += n;
        }
        break;
    }
    }
}

void Surface::writeRow(int y, std::int64_t x, std::int64_t count, const std::uint8_t* bgr, const ColorMatcher* matcher)
{
    if (layout_ == Layout::Bgr24) {
        std::memmove(scanLine(y) + 3 * x, bgr, static_cast<std::size_t>(3 * count));
        return;
    }
    if (layout_ != Layout::Indexed || !matcher)
        return;
    std::uint8_t indices[256];
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t n = std::min<std::int64_t>(count - done, 256);
        matcher->match(bgr + 3 * done, n, indices);
        writeIndices(y, x + done, n, indices);
        done += n;
    }
}

QImage Surface::toImage() const
{
    QImage image(width_, height_, QImage::Format_BGR888);
    if (image.isNull())
        return image;
    for (int y = 0; y < height_; ++y)
        readRow(y, 0, width_, image.scanLine(y));
    return image.convertToFormat(QImage::Format_RGB888);
}

} // namespace platform
