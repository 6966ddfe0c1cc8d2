// Tests of the optimal Huffman tables: statistics, code lengths, limits, codes.
#include "cJpegProbe.h"

#include "platform/NumberedError.h"
#include "support/Images.h"

#include <gtest/gtest.h>

#include <numeric>

using I = cJpegProbe;

namespace {

std::vector<int> bitsOf(const HuffmanTable& t) { return {t.BITS.begin(), t.BITS.end()}; }

std::vector<int> huffval(const HuffmanTable& t)
{
    int n = 0;
    for (auto b : t.BITS)
        n += b;
    return {t.HUFFVAL.begin(), t.HUFFVAL.begin() + n};
}

HuffmanTable tableOf(std::vector<int> bits, std::vector<int> symbols)
{
    HuffmanTable t;
    for (std::size_t i = 0; i < bits.size(); ++i)
        t.BITS[i] = static_cast<std::uint8_t>(bits[i]);
    for (std::size_t i = 0; i < symbols.size(); ++i)
        t.HUFFVAL[i] = static_cast<std::uint8_t>(symbols[i]);
    return t;
}

bool rejected(HuffmanTable t, int largest)
{
    try {
        I::generateCodes(t, largest);
    } catch (const platform::NumberedError& e) {
        return e.number() == 1 && e.description() == "Bad Huffman Table";
    }
    return false;
}

std::vector<int> bits(int first, int second = -1, int third = -1)
{
    std::vector<int> b(16, 0);
    for (int length : {first, second, third})
        if (length > 0)
            ++b[static_cast<std::size_t>(length - 1)];
    return b;
}

} // namespace

