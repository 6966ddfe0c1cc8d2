// Small pieces shared by the copying routines (not part of the interface).
#pragma once

#include "Surface.h"

#include <algorithm>
#include <cstdint>

namespace platform {

constexpr int kBytesPerPixel = 3;

// Surfaces that can be drawn into: 24-bit blue-green-red or indexed.
inline bool isDrawable(const Surface& s)
{
    return (s.layout() == Surface::Layout::Bgr24 && s.bitCount() == 24) || s.layout() == Surface::Layout::Indexed;
}

// Clips one axis of a copy: position d on the destination (limit dLimit),
// position s on the source (limit sLimit), length n.
inline bool clipAxis(std::int64_t& d, std::int64_t& s, std::int64_t& n, std::int64_t dLimit, std::int64_t sLimit)
{
    if (s < 0) {
        d -= s;
        n += s;
        s = 0;
    }
    if (d < 0) {
        s -= d;
        n += d;
        d = 0;
    }
    n = std::min({n, sLimit - s, dLimit - d});
    return n > 0;
}

} // namespace platform
