#pragma once

#include "Surface.h"

namespace platform {

// Copies a width x height rectangle from (srcX, srcY) of `src` to (x, y) of
// `dst`, one pixel for one pixel. Coordinates count from the top-left corner.
// The rectangle is clipped to both surfaces: destination pixels whose source
// lies outside `src` keep what they held. Source and destination may be the
// same surface (single rows and columns copied onto their neighbours).
// Returns false when nothing could be copied.
bool bitBlt(Surface& dst, int x, int y, int width, int height, const Surface& src, int srcX, int srcY);

// Copies the srcWidth x srcHeight rectangle at (srcX, srcY) of `src` onto the
// width x height rectangle at (x, y) of `dst`, resampled with the destination's
// stretch mode: Halftone averages, with exact area weights, the source pixels
// under each target pixel; ColorOnColor takes the source pixel under each
// target pixel's centre. Target pixels outside `dst` are skipped; source
// positions beyond the edges of `src` repeat its edge pixels. Equal sizes make
// a plain bitBlt; otherwise `dst` and `src` must be different surfaces.
// Returns false when nothing could be copied.
bool stretchBlt(Surface& dst, int x, int y, int width, int height, const Surface& src, int srcX, int srcY,
                int srcWidth, int srcHeight);

} // namespace platform
