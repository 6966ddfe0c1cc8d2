// Transform and quantisation of one 8x8 block of the encoder.
#include "cJpeg.h"
#include "cJpegBlocks.h"
#include "cJpegDct.h"

#include "platform/NumberedError.h"

#include <algorithm>
#include <optional>

#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(OSTREL_JPEG_AVX2)
#include <immintrin.h>
#endif

void cJpeg::ForwardDCT()
{
    jpegdct::forwardDct(WorkBlock, Path);
}

void cJpeg::ComputeFactors(std::int32_t t)
{
    QuantTable& table = QTables[static_cast<std::size_t>(t)];
    for (int c = 0; c < 8; ++c) {
        for (int r = 0; r < 8; ++r) {
            const auto z = static_cast<std::size_t>(ZigZag[c][r]);
            const std::int32_t q = table.Qk[z];
            if (q < 1 || q > 255)
                throw platform::NumberedError(1, "Bad Quantization Table");
            table.Factor[z] = static_cast<float>(ScaleFactor[static_cast<std::size_t>(c)] *
                                                 ScaleFactor[static_cast<std::size_t>(r)] / q);
        }
    }
}

void cJpeg::QuantizeBlock(Coefficients& coefficients, std::int64_t& position,
                          const std::array<float, 64>& factors)
{
    Quantize(WorkBlock, coefficients.data() + position, BlockOrder(factors, jpeg::BlockLayout::Natural),
             jpeg::BlockLayout::Natural);
    position += 64;
}

namespace {

// Every product factor * sample, rounded to the nearest whole number with ties
// to even, as 16-bit values in natural order; false if one leaves the range.
bool roundProductsScalar(const float* factors, const float* samples, std::int16_t* out)
{
    // Adding and removing 1.5 * 2^23 rounds a float to a whole number, to
    // nearest with ties to even, for |x| < 2^22 (larger ones overflow anyway).
    constexpr float kRound = 12582912.0f;
    bool inRange = true;
    for (int n = 0; n < 64; ++n) {
        const float rounded = (factors[n] * samples[n] + kRound) - kRound;
        inRange = inRange && rounded >= -32768.0f && rounded <= 32767.0f;
        out[n] = static_cast<std::int16_t>(std::clamp(rounded, -32768.0f, 32767.0f));
    }
    return inRange;
}

#if defined(__SSE2__)
bool roundProductsSse2(const float* factors, const float* samples, std::int16_t* out)
{
    // The conversion rounds to nearest, ties to even (the default rounding).
    __m128 low = _mm_setzero_ps();
    __m128 high = _mm_setzero_ps();
    for (int n = 0; n < 64; n += 8) {
        const __m128 x0 = _mm_mul_ps(_mm_loadu_ps(factors + n), _mm_loadu_ps(samples + n));
        const __m128 x1 = _mm_mul_ps(_mm_loadu_ps(factors + n + 4), _mm_loadu_ps(samples + n + 4));
        low = _mm_min_ps(low, _mm_min_ps(x0, x1));
        high = _mm_max_ps(high, _mm_max_ps(x0, x1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_packs_epi32(_mm_cvtps_epi32(x0), _mm_cvtps_epi32(x1)));
    }
    // -32768.5 rounds to -32768 (even); 32767.5 would round to 32768.
    const bool tooLow = _mm_movemask_ps(_mm_cmplt_ps(low, _mm_set1_ps(-32768.5f))) != 0;
    const bool tooHigh = _mm_movemask_ps(_mm_cmpge_ps(high, _mm_set1_ps(32767.5f))) != 0;
    return !tooLow && !tooHigh;
}
#endif

#if defined(OSTREL_JPEG_AVX2)
// The zig-zag reordering as byte shuffles: zig-zag values 8o .. 8o + 7 are
// gathered from the block rows (eight 16-bit values each) that hold them,
// one shuffle per such row, the others left out at compile time.
struct ZigZagShuffles {
    bool uses[8][8]{};                // [o][r]: row r holds a value of group o
    alignas(16) std::uint8_t mask[8][8][16]{}; // bytes of row r to lane j of group o; 0x80 = none
};

constexpr ZigZagShuffles zigZagShuffles(const jpeg::BlockIndex& indexOf)
{
    ZigZagShuffles shuffles{};
    for (int o = 0; o < 8; ++o)
        for (int r = 0; r < 8; ++r)
            for (int b = 0; b < 16; ++b)
                shuffles.mask[o][r][b] = 0x80;
    for (int z = 0; z < 64; ++z) {
        const int o = z / 8, j = z % 8, r = indexOf[static_cast<std::size_t>(z)] / 8,
                  c = indexOf[static_cast<std::size_t>(z)] % 8;
        shuffles.uses[o][r] = true;
        shuffles.mask[o][r][2 * j] = static_cast<std::uint8_t>(2 * c);
        shuffles.mask[o][r][2 * j + 1] = static_cast<std::uint8_t>(2 * c + 1);
    }
    return shuffles;
}

constexpr ZigZagShuffles kShuffles[2] = {zigZagShuffles(jpeg::kNaturalOf), zigZagShuffles(jpeg::kTransposedOf)};

template <int Layout, int O, int... R>
OSTREL_TARGET_AVX2 inline __m128i zigZagGroup(const __m128i (&rows)[8], std::integer_sequence<int, R...>)
{
    constexpr const ZigZagShuffles& s = kShuffles[Layout];
    __m128i group = _mm_setzero_si128();
    ((group = s.uses[O][R] ? _mm_or_si128(group, _mm_shuffle_epi8(rows[R], _mm_load_si128(
                                                     reinterpret_cast<const __m128i*>(s.mask[O][R]))))
                           : group),
     ...);
    return group;
}

// Rounds the products as roundProductsSse2 does and stores them in zig-zag
// order; returns which are not zero, or nothing when one leaves the range.
template <int Layout, int... O>
OSTREL_TARGET_AVX2 std::optional<std::uint64_t> roundZigZagAvx2(const float* factors, const float* samples,
                                                                std::int16_t* zigZag, std::integer_sequence<int, O...>)
{
    __m128i rows[8];
    __m256 low = _mm256_setzero_ps();
    __m256 high = _mm256_setzero_ps();
    for (int r = 0; r < 8; r += 2) {
        const __m256 x0 = _mm256_mul_ps(_mm256_loadu_ps(factors + 8 * r), _mm256_loadu_ps(samples + 8 * r));
        const __m256 x1 = _mm256_mul_ps(_mm256_loadu_ps(factors + 8 * r + 8), _mm256_loadu_ps(samples + 8 * r + 8));
        low = _mm256_min_ps(low, _mm256_min_ps(x0, x1));
        high = _mm256_max_ps(high, _mm256_max_ps(x0, x1));
        // Packing works within 128-bit halves: put rows r and r + 1 back in order.
        const __m256i packed = _mm256_permute4x64_epi64(
            _mm256_packs_epi32(_mm256_cvtps_epi32(x0), _mm256_cvtps_epi32(x1)), 0xD8);
        rows[r] = _mm256_castsi256_si128(packed);
        rows[r + 1] = _mm256_extracti128_si256(packed, 1);
    }
    const bool tooLow = _mm256_movemask_ps(_mm256_cmp_ps(low, _mm256_set1_ps(-32768.5f), _CMP_LT_OQ)) != 0;
    const bool tooHigh = _mm256_movemask_ps(_mm256_cmp_ps(high, _mm256_set1_ps(32767.5f), _CMP_GE_OQ)) != 0;
    if (tooLow || tooHigh)
        return std::nullopt;
    const __m128i groups[8] = {zigZagGroup<Layout, O>(rows, std::make_integer_sequence<int, 8>{})...};
    std::uint64_t zeros = 0;
    for (int o = 0; o < 8; o += 2) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(zigZag + 8 * o), groups[o]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(zigZag + 8 * o + 8), groups[o + 1]);
        const __m128i zero = _mm_setzero_si128();
        const __m128i eq = _mm_packs_epi16(_mm_cmpeq_epi16(groups[o], zero), _mm_cmpeq_epi16(groups[o + 1], zero));
        zeros |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(eq))) << (8 * o);
    }
    return ~zeros;
}
#endif

