#pragma once

#include "jpeg/cJpegCodePath.h"
#include "jpeg/cJpegCoefficients.h"
#include "jpeg/cJpegColour.h"
#include "jpeg/cJpegGeometry.h"
#include "platform/LargeAllocator.h"
#include "platform/Surface.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// The encoder's working types.
namespace jpeg {

// A quantisation table: the values written to the file, in zig-zag order, and
// the multipliers applied to the DCT outputs before rounding (also zig-zag).
struct QuantTable {
    std::array<std::int16_t, 64> Qk{};
    std::array<float, 64> Factor{};
};

// A Huffman table as written to the file (BITS, HUFFVAL) and the code of each
// symbol: EHUFSI = value of the code's leading bit (2^(length-1), 0 = no code),
// EHUFCO = the code, right-aligned (-1 = no code).
struct HuffmanTable {
    std::array<std::uint8_t, 16> BITS{};
    std::array<std::uint8_t, 256> HUFFVAL{};
    std::array<std::int32_t, 256> EHUFSI{};
    std::array<std::int32_t, 256> EHUFCO{};
};

// The file being written; grown without writing zeros first, so only the
// bytes written are ever touched.
using OutputBuffer = std::vector<std::uint8_t, platform::LargeAllocator<std::uint8_t>>;

// Quantised coefficients as plain values, 64 a block (zero-filled when made).
using Coefficients = std::vector<std::int16_t, platform::LargeAllocator<std::int16_t>>;

// How often each Huffman symbol (0..255, and one reserved entry) occurs.
using SymbolCounts = std::array<std::int64_t, 257>;

// One image component: identifier, sampling factors, quantisation table and the
// quantised coefficients of all its blocks (64 per block, zig-zag order, blocks
// in raster order of its padded block grid; kept packed). The AC symbols of those blocks
// are counted as each block is made, while it is in the cache: the counts do
// not depend on the order in which a scan visits the blocks.
struct Component {
    std::int32_t Ci = 0;
    std::int32_t H = 1;
    std::int32_t V = 1;
    std::int32_t Tq = 0;
    PackedCoefficients Data;
    SymbolCounts AcCounts{};
};

// Where each zig-zag position lies in a block held row by row (natural
// order), and in the transposed block the vector transforms leave (F(v, u) at
// row u, column v).
using BlockIndex = std::array<std::uint8_t, 64>;
inline constexpr BlockIndex kNaturalOf = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};
inline constexpr BlockIndex kTransposedOf = [] {
    BlockIndex transposed{};
    for (std::size_t z = 0; z < 64; ++z)
        transposed[z] = static_cast<std::uint8_t>(kNaturalOf[z] % 8 * 8 + kNaturalOf[z] / 8);
    return transposed;
}();

// The two orders a transformed block comes in.
enum class BlockLayout { Natural, Transposed };
inline const BlockIndex& indexOf(BlockLayout layout)
{
    return layout == BlockLayout::Natural ? kNaturalOf : kTransposedOf;
}

// Symbol counters of one Huffman table: symbols 0..255 and one reserved entry.
using Frequencies = std::array<std::int32_t, 257>;

// Which component, DC table and AC table each position of a save codes.
struct ScanLists {
    std::vector<std::int32_t> component;
    std::vector<std::int32_t> dcTable;
    std::vector<std::int32_t> acTable;

    // Every component in frame order, luminance on tables 0 and the two
    // chrominance components sharing tables 1: what a save writes.
    static ScanLists defaults(std::int32_t componentCount);
};

// A run of consecutive list positions coded in one scan.
struct ScanGroup {
    std::int32_t first = 0;
    std::int32_t last = 0;
    bool interleaved() const { return last > first; }
};

} // namespace jpeg

// Baseline sequential JPEG encoder (8-bit samples, Huffman coding with tables
// built from each image's own statistics). One object encodes one image:
// construct, optionally set Quality, SetSamplingFrequencies and Comment, call
// SampleHDC, then SaveFile (or Encode for the bytes in memory). Errors are
// raised as platform::NumberedError.
class cJpeg {
public:
    cJpeg();

    // Quality 1..100 (other values are ignored); scales both quantisation tables.
    void Quality(std::int32_t vData);
    std::int32_t Quality() const { return StoredQuality; }

