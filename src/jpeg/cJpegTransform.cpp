// Transform and quantisation of one 8x8 block of the encoder.
#include "cJpeg.h"
#include "cJpegDct.h"

#include "platform/NumberedError.h"

#include <algorithm>

void cJpeg::ForwardDCT()
{
    jpegdct::forwardDct(WorkBlock);
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

std::array<float, 64> cJpeg::NaturalOrder(const std::array<float, 64>& zigZagOrder) const
{
    std::array<float, 64> natural{};
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            natural[static_cast<std::size_t>(8 * r + c)] = zigZagOrder[static_cast<std::size_t>(ZigZag[c][r])];
    return natural;
}

void cJpeg::QuantizeBlock(Coefficients& coefficients, std::int64_t& position,
                          const std::array<float, 64>& factors)
{
    QuantizeNatural(coefficients, position, NaturalOrder(factors));
}

void cJpeg::QuantizeNatural(Coefficients& coefficients, std::int64_t& position,
                            const std::array<float, 64>& naturalFactors)
{
    // Adding and removing 1.5 * 2^23 leaves a float rounded to a whole number,
    // to nearest with ties to even (the default rounding), for |x| < 2^22;
    // anything larger stays far outside the 16-bit range and is reported below.
    constexpr float kRound = 12582912.0f;
    const float* block = &WorkBlock[0][0];
    float rounded[64];
    for (std::size_t n = 0; n < 64; ++n)
        rounded[n] = (naturalFactors[n] * block[n] + kRound) - kRound;
    float low = 0.0f;
    float high = 0.0f;
    for (float value : rounded) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    if (low < -32768.0f || high > 32767.0f)
        throw platform::NumberedError::overflow();
    // Stored in zig-zag order.
    std::int16_t* out = coefficients.data() + position;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            out[ZigZag[c][r]] = static_cast<std::int16_t>(rounded[8 * r + c]);
    position += 64;
}
