// The block order of an interleaved scan, shared by the symbol statistics and
// the scan writer so that both visit exactly the same blocks.
#pragma once

#include "cJpeg.h"

template <class Visit>
void cJpeg::WalkInterleaved(const std::int32_t* components, std::int32_t count, Visit&& visit) const
{
    struct Member {
        std::int32_t H, V, bw, bh;
    };
    Member members[4];
    for (std::int32_t m = 0; m < count; ++m) {
        const Component& c = Components[static_cast<std::size_t>(components[m])];
        members[m] = {c.H, c.V, BlockColumns(c), BlockRows(c)};
    }
    const std::int32_t mcuColumns = McuColumns();
    const std::int32_t mcuRows = McuRows();
    for (std::int32_t my = 0; my < mcuRows; ++my) {
        for (std::int32_t mx = 0; mx < mcuColumns; ++mx) {
            for (std::int32_t m = 0; m < count; ++m) {
                const Member& c = members[m];
                for (std::int32_t k = 0; k < c.V; ++k) {
                    const std::int32_t row = my * c.V + k;
                    for (std::int32_t l = 0; l < c.H; ++l) {
                        const std::int32_t column = mx * c.H + l;
                        if (column < c.bw && row < c.bh)
                            visit(m, 64 * (std::int64_t{row} * c.bw + column));
                        else
                            visit(m, std::int64_t{-1});
                    }
                }
            }
        }
    }
}
