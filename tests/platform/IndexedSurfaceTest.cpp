// Indexed surfaces, colour tables and copies between depths.
#include "platform/Blit.h"
#include "platform/ColorMatch.h"

#include <gtest/gtest.h>

#include <QColor>

using platform::ColorEntry;
using platform::Surface;

namespace {

ColorEntry rgb(int r, int g, int b)
{
    return {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r), 0};
}

std::vector<ColorEntry> greyRamp(int bits)
{
    std::vector<ColorEntry> table;
    const int n = (1 << bits) - 1;
    for (int i = 0; i <= n; ++i)
        table.push_back(rgb(i * 255 / n, i * 255 / n, i * 255 / n));
    return table;
}

std::unique_ptr<Surface> solid24(int w, int h, QRgb c)
{
    auto s = Surface::create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = s->scanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(qBlue(c));
            p[1] = static_cast<std::uint8_t>(qGreen(c));
            p[2] = static_cast<std::uint8_t>(qRed(c));
        }
    return s;
}

int indexAt(const Surface& s, int x, int y)
{
    std::uint8_t i = 0;
    s.readIndices(y, x, 1, &i);
    return i;
}

QRgb colourAt(const Surface& s, int x, int y)
{
    std::uint8_t p[3];
    s.readRow(y, x, 1, p);
    return qRgb(p[2], p[1], p[0]);
}

} // namespace

TEST(IndexedSurface, RowsTablesAndPacking)
{
    const int widths[] = {1, 5, 9, 33};
    const int bytes1[] = {4, 4, 4, 8}, bytes4[] = {4, 4, 8, 20}, bytes8[] = {4, 8, 12, 36};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Surface::create(widths[i], 1, 1)->bytesPerLine(), bytes1[i]);
        EXPECT_EQ(Surface::create(widths[i], 1, 4)->bytesPerLine(), bytes4[i]);
        EXPECT_EQ(Surface::create(widths[i], 1, 8)->bytesPerLine(), bytes8[i]);
    }
    // Pixels are packed from the most significant bit.
    auto one = Surface::create(10, 1, 1);
    const std::uint8_t bits[] = {1, 0, 1, 1, 0, 0, 0, 1, 1, 0};
    one->writeIndices(0, 0, 10, bits);
    EXPECT_EQ(one->scanLine(0)[0], 0b10110001);
    EXPECT_EQ(one->scanLine(0)[1], 0b10000000);
    auto four = Surface::create(3, 1, 4);
    const std::uint8_t nibbles[] = {0xA, 0x3, 0xF};
    four->writeIndices(0, 0, 3, nibbles);
    EXPECT_EQ(four->scanLine(0)[0], 0xA3);
    EXPECT_EQ(four->scanLine(0)[1], 0xF0);
    std::uint8_t back[3];
    four->readIndices(0, 1, 2, back);
    EXPECT_EQ(back[0], 0x3);
    EXPECT_EQ(back[1], 0xF);
    // Writing one pixel leaves its neighbours alone.
    const std::uint8_t zero = 0;
    one->writeIndices(0, 2, 1, &zero);
    EXPECT_EQ(one->scanLine(0)[0], 0b10010001);
}

TEST(IndexedSurface, ColorTablesReportHowManyEntriesMoved)
{
    const auto ramp = greyRamp(4);
    auto s = Surface::create(2, 2, 4, ramp);
    ASSERT_EQ(s->colorTable().size(), 16u);
    ColorEntry out[256];
    EXPECT_EQ(s->getColorTable(0, 256, out), 16);
    EXPECT_EQ(out[15], rgb(255, 255, 255));
    EXPECT_EQ(s->getColorTable(10, 100, out), 6);
    EXPECT_EQ(out[0], rgb(170, 170, 170));
    EXPECT_EQ(s->getColorTable(16, 1, out), 0);
    const ColorEntry red[3] = {rgb(255, 0, 0), rgb(255, 0, 0), rgb(255, 0, 0)};
    EXPECT_EQ(s->setColorTable(14, 3, red), 2);
    EXPECT_EQ(s->colorTable()[15], rgb(255, 0, 0));
    EXPECT_EQ(Surface::create(2, 2, 24)->getColorTable(0, 256, out), 0);
    EXPECT_EQ(Surface::create(2, 2, 8)->colorTable()[200], ColorEntry{}); // missing entries are black
}

