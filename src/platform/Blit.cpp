// One-to-one copies (with raster operations), mirrored and turned copies, and
// reading pixels into a caller's bitmap memory.
#include "Blit.h"
#include "BlitRows.h"
#include "ColorMatch.h"

#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

std::uint8_t combine(RasterOp rop, std::uint8_t source, std::uint8_t destination)
{
    switch (rop) {
    case RasterOp::SrcCopy:
        return source;
    case RasterOp::SrcPaint:
        return source | destination;
    case RasterOp::SrcAnd:
        return source & destination;
    case RasterOp::SrcInvert:
        return source ^ destination;
    case RasterOp::NotSrcCopy:
        return static_cast<std::uint8_t>(~source);
    case RasterOp::Blackness:
        return 0;
    case RasterOp::Whiteness:
        return 0xFF;
    }
    return source;
}

// Indices copy unchanged between indexed surfaces of one depth and one table.
bool sameIndexing(const Surface& a, const Surface& b)
{
    return a.layout() == Surface::Layout::Indexed && b.layout() == Surface::Layout::Indexed &&
           a.bitCount() == b.bitCount() && a.colorTable() == b.colorTable();
}

} // namespace

bool bitBlt(Surface& dst, int x, int y, int width, int height, const Surface& src, int srcX, int srcY, RasterOp rop)
{
    if (!isDrawable(dst))
        return false;
    std::int64_t dx = x, dy = y, sx = srcX, sy = srcY, w = width, h = height;
    if (!clipAxis(dx, sx, w, dst.width(), src.width()) || !clipAxis(dy, sy, h, dst.height(), src.height()))
        return false;
    const bool indexed = dst.layout() == Surface::Layout::Indexed;
    const bool copyIndices = sameIndexing(dst, src);
    std::optional<ColorMatcher> matcher;
    if (indexed && !copyIndices)
        matcher.emplace(dst.colorTable());
    const auto mask = static_cast<std::uint8_t>(indexed ? (1 << dst.bitCount()) - 1 : 0xFF);
    std::vector<std::uint8_t> bgr;
    std::vector<std::uint8_t> values;
    std::vector<std::uint8_t> existing;

    // Within one surface, copy downwards from the bottom so no source row is
    // overwritten before it is read; rows themselves go through memmove or a buffer.
    const bool backwards = &dst == &src && dy > sy;
    for (std::int64_t i = 0; i < h; ++i) {
        const std::int64_t row = backwards ? h - 1 - i : i;
        const auto from = static_cast<int>(sy + row);
        const auto to = static_cast<int>(dy + row);
        if (!indexed) {
            std::uint8_t* out = dst.scanLine(to) + dx * kBytesPerPixel;
            if (rop == RasterOp::SrcCopy) {
                src.readRow(from, sx, w, out);
                continue;
            }
            bgr.resize(static_cast<std::size_t>(w * kBytesPerPixel));
            src.readRow(from, sx, w, bgr.data());
            for (std::size_t k = 0; k < bgr.size(); ++k)
                out[k] = combine(rop, bgr[k], out[k]);
            continue;
        }
        values.resize(static_cast<std::size_t>(w));
        if (copyIndices) {
            src.readIndices(from, sx, w, values.data());
        } else if (src.layout() == Surface::Layout::Bgr24) {
            matcher->match(src.scanLine(from) + sx * kBytesPerPixel, w, values.data());
        } else {
            bgr.resize(static_cast<std::size_t>(w * kBytesPerPixel));
            src.readRow(from, sx, w, bgr.data());
            matcher->match(bgr.data(), w, values.data());
        }
        if (rop != RasterOp::SrcCopy) {
            existing.resize(values.size());
            dst.readIndices(to, dx, w, existing.data());
            for (std::size_t k = 0; k < values.size(); ++k)
                values[k] = static_cast<std::uint8_t>(combine(rop, values[k], existing[k]) & mask);
        }
        dst.writeIndices(to, dx, w, values.data());
    }
    return true;
}

