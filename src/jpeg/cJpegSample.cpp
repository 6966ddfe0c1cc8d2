// Reading the image: each component is rendered into a shared RGB working
// raster at its own sampled size (a 1:1 copy at full resolution, a halftone
// stretch of the whole source otherwise), padded to whole blocks by repeating
// its last column and row, converted to its colour value block by block and
// handed to the DCT and quantisation.
#include "cJpeg.h"

#include "platform/Blit.h"
#include "platform/NumberedError.h"

#include <limits>
#include <new>

namespace {

// Red, green and blue multipliers and the added offset of Y, Cb and Cr.
constexpr float kColour[3][4] = {
    {0.299f, 0.587f, 0.114f, -128.0f},
    {-0.16874f, -0.33126f, 0.5f, 0.0f},
    {0.5f, -0.41869f, -0.08131f, 0.0f},
};

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }
std::int64_t roundUp8(std::int64_t v) { return ceilDiv(v, 8) * 8; }

struct SampledSize {
    std::int32_t w, h, wp, hp;
};

SampledSize sampledSize(const Component& c, std::int32_t width, std::int32_t height, std::int32_t hMax,
                        std::int32_t vMax)
{
    const std::int64_t w = ceilDiv(std::int64_t{c.H} * width, hMax);
    const std::int64_t h = ceilDiv(std::int64_t{c.V} * height, vMax);
    return {static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), static_cast<std::int32_t>(roundUp8(w)),
            static_cast<std::int32_t>(roundUp8(h))};
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
    const std::int64_t Wp = roundUp8(lWidth);
    const std::int64_t Hp = roundUp8(lHeight);
    if (Wp > std::numeric_limits<std::int32_t>::max() || Hp > std::numeric_limits<std::int32_t>::max())
        return 1;
    const auto raster = platform::Surface::create(static_cast<int>(Wp), static_cast<int>(Hp), 24);
    if (!raster)
        return 1;
    if (raster->setStretchMode(static_cast<int>(platform::StretchMode::Halftone)) == 0)
        raster->setStretchMode(static_cast<int>(platform::StretchMode::ColorOnColor));

    std::int32_t lastW = 0;
    std::int32_t lastH = 0;
    for (std::int32_t i = 0; i < ComponentCount; ++i) {
        Component& component = Components[static_cast<std::size_t>(i)];
        component.Ci = i + 1;
        const SampledSize s = sampledSize(component, lWidth, lHeight, HMax, VMax);
        try {
            Coefficients zeros(static_cast<std::size_t>(std::int64_t{s.wp} * s.hp));
            component.Data.swap(zeros);
        } catch (const std::bad_alloc&) {
            throw platform::NumberedError::outOfMemory();
        }
        if (s.w != lastW || s.h != lastH) {
            const int top = static_cast<int>(Hp - s.hp);
            if (s.w == lWidth && s.h == lHeight)
                platform::bitBlt(*raster, 0, top, s.w, s.h, *lHDC, lSrcLeft, lSrcTop);
            else
                platform::stretchBlt(*raster, 0, top, s.w, s.h, *lHDC, lSrcLeft, lSrcTop, lWidth, lHeight);
            for (int x = s.w; x < s.wp; ++x)
                platform::bitBlt(*raster, x, top, 1, s.h, *raster, x - 1, top);
            for (int y = top + s.h; y < Hp; ++y)
                platform::bitBlt(*raster, 0, y, s.wp, 1, *raster, 0, y - 1);
            lastW = s.w;
            lastH = s.h;
        }
        SampleComponent(i, *raster, static_cast<std::int32_t>(Hp));
    }
    return 0;
}

void cJpeg::SampleComponent(std::int32_t i, platform::Surface& raster, std::int32_t Hp)
{
    Component& component = Components[static_cast<std::size_t>(i)];
    const SampledSize s = sampledSize(component, ImageWidth, ImageHeight, HMax, VMax);
    const float* m = kColour[i];
    // Each product of a colour byte and its multiplier, as single precision;
    // the sum is then formed in the order red, green, blue, offset.
    float red[256], green[256], blue[256];
    for (int v = 0; v < 256; ++v) {
        red[v] = static_cast<float>(v) * m[0];
        green[v] = static_cast<float>(v) * m[1];
        blue[v] = static_cast<float>(v) * m[2];
    }
    const float offset = m[3];
    const std::array<float, 64> factors = NaturalOrder(QTables[static_cast<std::size_t>(component.Tq)].Factor);
    const platform::Surface& pixels = raster;
    const int top = Hp - s.hp;
    std::int64_t position = 0;
    for (int by = 0; by < s.hp / 8; ++by) {
        for (int bx = 0; bx < s.wp / 8; ++bx) {
            for (int r = 0; r < 8; ++r) {
                const std::uint8_t* p = pixels.scanLine(top + 8 * by + r) + 3 * 8 * bx;
                for (int c = 0; c < 8; ++c, p += 3)
                    WorkBlock[r][c] = red[p[2]] + green[p[1]] + blue[p[0]] + offset;
            }
            ForwardDCT();
            QuantizeNatural(component.Data, position, factors);
        }
    }
}
