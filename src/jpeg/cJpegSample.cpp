// Reading the image. Each component is rendered into an RGB working raster at
// its own sampled size (a 1:1 copy at full resolution, a halftone stretch of
// the whole source otherwise), padded to whole blocks by repeating its last
// column and row, converted to its colour value block by block and handed to
// the DCT and quantisation. Consecutive components of the same sampled size
// (Cb and Cr by default) share one rendering.
//
// The raster holds a band of block rows at a time rather than the whole
// component: each band is rendered with the copies clipped to it, so the
// pixels are exactly those of a whole rendering, while the raster stays small
// enough for the cache and the encoder's memory stays near the size of its
// coefficients.
#include "cJpeg.h"
#include "cJpegBlocks.h"
#include "cJpegColour.h"
#include "cJpegDct.h"

#include "platform/Blit.h"
#include "platform/NumberedError.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <thread>


namespace {

using jpeg::Component;

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }
std::int64_t roundUp8(std::int64_t v) { return ceilDiv(v, 8) * 8; }

struct SampledSize {
    std::int32_t w, h, wp, hp;
    bool operator==(const SampledSize&) const = default;
};

SampledSize sampledSize(const Component& c, std::int32_t width, std::int32_t height, std::int32_t hMax,
                        std::int32_t vMax)
{
    const std::int64_t w = ceilDiv(std::int64_t{c.H} * width, hMax);
    const std::int64_t h = ceilDiv(std::int64_t{c.V} * height, vMax);
    return {static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), static_cast<std::int32_t>(roundUp8(w)),
            static_cast<std::int32_t>(roundUp8(h))};
}

// What one rendering copies from where.
struct Rendering {
    const platform::Surface* source;
    std::int32_t left, top, width, height; // source rectangle
    SampledSize size;
    bool sourceInside; // the rectangle lies wholly on the source surface
};

// Renders component rows y0 .. y0 + rows - 1 into raster rows 0 .. rows - 1:
// the copy or stretch clipped to the band, then the last column repeated to
// the padded width and the last row repeated to the padded height. Bands start
// at multiples of 8, so the rows to repeat always share a band with the last
// real row.
void renderBand(platform::Surface& raster, const Rendering& r, std::int32_t y0, std::int32_t rows,
                std::int32_t fromColumn = 0)
{
    const SampledSize& s = r.size;
    if (!r.sourceInside) // parts the copy leaves alone come out black
        std::fill_n(raster.bits(), raster.bytesPerLine() * raster.height(), std::uint8_t{0});
    if (s.w == r.width && s.h == r.height)
        platform::bitBlt(raster, fromColumn, -y0, s.w - fromColumn, s.h, *r.source, r.left + fromColumn, r.top);
    else if (fromColumn == 0)
        platform::stretchBlt(raster, 0, -y0, s.w, s.h, *r.source, r.left, r.top, r.width, r.height);
    else if (fromColumn < s.w) // an exact halving: the rest of each row halves on its own
        platform::stretchBlt(raster, fromColumn, -y0, s.w - fromColumn, s.h, *r.source, r.left + 2 * fromColumn, r.top,
                             r.width - 2 * fromColumn, r.height);
    const std::int32_t realRows = std::clamp(s.h - y0, 0, rows);
    for (std::int32_t x = s.w; x < s.wp; ++x)
        platform::bitBlt(raster, x, 0, 1, realRows, raster, x - 1, 0);
    for (std::int32_t y = realRows; y < rows; ++y)
        platform::bitBlt(raster, 0, y, s.wp, 1, raster, 0, y - 1);
}

// Whether the rendering halves the rectangle exactly, both ways.
bool halved(const Rendering& r) { return 2 * r.size.w == r.width && 2 * r.size.h == r.height; }

// A source whose pixels a rendering may read where they are: a 24-bit or
// 32-bit surface holding the whole rectangle, copied 1:1 or halved exactly
// both ways. Blocks of whole real pixels are then converted straight from it
// (halved on the way), and only the partial last block column and the last
// band go through the raster.
bool readableInPlace(const Rendering& r)
{
    const bool copied = r.size.w == r.width && r.size.h == r.height;
    return r.sourceInside && r.source->layout() != platform::Surface::Layout::Indexed && (copied || halved(r));
}

// Whether every block of the rendering is read in place: nothing is left
// for the raster when the sampled size is whole blocks both ways.
bool whollyInPlace(const Rendering& r)
{
    return readableInPlace(r) && r.size.w == r.size.wp && r.size.h == r.size.hp;
}

