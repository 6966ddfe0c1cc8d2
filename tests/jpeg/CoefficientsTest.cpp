// Tests of the packed coefficient store: blocks come back as stored, however
// sparse or full, whichever row is stored first and on whichever thread.
#include "jpeg/cJpegCoefficients.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

namespace {

using Block = std::array<std::int16_t, 64>;

std::uint64_t acMask(const Block& b)
{
    std::uint64_t mask = 0;
    for (int k = 1; k < 64; ++k)
        mask |= static_cast<std::uint64_t>(b[static_cast<std::size_t>(k)] != 0) << k;
    return mask;
}

// Blocks from empty to full: the share of non-zero values grows with the index.
Block makeBlock(std::mt19937& random, int index, int count)
{
    Block b{};
    std::uniform_int_distribution<int> value(-2047, 2047);
    std::bernoulli_distribution nonZero(static_cast<double>(index) / (count - 1));
    for (auto& v : b)
        v = nonZero(random) ? static_cast<std::int16_t>(value(random) | 1) : 0;
    if (index == count - 1)
        b.fill(-32768); // every value at the extreme
    return b;
}

Block expanded(const jpeg::PackedCoefficients& store, std::int64_t index)
{
    Block b;
    store.expand(index, b.data());
    return b;
}

} // namespace

TEST(CoefficientStore, BlocksComeBackAsStoredInAnyRowOrder)
{
    constexpr int columns = 7, rows = 5, count = columns * rows;
    std::mt19937 random(5);
    std::vector<Block> blocks;
    for (int i = 0; i < count; ++i)
        blocks.push_back(makeBlock(random, i, count));

    jpeg::PackedCoefficients store;
    store.reset(columns, rows);
    ASSERT_EQ(store.blockCount(), count);
    EXPECT_EQ(expanded(store, 17), Block{}); // all zero until stored

    // Rows last to first, the middle row twice (the second time with other values).
    const auto storeRow = [&](int row, const std::vector<Block>& from) {
        for (int column = 0; column < columns; ++column) {
            const auto& b = from[static_cast<std::size_t>(row * columns + column)];
            store.put(row * columns + column, b.data(), acMask(b));
        }
    };
    std::vector<Block> other = blocks;
    std::shuffle(other.begin(), other.end(), random);
    storeRow(2, other);
    for (int row = rows - 1; row >= 0; --row)
        storeRow(row, blocks);

    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(expanded(store, i), blocks[static_cast<std::size_t>(i)]) << "block " << i;
        const jpeg::PackedBlock& b = store.block(i);
        EXPECT_EQ(b.dc, blocks[static_cast<std::size_t>(i)][0]);
        EXPECT_EQ(b.nonZero & 1, 0u);
    }
    store.clear();
    EXPECT_TRUE(store.empty());
}

TEST(CoefficientStore, RowsStoredOnTwoThreadsAtOnceStayApart)
{
    constexpr int columns = 300, rows = 40;
    std::mt19937 random(8);
    std::vector<Block> blocks;
    for (int i = 0; i < columns * rows; ++i)
        blocks.push_back(makeBlock(random, i % 64, 64));
    jpeg::PackedCoefficients store;
    store.reset(columns, rows);
    const auto storeRows = [&](int parity) {
        for (int row = parity; row < rows; row += 2)
            for (int column = 0; column < columns; ++column) {
                const auto& b = blocks[static_cast<std::size_t>(row * columns + column)];
                store.put(row * columns + column, b.data(), acMask(b));
            }
    };
    std::thread odd(storeRows, 1);
    storeRows(0);
    odd.join();
    for (int i = 0; i < columns * rows; ++i)
        ASSERT_EQ(expanded(store, i), blocks[static_cast<std::size_t>(i)]) << "block " << i;
}

namespace {

// Resident memory of this process in KiB.
long residentKiB()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * 4;
}

} // namespace

TEST(CoefficientStore, SparseBlocksTakeMemoryForTheirValuesOnly)
{
    // 512 x 512 blocks (a 4096 x 4096 luminance): room for 33 MB of values,
    // 4 MiB of block records; three values a block fill 1.5 MB of it.
    constexpr int side = 512;
    const long before = residentKiB();
    jpeg::PackedCoefficients store;
    store.reset(side, side);
    Block b{};
    b[0] = 40;
    b[1] = -3;
    b[2] = 7;
    b[9] = 1;
    for (std::int64_t i = 0; i < std::int64_t{side} * side; ++i)
        store.put(i, b.data(), acMask(b));
    const long grown = residentKiB() - before;
    EXPECT_LT(grown, 10 * 1024) << "KiB taken";
    EXPECT_EQ(expanded(store, std::int64_t{side} * side - 1), b);
}
