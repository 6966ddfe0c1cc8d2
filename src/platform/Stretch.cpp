// Stretching copies: area-averaging (halftone) and nearest-pixel resampling,
// into surfaces of any depth.
#include "Blit.h"
#include "BlitRows.h"
#include "ColorMatch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

// For each target position along one axis, the source positions it reads and
// their weights in units of 1/kWeightOne (they add up to exactly kWeightOne).
struct AxisTaps {
    std::vector<std::int32_t> first; // index into index/weight of each target's first tap
    std::vector<std::int32_t> count;
    std::vector<std::int32_t> index; // source position, already clamped
    std::vector<std::uint32_t> weight;
};

constexpr std::int64_t kWeightBits = 14;
constexpr std::int64_t kWeightOne = std::int64_t{1} << kWeightBits;

// Area weights of targets from .. to-1 (stored from index 0): target i covers
// the source interval [i*in/out, (i+1)*in/out). Only the targets drawn are
// weighed, so drawing a tall picture band by band stays linear in its height.
// Measured in units of 1/out of a source pixel every boundary is a whole
// number, so each overlap is exact; cumulative rounding makes the weights sum
// to exactly kWeightOne, so flat colours come through unchanged.
AxisTaps areaTaps(std::int64_t out, std::int64_t in, std::int64_t origin, std::int64_t lo, std::int64_t hi,
                  std::int64_t from, std::int64_t to)
{
    AxisTaps taps;
    taps.first.resize(static_cast<std::size_t>(to - from));
    taps.count.resize(static_cast<std::size_t>(to - from));
    for (std::int64_t i = from; i < to; ++i) {
        const std::int64_t start = i * in;
        const std::int64_t end = start + in;
        taps.first[static_cast<std::size_t>(i - from)] = static_cast<std::int32_t>(taps.index.size());
        std::int32_t n = 0;
        for (std::int64_t j = start / out; j * out < end; ++j) {
            const std::int64_t a = std::max(start, j * out) - start;
            const std::int64_t b = std::min(end, (j + 1) * out) - start;
            const auto w = static_cast<std::uint32_t>(b * kWeightOne / in - a * kWeightOne / in);
            if (w == 0)
                continue;
            taps.index.push_back(static_cast<std::int32_t>(std::clamp(origin + j, lo, hi - 1) - lo));
            taps.weight.push_back(w);
            ++n;
        }
        taps.count[static_cast<std::size_t>(i - from)] = n;
    }
    return taps;
}

// Nearest: the source position under the centre of each target position
// from .. to-1 (stored from index 0).
std::vector<std::int32_t> nearestTaps(std::int64_t out, std::int64_t in, std::int64_t origin, std::int64_t lo,
                                      std::int64_t hi, std::int64_t from, std::int64_t to)
{
    std::vector<std::int32_t> index(static_cast<std::size_t>(to - from));
    for (std::int64_t i = from; i < to; ++i)
        index[static_cast<std::size_t>(i - from)] =
            static_cast<std::int32_t>(std::clamp(origin + (2 * i + 1) * in / (2 * out), lo, hi - 1) - lo);
    return index;
}

// Row y of `src`, columns x .. x+count-1, as blue-green-red bytes: in place
// for blue-green-red surfaces, otherwise converted into `scratch`.
const std::uint8_t* bgrRow(const Surface& src, int y, std::int64_t x, std::int64_t count,
                           std::vector<std::uint8_t>& scratch)
{
    if (src.layout() == Surface::Layout::Bgr24)
        return src.scanLine(y) + x * kBytesPerPixel;
    scratch.resize(static_cast<std::size_t>(count * kBytesPerPixel));
    src.readRow(y, x, count, scratch.data());
    return scratch.data();
}

// Where a stretch puts one target row: straight into a 24-bit surface, or
// through a buffer and the nearest colours of the table into an indexed one.
// Pixel i of row() is target column x0 + i.
class RowTarget {
public:
    RowTarget(Surface& dst, std::int64_t x0, std::int64_t count)
        : dst_(dst), x0_(x0), count_(count)
    {
        if (dst.layout() != Surface::Layout::Bgr24) {
            buffer_.resize(static_cast<std::size_t>(count * kBytesPerPixel));
            matcher_.emplace(dst.colorTable());
        }
    }
    std::uint8_t* row(int y)
    {
        return matcher_ ? buffer_.data() : dst_.scanLine(y) + x0_ * kBytesPerPixel;
    }
    void commit(int y)
    {
        if (matcher_)
            dst_.writeRow(y, x0_, count_, buffer_.data(), &*matcher_);
    }

private:
    Surface& dst_;
    std::int64_t x0_;
    std::int64_t count_;
    std::vector<std::uint8_t> buffer_;
    std::optional<ColorMatcher> matcher_;
};

