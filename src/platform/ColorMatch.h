#pragma once

#include "Surface.h"

#include <cstdint>
#include <vector>

namespace platform {

// Finds the entry of a colour table nearest to a colour, the way colours are
// matched when drawing into an indexed surface. Distance is measured with the
// luminance weights (0.299, 0.587, 0.114) on red, green and blue, so on a
// table of greys the nearest entry is simply the grey nearest to the colour's
// luminance. Among equally near entries of a colour table the lower index wins.
class ColorMatcher {
public:
    explicit ColorMatcher(const std::vector<ColorEntry>& table);

    std::uint8_t nearest(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const;

    // Indices for `count` blue-green-red pixels.
    void match(const std::uint8_t* bgr, std::int64_t count, std::uint8_t* indices) const;

private:
    std::uint8_t search(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const;

    std::vector<ColorEntry> table_;
    int rampSteps_ = 0; // n > 0: the table is n evenly spaced greys from black to white
    bool greys_ = false;
    std::vector<std::uint8_t> greyOrder_;   // indices of a grey table sorted by grey level
    std::vector<std::int32_t> greyBounds_;  // luminance boundaries between neighbours of greyOrder_
    // A small direct-mapped cache of searched colours: key (colour + 1), index.
    mutable std::vector<std::uint32_t> cacheKey_;
    mutable std::vector<std::uint8_t> cacheValue_;
};

} // namespace platform
