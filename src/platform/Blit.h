#pragma once

#include "Surface.h"

#include <QPoint>

namespace platform {

// Raster operations of a copy: how source and destination pixels combine
// (on colour bytes for 24-bit destinations, on table indices for indexed ones).
enum class RasterOp : std::uint32_t {
    SrcCopy = 0x00CC0020,    // source
    SrcPaint = 0x00EE0086,   // source OR destination
    SrcAnd = 0x008800C6,     // source AND destination
    SrcInvert = 0x00660046,  // source XOR destination
    NotSrcCopy = 0x00330008, // NOT source
    Blackness = 0x00000042,  // all bits 0
    Whiteness = 0x00FF0062,  // all bits 1
};

// Copies a width x height rectangle from (srcX, srcY) of `src` to (x, y) of
// `dst`, one pixel for one pixel. Coordinates count from the top-left corner.
// The rectangle is clipped to both surfaces: destination pixels whose source
// lies outside `src` keep what they held. Pixels change depth on the way: into
// an indexed surface they become the nearest colour of its table, out of one
// they come through its table (equal tables copy the indices). Source and
// destination may be the same surface (single rows and columns copied onto
// their neighbours). Returns false when nothing could be copied.
bool bitBlt(Surface& dst, int x, int y, int width, int height, const Surface& src, int srcX, int srcY,
            RasterOp rop = RasterOp::SrcCopy);

// Copies the srcWidth x srcHeight rectangle at (srcX, srcY) of `src` onto the
// width x height rectangle at (x, y) of `dst`, resampled with the destination's
// stretch mode: Halftone averages, with exact area weights, the source pixels
// under each target pixel; ColorOnColor takes the source pixel under each
// target pixel's centre. Target pixels outside `dst` are skipped; source
// positions beyond the edges of `src` repeat its edge pixels. Colours reach an
// indexed destination as the nearest entries of its table. Equal sizes make
// a plain bitBlt; otherwise `dst` and `src` must be different surfaces.
// Returns false when nothing could be copied.
bool stretchBlt(Surface& dst, int x, int y, int width, int height, const Surface& src, int srcX, int srcY,
                int srcWidth, int srcHeight);

// Copies the width x height rectangle at (srcX, srcY) of `src` onto the
// parallelogram of `dst` whose corners are the images of the rectangle's
// upper-left, upper-right and lower-left corners: points[0..2]. Only the
// axis-aligned parallelograms of the same size are supported, that is the
// copies mirrored and turned by quarter turns; anything else returns false.
bool plgBlt(Surface& dst, const QPoint points[3], const Surface& src, int srcX, int srcY, int width, int height);

// Reads rows startScan .. startScan + scanCount - 1 (counted from the bottom,
// as stored in a bottom-up bitmap) of `src` into `bits`, laid out as `info`
// describes (depth, width, row order). When the depths are equal and `src` has
// a colour table, the indices are copied and the table is written into
// info.bmiColors; otherwise the pixels become the nearest colours of the
// table in `info`. Returns the number of rows read.
int getDIBits(const Surface& src, int startScan, int scanCount, std::uint8_t* bits, BitmapInfo& info);

} // namespace platform
