// Tests of the encoder's settings: quality, sampling factors, comments and their validation.
#include "cJpegProbe.h"

#include "platform/NumberedError.h"

#include <gtest/gtest.h>

using I = cJpegProbe;

namespace {

std::vector<int> values(const QuantTable& t) { return {t.Qk.begin(), t.Qk.end()}; }

// Runs `action` and returns the description of the numbered error it raises.
template <class Action>
std::string errorOf(Action action, int expectedNumber = 1)
{
    try {
        action();
    } catch (const platform::NumberedError& e) {
        EXPECT_EQ(e.number(), expectedNumber);
        return e.description().toStdString();
    }
    return "(no error)";
}

} // namespace

TEST(Configuration, ConstructionDefaults)
{
    cJpeg j;
    EXPECT_EQ(j.Quality(), 75);
    EXPECT_EQ(j.Comment(), QString());
    EXPECT_EQ(I::precision(j), 0);
    ASSERT_EQ(I::componentCount(j), 3);
    const auto& c = I::components(j);
    EXPECT_EQ(c[0].H, 2);
    EXPECT_EQ(c[0].V, 2);
    EXPECT_EQ(c[1].H, 1);
    EXPECT_EQ(c[2].V, 1);
    EXPECT_EQ(c[0].Tq, 0);
    EXPECT_EQ(c[1].Tq, 1);
    EXPECT_EQ(c[2].Tq, 1);
    EXPECT_EQ(c[0].Ci, 0);
    EXPECT_EQ(I::hMax(j), 2);
    EXPECT_EQ(I::vMax(j), 2);
    const auto& base = I::baseLuminance(j);
    EXPECT_EQ(std::vector<int>(base.begin(), base.begin() + 10), (std::vector<int>{16, 11, 12, 14, 12, 10, 16, 14, 13, 14}));
}

TEST(Configuration, ZigZagFollowsTheStandardSequence)
{
    cJpeg j;
    EXPECT_EQ(I::zigZag(j, 0, 0), 0);
    EXPECT_EQ(I::zigZag(j, 1, 0), 1);
    EXPECT_EQ(I::zigZag(j, 0, 1), 2);
    EXPECT_EQ(I::zigZag(j, 0, 2), 3);
    EXPECT_EQ(I::zigZag(j, 1, 1), 4);
    EXPECT_EQ(I::zigZag(j, 2, 0), 5);
    EXPECT_EQ(I::zigZag(j, 7, 0), 28);
    EXPECT_EQ(I::zigZag(j, 0, 7), 35);
    EXPECT_EQ(I::zigZag(j, 7, 6), 61);
    EXPECT_EQ(I::zigZag(j, 6, 7), 62);
    EXPECT_EQ(I::zigZag(j, 7, 7), 63);
    std::vector<bool> seen(64);
    for (int c = 0; c < 8; ++c)
        for (int r = 0; r < 8; ++r)
            seen[static_cast<std::size_t>(I::zigZag(j, c, r))] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 64);
}

TEST(Configuration, QualityScalesTablesWithRoundingHalfToEven)
{
    cJpeg j;
    // Quality 75 (the default): 7.5 -> 8 and 8.5 -> 8.
    const auto lum = values(I::qtable(j, 0));
    EXPECT_EQ(std::vector<int>(lum.begin(), lum.begin() + 16),
              (std::vector<int>{8, 6, 6, 8, 6, 6, 8, 8, 7, 8, 10, 9, 8, 10, 12, 20}));
    EXPECT_EQ(std::vector<int>(lum.end() - 5, lum.end()), (std::vector<int>{60, 46, 51, 52, 50}));
    std::vector<int> chroma{9, 10, 10, 12, 11, 12, 24, 14, 14, 24, 50, 34, 28, 34};
    chroma.resize(64, 50);
    EXPECT_EQ(values(I::qtable(j, 1)), chroma);

    j.Quality(100);
    EXPECT_EQ(values(I::qtable(j, 0)), std::vector<int>(64, 1));
    EXPECT_EQ(values(I::qtable(j, 1)), std::vector<int>(64, 1));
    j.Quality(1);
    EXPECT_EQ(values(I::qtable(j, 0)), std::vector<int>(64, 255));
    // Quality 50 scales by exactly 1, so (base * 100 + 50) / 100 = base + 0.5,
    // which rounds to the even neighbour: even base values stay, odd ones go up.
    j.Quality(50);
    const auto& base = I::baseLuminance(j);
    for (std::size_t i = 0; i < 64; ++i)
        EXPECT_EQ(I::qtable(j, 0).Qk[i], base[i] % 2 == 0 ? base[i] : base[i] + 1) << i;
    j.Quality(16); // scale 312.5 -> 312: 16 -> 50.42, 11 -> 34.82
    EXPECT_EQ(I::qtable(j, 0).Qk[0], 50);
    EXPECT_EQ(I::qtable(j, 0).Qk[1], 35);
    j.Quality(3); // scale 1667: every value clamps at 255 but the smallest ones
    EXPECT_EQ(I::qtable(j, 0).Qk[5], 167); // 10 * 1667 + 50 = 16720 -> 167.2
    EXPECT_EQ(I::qtable(j, 0).Qk[0], 255);
    EXPECT_EQ(j.Quality(), 3);
}

