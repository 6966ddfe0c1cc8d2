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

// Bytes per pixel and the places of blue and red in it.
struct Places {
    int step, blue, red;
};

constexpr Places placesOf(Pixels layout)
{
    return layout == Pixels::Rgb24 ? Places{3, 2, 0} : layout == Pixels::Bgrx32 ? Places{4, 0, 2} : Places{3, 0, 2};
}

// Rows 2r and 2r + 1 of 16 source pixels halved into 8 blue-green-red pixels.
void halveRowScalar(Pixels layout, const std::uint8_t* upper, const std::uint8_t* lower, std::uint8_t* bgr)
{
    const Places at = placesOf(layout);
    const int place[3] = {at.blue, 1, at.red};
    for (int x = 0; x < 8; ++x)
        for (int k = 0; k < 3; ++k) {
            const int c = 2 * at.step * x + place[k];
            bgr[3 * x + k] = static_cast<std::uint8_t>((upper[c] + upper[c + at.step] + lower[c] + lower[c + at.step] + 2) >> 2);
        }
}

void convertBlockScalar(Pixels layout, const std::uint8_t* pixels, std::ptrdiff_t stride, int first, int count,
                        float (*blocks)[8][8])
{
    const Places at = placesOf(layout);
    for (int r = 0; r < 8; ++r, pixels += stride) {
        std::uint8_t bgr[24];
        for (int x = 0; x < 8; ++x) {
            bgr[3 * x] = pixels[at.step * x + at.blue];
            bgr[3 * x + 1] = pixels[at.step * x + 1];
            bgr[3 * x + 2] = pixels[at.step * x + at.red];
        }
        for (int c = 0; c < count; ++c)
            convertRowScalar(bgr, kColour[first + c], blocks[c][r]);
    }
}

#if defined(__SSE2__)
// Four pixels as one per lane: the first colour byte in the low byte, then
// the second, then the third. Reads twelve bytes of a 24-bit row (not the
// thirteenth) or sixteen of a 32-bit one.
inline __m128i fourPixels(const std::uint8_t* p, bool wide)
{
    if (wide)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    std::int32_t last;
    std::memcpy(&last, p + 8, 4);
    const __m128i bytes = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_cvtsi32_si128(last));
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(bytes, _mm_srli_si128(bytes, 3)),
                              _mm_unpacklo_epi32(_mm_srli_si128(bytes, 6), _mm_srli_si128(bytes, 9)));
}

void convertBlockSse2(Pixels layout, const std::uint8_t* pixels, std::ptrdiff_t stride, int first, int count,
                      float (*blocks)[8][8])
{
    const Places at = placesOf(layout);
    const bool wide = at.step == 4;
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i blueShift = _mm_cvtsi32_si128(8 * at.blue);
    const __m128i redShift = _mm_cvtsi32_si128(8 * at.red);
    for (int r = 0; r < 8; ++r, pixels += stride) {
        for (int half = 0; half < 2; ++half) {
            const __m128i p = fourPixels(pixels + 4 * at.step * half, wide);
            const __m128 blue = _mm_cvtepi32_ps(_mm_and_si128(_mm_srl_epi32(p, blueShift), low));
            const __m128 green = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 8), low));
            const __m128 red = _mm_cvtepi32_ps(_mm_and_si128(_mm_srl_epi32(p, redShift), low));
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
namespace {

// A shuffle that moves byte `place` of each pixel into its own 32-bit lane,
// pixels 0-3 in the low half and 4-7 in the high half of the register, whose
// halves hold the row's bytes from 0 and from `highStart`.
struct alignas(32) Picker {
    std::int8_t bytes[32];
};

constexpr Picker picker(int step, int place, int highStart)
{
    Picker mask{};
    for (int lane = 0; lane < 8; ++lane) {
        mask.bytes[4 * lane] = static_cast<std::int8_t>(step * lane + place - (lane < 4 ? 0 : highStart));
        for (int k = 1; k < 4; ++k)
            mask.bytes[4 * lane + k] = -128; // a zero byte
    }
    return mask;
}

// Blue, green and red pickers of each layout, in the order of Pixels.
constexpr Picker kPickers[3][3] = {
    {picker(3, 0, 8), picker(3, 1, 8), picker(3, 2, 8)},
    {picker(3, 2, 8), picker(3, 1, 8), picker(3, 0, 8)},
    {picker(4, 0, 16), picker(4, 1, 16), picker(4, 2, 16)},
};

OSTREL_TARGET_AVX2 inline __m256i load(const Picker& mask)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(mask.bytes));
}

// Eight pixels of a row as 32-bit lanes of one colour each.
struct Lanes {
    __m256i blue, green, red;
};

OSTREL_TARGET_AVX2 inline Lanes eightPixels(const std::uint8_t* pixels, int highStart, const __m256i (&pick)[3])
{
    const __m256i bytes =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels))),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + highStart)), 1);
    return {_mm256_shuffle_epi8(bytes, pick[0]), _mm256_shuffle_epi8(bytes, pick[1]), _mm256_shuffle_epi8(bytes, pick[2])};
}

