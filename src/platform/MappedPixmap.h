#pragma once

#include "Surface.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace platform {

// The header of a binary colour PPM file (P6) with 8-bit samples: its size and
// where its pixels begin, dataOffset -1 for any other header. White space
// follows the magic number; numbers are separated by white space and
// comments (# to the line's end); one white space byte follows the largest
// sample value, which must be 255.
struct PixmapHeader {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t dataOffset = -1;
    std::int64_t stride = 0; // bytes from one stored row to the next
    bool bottomUp = false;   // the first stored row is the bottom one
    Surface::Layout layout = Surface::Layout::Rgb24;
};
PixmapHeader readPixmapHeader(const QByteArray& head);

// The header of an uncompressed 24-bit bitmap file (BMP, BI_RGB, any info
// header from 40 bytes on): blue-green-red rows padded to four bytes,
// bottom-up unless the height is negative. dataOffset -1 for any other.
PixmapHeader readBitmapHeader(const QByteArray& head);

// Such a pixmap or bitmap file mapped into memory and read where it lies:
// its rows are a surface, with no copy. Rows a reader is done with can be
// let go, so that a process encoding a large file never holds all of it;
// should they be read again they come back from the file.
class MappedPixmap {
public:
    // Null when the file is not such a pixmap or bitmap, holds fewer pixel
    // bytes than its header promises, has more than `maxPixels` pixels or
    // cannot be mapped (a pipe, say): the caller then reads it the ordinary way.
    static std::unique_ptr<MappedPixmap> open(const QString& path, std::int64_t maxPixels);
    ~MappedPixmap();
    MappedPixmap(const MappedPixmap&) = delete;
    MappedPixmap& operator=(const MappedPixmap&) = delete;

    Surface& surface() const { return *surface_; }
    int width() const { return surface_->width(); }
    int height() const { return surface_->height(); }
    // Lets go of the memory of the rows above `row` (whole pages only).
    void release(int row);

private:
    MappedPixmap() = default;

    std::uint8_t* map_ = nullptr;
    std::size_t mapBytes_ = 0;
    PixmapHeader header_;
    std::size_t released_ = 0; // bytes of rows from the top already let go
    std::unique_ptr<Surface> surface_;
};

} // namespace platform