struct StretchGeometry {
    std::int64_t x, y, width, height;             // target rectangle (unclipped)
    std::int64_t srcX, srcY, srcWidth, srcHeight; // source rectangle (unclipped)
    std::int64_t colLo, colHi, rowLo, rowHi;      // source columns and rows that exist
    std::int64_t outX0, outX1, outY0, outY1;      // target offsets inside the destination
};

// Halving both ways, as chroma subsampling does: the area weights are all
// one half, and the general computation below reduces exactly to
// (a + b + c + d + 2) / 4 per channel, done here directly. Pixels of
// `Stride` bytes whose blue byte is at `Blue` (0, or 2 for red-green-blue)
// are read where they are, without a converted copy of the rows.
template <int Stride, int Blue>
void halveRows(const std::uint8_t* upper, const std::uint8_t* lower, std::uint8_t* out, std::int64_t from,
               std::int64_t to)
{
    for (std::int64_t ox = from; ox < to; ++ox) {
        const std::uint8_t* u = upper + 2 * Stride * ox;
        const std::uint8_t* l = lower + 2 * Stride * ox;
        std::uint8_t* o = out + kBytesPerPixel * ox;
        for (int k = 0; k < kBytesPerPixel; ++k) {
            const int c = Blue == 0 ? k : 2 - k; // the source byte of blue, green, red
            o[k] = static_cast<std::uint8_t>((u[c] + u[c + Stride] + l[c] + l[c + Stride] + 2) >> 2);
        }
    }
}

void halveHalftone(Surface& dst, const Surface& src, const StretchGeometry& g)
{
    std::vector<std::uint8_t> upperScratch;
    std::vector<std::uint8_t> lowerScratch;
    RowTarget target(dst, g.x + g.outX0, g.outX1 - g.outX0);
    for (std::int64_t oy = g.outY0; oy < g.outY1; ++oy) {
        const auto row = static_cast<int>(g.srcY + 2 * oy);
        const auto y = static_cast<int>(g.y + oy);
        std::uint8_t* out = target.row(y) - g.outX0 * kBytesPerPixel;
        switch (src.layout()) {
        case Surface::Layout::Rgb24:
            halveRows<3, 2>(src.scanLine(row) + 3 * g.srcX, src.scanLine(row + 1) + 3 * g.srcX, out, g.outX0, g.outX1);
            break;
        case Surface::Layout::Bgrx32:
            halveRows<4, 0>(src.scanLine(row) + 4 * g.srcX, src.scanLine(row + 1) + 4 * g.srcX, out, g.outX0, g.outX1);
            break;
        default: {
            const std::uint8_t* upper = bgrRow(src, row, g.srcX, g.srcWidth, upperScratch);
            const std::uint8_t* lower = bgrRow(src, row + 1, g.srcX, g.srcWidth, lowerScratch);
            halveRows<3, 0>(upper, lower, out, g.outX0, g.outX1);
        }
        }
        target.commit(y);
    }
}

bool isExactHalf(const Surface& src, const StretchGeometry& g)
{
    return g.width * 2 == g.srcWidth && g.height * 2 == g.srcHeight && g.srcX >= 0 && g.srcY >= 0 &&
           g.srcX + g.srcWidth <= src.width() && g.srcY + g.srcHeight <= src.height();
}

