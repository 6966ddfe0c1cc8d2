// The Arai-Agui-Nakajima forward DCT of one 8x8 block.
//
// Every named intermediate is a single-precision value; the products with the
// transform's constants are formed in double precision and then stored as
// single precision. Together with -ffp-contract=off this makes the output the
// same on every build, and the vector version equal to the scalar one.
#include "cJpegDct.h"

#include <cfloat>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif
#if defined(OSTREL_JPEG_AVX2)
#include <immintrin.h>
#endif

static_assert(FLT_EVAL_METHOD == 0, "single-precision values must be evaluated in single precision");

namespace jpegdct {

namespace {

constexpr double kC4 = 0.707106781186548;   // cos(pi/4)
constexpr double kC6 = 0.382683432365091;   // cos(3pi/8)
constexpr double kC2mC6 = 0.541196100146196; // cos(pi/8) - cos(3pi/8)
constexpr double kC2pC6 = 1.30656296487638;  // cos(pi/8) + cos(3pi/8)

inline float times(float value, double constant) { return static_cast<float>(static_cast<double>(value) * constant); }

// The eight-point transform T on the values p[0], p[stride], ..., p[7*stride].
inline void transform8(float* p, int stride)
{
    float& d0 = p[0];
    float& d1 = p[stride];
    float& d2 = p[2 * stride];
    float& d3 = p[3 * stride];
    float& d4 = p[4 * stride];
    float& d5 = p[5 * stride];
    float& d6 = p[6 * stride];
    float& d7 = p[7 * stride];

    const float t0 = d0 + d7;
    const float t7 = d0 - d7;
    const float t1 = d1 + d6;
    const float t6 = d1 - d6;
    const float t2 = d2 + d5;
    const float t5 = d2 - d5;
    const float t3 = d3 + d4;
    const float t4 = d3 - d4;

    // Even part.
    const float t10 = t0 + t3;
    const float t13 = t0 - t3;
    const float t11 = t1 + t2;
    const float z1 = times(t1 - t2 + t13, kC4);
    d0 = t10 + t11;
    d4 = t10 - t11;
    d2 = t13 + z1;
    d6 = t13 - z1;

    // Odd part.
    const float m1 = t4 + t5;
    const float m2 = t5 + t6;
    const float m3 = t6 + t7;
    const float s = times(m3 - m1, kC6);
    const float z2 = static_cast<float>(static_cast<double>(m1) * kC2mC6 - static_cast<double>(s));
    const float z4 = static_cast<float>(static_cast<double>(m3) * kC2pC6 - static_cast<double>(s));
    const float z3 = times(m2, kC4);
    const float z11 = t7 + z3;
    const float z13 = t7 - z3;
    d5 = z13 + z2;
    d3 = z13 - z2;
    d1 = z11 + z4;
    d7 = z11 - z4;
}

#if defined(__SSE2__)
// The same transform on four columns at once (one per lane). Every lane sees
// exactly the scalar operations above, so the results are identical.
inline __m128 times4(__m128 value, double constant)
{
    const __m128d k = _mm_set1_pd(constant);
    const __m128d low = _mm_mul_pd(_mm_cvtps_pd(value), k);
    const __m128d high = _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(value, value)), k);
    return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

// value * constant - s, formed in double precision.
inline __m128 timesMinus4(__m128 value, double constant, __m128 s)
{
    const __m128d k = _mm_set1_pd(constant);
    const __m128d low = _mm_sub_pd(_mm_mul_pd(_mm_cvtps_pd(value), k), _mm_cvtps_pd(s));
    const __m128d high =
        _mm_sub_pd(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(value, value)), k), _mm_cvtps_pd(_mm_movehl_ps(s, s)));
    return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

