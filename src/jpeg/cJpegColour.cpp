// Colour conversion of 8 x 8 pixel blocks (see cJpegColour.h). The vector
// versions unpack each row's pixels into red, green and blue lanes once and
// form every component's samples from them with the scalar operations.
#include "cJpegColour.h"
#include "cJpegDct.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(OSTREL_JPEG_AVX2)
#include <immintrin.h>
#endif

namespace jpegcolour {

namespace {

void convertBlockScalar(const std::uint8_t* pixels, std::ptrdiff_t stride, int first, int count,
                        float (*blocks)[8][8])
{
    for (int r = 0; r < 8; ++r, pixels += stride)
        for (int c = 0; c < count; ++c)
            convertRowScalar(pixels, kColour[first + c], blocks[c][r]);
}

#if defined(__SSE2__)
// Four pixels (twelve bytes, the thirteenth untouched) as one pixel per lane:
// blue in the low byte, then green, then red.
inline __m128i fourPixels(const std::uint8_t* p)
{
    std::int32_t last;
    std::memcpy(&last, p + 8, 4);
    const __m128i bytes = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_cvtsi32_si128(last));
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(bytes, _mm_srli_si128(bytes, 3)),
                              _mm_unpacklo_epi32(_mm_srli_si128(bytes, 6), _mm_srli_si128(bytes, 9)));
}

void convertBlockSse2(const std::uint8_t* pixels, std::ptrdiff_t stride, int first, int count,
                      float (*blocks)[8][8])
{
    const __m128i low = _mm_set1_epi32(0xFF);
    for (int r = 0; r < 8; ++r, pixels += stride) {
        for (int half = 0; half < 2; ++half) {
            const __m128i p = fourPixels(pixels + 12 * half);
            const __m128 blue = _mm_cvtepi32_ps(_mm_and_si128(p, low));
            const __m128 green = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 8), low));
            const __m128 red = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 16), low));
            for (int c = 0; c < count; ++c) {
                const float* m = kColour[first + c];
                const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_mul_ps(red, _mm_set1_ps(m[0])), _mm_mul_ps(green, _mm_set1_ps(m[1]))),
                                              _mm_mul_ps(blue, _mm_set1_ps(m[2])));
                _mm_storeu_ps(&blocks[c][r][4 * half], _mm_add_ps(sum, _mm_set1_ps(m[3])));
            }
        }
    }
}
#endif

} // namespace

#if defined(OSTREL_JPEG_AVX2)
#pragma GCC push_options
#pragma GCC target("avx2")
namespace {

// Eight pixels per row in one register: bytes 0-15 in the low half, bytes
// 8-23 in the high half (so nothing past the 24th byte is read); each
// shuffle picks one colour of pixels 0-3 and 4-7 into 32-bit lanes.
void convertBlockAvx2(const std::uint8_t* pixels, std::ptrdiff_t stride, int first, int count,
                      float (*blocks)[8][8])
{
    constexpr char Z = -128; // a shuffle index that yields a zero byte
    const __m256i blueOf = _mm256_setr_epi8(0, Z, Z, Z, 3, Z, Z, Z, 6, Z, Z, Z, 9, Z, Z, Z, //
                                            4, Z, Z, Z, 7, Z, Z, Z, 10, Z, Z, Z, 13, Z, Z, Z);
    const __m256i greenOf = _mm256_setr_epi8(1, Z, Z, Z, 4, Z, Z, Z, 7, Z, Z, Z, 10, Z, Z, Z, //
                                             5, Z, Z, Z, 8, Z, Z, Z, 11, Z, Z, Z, 14, Z, Z, Z);
    const __m256i redOf = _mm256_setr_epi8(2, Z, Z, Z, 5, Z, Z, Z, 8, Z, Z, Z, 11, Z, Z, Z, //
                                           6, Z, Z, Z, 9, Z, Z, Z, 12, Z, Z, Z, 15, Z, Z, Z);
    __m256 m[3][4];
    for (int c = 0; c < count; ++c)
        for (int k = 0; k < 4; ++k)
            m[c][k] = _mm256_set1_ps(kColour[first + c][k]);
    for (int r = 0; r < 8; ++r, pixels += stride) {
        const __m256i bytes =
            _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels))),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 8)), 1);
        const __m256 blue = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(bytes, blueOf));
        const __m256 green = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(bytes, greenOf));
        const __m256 red = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(bytes, redOf));
        for (int c = 0; c < count; ++c) {
            const __m256 sum = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(red, m[c][0]), _mm256_mul_ps(green, m[c][1])),
                                             _mm256_mul_ps(blue, m[c][2]));
            _mm256_storeu_ps(blocks[c][r], _mm256_add_ps(sum, m[c][3]));
        }
    }
}

} // namespace
#pragma GCC pop_options
#endif

void convertBlock(jpeg::CodePath path, const std::uint8_t* pixels, std::ptrdiff_t stride, int first, int count,
                  float (*blocks)[8][8])
{
    switch (path) {
#if defined(OSTREL_JPEG_AVX2)
    case jpeg::CodePath::Avx2:
        convertBlockAvx2(pixels, stride, first, count, blocks);
        return;
#endif
#if defined(__SSE2__)
    case jpeg::CodePath::Sse2:
        convertBlockSse2(pixels, stride, first, count, blocks);
        return;
#endif
    default:
        convertBlockScalar(pixels, stride, first, count, blocks);
        return;
    }
}

} // namespace jpegcolour