    // Sampling factors 1..4 of Y, Cb and Cr; H2..V3 all 0 makes a greyscale image.
    void SetSamplingFrequencies(std::int32_t H1, std::int32_t V1, std::int32_t H2, std::int32_t V2, std::int32_t H3,
                                std::int32_t V3);

    // Reads lWidth x lHeight pixels at (lSrcLeft, lSrcTop) of the surface and
    // turns them into quantised coefficients. 0 = sampled, 1 = no working
    // surface could be made (also for an empty size); nothing sampled then.
    std::int32_t SampleHDC(platform::HDC lHDC, std::int32_t lWidth, std::int32_t lHeight, std::int32_t lSrcLeft = 0,
                           std::int32_t lSrcTop = 0);

    // Called during SampleHDC after each band of rows with how many rows of
    // the source rectangle it is done with (rows above that are not read
    // again), ending with lHeight: to show progress, or to let go of the rows
    // of a large picture as they are passed.
    void OnRowsSampled(std::function<void(std::int32_t rowsDone)> handler) { RowsSampled = std::move(handler); }

    // A comment stored in the file (ISO-8859-1; other characters become '?').
    void Comment(const QString& Value);
    QString Comment() const { return StoredComment; }

    // Writes the sampled image as a JFIF file. 0 = written, 1 = empty name,
    // 2 = a file of that name exists (it is left untouched).
    std::int32_t SaveFile(const QString& FileName);
    // The same file's bytes in memory (for streaming).
    QByteArray Encode();

private:
    friend struct cJpegProbe; // white-box access for the tests

    using Coefficients = jpeg::Coefficients;
    using Component = jpeg::Component;
    using Frequencies = jpeg::Frequencies;
    using HuffmanTable = jpeg::HuffmanTable;
    using QuantTable = jpeg::QuantTable;
    using ScanGroup = jpeg::ScanGroup;
    using ScanLists = jpeg::ScanLists;

    // Transform and quantisation.
    void ForwardDCT();
    void ComputeFactors(std::int32_t t);
    void QuantizeBlock(Coefficients& coefficients, std::int64_t& position,
                       const std::array<float, 64>& factors);
    // Rounds factor * value for the 64 values of `block`, laid out as
    // `layout` says, into zigZag[0..63] in zig-zag order; the factors are in
    // the block's order (as BlockOrder gives them, once per component).
    // Returns which values are not zero (bit k for zig-zag position k).
    std::uint64_t Quantize(const float (&block)[8][8], std::int16_t* zigZag, const std::array<float, 64>& blockFactors,
                           jpeg::BlockLayout layout) const;
    static std::array<float, 64> BlockOrder(const std::array<float, 64>& zigZagOrder, jpeg::BlockLayout layout);

    // Whether SampleHDC shares the sampling with a second thread.
    bool UseSecondThread(std::int32_t width, std::int32_t height) const;
    // Where a band's pixels are: the working raster's first row, and for the
    // first inPlaceColumns block columns the source picture's own rows (two
    // source pixels each way to a sample when inPlaceHalved).
    struct BlockSource {
        const std::uint8_t* raster;
        std::ptrdiff_t rasterStride;
        const std::uint8_t* inPlace;
        std::ptrdiff_t inPlaceStride;
        jpegcolour::Pixels inPlaceLayout;
        std::int32_t inPlaceColumns;
        bool inPlaceHalved;
    };
    // Samples `rows` block rows of a band for the components first .. last - 1
    // rendered into it (next: the index of each one's next block), adding
    // their AC symbols to acCounts[component].
    void SampleBlockRows(std::int32_t first, std::int32_t last, const BlockSource& source, std::int32_t rows,
                         std::int64_t* blocks, jpeg::SymbolCounts* acCounts);