namespace {

// A copy onto an axis-aligned parallelogram: source offset (i, j) inside the
// rectangle lands on target pixel origin + i * e1 + j * e2, where e1 and e2
// are perpendicular unit steps along the axes.
struct Placement {
    QPoint origin, e1, e2;
};

bool unitAxis(QPoint v) { return std::abs(v.x()) + std::abs(v.y()) == 1; }

std::optional<Placement> placementOf(const QPoint points[3], int width, int height)
{
    const QPoint d1 = points[1] - points[0];
    const QPoint d2 = points[2] - points[0];
    if (d1.x() % width || d1.y() % width || d2.x() % height || d2.y() % height)
        return std::nullopt;
    const QPoint e1 = d1 / width;
    const QPoint e2 = d2 / height;
    if (!unitAxis(e1) || !unitAxis(e2) || e1.x() * e2.x() + e1.y() * e2.y() != 0)
        return std::nullopt;
    // A pixel covers the unit square at its coordinates; a step against an
    // axis puts the square on the other side of the corner point.
    const QPoint shift(std::min(e1.x(), 0) + std::min(e2.x(), 0), std::min(e1.y(), 0) + std::min(e2.y(), 0));
    return Placement{points[0] + shift, e1, e2};
}

// Raw pixel copies between surfaces of one pixel format, tile by tile so the
// source rows touched by a turned copy stay in cache.
void placeRaw(Surface& dst, const Surface& src, QPoint srcOrigin, const Placement& p, const QRect& target,
              int pixelBytes)
{
    constexpr int kTile = 64;
    // Moving one target pixel to the right moves the source position by
    // (e1.x, e2.x) and one row down by (e1.y, e2.y): the transposed steps.
    const std::int64_t srcRowStep = src.height() > 1 ? src.scanLine(1) - src.scanLine(0) : 0;
    const std::int64_t stepX = std::int64_t{p.e1.x()} * pixelBytes + std::int64_t{p.e2.x()} * srcRowStep;
    // The last pixel in the source's memory, wherever its rows are stored.
    const std::uint8_t* lastSourcePixel =
        std::max(src.scanLine(0), src.scanLine(src.height() - 1)) + std::int64_t{src.width() - 1} * pixelBytes;
    for (int ty = target.top(); ty <= target.bottom(); ty += kTile) {
        for (int tx = target.left(); tx <= target.right(); tx += kTile) {
            const int yEnd = std::min(ty + kTile - 1, target.bottom());
            const int xEnd = std::min(tx + kTile - 1, target.right());
            for (int yy = ty; yy <= yEnd; ++yy) {
                const QPoint rel = QPoint(tx, yy) - p.origin;
                const int i = rel.x() * p.e1.x() + rel.y() * p.e1.y();
                const int j = rel.x() * p.e2.x() + rel.y() * p.e2.y();
                const std::uint8_t* in = src.scanLine(srcOrigin.y() + j) + std::int64_t{srcOrigin.x() + i} * pixelBytes;
                std::uint8_t* out = dst.scanLine(yy) + std::int64_t{tx} * pixelBytes;
                int xx = tx;
                if (pixelBytes == 3) {
                    // Four-byte moves: the fourth byte written is the next
                    // pixel's first, which is written again right after; the
                    // fourth byte read must lie inside the source's memory.
                    for (; xx < xEnd && in < lastSourcePixel; ++xx, in += stepX, out += 3) {
                        std::uint32_t pixel;
                        std::memcpy(&pixel, in, 4);
                        std::memcpy(out, &pixel, 4);
                    }
                }
                for (; xx <= xEnd; ++xx, in += stepX, out += pixelBytes)
                    std::memcpy(out, in, static_cast<std::size_t>(pixelBytes));
            }
        }
    }
}

} // namespace

