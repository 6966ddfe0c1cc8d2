#include "Surface.h"

#include <cstdlib>
#include <limits>

namespace platform {

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
    // calloc hands out zero pages without touching them, as a fresh bitmap is black.
    auto* memory = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(stride * height), 1));
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
    QImage pixels = image.format() == QImage::Format_BGR888 ? image : image.convertToFormat(QImage::Format_BGR888);
    if (pixels.isNull())
        return nullptr;
    std::unique_ptr<Surface> surface(new Surface);
    surface->width_ = pixels.width();
    surface->height_ = pixels.height();
    surface->bitCount_ = 24;
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
        std::free(bits_);
}

int Surface::setStretchMode(int mode)
{
    if (mode != static_cast<int>(StretchMode::ColorOnColor) && mode != static_cast<int>(StretchMode::Halftone))
        return 0;
    const int previous = static_cast<int>(stretchMode_);
    stretchMode_ = static_cast<StretchMode>(mode);
    return previous;
}

QImage Surface::toImage() const
{
    QImage image(width_, height_, QImage::Format_BGR888);
    if (image.isNull())
        return image;
    for (int y = 0; y < height_; ++y)
        std::copy_n(scanLine(y), static_cast<std::size_t>(width_) * 3, image.scanLine(y));
    return image.convertToFormat(QImage::Format_RGB888);
}

} // namespace platform
