// The encoder's colour conversion: 8 x 8 blue-green-red pixels into a block
// of samples for each of one to three components, in a plain, an SSE2 and an
// AVX2 version that give the same bits.
#pragma once

#include "jpeg/cJpegCodePath.h"

#include <cstddef>
#include <cstdint>

namespace jpegcolour {

// Red, green and blue multipliers and the added offset of Y, Cb and Cr.
inline constexpr float kColour[3][4] = {
    {0.299f, 0.587f, 0.114f, -128.0f},
    {-0.16874f, -0.33126f, 0.5f, 0.0f},
    {0.5f, -0.41869f, -0.08131f, 0.0f},
};

// Each product of a colour byte and its multiplier in single precision, the
// sum formed in the order red, green, blue, offset: ((r + g) + b) + m3.
inline void convertRowScalar(const std::uint8_t* bgr, const float* m, float* out)
{
    for (int c = 0; c < 8; ++c, bgr += 3)
        out[c] = static_cast<float>(bgr[2]) * m[0] + static_cast<float>(bgr[1]) * m[1] +
                 static_cast<float>(bgr[0]) * m[2] + m[3];
}

// How the pixels of a row are stored.
enum class Pixels {
    Bgr24,  // blue, green, red
    Rgb24,  // red, green, blue
    Bgrx32, // blue, green, red, unused
};

// Converts the 8 x 8 pixels whose top row starts at `pixels` (each next row
// `stride` bytes further, negative for a bottom-up surface) into blocks[0 ..
// count-1] of components first .. first+count-1 (0 = Y, 1 = Cb, 2 = Cr),
// reading each pixel once for all of them. Reads exactly the 8 pixels of each
// row. Every path and layout gives convertRowScalar's bits for the same
// blue-green-red pixels.
void convertBlock(jpeg::CodePath path, Pixels layout, const std::uint8_t* pixels, std::ptrdiff_t stride, int first,
                  int count, float (*blocks)[8][8]);

// The same for the 8 x 8 pixels of a picture halved both ways: each sample
// pixel is the 2 x 2 source pixels' average per colour, (a + b + c + d + 2) / 4
// rounded down, as the halving into the working raster makes it. `pixels`
// is the top-left of 16 x 16 source pixels, `stride` apart.
void convertHalvedBlock(jpeg::CodePath path, Pixels layout, const std::uint8_t* pixels, std::ptrdiff_t stride,
                        int first, int count, float (*blocks)[8][8]);

} // namespace jpegcolour
