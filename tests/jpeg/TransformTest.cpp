// Tests of the forward DCT and quantisation against a reference transform.
#include "cJpegDct.h"
#include "cJpegProbe.h"

#include "platform/NumberedError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using I = cJpegProbe;

namespace {

// The DCT of ISO/IEC 10918-1 A.3.3, in double precision.
double trueDct(const float (&block)[8][8], int v, int u)
{
    const double pi = std::acos(-1.0);
    const double cu = u == 0 ? 1 / std::sqrt(2.0) : 1.0;
    const double cv = v == 0 ? 1 / std::sqrt(2.0) : 1.0;
    double sum = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            sum += block[y][x] * std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
    return cu * cv * sum / 4;
}

double aanScale(int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * std::acos(-1.0) / 16); }

} // namespace

TEST(ForwardDCT, FlatBlockHasOnlyDC)
{
    cJpeg j;
    auto& block = I::workBlock(j);
    for (auto& row : block)
        std::fill(std::begin(row), std::end(row), 37.0f);
    I::forwardDCT(j);
    EXPECT_NEAR(block[0][0], 64 * 37.0, 1e-3);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            if (r || c) {
                EXPECT_NEAR(block[r][c], 0.0, 1e-3) << r << "," << c;
            }
        }
}

TEST(ForwardDCT, MatchesTheTrueTransformScaledByTheAanFactors)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int> sample(-128, 127);
    cJpeg j;
    auto& block = I::workBlock(j);
    float input[8][8];
    for (int trial = 0; trial < 20; ++trial) {
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                block[r][c] = input[r][c] = static_cast<float>(sample(random));
        I::forwardDCT(j);
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u)
                ASSERT_NEAR(block[v][u], trueDct(input, v, u) * 8 * aanScale(u) * aanScale(v), 0.02)
                    << "trial " << trial << " at " << v << "," << u;
    }
}

TEST(QuantizeBlock, StoresZigZagOrderRoundingHalfToEven)
{
    cJpeg j;
    auto& block = I::workBlock(j);
    for (auto& row : block)
        std::fill(std::begin(row), std::end(row), 0.0f);
    block[0][0] = 2.5f;  // zig-zag 0
    block[0][1] = 3.5f;  // zig-zag 1
    block[1][0] = -2.5f; // zig-zag 2
    block[2][0] = 0.5f;  // zig-zag 3
    block[7][7] = -7.49f;
    std::array<float, 64> ones;
    ones.fill(1.0f);
    Coefficients out(128, 99);
    std::int64_t position = 64;
    I::quantize(j, out, position, ones);
    EXPECT_EQ(position, 128);
    EXPECT_EQ(out[63], 99); // the block before is untouched
    EXPECT_EQ(out[64], 2);
    EXPECT_EQ(out[65], 4);
    EXPECT_EQ(out[66], -2);
    EXPECT_EQ(out[67], 0);
    EXPECT_EQ(out[127], -7);
}

TEST(QuantizeBlock, QualityHundredGivesTheRoundedTrueCoefficients)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> sample(-128, 127);
    cJpeg j;
    j.Quality(100);
    auto& block = I::workBlock(j);
    float input[8][8];
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            block[r][c] = input[r][c] = static_cast<float>(sample(random));
    I::forwardDCT(j);
    Coefficients out(64);
    std::int64_t position = 0;
    I::quantize(j, out, position, I::qtable(j, 0).Factor);
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
            EXPECT_NEAR(out[static_cast<std::size_t>(I::zigZag(j, u, v))], trueDct(input, v, u), 0.51)
                << v << "," << u;
}

TEST(QuantizeBlock, ValuesBeyondSixteenBitsRaiseOverflow)
{
    cJpeg j;
    auto& block = I::workBlock(j);
    std::array<float, 64> ones;
    ones.fill(1.0f);
    Coefficients out(64);
    std::int64_t position = 0;
    const auto quantize = [&](float value) {
        for (auto& row : block)
            std::fill(std::begin(row), std::end(row), 0.0f);
        block[3][5] = value;
        position = 0;
        try {
            I::quantize(j, out, position, ones);
        } catch (const platform::NumberedError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(quantize(32767.4f), 0);
    EXPECT_EQ(out[static_cast<std::size_t>(I::zigZag(j, 5, 3))], 32767);
    EXPECT_EQ(quantize(-32768.5f), 0); // ties to even: -32768
    EXPECT_EQ(out[static_cast<std::size_t>(I::zigZag(j, 5, 3))], -32768);
    EXPECT_EQ(quantize(32767.5f), 6);
    EXPECT_EQ(quantize(-40000.0f), 6);
    EXPECT_EQ(quantize(1e30f), 6);
    EXPECT_EQ(position, 0); // nothing counted for a failed block
}

// Each vector transform gives the scalar one's values bit for bit, in the
// natural and in the transposed order, on fractional and whole samples.
TEST(ForwardDCT, EveryCodePathEqualsTheScalarVersionBitForBit)
{
    std::mt19937 random(23);
    std::uniform_real_distribution<float> sample(-128.0f, 127.0f);
    int pathsTried = 0;
    for (jpeg::CodePath path : {jpeg::CodePath::Sse2, jpeg::CodePath::Avx2}) {
        if (!jpeg::hasCodePath(path))
            continue;
        ++pathsTried;
        for (int trial = 0; trial < 2000; ++trial) {
            float natural[8][8], transposed[8][8], scalar[8][8];
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c)
                    natural[r][c] = transposed[r][c] = scalar[r][c] =
                        trial % 10 == 0 ? std::round(sample(random)) : sample(random);
            jpegdct::forwardDct(natural, path);
            jpegdct::forwardDctTransposed(transposed, path);
            jpegdct::forwardDctScalar(scalar);
            ASSERT_EQ(std::memcmp(natural, scalar, sizeof natural), 0)
                << "path " << static_cast<int>(path) << ", trial " << trial;
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c)
                    ASSERT_EQ(std::memcmp(&transposed[c][r], &scalar[r][c], sizeof(float)), 0)
                        << "path " << static_cast<int>(path) << ", trial " << trial << " at " << r << "," << c;
        }
    }
    if (pathsTried == 0)
        GTEST_SKIP() << "this build and processor have no vector version";
}