TEST(IndexedSurface, CopiesIntoTablesTakeTheNearestColour)
{
    // Onto a grey ramp: the grey of the colour's luminance.
    auto grey = Surface::create(1, 1, 8, greyRamp(8));
    const std::pair<QRgb, int> primaries[] = {{qRgb(255, 0, 0), 76}, {qRgb(0, 255, 0), 150}, {qRgb(0, 0, 255), 29},
                                              {qRgb(255, 255, 255), 255}, {qRgb(0, 0, 0), 0}};
    for (auto [colour, expected] : primaries) {
        ASSERT_TRUE(platform::bitBlt(*grey, 0, 0, 1, 1, *solid24(1, 1, colour), 0, 0));
        EXPECT_EQ(indexAt(*grey, 0, 0), expected) << std::hex << colour;
    }
    auto mono = Surface::create(1, 1, 1, greyRamp(1));
    platform::bitBlt(*mono, 0, 0, 1, 1, *solid24(1, 1, qRgb(200, 200, 100)), 0, 0);
    EXPECT_EQ(indexAt(*mono, 0, 0), 1);
    platform::bitBlt(*mono, 0, 0, 1, 1, *solid24(1, 1, qRgb(40, 90, 200)), 0, 0);
    EXPECT_EQ(indexAt(*mono, 0, 0), 0);

    // Onto colours: exact ones find themselves, others their nearest.
    const std::vector<ColorEntry> table = {rgb(0, 0, 0), rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255)};
    auto palette = Surface::create(1, 1, 4, table);
    const std::pair<QRgb, int> colours[] = {{qRgb(255, 0, 0), 1},  {qRgb(0, 0, 255), 3},  {qRgb(200, 30, 30), 1},
                                            {qRgb(20, 220, 40), 2}, {qRgb(30, 30, 30), 0}, {qRgb(0, 0, 0), 0}};
    for (auto [colour, expected] : colours) {
        platform::bitBlt(*palette, 0, 0, 1, 1, *solid24(1, 1, colour), 0, 0);
        EXPECT_EQ(indexAt(*palette, 0, 0), expected) << std::hex << colour;
    }
    // An unevenly spaced grey table.
    platform::ColorMatcher uneven({rgb(0, 0, 0), rgb(250, 250, 250), rgb(100, 100, 100)});
    EXPECT_EQ(uneven.nearest(40, 40, 40), 0);
    EXPECT_EQ(uneven.nearest(90, 90, 90), 2);
    EXPECT_EQ(uneven.nearest(200, 200, 200), 1);
}

TEST(IndexedSurface, CopiesOutOfTablesAndBetweenEqualTables)
{
    const std::vector<ColorEntry> table = {rgb(10, 20, 30), rgb(200, 100, 50), rgb(10, 20, 30)};
    auto src = Surface::create(3, 1, 8, table);
    const std::uint8_t indices[] = {0, 1, 2};
    src->writeIndices(0, 0, 3, indices);

    auto rgbSurface = Surface::create(3, 1, 24);
    ASSERT_TRUE(platform::bitBlt(*rgbSurface, 0, 0, 3, 1, *src, 0, 0));
    EXPECT_EQ(colourAt(*rgbSurface, 1, 0), qRgb(200, 100, 50));
    EXPECT_EQ(colourAt(*rgbSurface, 2, 0), qRgb(10, 20, 30));

    // The same table: indices travel as they are, duplicates included.
    auto same = Surface::create(3, 1, 8, table);
    platform::bitBlt(*same, 0, 0, 3, 1, *src, 0, 0);
    EXPECT_EQ(indexAt(*same, 2, 0), 2);
    // A different table: through the colours, so the duplicate becomes index 0.
    auto other = Surface::create(3, 1, 8, std::vector<ColorEntry>(table.begin(), table.end() - 1));
    platform::bitBlt(*other, 0, 0, 3, 1, *src, 0, 0);
    EXPECT_EQ(indexAt(*other, 2, 0), 0);
}

TEST(IndexedSurface, RasterOperations)
{
    auto dst = solid24(1, 1, qRgb(0xF0, 0x0F, 0x55));
    auto src = solid24(1, 1, qRgb(0xFF, 0x00, 0x0F));
    platform::bitBlt(*dst, 0, 0, 1, 1, *src, 0, 0, platform::RasterOp::SrcInvert);
    EXPECT_EQ(colourAt(*dst, 0, 0), qRgb(0x0F, 0x0F, 0x5A));
    platform::bitBlt(*dst, 0, 0, 1, 1, *src, 0, 0, platform::RasterOp::SrcAnd);
    EXPECT_EQ(colourAt(*dst, 0, 0), qRgb(0x0F, 0x00, 0x0A));
    platform::bitBlt(*dst, 0, 0, 1, 1, *src, 0, 0, platform::RasterOp::SrcPaint);
    EXPECT_EQ(colourAt(*dst, 0, 0), qRgb(0xFF, 0x00, 0x0F));
    platform::bitBlt(*dst, 0, 0, 1, 1, *src, 0, 0, platform::RasterOp::NotSrcCopy);
    EXPECT_EQ(colourAt(*dst, 0, 0), qRgb(0x00, 0xFF, 0xF0));
    platform::bitBlt(*dst, 0, 0, 1, 1, *src, 0, 0, platform::RasterOp::Blackness);
    EXPECT_EQ(colourAt(*dst, 0, 0), qRgb(0, 0, 0));

    // On indices, kept within the depth.
    auto a = Surface::create(1, 1, 4, greyRamp(4));
    auto b = Surface::create(1, 1, 4, greyRamp(4));
    const std::uint8_t five = 5, twelve = 12;
    a->writeIndices(0, 0, 1, &five);
    b->writeIndices(0, 0, 1, &twelve);
    platform::bitBlt(*a, 0, 0, 1, 1, *b, 0, 0, platform::RasterOp::SrcInvert);
    EXPECT_EQ(indexAt(*a, 0, 0), 5 ^ 12);
    platform::bitBlt(*a, 0, 0, 1, 1, *b, 0, 0, platform::RasterOp::Whiteness);
    EXPECT_EQ(indexAt(*a, 0, 0), 15);
}

