// Transform and quantisation of one 8x8 block of the encoder.
#include "cJpeg.h"
#include "cJpegDct.h"

#include "platform/NumberedError.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
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
    Quantize(WorkBlock, coefficients.data() + position, BlockOrder(factors, jpeg::kNaturalOf), jpeg::kNaturalOf);
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

std::array<float, 64> cJpeg::BlockOrder(const std::array<float, 64>& zigZagOrder, const jpeg::BlockIndex& indexOf)
{
    std::array<float, 64> inBlock{};
    for (std::size_t z = 0; z < 64; ++z)
        inBlock[indexOf[z]] = zigZagOrder[z];
    return inBlock;
}

void cJpeg::Quantize(const float (&block)[8][8], std::int16_t* zigZag, const std::array<float, 64>& blockFactors,
                     const jpeg::BlockIndex& indexOf) const
{
    alignas(16) std::int16_t rounded[64];
    if (!roundProducts(Path, blockFactors.data(), &block[0][0], rounded))
        throw platform::NumberedError::overflow();
    for (std::size_t z = 0; z < 64; ++z)
        zigZag[z] = rounded[indexOf[z]];
}