TEST(BuildOptimalTable, TiesTakeTheHigherSymbolFirst)
{
    Frequencies freq{};
    freq[0] = 2;
    freq[1] = 1;
    freq[2] = 1;
    HuffmanTable t;
    I::buildOptimalTable(t, freq);
    EXPECT_EQ(bitsOf(t), bits(1, 2, 3));
    EXPECT_EQ(huffval(t), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(std::all_of(freq.begin(), freq.end(), [](int f) { return f == 0; }));
    I::generateCodes(t, 255);
    EXPECT_EQ(t.EHUFSI[0], 1);
    EXPECT_EQ(t.EHUFCO[0], 0);    // 0
    EXPECT_EQ(t.EHUFCO[1], 0b10); // 10
    EXPECT_EQ(t.EHUFSI[2], 4);
    EXPECT_EQ(t.EHUFCO[2], 0b110); // 110: never all ones
    EXPECT_EQ(t.EHUFSI[3], 0);
    EXPECT_EQ(t.EHUFCO[3], -1);
}

TEST(BuildOptimalTable, SingleSymbolGetsAOneBitCode)
{
    Frequencies freq{};
    freq[0x00] = 500;
    HuffmanTable t;
    I::buildOptimalTable(t, freq);
    EXPECT_EQ(bitsOf(t), bits(1));
    EXPECT_EQ(huffval(t), std::vector<int>{0});
    I::generateCodes(t, 255);
    EXPECT_EQ(t.EHUFCO[0], 0);
}

TEST(BuildOptimalTable, SkewedStatisticsAreLimitedToSixteenBits)
{
    // Fibonacci counts make a code tree 25 levels deep.
    Frequencies freq{};
    int a = 1, b = 1;
    for (int s = 0; s < 25; ++s) {
        freq[static_cast<std::size_t>(s)] = a;
        const int next = a + b;
        a = b;
        b = next;
    }
    const Frequencies counts = freq;
    HuffmanTable t;
    I::buildOptimalTable(t, freq);
    EXPECT_EQ(huffval(t).size(), 25u);
    I::generateCodes(t, 255);
    double kraft = 0;
    for (int s = 0; s < 25; ++s) {
        ASSERT_GT(t.EHUFSI[static_cast<std::size_t>(s)], 0) << s;
        ASSERT_LE(t.EHUFSI[static_cast<std::size_t>(s)], 1 << 15) << s;
        kraft += 1.0 / (2.0 * t.EHUFSI[static_cast<std::size_t>(s)]);
    }
    EXPECT_LT(kraft, 1.0);
    // A more frequent symbol never has a longer code.
    for (std::size_t s = 0; s < 25; ++s)
        for (std::size_t u = 0; u < 25; ++u) {
            if (counts[s] > counts[u]) {
                EXPECT_LE(t.EHUFSI[s], t.EHUFSI[u]) << s << " " << u;
            }
        }
}

TEST(GenerateCodes, RejectsInconsistentTables)
{
    EXPECT_TRUE(rejected(tableOf({2}, {0, 1}), 255));              // uses the all-ones code 1
    EXPECT_TRUE(rejected(tableOf({3}, {0, 1, 2}), 255));           // three 1-bit codes
    EXPECT_TRUE(rejected(tableOf({1, 1}, {12, 0}), 11));           // symbol above the DC range
    EXPECT_TRUE(rejected(tableOf({1, 1}, {5, 5}), 255));           // a symbol listed twice
    EXPECT_TRUE(rejected(tableOf({}, {}), 255));                   // empty
    std::vector<int> many(16, 0);
    many[8] = 255;
    many[9] = 2;
    std::vector<int> symbols(256);
    std::iota(symbols.begin(), symbols.end(), 0);
    symbols.push_back(0);
    EXPECT_TRUE(rejected(tableOf(many, symbols), 255));            // more than 256 codes
    EXPECT_FALSE(rejected(tableOf({1, 1}, {12, 0}), 255));
}

TEST(ScanPlan, GroupsKeepTenBlocksPerUnitOrFewer)
{
    const auto groups = [](int h1, int v1, int h2, int v2, int h3, int v3) {
        cJpeg j;
        j.SetSamplingFrequencies(h1, v1, h2, v2, h3, v3);
        std::vector<std::pair<int, int>> result;
        for (const ScanGroup& g : I::scanGroups(j))
            result.emplace_back(g.first, g.last);
        return result;
    };
    using G = std::vector<std::pair<int, int>>;
    EXPECT_EQ(groups(2, 2, 1, 1, 1, 1), (G{{0, 2}}));
    EXPECT_EQ(groups(1, 1, 0, 0, 0, 0), (G{{0, 0}}));
    EXPECT_EQ(groups(4, 3, 1, 1, 1, 1), (G{{0, 0}, {1, 2}}));
    EXPECT_EQ(groups(2, 2, 2, 2, 2, 2), (G{{0, 1}, {2, 2}}));
    EXPECT_EQ(groups(4, 4, 4, 4, 1, 1), (G{{0, 0}, {1, 1}, {2, 2}}));
    EXPECT_EQ(groups(3, 3, 1, 1, 1, 1), (G{{0, 1}, {2, 2}})); // 9 + 1, then 11 with Cr
}

TEST(ScanPlan, InterleavedOrderVisitsEveryBlockOnceWithFillersAtTheEdges)
{
    cJpeg j;
    ASSERT_EQ(sampleImage(j, testsupport::pattern(100, 75)), 0);
    std::vector<std::vector<int>> visits(3);
    int fillers[3] = {0, 0, 0};
    I::walkInterleaved(j, {0, 1, 2}, [&](std::int32_t m, std::int64_t offset) {
        if (offset < 0)
            ++fillers[m];
        else
            visits[static_cast<std::size_t>(m)].push_back(static_cast<int>(offset / 64));
    });
    EXPECT_EQ(fillers[0], 10); // 14 x 10 positions for 13 x 10 blocks
    EXPECT_EQ(fillers[1], 0);
    EXPECT_EQ(fillers[2], 0);
    for (int m = 0; m < 3; ++m) {
        auto sorted = visits[static_cast<std::size_t>(m)];
        std::sort(sorted.begin(), sorted.end());
        const int blocks = m == 0 ? 130 : 35;
        ASSERT_EQ(static_cast<int>(sorted.size()), blocks);
        for (int b = 0; b < blocks; ++b)
            ASSERT_EQ(sorted[static_cast<std::size_t>(b)], b);
    }
    // Within the first unit: Y blocks (0,0), (1,0), (0,1), (1,1) of the 13-wide grid.
    EXPECT_EQ(std::vector<int>(visits[0].begin(), visits[0].begin() + 4), (std::vector<int>{0, 1, 13, 14}));
}

TEST(OptimizeTables, BuildsOnlyTheTablesInUse)
{
    cJpeg grey;
    grey.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
    ASSERT_EQ(sampleImage(grey, testsupport::pattern(24, 16)), 0);
    EXPECT_GT(I::optimizeTables(grey), 0);
    EXPECT_GT(huffval(I::dcTable(grey, 0)).size(), 0u);
    EXPECT_GT(huffval(I::acTable(grey, 0)).size(), 0u);
    EXPECT_EQ(huffval(I::dcTable(grey, 1)).size(), 0u);
    EXPECT_EQ(huffval(I::acTable(grey, 1)).size(), 0u);

    cJpeg colour;
    ASSERT_EQ(sampleImage(colour, testsupport::pattern(24, 16)), 0);
    I::optimizeTables(colour);
    EXPECT_GT(huffval(I::acTable(colour, 1)).size(), 0u);
    EXPECT_EQ(huffval(I::dcTable(colour, 2)).size(), 0u);
    EXPECT_EQ(huffval(I::acTable(colour, 3)).size(), 0u);
}

TEST(OptimizeTables, FlatImageHasOnlyEndOfBlockSymbols)
{
    cJpeg j;
    j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
    ASSERT_EQ(sampleImage(j, solid(64, 64, qRgb(90, 90, 90))), 0);
    I::optimizeTables(j);
    EXPECT_EQ(bitsOf(I::acTable(j, 0)), bits(1));
    EXPECT_EQ(huffval(I::acTable(j, 0)), std::vector<int>{0});
}

TEST(OptimizeTables, EstimateIsCloseToTheScanSize)
{
    cJpeg j;
    ASSERT_EQ(sampleImage(j, testsupport::pattern(200, 120)), 0);
    const int estimate = I::optimizeTables(j);
    const auto scans = I::scansFromEmptyBuffer(j);
    // The estimate leaves out headers, stuffing and padding only.
    EXPECT_LE(estimate, static_cast<int>(scans.size()));
    EXPECT_GE(estimate * 1.05 + 20, static_cast<double>(scans.size()));
}