bool plgBlt(Surface& dst, const QPoint points[3], const Surface& src, int srcX, int srcY, int width, int height)
{
    if (!isDrawable(dst) || width <= 0 || height <= 0 || &dst == &src)
        return false;
    const auto placement = placementOf(points, width, height);
    if (!placement)
        return false;
    const Placement& p = *placement;
    // The target cells, clipped to the destination.
    const QPoint far = p.origin + (width - 1) * p.e1 + (height - 1) * p.e2;
    const QRect cells = QRect(QPoint(std::min(p.origin.x(), far.x()), std::min(p.origin.y(), far.y())),
                              QPoint(std::max(p.origin.x(), far.x()), std::max(p.origin.y(), far.y()))) &
                        QRect(0, 0, dst.width(), dst.height());
    if (cells.isEmpty())
        return false;
    const QRect source(srcX, srcY, width, height);
    const QRect sourceBounds(0, 0, src.width(), src.height());
    const bool inside = sourceBounds.contains(source);
    const bool raw24 = dst.layout() == Surface::Layout::Bgr24 && src.layout() == Surface::Layout::Bgr24;
    const bool raw8 = sameIndexing(dst, src) && dst.bitCount() == 8;
    if (inside && (raw24 || raw8)) {
        placeRaw(dst, src, QPoint(srcX, srcY), p, cells, raw24 ? 3 : 1);
        return true;
    }
    // Any other pair of formats: gather a target row, then store it as a row.
    const bool copyIndices = sameIndexing(dst, src);
    std::optional<ColorMatcher> matcher;
    if (dst.layout() == Surface::Layout::Indexed && !copyIndices)
        matcher.emplace(dst.colorTable());
    std::vector<std::uint8_t> row(static_cast<std::size_t>(cells.width()) * kBytesPerPixel);
    std::vector<std::uint8_t> present(static_cast<std::size_t>(cells.width()));
    for (int yy = cells.top(); yy <= cells.bottom(); ++yy) {
        for (int xx = cells.left(); xx <= cells.right(); ++xx) {
            const QPoint rel = QPoint(xx, yy) - p.origin;
            const QPoint at(srcX + rel.x() * p.e1.x() + rel.y() * p.e1.y(), srcY + rel.x() * p.e2.x() + rel.y() * p.e2.y());
            const auto k = static_cast<std::size_t>(xx - cells.left());
            present[k] = sourceBounds.contains(at);
            if (!present[k])
                continue;
            if (copyIndices)
                src.readIndices(at.y(), at.x(), 1, &row[k]);
            else
                src.readRow(at.y(), at.x(), 1, &row[k * kBytesPerPixel]);
        }
        // Store runs of pixels that had a source.
        for (int k = 0; k < cells.width();) {
            if (!present[static_cast<std::size_t>(k)]) {
                ++k;
                continue;
            }
            int end = k;
            while (end < cells.width() && present[static_cast<std::size_t>(end)])
                ++end;
            if (copyIndices)
                dst.writeIndices(yy, cells.left() + k, end - k, &row[static_cast<std::size_t>(k)]);
            else
                dst.writeRow(yy, cells.left() + k, end - k, &row[static_cast<std::size_t>(k) * kBytesPerPixel],
                             matcher ? &*matcher : nullptr);
            k = end;
        }
    }
    return true;
}

int getDIBits(const Surface& src, int startScan, int scanCount, std::uint8_t* bits, BitmapInfo& info)
{
    if (!bits || info.bmiHeader.biWidth != src.width() || startScan < 0 || scanCount <= 0)
        return 0;
    const int height = info.bmiHeader.biHeight < 0 ? -info.bmiHeader.biHeight : info.bmiHeader.biHeight;
    if (height != src.height() || startScan + scanCount > height)
        return 0;
    const bool sameDepth = src.layout() == Surface::Layout::Indexed && src.bitCount() == info.bmiHeader.biBitCount;
    if (sameDepth) {
        // The bitmap's own table goes with its indices.
        src.getColorTable(0, 256, info.bmiColors);
        info.bmiHeader.biClrUsed = 0;
    }
    auto target = Surface::view(bits, info);
    if (!target)
        return 0;
    // Scan lines count from the bottom; copy them as top-down rows.
    const int top = height - startScan - scanCount;
    return bitBlt(*target, 0, top, src.width(), scanCount, src, 0, top) ? scanCount : 0;
}

} // namespace platform