    // Scan plan and Huffman tables.
    std::vector<ScanGroup> FormScanGroups(const ScanLists& lists, std::int32_t first, std::int32_t last) const;
    std::int32_t BlockColumns(const Component& c) const { return jpeg::blockCount(c.H, ImageWidth, HMax); }
    std::int32_t BlockRows(const Component& c) const { return jpeg::blockCount(c.V, ImageHeight, VMax); }
    std::int32_t McuColumns() const { return jpeg::mcuCount(ImageWidth, HMax); }
    std::int32_t McuRows() const { return jpeg::mcuCount(ImageHeight, VMax); }
    // The block grids of the listed components, for jpeg::walkInterleaved.
    std::array<jpeg::BlockGrid, 4> BlockGrids(const std::int32_t* components, std::int32_t count) const;
    static void BuildOptimalTable(HuffmanTable& table, Frequencies& freq);
    static void GenerateCodes(HuffmanTable& table, std::int32_t largestSymbol);
    static void CountDCSymbols(const jpeg::PackedCoefficients& coefficients, Frequencies& freq);
    void CountInterleavedDCSymbols(std::int32_t component, Frequencies& freq) const;
    std::int32_t OptimizeTables(const ScanLists& lists, std::int32_t first, std::int32_t last);
    void CheckCoefficients(const ScanLists& lists, std::int32_t first, std::int32_t last) const;

    // Bit writer and file segments.
    void WriteFile(); // every segment, SOI to EOI, into OutBuffer
    struct BitSink;     // the bit writer's fast path for whole scans (cJpegWriter.cpp)
    struct PackedCodes; // a Huffman table's codes and lengths as the scans use them
    void ReserveOutput(std::int64_t bytes);
    void PutByte(std::uint8_t value);
    void PutWord(std::int64_t value);
    void ResetBitWriter();
    void WriteBits(std::int32_t lead, std::int32_t value);
    void FlushBits();
    void EncodeBlock(const std::int16_t* coefficients, std::int32_t& predictor, const HuffmanTable& dc,
                     const HuffmanTable& ac);
    // One block from its DC value, its non-zero AC positions and their values.
    static void EncodeBlock(BitSink& sink, const jpeg::PackedBlock& block, const std::int16_t* acValues,
                            std::int32_t& predictor, const PackedCodes& dc, const PackedCodes& ac);
    static void EncodeFillerBlock(BitSink& sink, const PackedCodes& dc, const PackedCodes& ac);
    void WriteMarker(std::uint8_t code);
    void WriteAPP0();
    void WriteCOM(const QString& text);
    void WriteDQT(std::int32_t t);
    void WriteSOF(std::uint8_t code);
    void WriteDHT(std::int32_t tableClass, std::int32_t t);
    void WriteSOS(const ScanLists& lists, ScanGroup group);
    void WriteSingleScan(const ScanLists& lists, std::int32_t p);
    void WriteInterleavedScan(const ScanLists& lists, std::int32_t first, std::int32_t last);
    void WriteScans(const ScanLists& lists, std::int32_t first, std::int32_t last);

    std::array<std::int16_t, 64> BaseLuminance{};
    std::array<std::int16_t, 64> BaseChrominance{};
    std::array<double, 8> ScaleFactor{};
    std::int32_t ZigZag[8][8]{}; // [column][row] -> zig-zag position
    std::int32_t Precision = 0;
    std::int32_t ImageHeight = 0;
    std::int32_t ImageWidth = 0;
    std::int32_t ComponentCount = 0;
    std::int32_t HMax = 0;
    std::int32_t VMax = 0;
    jpeg::OutputBuffer OutBuffer;
    std::int32_t BitAccumulator = 0;
    std::int64_t OutPos = 0; // 64-bit: a grown buffer may pass 2 GiB
    std::int32_t BitMask = 128;
    float WorkBlock[8][8]{};
    std::array<QuantTable, 4> QTables{};
    std::array<HuffmanTable, 4> DCTables{};
    std::array<HuffmanTable, 4> ACTables{};
    std::vector<Component> Components;
    std::int32_t StoredQuality = 0;
    QString StoredComment;
    std::int64_t BandBytes = std::int64_t{1} << 20; // size of the working raster's bands
    std::function<void(std::int32_t)> RowsSampled;
    bool ReadInPlace = true; // whole blocks of a 24- or 32-bit picture read without the raster
    // Sampling threads: 0 = two for pictures large enough, 1 = this one only, 2 = two always.
    std::int32_t Threads = 0;
    jpeg::CodePath Path = jpeg::fastestCodePath();
};
