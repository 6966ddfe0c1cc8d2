// Tests of copies between surfaces of every depth, with and without stretching.
#include "platform/Blit.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

using platform::Surface;

namespace {

// A surface whose every pixel has its own colour: red = x, green = y, blue = seed.
std::unique_ptr<Surface> numbered(int width, int height, int seed = 7)
{
    auto s = Surface::create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = s->scanLine(y) + 3 * x;
            p[0] = static_cast<uint8_t>(seed);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x);
        }
    return s;
}

QRgb at(const Surface& s, int x, int y)
{
    const uint8_t* p = s.scanLine(y) + 3 * x;
    return qRgb(p[2], p[1], p[0]);
}

void fill(Surface& s, QRgb c)
{
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) {
            uint8_t* p = s.scanLine(y) + 3 * x;
            p[0] = static_cast<uint8_t>(qBlue(c));
            p[1] = static_cast<uint8_t>(qGreen(c));
            p[2] = static_cast<uint8_t>(qRed(c));
        }
}

} // namespace

TEST(BitBlt, CopiesRectangleAndClipsToBothSurfaces)
{
    auto src = numbered(10, 8);
    auto dst = Surface::create(6, 5);
    fill(*dst, qRgb(1, 2, 3));

    ASSERT_TRUE(platform::bitBlt(*dst, 1, 1, 3, 2, *src, 4, 5));
    EXPECT_EQ(at(*dst, 1, 1), qRgb(4, 5, 7));
    EXPECT_EQ(at(*dst, 3, 2), qRgb(6, 6, 7));
    EXPECT_EQ(at(*dst, 0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(at(*dst, 4, 1), qRgb(1, 2, 3));

    // Source starting left of and above the surface: those target pixels keep their colour.
    fill(*dst, qRgb(1, 2, 3));
    ASSERT_TRUE(platform::bitBlt(*dst, 0, 0, 6, 5, *src, -2, -1));
    EXPECT_EQ(at(*dst, 1, 4), qRgb(1, 2, 3));
    EXPECT_EQ(at(*dst, 2, 0), qRgb(1, 2, 3));
    EXPECT_EQ(at(*dst, 2, 1), qRgb(0, 0, 7));
    EXPECT_EQ(at(*dst, 5, 4), qRgb(3, 3, 7));

    // Destination beyond its edges and a source past its right border.
    fill(*dst, qRgb(1, 2, 3));
    ASSERT_TRUE(platform::bitBlt(*dst, 4, 3, 5, 5, *src, 8, 0));
    EXPECT_EQ(at(*dst, 4, 3), qRgb(8, 0, 7));
    EXPECT_EQ(at(*dst, 5, 4), qRgb(9, 1, 7));
    EXPECT_EQ(at(*dst, 3, 3), qRgb(1, 2, 3));

    EXPECT_FALSE(platform::bitBlt(*dst, 0, 0, 3, 3, *src, 10, 0)); // nothing overlaps
    EXPECT_FALSE(platform::bitBlt(*dst, 6, 0, 3, 3, *src, 0, 0));
}

TEST(BitBlt, CopiesSingleRowsAndColumnsWithinOneSurface)
{
    auto s = numbered(5, 4);
    // Repeat column 2 into columns 3 and 4, then row 1 into rows 2 and 3.
    for (int x = 3; x < 5; ++x)
        ASSERT_TRUE(platform::bitBlt(*s, x, 0, 1, 2, *s, x - 1, 0));
    for (int y = 2; y < 4; ++y)
        ASSERT_TRUE(platform::bitBlt(*s, 0, y, 5, 1, *s, 0, y - 1));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(at(*s, x, y), qRgb(std::min(x, 2), std::min(y, 1), 7)) << x << "," << y;
}

TEST(BitBlt, OverlappingCopyWithinOneSurfaceReadsBeforeWriting)
{
    auto s = numbered(4, 6);
    ASSERT_TRUE(platform::bitBlt(*s, 1, 2, 3, 4, *s, 0, 0)); // down and right by overlapping amounts
    for (int y = 2; y < 6; ++y)
        for (int x = 1; x < 4; ++x)
            EXPECT_EQ(at(*s, x, y), qRgb(x - 1, y - 2, 7)) << x << "," << y;
    ASSERT_TRUE(platform::bitBlt(*s, 0, 0, 4, 3, *s, 0, 3)); // up
    EXPECT_EQ(at(*s, 2, 0), qRgb(1, 1, 7));
}

TEST(StretchBlt, HalftoneAveragesTheAreaUnderEachPixel)
{
    // A black-and-white checkerboard halved becomes mid grey.
    auto board = Surface::create(8, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            std::fill_n(board->scanLine(y) + 3 * x, 3, (x + y) % 2 ? 255 : 0);
    auto half = Surface::create(4, 3);
    half->setStretchMode(4);
    ASSERT_TRUE(platform::stretchBlt(*half, 0, 0, 4, 3, *board, 0, 0, 8, 6));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const int grey = qRed(at(*half, x, y));
            EXPECT_TRUE(grey == 127 || grey == 128) << grey;
            EXPECT_EQ(at(*half, x, y), qRgb(grey, grey, grey));
        }

    // Three pixels onto two: each target covers one and a half source pixels.
    auto row = Surface::create(3, 1);
    const uint8_t values[] = {0, 90, 180};
    for (int x = 0; x < 3; ++x)
        std::fill_n(row->scanLine(0) + 3 * x, 3, values[x]);
    auto two = Surface::create(2, 1);
    two->setStretchMode(4);
    ASSERT_TRUE(platform::stretchBlt(*two, 0, 0, 2, 1, *row, 0, 0, 3, 1));
    EXPECT_EQ(qRed(at(*two, 0, 0)), 30);  // (0 + 90 / 2) / 1.5
    EXPECT_EQ(qRed(at(*two, 1, 0)), 150); // (90 / 2 + 180) / 1.5
}

TEST(StretchBlt, HalvingReadsEveryPixelLayoutAlike)
{
    // Halving, as chroma subsampling does, from pictures of each layout and
    // from an offset inside them: every target pixel is the rounded mean of
    // its four source pixels, channel by channel.
    QImage picture(19, 10, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((37 * x + 11 * y) % 256, (x * y * 13) % 256, 255 - (29 * x) % 256));
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888, QImage::Format_BGR888}) {
        const QImage image = picture.convertToFormat(format);
        const auto source = Surface::wrap(image);
        ASSERT_TRUE(source);
        auto half = Surface::create(8, 4);
        half->setStretchMode(4);
        ASSERT_TRUE(platform::stretchBlt(*half, 0, 0, 8, 4, *source, 3, 1, 16, 8));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                const QRgb a = picture.pixel(3 + 2 * x, 1 + 2 * y), b = picture.pixel(4 + 2 * x, 1 + 2 * y);
                const QRgb c = picture.pixel(3 + 2 * x, 2 + 2 * y), d = picture.pixel(4 + 2 * x, 2 + 2 * y);
                const auto mean = [&](int (*channel)(QRgb)) {
                    return (channel(a) + channel(b) + channel(c) + channel(d) + 2) / 4;
                };
                ASSERT_EQ(at(*half, x, y), qRgb(mean(qRed), mean(qGreen), mean(qBlue)))
                    << "format " << format << " at " << x << "," << y;
            }
    }
}