TEST(IndexedSurface, StretchesIntoAnyDepth)
{
    auto board = Surface::create(8, 8, 24);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            std::fill_n(board->scanLine(y) + 3 * x, 3, (x + y) % 2 ? 255 : 0);
    auto grey = Surface::create(4, 4, 8, greyRamp(8));
    grey->setStretchMode(4);
    ASSERT_TRUE(platform::stretchBlt(*grey, 0, 0, 4, 4, *board, 0, 0, 8, 8));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_NEAR(indexAt(*grey, x, y), 127.5, 0.5);
    // Nearest-pixel enlargement of an indexed source keeps its colours.
    auto small = Surface::create(2, 1, 1, std::vector<ColorEntry>{rgb(0, 0, 0), rgb(255, 255, 255)});
    const std::uint8_t pair[] = {0, 1};
    small->writeIndices(0, 0, 2, pair);
    auto wide = Surface::create(6, 2, 1, std::vector<ColorEntry>{rgb(0, 0, 0), rgb(255, 255, 255)});
    ASSERT_TRUE(platform::stretchBlt(*wide, 0, 0, 6, 2, *small, 0, 0, 2, 1));
    EXPECT_EQ(indexAt(*wide, 2, 1), 0);
    EXPECT_EQ(indexAt(*wide, 3, 1), 1);
}

TEST(IndexedSurface, PlgBltAcceptsOnlyAxisAlignedSameSizeParallelograms)
{
    auto src = solid24(4, 2, qRgb(1, 2, 3));
    auto dst = Surface::create(4, 4, 24);
    const QPoint scaled[3] = {{0, 0}, {8, 0}, {0, 2}};
    const QPoint sheared[3] = {{0, 0}, {4, 1}, {0, 2}};
    const QPoint upright[3] = {{0, 0}, {4, 0}, {0, 2}};
    EXPECT_FALSE(platform::plgBlt(*dst, scaled, *src, 0, 0, 4, 2));
    EXPECT_FALSE(platform::plgBlt(*dst, sheared, *src, 0, 0, 4, 2));
    EXPECT_TRUE(platform::plgBlt(*dst, upright, *src, 0, 0, 4, 2));
    EXPECT_EQ(colourAt(*dst, 3, 1), qRgb(1, 2, 3));
    EXPECT_EQ(colourAt(*dst, 3, 2), qRgb(0, 0, 0));
}

TEST(IndexedSurface, GetDIBitsReadsInTheHeadersLayout)
{
    const auto ramp = greyRamp(8);
    auto src = Surface::create(3, 2, 8, ramp);
    const std::uint8_t top[] = {1, 2, 3}, bottom[] = {7, 8, 9};
    src->writeIndices(0, 0, 3, top);
    src->writeIndices(1, 0, 3, bottom);

    platform::BitmapInfo info;
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 2;
    info.bmiHeader.biBitCount = 8;
    std::vector<std::uint8_t> bits(8, 0xEE);
    EXPECT_EQ(platform::getDIBits(*src, 0, 2, bits.data(), info), 2);
    // Bottom-up rows of 4 bytes; the bitmap's table comes along.
    EXPECT_EQ(bits, (std::vector<std::uint8_t>{7, 8, 9, 0xEE, 1, 2, 3, 0xEE}));
    EXPECT_EQ(info.bmiColors[200], rgb(200, 200, 200));

    // Into a 24-bit layout: the colours of the table.
    platform::BitmapInfo rgbInfo;
    rgbInfo.bmiHeader.biWidth = 3;
    rgbInfo.bmiHeader.biHeight = -2; // top-down
    rgbInfo.bmiHeader.biBitCount = 24;
    std::vector<std::uint8_t> pixels(24, 0);
    EXPECT_EQ(platform::getDIBits(*src, 0, 2, pixels.data(), rgbInfo), 2);
    EXPECT_EQ(pixels[3], 2); // top row, second pixel: grey 2
    EXPECT_EQ(pixels[12], 7);

    EXPECT_EQ(platform::getDIBits(*src, 0, 3, bits.data(), info), 0); // more rows than the bitmap has
}
