#pragma once

#include "platform/Blit.h"
#include "platform/Picture.h"
#include "platform/Surface.h"

#include <array>
#include <cstdint>
#include <memory>

// An image buffer: a device-independent bitmap of 1, 4, 8 or 24 bits per pixel
// that is its own drawing surface, so it can be drawn into and copied out of
// with the surface copies (hDC) and addressed row by row (DIBitsPtr). It is
// filled from pictures and surfaces, painted onto surfaces, and turned into
// new buffers by Greyscale, Resample, Mirror and Rotate, which leave the
// source untouched. The class itself never loops over pixels.
class cImage {
public:
    cImage() = default;
    ~cImage() { Destroy(); }
    cImage(const cImage&) = delete;
    cImage& operator=(const cImage&) = delete;

    // The header as last written (all 0 for a new buffer).
    std::int32_t Width() const { return m_tBI.bmiHeader.biWidth; }
    std::int32_t Height() const { return m_tBI.bmiHeader.biHeight; }
    std::int16_t BitCount() const { return static_cast<std::int16_t>(m_tBI.bmiHeader.biBitCount); }
    // The buffer's drawing surface; null when empty.
    platform::HDC hDC() const { return m_hDIB.get(); }
    // The first byte of the pixels (the bottom row); null when empty.
    std::uint8_t* DIBitsPtr() const { return m_hDIB ? m_hDIB->bits() : nullptr; }
    // Bytes per stored row for the header's width and depth; raises the
    // overflow error (6) when the computation leaves the 32-bit range.
    std::int32_t BytesPerScanLine() const;

    // Makes an empty (black) lWidth x lHeight buffer of 1, 4, 8 or 24 bits,
    // indexed ones with a grey table; false, and empty, otherwise.
    bool Create(std::int32_t lWidth, std::int32_t lHeight, std::int16_t iBitCount);
    // Copies a picture at the depth iBitCount, or at the picture's own depth
    // when it is 0 (16 bits becoming 24), reporting the chosen depth back.
    bool CopyStdPicture(const platform::Picture& TheStdPicture, std::int16_t& iBitCount);
    // Fills the buffer from a picture at the picture's own depth, as
    // CopyStdPicture with depth 0 does, taking over its 24-bit pixels instead
    // of copying them; the picture is used up.
    bool TakeStdPicture(std::unique_ptr<platform::Picture> TheStdPicture);
    // Copies lWidth x lHeight pixels at (lSrcLeft, lSrcTop) of a surface; with
    // iBitCount 0 the depth follows the size of the source's colour table.
    bool CopyHDC(platform::HDC lHDC, std::int32_t lWidth, std::int32_t lHeight, std::int16_t iBitCount = 0,
                 std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0);
    // Takes over the colour table of a surface; true when all of it was taken.
    bool CopyPalletHDC(platform::HDC lHDC);
    // Draws the whole buffer onto a surface at (lDestLeft, lDestTop).
    void PaintHDC(platform::HDC lHDC, std::int32_t lDestLeft, std::int32_t lDestTop,
                  platform::RasterOp eRop = platform::RasterOp::SrcCopy) const;

    // New buffers made from this one.
    std::unique_ptr<cImage> Greyscale() const;
    std::unique_ptr<cImage> Resample(std::int32_t lWidth, std::int32_t lHeight) const;
    std::unique_ptr<cImage> Mirror(bool Vertical) const;
    // A turn by a multiple of 90 degrees (any sign); null for other angles and 0.
    std::unique_ptr<cImage> Rotate(std::int32_t Degrees) const;

private:
    friend struct cImageProbe; // white-box access for the tests

    void Destroy();
    // A new buffer of the given size with this one's depth and colour table.
    std::unique_ptr<cImage> Sibling(std::int32_t lWidth, std::int32_t lHeight) const;

    // The bitmap together with its own drawing surface; null when empty.
    std::unique_ptr<platform::Surface> m_hDIB;
    // The header and colour table the bitmap was made from.
    platform::BitmapInfo m_tBI;
    // Colour entries on their way between surfaces.
    std::array<platform::ColorEntry, 256> m_tPal{};
};