// One colour of sixteen pixels on two rows, halved: lane x holds
// (a + b + c + d + 2) >> 2 of pixels 2x and 2x + 1 of both rows.
OSTREL_TARGET_AVX2 inline __m256i halve(__m256i upperLeft, __m256i upperRight, __m256i lowerLeft,
                                        __m256i lowerRight)
{
    // Neighbours added within each half: [0+1, 2+3, 8+9, 10+11 | 4+5, 6+7, 12+13, 14+15].
    const __m256i sums =
        _mm256_add_epi32(_mm256_hadd_epi32(upperLeft, upperRight), _mm256_hadd_epi32(lowerLeft, lowerRight));
    const __m256i ordered = _mm256_permute4x64_epi64(sums, 0xD8); // 64-bit lanes 0, 2, 1, 3
    return _mm256_srli_epi32(_mm256_add_epi32(ordered, _mm256_set1_epi32(2)), 2);
}

// Eight pixels per row in one register: for 24-bit rows bytes 0-15 in the low
// half and 8-23 in the high half (so nothing past the 24th byte is read), for
// 32-bit rows the 32 bytes as they are.
OSTREL_TARGET_AVX2 void convertBlockAvx2(Pixels layout, const std::uint8_t* pixels, std::ptrdiff_t stride, int first,
                                         int count, float (*blocks)[8][8])
{
    const int highStart = layout == Pixels::Bgrx32 ? 16 : 8;
    const Picker(&pickers)[3] = kPickers[static_cast<int>(layout)];
    const __m256i blueOf = load(pickers[0]);
    const __m256i greenOf = load(pickers[1]);
    const __m256i redOf = load(pickers[2]);
    __m256 m[3][4];
    for (int c = 0; c < count; ++c)
        for (int k = 0; k < 4; ++k)
            m[c][k] = _mm256_set1_ps(kColour[first + c][k]);
    for (int r = 0; r < 8; ++r, pixels += stride) {
        const __m256i bytes =
            _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels))),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + highStart)), 1);
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

OSTREL_TARGET_AVX2 void convertHalvedBlockAvx2(Pixels layout, const std::uint8_t* pixels, std::ptrdiff_t stride,
                                               int first, int count, float (*blocks)[8][8])
{
    const int step = layout == Pixels::Bgrx32 ? 4 : 3;
    const int highStart = step == 4 ? 16 : 8;
    const Picker(&pickers)[3] = kPickers[static_cast<int>(layout)];
    const __m256i pick[3] = {load(pickers[0]), load(pickers[1]), load(pickers[2])};
    __m256 m[3][4];
    for (int c = 0; c < count; ++c)
        for (int k = 0; k < 4; ++k)
            m[c][k] = _mm256_set1_ps(kColour[first + c][k]);
    for (int r = 0; r < 8; ++r, pixels += 2 * stride) {
        const Lanes ul = eightPixels(pixels, highStart, pick);
        const Lanes ur = eightPixels(pixels + 8 * step, highStart, pick);
        const Lanes ll = eightPixels(pixels + stride, highStart, pick);
        const Lanes lr = eightPixels(pixels + stride + 8 * step, highStart, pick);
        const __m256 blue = _mm256_cvtepi32_ps(halve(ul.blue, ur.blue, ll.blue, lr.blue));
        const __m256 green = _mm256_cvtepi32_ps(halve(ul.green, ur.green, ll.green, lr.green));
        const __m256 red = _mm256_cvtepi32_ps(halve(ul.red, ur.red, ll.red, lr.red));
        for (int c = 0; c < count; ++c) {
            const __m256 sum = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(red, m[c][0]), _mm256_mul_ps(green, m[c][1])),
                                             _mm256_mul_ps(blue, m[c][2]));
            _mm256_storeu_ps(blocks[c][r], _mm256_add_ps(sum, m[c][3]));
        }
    }
}

} // namespace
#endif

void convertBlock(jpeg::CodePath path, Pixels layout, const std::uint8_t* pixels, std::ptrdiff_t stride, int first,
                  int count, float (*blocks)[8][8])
{
    switch (path) {
#if defined(OSTREL_JPEG_AVX2)
    case jpeg::CodePath::Avx2:
        convertBlockAvx2(layout, pixels, stride, first, count, blocks);
        return;
#endif
#if defined(__SSE2__)
    case jpeg::CodePath::Sse2:
        convertBlockSse2(layout, pixels, stride, first, count, blocks);
        return;
#endif
    default:
        convertBlockScalar(layout, pixels, stride, first, count, blocks);
        return;
    }
}

void convertHalvedBlock(jpeg::CodePath path, Pixels layout, const std::uint8_t* pixels, std::ptrdiff_t stride,
                        int first, int count, float (*blocks)[8][8])
{
#if defined(OSTREL_JPEG_AVX2)
    if (path == jpeg::CodePath::Avx2) {
        convertHalvedBlockAvx2(layout, pixels, stride, first, count, blocks);
        return;
    }
#endif
    // The halved pixels first, then the conversion of any other block.
    std::uint8_t bgr[8][24];
    for (int r = 0; r < 8; ++r)
        halveRowScalar(layout, pixels + 2 * r * stride, pixels + (2 * r + 1) * stride, bgr[r]);
    convertBlock(path, Pixels::Bgr24, bgr[0], 24, first, count, blocks);
}

} // namespace jpegcolour
