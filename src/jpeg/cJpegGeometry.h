// The block and MCU grids of a frame, and the block order of an interleaved
// scan, shared by the sampler, the symbol statistics and the scan writer so
// that all of them see exactly the same blocks.
#pragma once

#include <array>
#include <cstdint>

namespace jpeg {

// 8x8 blocks across a component of horizontal factor h in a frame `width`
// pixels wide whose largest factor is hMax (its samples rounded up, then
// padded to whole blocks). The same holds for rows with the vertical factors.
inline std::int32_t blockCount(std::int32_t factor, std::int32_t pixels, std::int32_t largestFactor)
{
    const std::int64_t samples = (std::int64_t{factor} * pixels + largestFactor - 1) / largestFactor;
    return static_cast<std::int32_t>((samples + 7) / 8);
}

// MCUs across (or down) a frame of `pixels` whose largest factor is largestFactor.
inline std::int32_t mcuCount(std::int32_t pixels, std::int32_t largestFactor)
{
    return static_cast<std::int32_t>((std::int64_t{pixels} + 8 * largestFactor - 1) / (8 * largestFactor));
}

// One component's part of an interleaved scan: its factors and its block grid.
struct BlockGrid {
    std::int32_t H = 1;
    std::int32_t V = 1;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
};

// Visits the blocks of an interleaved scan of `count` components in coding
// order: visit(member, offset) with the block's first index in the member's
// coefficients, or -1 for a filler block that lies past the member's grid.
template <class Visit>
void walkInterleaved(const std::array<BlockGrid, 4>& members, std::int32_t count, std::int32_t mcuColumns,
                     std::int32_t mcuRows, Visit&& visit)
{
    for (std::int32_t my = 0; my < mcuRows; ++my) {
        for (std::int32_t mx = 0; mx < mcuColumns; ++mx) {
            for (std::int32_t m = 0; m < count; ++m) {
                const BlockGrid& c = members[static_cast<std::size_t>(m)];
                for (std::int32_t k = 0; k < c.V; ++k) {
                    const std::int32_t row = my * c.V + k;
                    for (std::int32_t l = 0; l < c.H; ++l) {
                        const std::int32_t column = mx * c.H + l;
                        if (column < c.columns && row < c.rows)
                            visit(m, 64 * (std::int64_t{row} * c.columns + column));
                        else
                            visit(m, std::int64_t{-1});
                    }
                }
            }
        }
    }
}

} // namespace jpeg