TEST(Configuration, QualityOutsideOneToHundredIsIgnored)
{
    cJpeg j;
    const auto before = values(I::qtable(j, 0));
    for (int q : {0, 101, -5}) {
        j.Quality(q);
        EXPECT_EQ(j.Quality(), 75);
        EXPECT_EQ(values(I::qtable(j, 0)), before);
    }
}

TEST(Configuration, FactorsFollowTheTablesAndRejectBadValues)
{
    cJpeg j;
    // Factor = ScaleFactor[c] * ScaleFactor[r] / q: the DC factor is 1/(8 q).
    EXPECT_FLOAT_EQ(I::qtable(j, 0).Factor[0], 1.0f / (8 * 8));
    I::qtable(j, 0).Qk[5] = 0;
    EXPECT_EQ(errorOf([&] { I::computeFactors(j, 0); }), "Bad Quantization Table");
    I::qtable(j, 0).Qk[5] = 256;
    EXPECT_EQ(errorOf([&] { I::computeFactors(j, 0); }), "Bad Quantization Table");
}

TEST(Configuration, SamplingFactorsAreValidated)
{
    cJpeg j;
    j.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    EXPECT_EQ(I::componentCount(j), 3);
    EXPECT_EQ(I::hMax(j), 1);
    EXPECT_EQ(I::vMax(j), 1);

    for (auto [h, v] : {std::pair{1, 1}, std::pair{3, 2}}) {
        j.SetSamplingFrequencies(h, v, 0, 0, 0, 0);
        ASSERT_EQ(I::componentCount(j), 1);
        EXPECT_EQ(I::components(j)[0].H, 1);
        EXPECT_EQ(I::components(j)[0].V, 1);
    }

    j.SetSamplingFrequencies(4, 3, 1, 2, 1, 1);
    EXPECT_EQ(I::hMax(j), 4);
    EXPECT_EQ(I::vMax(j), 3);
    EXPECT_EQ(errorOf([&] { j.SetSamplingFrequencies(5, 1, 0, 0, 0, 0); }), "Invalid Sampling Value");
    EXPECT_EQ(errorOf([&] { j.SetSamplingFrequencies(2, 2, 1, 1, 1, 0); }), "Invalid Sampling Value");
    EXPECT_EQ(errorOf([&] { j.SetSamplingFrequencies(1, 0, 1, 1, 1, 1); }), "Invalid Sampling Value");
    EXPECT_EQ(errorOf([&] { j.SetSamplingFrequencies(2, 2, 1, 1, 5, 1); }), "Invalid Sampling Value");
    // A rejected call keeps the previous layout.
    EXPECT_EQ(I::componentCount(j), 3);
    EXPECT_EQ(I::components(j)[0].H, 4);
    EXPECT_EQ(I::components(j)[1].V, 2);
}

TEST(Configuration, CommentLengthIsLimited)
{
    cJpeg j;
    const QString longest(65533, QChar('x'));
    j.Comment(longest);
    EXPECT_EQ(j.Comment(), longest);
    EXPECT_EQ(errorOf([&] { j.Comment(QString(65534, QChar('y'))); }), "Illegal Comment Length");
    EXPECT_EQ(j.Comment(), longest);
}