jpegcolour::Pixels pixelsOf(platform::Surface::Layout layout)
{
    switch (layout) {
    case platform::Surface::Layout::Rgb24:
        return jpegcolour::Pixels::Rgb24;
    case platform::Surface::Layout::Bgrx32:
        return jpegcolour::Pixels::Bgrx32;
    default:
        return jpegcolour::Pixels::Bgr24;
    }
}

std::ptrdiff_t strideOf(const platform::Surface& surface)
{
    return surface.isBottomUp() ? -surface.bytesPerLine() : surface.bytesPerLine();
}

// Consecutive components of one sampled size share a rendering: a run.
struct Run {
    std::int32_t first, last;
    Rendering rendering;
    std::int32_t bandRows;
    std::int64_t bands;
};

// How many of the source's `height` rows no band after `band` reads: the
// first row the next band of each run reads (a stretched rendering may
// start a row earlier).
std::int64_t rowsDoneAfter(const std::vector<Run>& runs, std::int64_t band, std::int64_t height)
{
    std::int64_t done = height;
    for (const Run& run : runs) {
        const std::int64_t nextRow = (band + 1) * run.bandRows;
        const SampledSize& size = run.rendering.size;
        if (nextRow < size.hp)
            done = std::min(done, size.h == height ? nextRow : std::max<std::int64_t>(nextRow * height / size.h - 1, 0));
    }
    return done;
}

// Does work(worker, piece) for pieces 0 .. count - 1 on this thread
// (worker 0) and a second one (worker 1), each taking the next piece until
// none is left. The second thread is joined before this returns, whatever
// happens; the first failure on either is raised here. Without a second
// thread to be had, this one does every piece.
template <class Work>
void shareOut(std::size_t count, Work&& work)
{
    std::atomic<std::size_t> next{0};
    std::exception_ptr failures[2];
    const auto take = [&](std::size_t worker) {
        try {
            for (std::size_t piece = next++; piece < count; piece = next++)
                work(worker, piece);
        } catch (...) {
            failures[worker] = std::current_exception();
            next = count;
        }
    };
    std::optional<std::thread> helper;
    try {
        helper.emplace(take, 1);
    } catch (const std::system_error&) {
    }
    take(0);
    if (helper)
        helper->join();
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

} // namespace