bool roundProducts(jpeg::CodePath path, const float* factors, const float* samples, std::int16_t* out)
{
#if defined(__SSE2__)
    if (path != jpeg::CodePath::Scalar)
        return roundProductsSse2(factors, samples, out);
#endif
    (void)path;
    return roundProductsScalar(factors, samples, out);
}

} // namespace

std::array<float, 64> cJpeg::BlockOrder(const std::array<float, 64>& zigZagOrder, jpeg::BlockLayout layout)
{
    const jpeg::BlockIndex& indexOf = jpeg::indexOf(layout);
    std::array<float, 64> inBlock{};
    for (std::size_t z = 0; z < 64; ++z)
        inBlock[indexOf[z]] = zigZagOrder[z];
    return inBlock;
}

std::uint64_t cJpeg::Quantize(const float (&block)[8][8], std::int16_t* zigZag,
                              const std::array<float, 64>& blockFactors, jpeg::BlockLayout layout) const
{
#if defined(OSTREL_JPEG_AVX2)
    if (Path == jpeg::CodePath::Avx2) {
        constexpr auto groups = std::make_integer_sequence<int, 8>{};
        const auto nonZero =
            layout == jpeg::BlockLayout::Natural
                ? roundZigZagAvx2<0>(blockFactors.data(), &block[0][0], zigZag, groups)
                : roundZigZagAvx2<1>(blockFactors.data(), &block[0][0], zigZag, groups);
        if (!nonZero)
            throw platform::NumberedError::overflow();
        return *nonZero;
    }
#endif
    alignas(16) std::int16_t rounded[64];
    if (!roundProducts(Path, blockFactors.data(), &block[0][0], rounded))
        throw platform::NumberedError::overflow();
    const jpeg::BlockIndex& indexOf = jpeg::indexOf(layout);
    for (std::size_t z = 0; z < 64; ++z)
        zigZag[z] = rounded[indexOf[z]];
    return jpegblocks::nonZeroMask(zigZag, Path != jpeg::CodePath::Scalar);
}
