// The encoder's colour conversion: eight blue-green-red pixels into samples
// of one component, in a plain and an SSE2 version that give the same bits.
#pragma once

#include "cJpeg.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Converts eight pixels (24 blue-green-red bytes) into samples of one
// component: ((red * m0 + green * m1) + blue * m2) + m3, each operation in
// single precision, exactly as convertRowScalar forms them.
inline void convertRowSse2(const std::uint8_t* p, const float* m, float* out)
{
    const __m128 m0 = _mm_set1_ps(m[0]);
    const __m128 m1 = _mm_set1_ps(m[1]);
    const __m128 m2 = _mm_set1_ps(m[2]);
    const __m128 m3 = _mm_set1_ps(m[3]);
    const __m128i low = _mm_set1_epi32(0xFF);
    for (int half = 0; half < 2; ++half, p += 12, out += 4) {
        // Twelve bytes, read without touching the thirteenth.
        std::int32_t last;
        std::memcpy(&last, p + 8, 4);
        const __m128i bytes =
            _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_cvtsi32_si128(last));
        // One pixel per lane: blue in the low byte, then green, then red.
        const __m128i pixels = _mm_unpacklo_epi64(_mm_unpacklo_epi32(bytes, _mm_srli_si128(bytes, 3)),
                                                  _mm_unpacklo_epi32(_mm_srli_si128(bytes, 6), _mm_srli_si128(bytes, 9)));
        const __m128 blue = _mm_cvtepi32_ps(_mm_and_si128(pixels, low));
        const __m128 green = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(pixels, 8), low));
        const __m128 red = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(pixels, 16), low));
        const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_mul_ps(red, m0), _mm_mul_ps(green, m1)), _mm_mul_ps(blue, m2));
        _mm_storeu_ps(out, _mm_add_ps(sum, m3));
    }
}
#endif

inline void convertRow(jpeg::CodePath path, const std::uint8_t* bgr, const float* m, float* out)
{
#if defined(__SSE2__)
    if (path != jpeg::CodePath::Scalar) {
        convertRowSse2(bgr, m, out);
        return;
    }
#endif
    (void)path;
    convertRowScalar(bgr, m, out);
}

} // namespace jpegcolour