inline void transform4(__m128 (&d)[8])
{
    const __m128 t0 = _mm_add_ps(d[0], d[7]);
    const __m128 t7 = _mm_sub_ps(d[0], d[7]);
    const __m128 t1 = _mm_add_ps(d[1], d[6]);
    const __m128 t6 = _mm_sub_ps(d[1], d[6]);
    const __m128 t2 = _mm_add_ps(d[2], d[5]);
    const __m128 t5 = _mm_sub_ps(d[2], d[5]);
    const __m128 t3 = _mm_add_ps(d[3], d[4]);
    const __m128 t4 = _mm_sub_ps(d[3], d[4]);

    const __m128 t10 = _mm_add_ps(t0, t3);
    const __m128 t13 = _mm_sub_ps(t0, t3);
    const __m128 t11 = _mm_add_ps(t1, t2);
    const __m128 z1 = times4(_mm_add_ps(_mm_sub_ps(t1, t2), t13), kC4);
    d[0] = _mm_add_ps(t10, t11);
    d[4] = _mm_sub_ps(t10, t11);
    d[2] = _mm_add_ps(t13, z1);
    d[6] = _mm_sub_ps(t13, z1);

    const __m128 m1 = _mm_add_ps(t4, t5);
    const __m128 m2 = _mm_add_ps(t5, t6);
    const __m128 m3 = _mm_add_ps(t6, t7);
    const __m128 s = times4(_mm_sub_ps(m3, m1), kC6);
    const __m128 z2 = timesMinus4(m1, kC2mC6, s);
    const __m128 z4 = timesMinus4(m3, kC2pC6, s);
    const __m128 z3 = times4(m2, kC4);
    const __m128 z11 = _mm_add_ps(t7, z3);
    const __m128 z13 = _mm_sub_ps(t7, z3);
    d[5] = _mm_add_ps(z13, z2);
    d[3] = _mm_sub_ps(z13, z2);
    d[1] = _mm_add_ps(z11, z4);
    d[7] = _mm_sub_ps(z11, z4);
}

// Columns, then rows: the 8 x 8 block as two 8 x 4 halves, transposed
// between the passes so that the row pass also works across lanes. The row
// pass leaves register u holding F(0..3, u) and F(4..7, u): stored as they
// are, they give the transposed block.
void forwardDctSse2(float (&block)[8][8])
{
    __m128 left[8], right[8];
    for (int r = 0; r < 8; ++r) {
        left[r] = _mm_loadu_ps(&block[r][0]);
        right[r] = _mm_loadu_ps(&block[r][4]);
    }
    transform4(left);
    transform4(right);
    // Transpose: the quadrants swap places and each is transposed.
    __m128 a[4] = {left[0], left[1], left[2], left[3]};
    __m128 b[4] = {right[0], right[1], right[2], right[3]};
    __m128 c[4] = {left[4], left[5], left[6], left[7]};
    __m128 d[4] = {right[4], right[5], right[6], right[7]};
    _MM_TRANSPOSE4_PS(a[0], a[1], a[2], a[3]);
    _MM_TRANSPOSE4_PS(b[0], b[1], b[2], b[3]);
    _MM_TRANSPOSE4_PS(c[0], c[1], c[2], c[3]);
    _MM_TRANSPOSE4_PS(d[0], d[1], d[2], d[3]);
    __m128 rowsLeft[8] = {a[0], a[1], a[2], a[3], b[0], b[1], b[2], b[3]};   // rows 0-3 of the block
    __m128 rowsRight[8] = {c[0], c[1], c[2], c[3], d[0], d[1], d[2], d[3]}; // rows 4-7
    transform4(rowsLeft);
    transform4(rowsRight);
    for (int u = 0; u < 8; ++u) {
        _mm_storeu_ps(&block[u][0], rowsLeft[u]);
        _mm_storeu_ps(&block[u][4], rowsRight[u]);
    }
}
#endif

} // namespace

#if defined(OSTREL_JPEG_AVX2)
// The eight-lane transform, compiled for AVX2 only; it runs where the
// processor has it (hasAvx2).
namespace {

OSTREL_TARGET_AVX2 inline __m256 times8(__m256 value, double constant)
{
    const __m256d k = _mm256_set1_pd(constant);
    const __m256d low = _mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(value)), k);
    const __m256d high = _mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(value, 1)), k);
    return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));
}

// value * constant - s, formed in double precision.
OSTREL_TARGET_AVX2 inline __m256 timesMinus8(__m256 value, double constant, __m256 s)
{
    const __m256d k = _mm256_set1_pd(constant);
    const __m256d low = _mm256_sub_pd(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(value)), k),
                                      _mm256_cvtps_pd(_mm256_castps256_ps128(s)));
    const __m256d high = _mm256_sub_pd(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(value, 1)), k),
                                       _mm256_cvtps_pd(_mm256_extractf128_ps(s, 1)));
    return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));
}

