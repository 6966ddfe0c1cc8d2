#pragma once

// White-box access to the encoder's private state for the tests.

#include "jpeg/cJpeg.h"

#include <QImage>

#include <memory>

// The encoder's working types, as the tests name them.
using jpeg::Coefficients;
using jpeg::Component;
using jpeg::Frequencies;
using jpeg::HuffmanTable;
using jpeg::QuantTable;
using jpeg::ScanGroup;
using jpeg::ScanLists;

struct cJpegProbe {
    static const QuantTable& qtable(const cJpeg& j, int t) { return j.QTables[static_cast<std::size_t>(t)]; }
    static QuantTable& qtable(cJpeg& j, int t) { return j.QTables[static_cast<std::size_t>(t)]; }
    static const HuffmanTable& dcTable(const cJpeg& j, int t) { return j.DCTables[static_cast<std::size_t>(t)]; }
    static const HuffmanTable& acTable(const cJpeg& j, int t) { return j.ACTables[static_cast<std::size_t>(t)]; }
    static const std::vector<Component>& components(const cJpeg& j) { return j.Components; }
    // Component c's coefficients as 64 values a block (zig-zag order, blocks
    // in raster order), unpacked from the store.
    static Coefficients coefficients(const cJpeg& j, int c)
    {
        const jpeg::PackedCoefficients& data = j.Components[static_cast<std::size_t>(c)].Data;
        Coefficients values(static_cast<std::size_t>(64 * data.blockCount()));
        for (std::int64_t i = 0; i < data.blockCount(); ++i)
            data.expand(i, values.data() + 64 * i);
        return values;
    }
    static int componentCount(const cJpeg& j) { return j.ComponentCount; }
    static int hMax(const cJpeg& j) { return j.HMax; }
    static int vMax(const cJpeg& j) { return j.VMax; }
    static int precision(const cJpeg& j) { return j.Precision; }
    static int imageWidth(const cJpeg& j) { return j.ImageWidth; }
    static int imageHeight(const cJpeg& j) { return j.ImageHeight; }
    static int zigZag(const cJpeg& j, int column, int row) { return j.ZigZag[column][row]; }
    static const std::array<std::int16_t, 64>& baseLuminance(const cJpeg& j) { return j.BaseLuminance; }

    static void setBandBytes(cJpeg& j, std::int64_t bytes) { j.BandBytes = bytes; }
    static void setCodePath(cJpeg& j, jpeg::CodePath path) { j.Path = path; }
    static void setReadInPlace(cJpeg& j, bool inPlace) { j.ReadInPlace = inPlace; }
    static void setThreads(cJpeg& j, int threads) { j.Threads = threads; }
    static float (&workBlock(cJpeg& j))[8][8] { return j.WorkBlock; }
    static void forwardDCT(cJpeg& j) { j.ForwardDCT(); }
    static void computeFactors(cJpeg& j, int t) { j.ComputeFactors(t); }
    static void quantize(cJpeg& j, Coefficients& out, std::int64_t& position,
                         const std::array<float, 64>& factors)
    {
        j.QuantizeBlock(out, position, factors);
    }

    static void buildOptimalTable(HuffmanTable& table, Frequencies& freq) { cJpeg::BuildOptimalTable(table, freq); }
    static void generateCodes(HuffmanTable& table, int largest) { cJpeg::GenerateCodes(table, largest); }
    static std::vector<ScanGroup> scanGroups(const cJpeg& j)
    {
        return j.FormScanGroups(defaultLists(j), 0, j.ComponentCount - 1);
    }
    static ScanLists defaultLists(const cJpeg& j) { return ScanLists::defaults(j.ComponentCount); }
    static int optimizeTables(cJpeg& j) { return j.OptimizeTables(defaultLists(j), 0, j.ComponentCount - 1); }
    template <class Visit>
    static void walkInterleaved(const cJpeg& j, const std::vector<std::int32_t>& components, Visit&& visit)
    {
        const auto count = static_cast<std::int32_t>(components.size());
        jpeg::walkInterleaved(j.BlockGrids(components.data(), count), count, j.McuColumns(), j.McuRows(), visit);
    }

    // The bit writer on a fresh buffer.
    static void startWriter(cJpeg& j)
    {
        j.OutBuffer.clear();
        j.OutPos = 0;
        j.ReserveOutput(1024);
        j.ResetBitWriter();
    }
    static void writeBits(cJpeg& j, int lead, int value) { j.WriteBits(lead, value); }
    static void flushBits(cJpeg& j) { j.FlushBits(); }
    static void encodeBlock(cJpeg& j, const std::int16_t* block, std::int32_t& predictor, const HuffmanTable& dc,
                            const HuffmanTable& ac)
    {
        j.EncodeBlock(block, predictor, dc, ac);
    }
    static std::vector<std::uint8_t> written(const cJpeg& j)
    {
        return {j.OutBuffer.begin(), j.OutBuffer.begin() + j.OutPos};
    }
    // The scans alone, written into an output buffer that starts empty.
    static std::vector<std::uint8_t> scansFromEmptyBuffer(cJpeg& j)
    {
        optimizeTables(j);
        j.OutBuffer.clear();
        j.OutBuffer.shrink_to_fit();
        j.OutPos = 0;
        j.WriteScans(defaultLists(j), 0, j.ComponentCount - 1);
        return written(j);
    }
};

// Samples `image` with `encoder` (through a wrapped surface).
inline int sampleImage(cJpeg& encoder, const QImage& image)
{
    auto surface = platform::Surface::wrap(image);
    return encoder.SampleHDC(surface.get(), image.width(), image.height());
}

// A solid image of one colour.
inline QImage solid(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}
