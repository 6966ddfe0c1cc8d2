#include "Surface.h"

#include "LargeAllocator.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace platform {

namespace {

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

std::unique_ptr<Surface> Surface::create(int width, int height, int bitCount)
{
    // Indexed depths arrive with colour tables and depth conversions.
    if (bitCount != 24 || width <= 0 || height <= 0)
        return nullptr;
    const std::int64_t stride = rowBytes(width, bitCount);
    if (stride < 0 || stride * height > std::numeric_limits<std::int32_t>::max())
        return nullptr;
    // Zero-filled, as a fresh bitmap is black.
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
        freeLarge(bits_, static_cast<std::size_t>(stride_ * height_));
}

int Surface::setStretchMode(int mode)
{
    if (mode != static_cast<int>(StretchMode::ColorOnColor) && mode != static_cast<int>(StretchMode::Halftone))
        return 0;
    const int previous = static_cast<int>(stretchMode_);
    stretchMode_ = static_cast<StretchMode>(mode);
    return previous;
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
        in += 4 * x;
        for (std::int64_t i = 0; i < count; ++i, in += 4, bgr += 3) {
            bgr[0] = in[0];
            bgr[1] = in[1];
            bgr[2] = in[2];
        }
        break;
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
