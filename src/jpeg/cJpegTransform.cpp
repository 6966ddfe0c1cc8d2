// Forward DCT (Arai-Agui-Nakajima) and quantisation of one 8x8 block.
//
// Every named intermediate is a single-precision value; the products with the
// transform's constants are formed in double precision and then stored as
// single precision. Together with -ffp-contract=off this makes the output the
// same on every build.
#include "cJpeg.h"

#include "platform/NumberedError.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

static_assert(FLT_EVAL_METHOD == 0, "single-precision values must be evaluated in single precision");

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

} // namespace

void cJpeg::ForwardDCT()
{
    for (int c = 0; c < 8; ++c)
        transform8(&WorkBlock[0][c], 8);
    for (int r = 0; r < 8; ++r)
        transform8(&WorkBlock[r][0], 1);
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

void cJpeg::QuantizeBlock(std::vector<std::int16_t>& coefficients, std::int64_t& position,
                          const std::array<float, 64>& factors)
{
    // Natural (row by row) index of each zig-zag position.
    std::array<std::uint8_t, 64> natural;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            natural[static_cast<std::size_t>(ZigZag[c][r])] = static_cast<std::uint8_t>(8 * r + c);
    // Adding and removing 1.5 * 2^23 leaves a float rounded to a whole number,
    // to nearest with ties to even (the default rounding), for |x| < 2^22;
    // anything larger stays far outside the 16-bit range and is reported below.
    constexpr float kRound = 12582912.0f;
    const float* block = &WorkBlock[0][0];
    std::int16_t* out = coefficients.data() + position;
    float low = 0.0f;
    float high = 0.0f;
    for (std::size_t z = 0; z < 64; ++z) {
        const float x = factors[z] * block[natural[z]];
        const float rounded = (x + kRound) - kRound;
        low = std::min(low, rounded);
        high = std::max(high, rounded);
        out[z] = static_cast<std::int16_t>(std::clamp(rounded, -32768.0f, 32767.0f));
    }
    if (low < -32768.0f || high > 32767.0f)
        throw platform::NumberedError::overflow();
    position += 64;
}
