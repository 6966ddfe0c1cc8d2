// The packed coefficient store of one component.
#include "cJpegCoefficients.h"

#include <algorithm>
#include <limits>
#include <new>

namespace jpeg {

void PackedCoefficients::reset(std::int32_t columns, std::int32_t rows)
{
    clear();
    const std::int64_t blocks = std::int64_t{columns} * rows;
    // Value offsets are 32-bit: the largest picture sampled (a 2 GiB raster)
    // needs about a sixth of that.
    if (columns <= 0 || rows <= 0 || blocks * kRowRoom > std::numeric_limits<std::uint32_t>::max())
        throw std::bad_alloc();
    decltype(blocks_) zeros(static_cast<std::size_t>(blocks));
    platform::SparseArray<std::int16_t> values(static_cast<std::size_t>(blocks * kRowRoom));
    blocks_.swap(zeros);
    values_.swap(values);
    columns_ = columns;
}

void PackedCoefficients::clear()
{
    decltype(blocks_)().swap(blocks_);
    values_ = platform::SparseArray<std::int16_t>();
    columns_ = 0;
}

void PackedCoefficients::expand(std::int64_t index, std::int16_t* zigZag) const
{
    const PackedBlock& b = block(index);
    std::fill_n(zigZag, 64, std::int16_t{0});
    zigZag[0] = b.dc;
    const std::int16_t* value = acValues(b);
    for (std::uint64_t left = b.nonZero; left != 0; left &= left - 1)
        zigZag[std::countr_zero(left)] = *value++;
}

} // namespace jpeg
