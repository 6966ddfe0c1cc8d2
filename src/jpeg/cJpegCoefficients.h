// How the encoder keeps a component's quantised coefficients between
// sampling and writing: packed, block by block.
#pragma once

#include "platform/LargeAllocator.h"

#include <bit>
#include <cstdint>
#include <vector>

namespace jpeg {

// One block as kept: its DC value, which of its AC positions 1..63 (zig-zag
// order) hold a non-zero value, and where those values start in the
// component's value list, in the same order.
struct PackedBlock {
    std::uint64_t nonZero = 0; // bit k for AC position k; bit 0 always clear
    std::uint32_t first = 0;
    std::int16_t dc = 0;
};

// The quantised coefficients of all blocks of a component, blocks in raster
// order of its padded grid, each standing for 64 values in zig-zag order.
// A block of a photograph has a handful of non-zero values out of 64, so only
// those are kept: 16 bytes a block and two per non-zero value instead of 128
// a block, and the scans and statistics visit only them. Each block row has
// room for every value of its blocks; only the pages written take memory.
class PackedCoefficients {
public:
    // Room for columns x rows blocks, all zero. Throws std::bad_alloc.
    void reset(std::int32_t columns, std::int32_t rows);
    void clear();

    bool empty() const { return blocks_.empty(); }
    std::int64_t blockCount() const { return static_cast<std::int64_t>(blocks_.size()); }
    std::int32_t columns() const { return columns_; }

    const PackedBlock& block(std::int64_t index) const { return blocks_[static_cast<std::size_t>(index)]; }
    // The non-zero AC values of a block, in zig-zag order.
    const std::int16_t* acValues(const PackedBlock& block) const { return values_.data() + block.first; }

    // Stores block `index` from its 64 values in zig-zag order, with
    // nonZero = which of its AC values are not zero. The blocks of a row are
    // stored left to right (any row may be stored apart from the others, on
    // any thread); storing a row again starts it afresh.
    void put(std::int64_t index, const std::int16_t* zigZag, std::uint64_t nonZero)
    {
        PackedBlock& block = blocks_[static_cast<std::size_t>(index)];
        const auto column = static_cast<std::int32_t>(index % columns_);
        if (column == 0) {
            block.first = static_cast<std::uint32_t>(index / columns_ * kRowRoom * columns_);
        } else {
            const PackedBlock& before = (&block)[-1];
            block.first = before.first + static_cast<std::uint32_t>(std::popcount(before.nonZero));
        }
        block.dc = zigZag[0];
        block.nonZero = nonZero;
        std::int16_t* out = values_.data() + block.first;
        for (std::uint64_t left = nonZero; left != 0; left &= left - 1)
            *out++ = zigZag[std::countr_zero(left)];
    }

    // The 64 values of block `index` in zig-zag order.
    void expand(std::int64_t index, std::int16_t* zigZag) const;

private:
    static constexpr std::int64_t kRowRoom = 63; // AC values a block may have

    std::vector<PackedBlock, platform::LargeAllocator<PackedBlock>> blocks_;
    platform::SparseArray<std::int16_t> values_;
    std::int32_t columns_ = 0;
};

} // namespace jpeg
