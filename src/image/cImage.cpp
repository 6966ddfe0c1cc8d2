// cImage, the image buffer: drawing surface, resampling, turning, greyscale and copies of pictures.
#include "cImage.h"

#include "platform/NumberedError.h"

#include <limits>

namespace {

std::int32_t checked(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        throw platform::NumberedError::overflow();
    return static_cast<std::int32_t>(value);
}

// The value rounded down to a multiple of four: a scan line's length in whole
// 32-bit words.
std::int64_t clearLowBits(std::int64_t value) { return value & ~std::int64_t{3}; }

} // namespace

std::int32_t cImage::BytesPerScanLine() const
{
    const std::int64_t width = m_tBI.bmiHeader.biWidth;
    switch (m_tBI.bmiHeader.biBitCount) {
    case 1:
        return checked(clearLowBits(checked((width - 1) / 8 + 4)));
    case 4:
        return checked(clearLowBits(checked((width - 1) / 2 + 4)));
    case 8:
        return checked(clearLowBits(checked(width + 3)));
    default:
        return checked(clearLowBits(checked(checked(3 * width) + 3)));
    }
}

void cImage::Destroy()
{
    m_hDIB.reset();
}

bool cImage::Create(std::int32_t lWidth, std::int32_t lHeight, std::int16_t iBitCount)
{
    Destroy();
    if (iBitCount != 1 && iBitCount != 4 && iBitCount != 8 && iBitCount != 24)
        return false;

    platform::BitmapInfoHeader& h = m_tBI.bmiHeader;
    h = platform::BitmapInfoHeader{};
    h.biWidth = lWidth;
    h.biHeight = lHeight;
    h.biBitCount = static_cast<std::uint16_t>(iBitCount);
    h.biSizeImage = static_cast<std::uint32_t>(checked(std::int64_t{lHeight} * BytesPerScanLine()));
    if (iBitCount != 24) {
        // A grey ramp from black to white: 0 and 255, steps of 17, or 0..255.
        const int n = (1 << iBitCount) - 1;
        for (int i = 0; i <= n; ++i) {
            const auto grey = static_cast<std::uint8_t>(i * 255.0 / n);
            m_tBI.bmiColors[i] = {grey, grey, grey, 0};
        }
    }
    // Only bottom-up bitmaps of a real size can be made.
    if (lWidth <= 0 || lHeight <= 0)
        return false;
    m_hDIB = platform::Surface::create(m_tBI);
    return m_hDIB != nullptr;
}

bool cImage::CopyStdPicture(const platform::Picture& TheStdPicture, std::int16_t& iBitCount)
{
    const bool ownDepth = iBitCount == 0;
    if (ownDepth)
        iBitCount = static_cast<std::int16_t>(TheStdPicture.bitCount() == 16 ? 24 : TheStdPicture.bitCount());
    if (!Create(TheStdPicture.width(), TheStdPicture.height(), iBitCount))
        return false;
    const platform::Surface& picture = TheStdPicture.bitmap();
    if (iBitCount == 24) {
        platform::bitBlt(*m_hDIB, 0, 0, TheStdPicture.width(), TheStdPicture.height(), picture, 0, 0);
        return true;
    }
    if (ownDepth) {
        const int read = picture.getColorTable(0, 1 << iBitCount, m_tPal.data());
        if (read > 0)
            m_hDIB->setColorTable(0, read, m_tPal.data());
    }
    platform::getDIBits(picture, 0, TheStdPicture.height(), m_hDIB->bits(), m_tBI);
    return true;
}

bool cImage::TakeStdPicture(std::unique_ptr<platform::Picture> TheStdPicture)
{
    if (!TheStdPicture)
        return false;
    std::int16_t bits = 0;
    if (TheStdPicture->bitmap().bitCount() != 24 || !TheStdPicture->bitmap().isBottomUp())
        return CopyStdPicture(*TheStdPicture, bits);
    // The header Create writes for this size, then the picture's own rows.
    Destroy();
    platform::BitmapInfoHeader& h = m_tBI.bmiHeader;
    h = platform::BitmapInfoHeader{};
    h.biWidth = TheStdPicture->width();
    h.biHeight = TheStdPicture->height();
    h.biBitCount = 24;
    h.biSizeImage = static_cast<std::uint32_t>(checked(std::int64_t{h.biHeight} * BytesPerScanLine()));
    m_hDIB = TheStdPicture->takeBitmap();
    return true;
}

