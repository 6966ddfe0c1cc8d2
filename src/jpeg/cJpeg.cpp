// Construction and configuration of the encoder: quantisation tables from the
// quality, sampling factors and the comment.
#include "cJpeg.h"
#include "cJpegDct.h"

#include "platform/NumberedError.h"

#include <algorithm>
#include <cmath>

namespace {

// ISO/IEC 10918-1 Annex K tables K.1 and K.2, in natural (row by row) order.
constexpr std::int16_t kLuminanceNatural[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  //
    12, 12, 14, 19, 26,  58,  60,  55,  //
    14, 13, 16, 24, 40,  57,  69,  56,  //
    14, 17, 22, 29, 51,  87,  80,  62,  //
    18, 22, 37, 56, 68,  109, 103, 77,  //
    24, 35, 55, 64, 81,  104, 113, 92,  //
    49, 64, 78, 87, 103, 121, 120, 101, //
    72, 92, 95, 98, 112, 100, 103, 99,
};
constexpr std::int16_t kChrominanceNatural[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, //
    18, 21, 26, 66, 99, 99, 99, 99, //
    24, 26, 56, 99, 99, 99, 99, 99, //
    47, 66, 99, 99, 99, 99, 99, 99, //
    99, 99, 99, 99, 99, 99, 99, 99, //
    99, 99, 99, 99, 99, 99, 99, 99, //
    99, 99, 99, 99, 99, 99, 99, 99, //
    99, 99, 99, 99, 99, 99, 99, 99,
};

[[noreturn]] void raise(const char* description) { throw platform::NumberedError(1, description); }

void checkSamplingValue(std::int32_t value)
{
    if (value < 1 || value > 4)
        raise("Invalid Sampling Value");
}

} // namespace

cJpeg::cJpeg()
{
    // The zig-zag sequence: along each anti-diagonal s = row + column, odd
    // diagonals run down-left (row rising), even ones up-right.
    std::int32_t position = 0;
    for (std::int32_t s = 0; s < 15; ++s) {
        const std::int32_t lo = std::max(0, s - 7);
        const std::int32_t hi = std::min(s, 7);
        for (std::int32_t k = lo; k <= hi; ++k) {
            const std::int32_t row = (s % 2 == 1) ? k : s - k;
            ZigZag[s - row][row] = position++;
        }
    }
    for (std::int32_t r = 0; r < 8; ++r) {
        for (std::int32_t c = 0; c < 8; ++c) {
            BaseLuminance[static_cast<std::size_t>(ZigZag[c][r])] = kLuminanceNatural[8 * r + c];
            BaseChrominance[static_cast<std::size_t>(ZigZag[c][r])] = kChrominanceNatural[8 * r + c];
        }
    }
    // 1/(2*sqrt(2)) and 1/(4*cos(k*pi/16)): the output scale of the AAN transform.
    ScaleFactor = {0.353553390593273, 0.25489778955208,  0.270598050073098, 0.300672443467523,
                   0.353553390593273, 0.449988111568207, 0.653281482438186, 1.28145772387074};
    SetSamplingFrequencies(2, 2, 1, 1, 1, 1);
    Quality(75);
}

void cJpeg::Quality(std::int32_t vData)
{
    if (vData < 1 || vData > 100)
        return;
    StoredQuality = vData;
    // Real-valued steps round to nearest, ties to even (the default mode).
    const double scale = vData >= 50 ? 200.0 - 2.0 * vData : std::nearbyint(5000.0 / vData);
    const auto scaled = [scale](std::int16_t base) {
        const double v = std::nearbyint((base * scale + 50.0) / 100.0);
        return static_cast<std::int16_t>(std::clamp(v, 1.0, 255.0));
    };
    for (std::size_t i = 0; i < 64; ++i) {
        QTables[0].Qk[i] = scaled(BaseLuminance[i]);
        QTables[1].Qk[i] = scaled(BaseChrominance[i]);
    }
    ComputeFactors(0);
    ComputeFactors(1);
}

void cJpeg::SetSamplingFrequencies(std::int32_t H1, std::int32_t V1, std::int32_t H2, std::int32_t V2,
                                   std::int32_t H3, std::int32_t V3)
{
    checkSamplingValue(H1);
    checkSamplingValue(V1);
    std::vector<Component> components;
    if (H2 == 0 && V2 == 0 && H3 == 0 && V3 == 0) {
        components.push_back(Component{0, 1, 1, 0, {}});
    } else {
        for (std::int32_t value : {H2, H3, V2, V3})
            checkSamplingValue(value);
        components.push_back(Component{0, H1, V1, 0, {}});
        components.push_back(Component{0, H2, V2, 1, {}});
        components.push_back(Component{0, H3, V3, 1, {}});
    }
    Components = std::move(components);
    ComponentCount = static_cast<std::int32_t>(Components.size());
    HMax = 0;
    VMax = 0;
    for (const Component& component : Components) {
        HMax = std::max(HMax, component.H);
        VMax = std::max(VMax, component.V);
    }
}

void cJpeg::Comment(const QString& Value)
{
    // One byte per character in the file, and the segment length (which counts
    // its own two bytes) is 16-bit.
    if (Value.toUcs4().size() > 65533)
        raise("Illegal Comment Length");
    StoredComment = Value;
}

jpeg::ScanLists jpeg::ScanLists::defaults(std::int32_t componentCount)
{
    ScanLists lists;
    for (std::int32_t p = 0; p < componentCount; ++p) {
        lists.component.push_back(p);
        lists.dcTable.push_back(p == 0 ? 0 : 1);
        lists.acTable.push_back(p == 0 ? 0 : 1);
    }
    return lists;
}

std::array<jpeg::BlockGrid, 4> cJpeg::BlockGrids(const std::int32_t* components, std::int32_t count) const
{
    std::array<jpeg::BlockGrid, 4> grids{};
    for (std::int32_t m = 0; m < count; ++m) {
        const Component& c = Components[static_cast<std::size_t>(components[m])];
        grids[static_cast<std::size_t>(m)] = {c.H, c.V, BlockColumns(c), BlockRows(c)};
    }
    return grids;
}

bool jpeg::hasCodePath(CodePath path)
{
    switch (path) {
    case CodePath::Scalar:
        return true;
    case CodePath::Sse2:
#if defined(__SSE2__)
        return true;
#else
        return false;
#endif
    case CodePath::Avx2:
#if defined(OSTREL_JPEG_AVX2) && defined(__SSE2__)
        return jpegdct::hasAvx2();
#else
        return false;
#endif
    }
    return false;
}

jpeg::CodePath jpeg::fastestCodePath()
{
    static const CodePath fastest = hasCodePath(CodePath::Avx2)   ? CodePath::Avx2
                                    : hasCodePath(CodePath::Sse2) ? CodePath::Sse2
                                                                  : CodePath::Scalar;
    return fastest;
}