std::int32_t cJpeg::SampleHDC(platform::HDC lHDC, std::int32_t lWidth, std::int32_t lHeight, std::int32_t lSrcLeft,
                              std::int32_t lSrcTop)
{
    Precision = 8;
    ImageHeight = lHeight;
    ImageWidth = lWidth;
    if (lHDC == nullptr || lWidth <= 0 || lHeight <= 0)
        return 1;
    // The frame header holds 16-bit sizes: larger pictures fail as writing
    // them would, before any time or memory goes into sampling them.
    if (lWidth > 65535 || lHeight > 65535)
        throw platform::NumberedError::overflow();
    const std::int64_t Wp = roundUp8(lWidth);
    // Sizes whose whole 24-bit raster could not exist (2 GiB and more) are
    // refused as a failed raster, although only a band of it is ever made.
    const std::int64_t rowBytes = platform::Surface::rowBytes(Wp, 24);
    if (rowBytes < 0 || rowBytes * roundUp8(lHeight) > std::numeric_limits<std::int32_t>::max())
        return 1;

    // All runs advance by whole rows of minimum coded units. On one thread
    // they advance together, so each band of source rows is read once for
    // every component while in cache; two threads take (run, band) pieces in
    // turn, and the bands are made small enough for the pieces to share out.
    const bool twoThreads = !RowsSampled && UseSecondThread(lWidth, lHeight);
    std::int64_t unitRows = std::clamp<std::int64_t>(BandBytes / (rowBytes * 8 * VMax), 1, McuRows());
    if (twoThreads)
        unitRows = std::min<std::int64_t>(unitRows, std::max<std::int64_t>(1, McuRows() / 4));
    std::vector<Run> runs;
    const bool sourceInside = lSrcLeft >= 0 && lSrcTop >= 0 && std::int64_t{lSrcLeft} + lWidth <= lHDC->width() &&
                              std::int64_t{lSrcTop} + lHeight <= lHDC->height();
    for (std::int32_t first = 0; first < ComponentCount;) {
        const Component& head = Components[static_cast<std::size_t>(first)];
        const SampledSize size = sampledSize(head, lWidth, lHeight, HMax, VMax);
        std::int32_t last = first + 1;
        while (last < ComponentCount &&
               sampledSize(Components[static_cast<std::size_t>(last)], lWidth, lHeight, HMax, VMax) == size)
            ++last;
        const auto bandRows = static_cast<std::int32_t>(std::min<std::int64_t>(8 * head.V * unitRows, size.hp));
        runs.push_back({first, last, {lHDC, lSrcLeft, lSrcTop, lWidth, lHeight, size, sourceInside}, bandRows,
                        ceilDiv(size.hp, bandRows)});
        first = last;
    }

    // What one thread works with: a raster for each run that needs one, and
    // its own counts of each component's AC symbols (added up at the end).
    struct Worker {
        std::vector<std::unique_ptr<platform::Surface>> rasters;
        std::array<jpeg::SymbolCounts, 3> counts{};
    };
    const auto makeWorker = [&runs, this]() -> std::unique_ptr<Worker> {
        auto worker = std::make_unique<Worker>();
        for (const Run& run : runs) {
            if (ReadInPlace && whollyInPlace(run.rendering)) {
                worker->rasters.emplace_back();
                continue;
            }
            auto raster = platform::Surface::create(run.rendering.size.wp, run.bandRows, 24);
            if (!raster)
                return nullptr;
            if (raster->setStretchMode(static_cast<int>(platform::StretchMode::Halftone)) == 0)
                raster->setStretchMode(static_cast<int>(platform::StretchMode::ColorOnColor));
            worker->rasters.push_back(std::move(raster));
        }
        return worker;
    };
    std::vector<std::unique_ptr<Worker>> workers;
    workers.push_back(makeWorker());
    if (!workers.front())
        return 1;
    if (twoThreads)
        if (auto second = makeWorker())
            workers.push_back(std::move(second));

    for (std::int32_t i = 0; i < ComponentCount; ++i) {
        Component& component = Components[static_cast<std::size_t>(i)];
        component.Ci = i + 1;
        const SampledSize size = sampledSize(component, lWidth, lHeight, HMax, VMax);
        try {
            component.Data.reset(size.wp / 8, size.hp / 8);
            component.AcCounts.fill(0);
        } catch (const std::bad_alloc&) {
            throw platform::NumberedError::outOfMemory();
        }
    }

    // One band of one run: rendered where the raster is needed, then sampled.
    const auto sampleBand = [this](const Run& run, std::int64_t band, Worker& worker, std::size_t k) {
        const std::int64_t y0 = band * run.bandRows;
        const auto rows = static_cast<std::int32_t>(std::min<std::int64_t>(run.bandRows, run.rendering.size.hp - y0));
        const Rendering& r = run.rendering;
        platform::Surface* raster = worker.rasters[k].get();
        // In place: the band's rows are all real, the blocks left of the
        // last whole one read from the source.
        const bool inPlace = ReadInPlace && readableInPlace(r) && y0 + rows <= r.size.h;
        BlockSource source{nullptr, 0, nullptr, 0, jpegcolour::Pixels::Bgr24, 0, false};
        if (raster) {
            source.raster = raster->scanLine(0);
            source.rasterStride = strideOf(*raster);
        }
        if (inPlace) {
            const platform::Surface& picture = *r.source;
            source.inPlaceColumns = r.size.w / 8;
            source.inPlaceLayout = pixelsOf(picture.layout());
            source.inPlaceStride = strideOf(picture);
            source.inPlaceHalved = halved(r);
            const auto scale = source.inPlaceHalved ? 2 : 1;
            source.inPlace = picture.scanLine(r.top + scale * static_cast<std::int32_t>(y0)) +
                             std::int64_t{r.left} * (picture.bitCount() / 8);
        }
        if (raster)
            renderBand(*raster, r, static_cast<std::int32_t>(y0), rows, 8 * source.inPlaceColumns);
        // Each component's blocks of this band start at its first block row.
        std::int64_t blocks[3];
        for (std::int32_t i = run.first; i < run.last; ++i)
            blocks[i - run.first] = y0 / 8 * BlockColumns(Components[static_cast<std::size_t>(i)]);
        SampleBlockRows(run.first, run.last, source, rows, blocks, worker.counts.data());
    };

    // The pieces in band order, the runs of each band in turn.
    struct Piece {
        std::size_t run;
        std::int64_t band;
    };
    std::vector<Piece> pieces;
    for (std::int64_t band = 0;; ++band) {
        const std::size_t before = pieces.size();
        for (std::size_t k = 0; k < runs.size(); ++k)
            if (band < runs[k].bands)
                pieces.push_back({k, band});
        if (pieces.size() == before)
            break;
    }

    if (workers.size() > 1) {
        shareOut(pieces.size(), [&](std::size_t worker, std::size_t p) {
            sampleBand(runs[pieces[p].run], pieces[p].band, *workers[worker], pieces[p].run);
        });
    } else {
        for (std::size_t p = 0; p < pieces.size(); ++p) {
            sampleBand(runs[pieces[p].run], pieces[p].band, *workers.front(), pieces[p].run);
            const bool bandDone = p + 1 == pieces.size() || pieces[p + 1].band != pieces[p].band;
            if (RowsSampled && bandDone)
                RowsSampled(static_cast<std::int32_t>(rowsDoneAfter(runs, pieces[p].band, lHeight)));
        }
    }

    for (const auto& worker : workers)
        for (std::int32_t i = 0; i < ComponentCount; ++i)
            for (std::size_t s = 0; s < jpeg::SymbolCounts{}.size(); ++s)
                Components[static_cast<std::size_t>(i)].AcCounts[s] += worker->counts[static_cast<std::size_t>(i)][s];
    return 0;
}