// The transform on eight columns or rows at once: the scalar operations in
// every lane.
OSTREL_TARGET_AVX2 inline void transform8Lanes(__m256 (&d)[8])
{
    const __m256 t0 = _mm256_add_ps(d[0], d[7]);
    const __m256 t7 = _mm256_sub_ps(d[0], d[7]);
    const __m256 t1 = _mm256_add_ps(d[1], d[6]);
    const __m256 t6 = _mm256_sub_ps(d[1], d[6]);
    const __m256 t2 = _mm256_add_ps(d[2], d[5]);
    const __m256 t5 = _mm256_sub_ps(d[2], d[5]);
    const __m256 t3 = _mm256_add_ps(d[3], d[4]);
    const __m256 t4 = _mm256_sub_ps(d[3], d[4]);

    // Even part.
    const __m256 t10 = _mm256_add_ps(t0, t3);
    const __m256 t13 = _mm256_sub_ps(t0, t3);
    const __m256 t11 = _mm256_add_ps(t1, t2);
    const __m256 z1 = times8(_mm256_add_ps(_mm256_sub_ps(t1, t2), t13), kC4);
    d[0] = _mm256_add_ps(t10, t11);
    d[4] = _mm256_sub_ps(t10, t11);
    d[2] = _mm256_add_ps(t13, z1);
    d[6] = _mm256_sub_ps(t13, z1);

    // Odd part.
    const __m256 m1 = _mm256_add_ps(t4, t5);
    const __m256 m2 = _mm256_add_ps(t5, t6);
    const __m256 m3 = _mm256_add_ps(t6, t7);
    const __m256 s = times8(_mm256_sub_ps(m3, m1), kC6);
    const __m256 z2 = timesMinus8(m1, kC2mC6, s);
    const __m256 z4 = timesMinus8(m3, kC2pC6, s);
    const __m256 z3 = times8(m2, kC4);
    const __m256 z11 = _mm256_add_ps(t7, z3);
    const __m256 z13 = _mm256_sub_ps(t7, z3);
    d[5] = _mm256_add_ps(z13, z2);
    d[3] = _mm256_sub_ps(z13, z2);
    d[1] = _mm256_add_ps(z11, z4);
    d[7] = _mm256_sub_ps(z11, z4);
}

OSTREL_TARGET_AVX2 inline void transpose8(__m256 (&r)[8])
{
    __m256 t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
        t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm256_shuffle_ps(t[i], t[i + 2], 0x44);
        u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], 0xEE);
        u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0x44);
        u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0xEE);
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x20);
        r[i + 4] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x31);
    }
}

// Columns (one per lane, the rows in the eight registers), transpose, rows:
// register u then holds F(0..7, u), row u of the transposed block.
OSTREL_TARGET_AVX2 void forwardDctAvx2(float (&block)[8][8])
{
    __m256 rows[8];
    for (int r = 0; r < 8; ++r)
        rows[r] = _mm256_loadu_ps(block[r]);
    transform8Lanes(rows);
    transpose8(rows);
    transform8Lanes(rows);
    for (int u = 0; u < 8; ++u)
        _mm256_storeu_ps(block[u], rows[u]);
}

} // namespace

bool hasAvx2()
{
    return __builtin_cpu_supports("avx2");
}

#endif

void forwardDctScalar(float (&block)[8][8])
{
    for (int c = 0; c < 8; ++c)
        transform8(&block[0][c], 8);
    for (int r = 0; r < 8; ++r)
        transform8(&block[r][0], 1);
}

namespace {

void transpose(float (&block)[8][8])
{
    for (int r = 0; r < 8; ++r)
        for (int c = r + 1; c < 8; ++c)
            std::swap(block[r][c], block[c][r]);
}

} // namespace

void forwardDctTransposed(float (&block)[8][8], jpeg::CodePath path)
{
    switch (path) {
#if defined(OSTREL_JPEG_AVX2)
    case jpeg::CodePath::Avx2:
        forwardDctAvx2(block);
        return;
#endif
#if defined(__SSE2__)
    case jpeg::CodePath::Sse2:
        forwardDctSse2(block);
        return;
#endif
    default:
        forwardDctScalar(block);
        transpose(block);
        return;
    }
}

void forwardDct(float (&block)[8][8], jpeg::CodePath path)
{
    if (path == jpeg::CodePath::Scalar) {
        forwardDctScalar(block);
        return;
    }
    forwardDctTransposed(block, path);
    transpose(block);
}

} // namespace jpegdct
