#pragma once

#include <QImage>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform {

// One entry of a colour table, in the byte order of a device-independent
// bitmap: blue, green, red, reserved.
struct ColorEntry {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;
    bool operator==(const ColorEntry&) const = default;
};

// The 40-byte header of a device-independent bitmap, field for field.
struct BitmapInfoHeader {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // positive: rows stored bottom-up; negative: top-down
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0; // 0: uncompressed RGB
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0; // 0: the full 2^bits entries
    std::uint32_t biClrImportant = 0;
};

// A header followed by a colour table of up to 256 entries.
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    ColorEntry bmiColors[256] = {};
};

// How a stretching copy into a surface picks its pixels (the classic mode numbers).
enum class StretchMode : int {
    ColorOnColor = 3, // nearest source pixel
    Halftone = 4,     // area average of the source pixels under each target pixel
};

class ColorMatcher;

// A memory drawing surface holding a device-independent bitmap of 1, 4, 8 or
// 24 bits per pixel: rows padded to four bytes, stored bottom-up (the first
// stored row is the bottom one) unless made top-down, 24-bit pixels as blue,
// green, red, indexed pixels packed from the most significant bit with a
// colour table of 2^bits entries. Callers reach the pixel memory directly;
// copies between surfaces are the free functions of Blit.h.
//
// A surface that wraps an image may also keep the image's own pixel layout
// (red first, or 32-bit pixels with an unused fourth byte), so large pictures
// are read in place instead of converted; such surfaces are copy sources only.
class Surface {
public:
    enum class Layout {
        Bgr24,   // blue, green, red
        Rgb24,   // red, green, blue (a wrapped QImage::Format_RGB888)
        Bgrx32,  // blue, green, red, unused (a wrapped QImage::Format_RGB32/ARGB32)
        Indexed, // 1, 4 or 8 bits per pixel through the colour table
    };

    // Bytes in one stored row of a bitmap of that width and depth, or -1 when
    // the depth is unknown or the size leaves the 32-bit range.
    static std::int64_t rowBytes(std::int64_t width, int bitCount);

    // A new zero-filled bottom-up memory surface of 1, 4, 8 or 24 bits; an
    // indexed one gets `table` (missing entries black). Null when the size or
    // depth is not supported or the memory cannot be had (2 GiB at most).
    static std::unique_ptr<Surface> create(int width, int height, int bitCount = 24,
                                           std::span<const ColorEntry> table = {});

    // A surface as a header and colour table describe it (uncompressed only),
    // top-down when biHeight is negative.
    static std::unique_ptr<Surface> create(const BitmapInfo& info);

    // A 24-bit surface that takes over `bits`, a block of `bytes` from
    // allocateLarge holding `height` blue-green-red rows of rowBytes(width, 24),
    // stored bottom-up; the surface frees it. Null (the block freed) for a
    // size it cannot take.
    static std::unique_ptr<Surface> adopt(std::uint8_t* bits, std::size_t bytes, int width, int height);

    // A surface over memory owned by the caller, laid out as `info` says.
    static std::unique_ptr<Surface> view(std::uint8_t* bits, const BitmapInfo& info);

    // A source surface over `height` rows of caller-owned pixels, top-down
    // unless `bottomUp` (the row at `bits` the bottom one), `stride` bytes
    // apart (any stride, as a file's rows are packed), in one of the 24-bit
    // layouts or 32-bit. Like a wrapped image it is only read
    // from: the memory may be read-only. Null for a size or layout it cannot take.
    static std::unique_ptr<Surface> viewRows(const std::uint8_t* bits, int width, int height, std::int64_t stride,
                                             Layout layout, bool bottomUp = false);

    // A top-down source surface over the pixels of `image`, sharing them for
    // the 24-bit and 32-bit RGB formats (alpha is ignored, as in a 32-bit
    // bitmap) and over a blue-green-red copy for any other format.
    static std::unique_ptr<Surface> wrap(const QImage& image);

    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    ~Surface();

    int width() const { return width_; }
    int height() const { return height_; }
    int bitCount() const { return bitCount_; }
    Layout layout() const { return layout_; }
    std::int64_t bytesPerLine() const { return stride_; }
    bool isBottomUp() const { return bottomUp_; }

    // The first stored row (the bottom row of a bottom-up surface).
    std::uint8_t* bits()
    {
        makeWritable();
        return bits_;
    }
    const std::uint8_t* bits() const { return bits_; }

    // Row y counted from the top of the picture, whatever the storage order.
    std::uint8_t* scanLine(int y)
    {
        makeWritable();
        return bits_ + storedRow(y) * stride_;
    }
    const std::uint8_t* scanLine(int y) const { return bits_ + storedRow(y) * stride_; }
    // The top `rows` rows will not be read again: the memory a surface of
    // its own holds for them is given back, where whole pages of it can be
    // (they read as black after), so a large picture shrinks as an encoder
    // passes it. Other surfaces are left as they are.
    void release(int rows);

    StretchMode stretchMode() const { return stretchMode_; }
    // Sets the mode and returns the previous one, or 0 for an unknown mode number.
    int setStretchMode(int mode);

    // The colour table: 2^bits entries for an indexed surface, none otherwise.
    const std::vector<ColorEntry>& colorTable() const { return colorTable_; }
    // Copies up to `count` entries from index `start` out of / into the table
    // and returns how many were moved (0 for a surface without a table).
    int getColorTable(int start, int count, ColorEntry* out) const;
    int setColorTable(int start, int count, const ColorEntry* in);

    // Copies `count` pixels of row y (from the top), starting at column x, to
    // `bgr` as blue, green, red bytes, whatever the surface's layout.
    void readRow(int y, std::int64_t x, std::int64_t count, std::uint8_t* bgr) const;
    // Stores `count` blue-green-red pixels into row y from column x: as they
    // are on a 24-bit surface, as the nearest colours of the table (found by
    // `matcher`, made from this surface's table) on an indexed one.
    void writeRow(int y, std::int64_t x, std::int64_t count, const std::uint8_t* bgr, const ColorMatcher* matcher);
    // The table indices of `count` pixels of an indexed surface, out and in.
    void readIndices(int y, std::int64_t x, std::int64_t count, std::uint8_t* indices) const;
    void writeIndices(int y, std::int64_t x, std::int64_t count, const std::uint8_t* indices);

    // A copy of the pixels as an RGB image (for display, files and tests).
    QImage toImage() const;

private:
    Surface() = default;
    std::int64_t storedRow(int y) const { return bottomUp_ ? height_ - 1 - y : y; }
    // A wrapped image shares its pixels with the caller's QImage until the
    // first write, which gives the surface its own copy.
    void makeWritable()
    {
        if (sharesImage_) {
            bits_ = wrapped_.bits();
            sharesImage_ = false;
        }
    }

    int width_ = 0;
    int height_ = 0;
    int bitCount_ = 0;
    Layout layout_ = Layout::Bgr24;
    std::int64_t stride_ = 0;
    bool bottomUp_ = true;
    std::uint8_t* bits_ = nullptr;
    bool ownsBits_ = false;
    std::size_t ownedBytes_ = 0; // the size of the block to free, when owned
    bool sharesImage_ = false;
    QImage wrapped_; // keeps the pixels of a wrapped image alive
    std::vector<ColorEntry> colorTable_;
    StretchMode stretchMode_ = StretchMode::ColorOnColor;
};

// A drawing surface handle, as the encoder and the image buffer pass them.
using HDC = Surface*;

} // namespace platform