bool cJpeg::UseSecondThread(std::int32_t width, std::int32_t height) const
{
    if (Threads != 0)
        return Threads > 1;
    // Below this a thread's start costs more than it saves.
    constexpr std::int64_t kMinimumPixels = 256 * 256;
    return std::int64_t{width} * height >= kMinimumPixels && std::thread::hardware_concurrency() > 1;
}

void cJpeg::SampleBlockRows(std::int32_t first, std::int32_t last, const BlockSource& source, std::int32_t rows,
                            std::int64_t* next, jpeg::SymbolCounts* acCounts)
{
    // The components of the run share each block's pixels: they are read
    // once, converted into one block per component, and each block is then
    // transformed, quantised and its AC symbols counted while in the cache.
    const std::int32_t count = last - first;
    std::array<std::array<float, 64>, 3> factors{};
    std::array<jpeg::SymbolCounts, 3> counts{}; // kept apart from the coefficients the loop writes
    for (std::int32_t c = 0; c < count; ++c) {
        const Component& component = Components[static_cast<std::size_t>(first + c)];
        factors[static_cast<std::size_t>(c)] =
            BlockOrder(QTables[static_cast<std::size_t>(component.Tq)].Factor, jpeg::BlockLayout::Transposed);
    }
    const std::int32_t blockColumns = BlockColumns(Components[static_cast<std::size_t>(first)]);
    // Bytes and rows of the source behind one block.
    const std::int64_t scale = source.inPlaceHalved ? 2 : 1;
    const std::int64_t inPlaceStep = scale * (source.inPlaceLayout == jpegcolour::Pixels::Bgrx32 ? 32 : 24);
    alignas(32) float blocks[3][8][8];
    alignas(16) std::int16_t zigZag[64];
    for (std::int32_t by = 0; by < rows / 8; ++by) {
        const std::uint8_t* rasterTop = source.raster ? source.raster + 8 * by * source.rasterStride : nullptr;
        const std::uint8_t* inPlaceTop =
            source.inPlaceColumns > 0 ? source.inPlace + scale * 8 * by * source.inPlaceStride : nullptr;
        for (std::int32_t bx = 0; bx < blockColumns; ++bx) {
            if (bx < source.inPlaceColumns && source.inPlaceHalved)
                jpegcolour::convertHalvedBlock(Path, source.inPlaceLayout, inPlaceTop + inPlaceStep * bx,
                                               source.inPlaceStride, first, count, blocks);
            else if (bx < source.inPlaceColumns)
                jpegcolour::convertBlock(Path, source.inPlaceLayout, inPlaceTop + inPlaceStep * bx, source.inPlaceStride,
                                         first, count, blocks);
            else
                jpegcolour::convertBlock(Path, jpegcolour::Pixels::Bgr24, rasterTop + 24 * bx, source.rasterStride,
                                         first, count, blocks);
            for (std::int32_t c = 0; c < count; ++c) {
                Component& component = Components[static_cast<std::size_t>(first + c)];
                const auto k = static_cast<std::size_t>(c);
                jpegdct::forwardDctTransposed(blocks[c], Path);
                const std::uint64_t nonZero =
                    Quantize(blocks[c], zigZag, factors[k], jpeg::BlockLayout::Transposed) & ~std::uint64_t{1};
                const std::int64_t index = next[c]++;
                component.Data.put(index, zigZag, nonZero);
                jpegblocks::countAcSymbols(nonZero, component.Data.acValues(component.Data.block(index)), counts[k]);
            }
        }
    }
    for (std::int32_t c = 0; c < count; ++c)
        for (std::size_t s = 0; s < counts[0].size(); ++s)
            acCounts[first + c][s] += counts[static_cast<std::size_t>(c)][s];
}