void stretchHalftone(Surface& dst, const Surface& src, const StretchGeometry& g)
{
    if (isExactHalf(src, g)) {
        halveHalftone(dst, src, g);
        return;
    }
    const AxisTaps cols = areaTaps(g.width, g.srcWidth, g.srcX, g.colLo, g.colHi, g.outX0, g.outX1);
    const AxisTaps rows = areaTaps(g.height, g.srcHeight, g.srcY, g.rowLo, g.rowHi, g.outY0, g.outY1);
    const std::size_t span = static_cast<std::size_t>(g.colHi - g.colLo) * kBytesPerPixel;
    std::vector<std::uint32_t> acc(span);
    std::vector<std::uint16_t> column(span); // vertical averages, 8.8 fixed point
    std::vector<std::uint8_t> scratch;
    RowTarget target(dst, g.x + g.outX0, g.outX1 - g.outX0);

    for (std::int64_t oy = g.outY0; oy < g.outY1; ++oy) {
        // Vertical pass: weighted sum of the source rows under this target row.
        std::fill(acc.begin(), acc.end(), 0u);
        const auto r = static_cast<std::size_t>(oy - g.outY0);
        for (std::int32_t t = rows.first[r]; t < rows.first[r] + rows.count[r]; ++t) {
            const std::uint8_t* in = bgrRow(src, static_cast<int>(g.rowLo + rows.index[static_cast<std::size_t>(t)]),
                                            g.colLo, g.colHi - g.colLo, scratch);
            const std::uint32_t w = rows.weight[static_cast<std::size_t>(t)];
            for (std::size_t k = 0; k < span; ++k)
                acc[k] += w * in[k];
        }
        constexpr int kDrop = kWeightBits - 8;
        for (std::size_t k = 0; k < span; ++k)
            column[k] = static_cast<std::uint16_t>((acc[k] + (1u << (kDrop - 1))) >> kDrop);

        // Horizontal pass over the target pixels of the row.
        const auto y = static_cast<int>(g.y + oy);
        std::uint8_t* out = target.row(y) - g.outX0 * kBytesPerPixel;
        for (std::int64_t ox = g.outX0; ox < g.outX1; ++ox) {
            const auto c = static_cast<std::size_t>(ox - g.outX0);
            std::uint32_t sum[kBytesPerPixel] = {0, 0, 0};
            for (std::int32_t t = cols.first[c]; t < cols.first[c] + cols.count[c]; ++t) {
                const std::uint16_t* p = &column[static_cast<std::size_t>(cols.index[static_cast<std::size_t>(t)]) * kBytesPerPixel];
                const std::uint32_t w = cols.weight[static_cast<std::size_t>(t)];
                sum[0] += w * p[0];
                sum[1] += w * p[1];
                sum[2] += w * p[2];
            }
            constexpr int kShift = kWeightBits + 8;
            std::uint8_t* px = out + ox * kBytesPerPixel;
            for (int k = 0; k < kBytesPerPixel; ++k)
                px[k] = static_cast<std::uint8_t>((sum[k] + (1u << (kShift - 1))) >> kShift);
        }
        target.commit(y);
    }
}

void stretchNearest(Surface& dst, const Surface& src, const StretchGeometry& g)
{
    const std::vector<std::int32_t> cols = nearestTaps(g.width, g.srcWidth, g.srcX, g.colLo, g.colHi, g.outX0, g.outX1);
    const std::vector<std::int32_t> rows = nearestTaps(g.height, g.srcHeight, g.srcY, g.rowLo, g.rowHi, g.outY0, g.outY1);
    std::vector<std::uint8_t> scratch;
    RowTarget target(dst, g.x + g.outX0, g.outX1 - g.outX0);
    for (std::int64_t oy = g.outY0; oy < g.outY1; ++oy) {
        const std::uint8_t* in = bgrRow(src, static_cast<int>(g.rowLo + rows[static_cast<std::size_t>(oy - g.outY0)]), g.colLo,
                                        g.colHi - g.colLo, scratch);
        const auto y = static_cast<int>(g.y + oy);
        std::uint8_t* out = target.row(y) - g.outX0 * kBytesPerPixel;
        for (std::int64_t ox = g.outX0; ox < g.outX1; ++ox)
            std::memcpy(out + ox * kBytesPerPixel, in + cols[static_cast<std::size_t>(ox - g.outX0)] * kBytesPerPixel,
                        kBytesPerPixel);
        target.commit(y);
    }
}

} // namespace

bool stretchBlt(Surface& dst, int x, int y, int width, int height, const Surface& src, int srcX, int srcY,
                int srcWidth, int srcHeight)
{
    if (width == srcWidth && height == srcHeight)
        return bitBlt(dst, x, y, width, height, src, srcX, srcY);
    if (!isDrawable(dst) || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0)
        return false;
    StretchGeometry g{};
    g.x = x;
    g.y = y;
    g.width = width;
    g.height = height;
    g.srcX = srcX;
    g.srcY = srcY;
    g.srcWidth = srcWidth;
    g.srcHeight = srcHeight;
    g.colLo = std::max<std::int64_t>(srcX, 0);
    g.colHi = std::min<std::int64_t>(std::int64_t{srcX} + srcWidth, src.width());
    g.rowLo = std::max<std::int64_t>(srcY, 0);
    g.rowHi = std::min<std::int64_t>(std::int64_t{srcY} + srcHeight, src.height());
    g.outX0 = std::max<std::int64_t>(0, -g.x);
    g.outX1 = std::min<std::int64_t>(width, dst.width() - g.x);
    g.outY0 = std::max<std::int64_t>(0, -g.y);
    g.outY1 = std::min<std::int64_t>(height, dst.height() - g.y);
    if (g.colLo >= g.colHi || g.rowLo >= g.rowHi || g.outX0 >= g.outX1 || g.outY0 >= g.outY1)
        return false;
    if (dst.stretchMode() == StretchMode::Halftone)
        stretchHalftone(dst, src, g);
    else
        stretchNearest(dst, src, g);
    return true;
}

} // namespace platform