TEST(StretchBlt, HalftoneKeepsFlatColoursExactAtAnyRatio)
{
    auto src = Surface::create(37, 23);
    fill(*src, qRgb(10, 200, 77));
    const std::pair<int, int> sizes[] = {{19, 12}, {5, 3}, {1, 1}, {80, 41}, {36, 23}};
    for (auto [w, h] : sizes) {
        auto dst = Surface::create(w, h);
        dst->setStretchMode(4);
        ASSERT_TRUE(platform::stretchBlt(*dst, 0, 0, w, h, *src, 0, 0, 37, 23));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(at(*dst, x, y), qRgb(10, 200, 77)) << w << "x" << h << " at " << x << "," << y;
    }
}

TEST(StretchBlt, ColorOnColorTakesTheNearestPixel)
{
    auto src = numbered(8, 4);
    auto dst = Surface::create(4, 2);
    ASSERT_TRUE(platform::stretchBlt(*dst, 0, 0, 4, 2, *src, 0, 0, 8, 4));
    EXPECT_EQ(at(*dst, 0, 0), qRgb(1, 1, 7));
    EXPECT_EQ(at(*dst, 3, 1), qRgb(7, 3, 7));

    auto big = Surface::create(16, 8); // doubling repeats each pixel
    ASSERT_TRUE(platform::stretchBlt(*big, 0, 0, 16, 8, *src, 0, 0, 8, 4));
    EXPECT_EQ(at(*big, 4, 2), qRgb(2, 1, 7));
    EXPECT_EQ(at(*big, 5, 3), qRgb(2, 1, 7));
}

TEST(StretchBlt, ClipsTheTargetAndRepeatsSourceEdges)
{
    auto src = Surface::create(4, 4);
    fill(*src, qRgb(50, 60, 70));
    auto dst = Surface::create(4, 4);
    fill(*dst, qRgb(1, 1, 1));
    dst->setStretchMode(4);
    // Half of the target lies outside; the source rectangle reaches past the right edge.
    ASSERT_TRUE(platform::stretchBlt(*dst, 2, -2, 4, 4, *src, 2, 0, 4, 2));
    EXPECT_EQ(at(*dst, 2, 0), qRgb(50, 60, 70));
    EXPECT_EQ(at(*dst, 3, 1), qRgb(50, 60, 70));
    EXPECT_EQ(at(*dst, 1, 0), qRgb(1, 1, 1));
    EXPECT_EQ(at(*dst, 2, 2), qRgb(1, 1, 1));

    EXPECT_FALSE(platform::stretchBlt(*dst, 0, 0, 2, 2, *src, 9, 9, 4, 4));
    EXPECT_FALSE(platform::stretchBlt(*dst, 0, 0, 0, 2, *src, 0, 0, 4, 4));
}