bool cImage::CopyHDC(platform::HDC lHDC, std::int32_t lWidth, std::int32_t lHeight, std::int16_t iBitCount,
                     std::int32_t lSrcLeft, std::int32_t lSrcTop)
{
    int colours = 0;
    if (iBitCount == 0) {
        colours = lHDC ? lHDC->getColorTable(0, 256, m_tPal.data()) : 0;
        iBitCount = colours >= 1 && colours <= 2 ? 1 : colours >= 3 && colours <= 16 ? 4 : colours >= 17 ? 8 : 24;
    }
    if (!Create(lWidth, lHeight, iBitCount))
        return false;
    if (colours > 0)
        m_hDIB->setColorTable(0, colours, m_tPal.data());
    if (lHDC)
        platform::bitBlt(*m_hDIB, 0, 0, lWidth, lHeight, *lHDC, lSrcLeft, lSrcTop);
    return true;
}

bool cImage::CopyPalletHDC(platform::HDC lHDC)
{
    if (!lHDC || !m_hDIB)
        return false;
    const int read = lHDC->getColorTable(0, 1 << BitCount(), m_tPal.data());
    if (read < 1)
        return false;
    return m_hDIB->setColorTable(0, read, m_tPal.data()) == read;
}

void cImage::PaintHDC(platform::HDC lHDC, std::int32_t lDestLeft, std::int32_t lDestTop, platform::RasterOp eRop) const
{
    if (lHDC && m_hDIB)
        platform::bitBlt(*lHDC, lDestLeft, lDestTop, Width(), Height(), *m_hDIB, 0, 0, eRop);
}

std::unique_ptr<cImage> cImage::Sibling(std::int32_t lWidth, std::int32_t lHeight) const
{
    auto image = std::make_unique<cImage>();
    if (image->Create(lWidth, lHeight, BitCount()) && BitCount() != 24)
        image->CopyPalletHDC(hDC());
    return image;
}

std::unique_ptr<cImage> cImage::Greyscale() const
{
    auto image = std::make_unique<cImage>();
    if (image->Create(Width(), Height(), 8) && m_hDIB)
        platform::bitBlt(*image->hDC(), 0, 0, Width(), Height(), *m_hDIB, 0, 0);
    return image;
}

std::unique_ptr<cImage> cImage::Resample(std::int32_t lWidth, std::int32_t lHeight) const
{
    auto image = Sibling(lWidth, lHeight);
    if (!image->hDC() || !m_hDIB)
        return image;
    if (lWidth == Width() && lHeight == Height()) {
        platform::bitBlt(*image->hDC(), 0, 0, Width(), Height(), *m_hDIB, 0, 0);
        return image;
    }
    if (image->hDC()->setStretchMode(static_cast<int>(platform::StretchMode::Halftone)) == 0)
        image->hDC()->setStretchMode(static_cast<int>(platform::StretchMode::ColorOnColor));
    platform::stretchBlt(*image->hDC(), 0, 0, lWidth, lHeight, *m_hDIB, 0, 0, Width(), Height());
    return image;
}

std::unique_ptr<cImage> cImage::Mirror(bool Vertical) const
{
    const std::int32_t W = Width();
    const std::int32_t H = Height();
    // Where the source's upper-left, upper-right and lower-left corners go.
    const QPoint points[2][3] = {
        {{W, 0}, {0, 0}, {W, H}}, // left and right swapped
        {{0, H}, {W, H}, {0, 0}}, // top and bottom swapped
    };
    auto image = Sibling(W, H);
    if (image->hDC() && m_hDIB)
        platform::plgBlt(*image->hDC(), points[Vertical ? 1 : 0], *m_hDIB, 0, 0, W, H);
    return image;
}

std::unique_ptr<cImage> cImage::Rotate(std::int32_t Degrees) const
{
    std::int32_t r = Degrees % 360; // the remainder keeps the sign of Degrees
    if (r < 0)
        r += 360;
    const std::int32_t W = Width();
    const std::int32_t H = Height();
    QPoint points[3];
    std::int32_t newWidth = W;
    std::int32_t newHeight = H;
    switch (r) {
    case 90: // a quarter turn counter-clockwise
        newWidth = H;
        newHeight = W;
        points[0] = {0, W};
        points[1] = {0, 0};
        points[2] = {H, W};
        break;
    case 180:
        points[0] = {W, H};
        points[1] = {0, H};
        points[2] = {W, 0};
        break;
    case 270: // a quarter turn clockwise
        newWidth = H;
        newHeight = W;
        points[0] = {H, 0};
        points[1] = {H, W};
        points[2] = {0, 0};
        break;
    default:
        return nullptr;
    }
    auto image = Sibling(newWidth, newHeight);
    if (image->hDC() && m_hDIB)
        platform::plgBlt(*image->hDC(), points, *m_hDIB, 0, 0, W, H);
    return image;
}
