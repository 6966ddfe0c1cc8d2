// Nearest colours of a colour table, for drawing true colour onto indexed surfaces.
#include "ColorMatch.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace platform {

namespace {

// Luminance in units of 1/65536 (weights 0.299, 0.587, 0.114 summing to 65536).
constexpr std::int32_t kRedWeight = 19595;
constexpr std::int32_t kGreenWeight = 38470;
constexpr std::int32_t kBlueWeight = 7471;

inline std::int32_t luminance(std::int32_t blue, std::int32_t green, std::int32_t red)
{
    return red * kRedWeight + green * kGreenWeight + blue * kBlueWeight;
}

constexpr std::size_t kCacheSize = 4096;

// The full grey ramp: each index is the rounded luminance. Built also for
// processors with AVX2 (picked at run time), where it vectorises.
__attribute__((target_clones("avx2", "default"))) void rampIndices(const std::uint8_t* bgr, std::int64_t count,
                                                                    std::uint8_t* indices)
{
    for (std::int64_t i = 0; i < count; ++i)
        indices[i] = static_cast<std::uint8_t>(
            (bgr[3 * i + 2] * kRedWeight + bgr[3 * i + 1] * kGreenWeight + bgr[3 * i] * kBlueWeight + 32768) >> 16);
}

} // namespace

ColorMatcher::ColorMatcher(const std::vector<ColorEntry>& table) : table_(table)
{
    if (table_.empty())
        table_.push_back(ColorEntry{});
    greys_ = std::all_of(table_.begin(), table_.end(),
                         [](const ColorEntry& e) { return e.red == e.green && e.green == e.blue; });
    const auto n = static_cast<int>(table_.size());
    if (greys_ && n >= 2 && 255 % (n - 1) == 0) {
        bool ramp = true;
        for (int i = 0; i < n; ++i)
            ramp = ramp && table_[static_cast<std::size_t>(i)].red == i * 255 / (n - 1);
        if (ramp)
            rampSteps_ = n;
    }
    if (greys_ && rampSteps_ == 0) {
        greyOrder_.resize(table_.size());
        std::iota(greyOrder_.begin(), greyOrder_.end(), std::uint8_t{0});
        std::stable_sort(greyOrder_.begin(), greyOrder_.end(),
                         [this](std::uint8_t a, std::uint8_t b) { return table_[a].red < table_[b].red; });
        // Between two neighbouring greys, the boundary is their mid-point.
        for (std::size_t k = 1; k < greyOrder_.size(); ++k)
            greyBounds_.push_back((table_[greyOrder_[k - 1]].red + table_[greyOrder_[k]].red) * 32768);
    }
    if (!greys_) {
        cacheKey_.assign(kCacheSize, 0);
        cacheValue_.assign(kCacheSize, 0);
    }
}

std::uint8_t ColorMatcher::search(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const
{
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    std::uint8_t bestIndex = 0;
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const ColorEntry& e = table_[i];
        const std::int64_t dr = red - e.red, dg = green - e.green, db = blue - e.blue;
        const std::int64_t d = dr * dr * kRedWeight + dg * dg * kGreenWeight + db * db * kBlueWeight;
        if (d < best) {
            best = d;
            bestIndex = static_cast<std::uint8_t>(i);
        }
    }
    return bestIndex;
}

std::uint8_t ColorMatcher::nearest(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const
{
    if (rampSteps_ > 0) {
        // Nearest of n evenly spaced greys to the luminance.
        const std::int64_t l = luminance(blue, green, red);
        return static_cast<std::uint8_t>((l * (rampSteps_ - 1) + 255 * 32768) / (255 * 65536));
    }
    if (greys_) {
        const std::int32_t l = luminance(blue, green, red);
        const auto k = std::lower_bound(greyBounds_.begin(), greyBounds_.end(), l) - greyBounds_.begin();
        return greyOrder_[static_cast<std::size_t>(k)];
    }
    const std::uint32_t colour = (std::uint32_t{red} << 16) | (std::uint32_t{green} << 8) | blue;
    const std::size_t slot = ((colour * 2654435761u) >> 20) % kCacheSize;
    if (cacheKey_[slot] != colour + 1) {
        cacheKey_[slot] = colour + 1;
        cacheValue_[slot] = search(blue, green, red);
    }
    return cacheValue_[slot];
}

void ColorMatcher::match(const std::uint8_t* bgr, std::int64_t count, std::uint8_t* indices) const
{
    if (rampSteps_ == 256) {
        rampIndices(bgr, count, indices);
        return;
    }
    for (std::int64_t i = 0; i < count; ++i, bgr += 3)
        indices[i] = nearest(bgr[0], bgr[1], bgr[2]);
}

} // namespace platform
