// Tests of sampling: colour conversion, chroma downsampling and edges of every layout.
#include "cJpegProbe.h"

#include "support/Images.h"

#include <gtest/gtest.h>

#include <algorithm>

using I = cJpegProbe;

namespace {

bool allZero(const Coefficients& data)
{
    return std::all_of(data.begin(), data.end(), [](std::int16_t v) { return v == 0; });
}

// The DC values of a component's blocks.
std::vector<int> dcValues(const Coefficients& data)
{
    std::vector<int> dc;
    for (std::size_t i = 0; i < data.size(); i += 64)
        dc.push_back(data[i]);
    return dc;
}

} // namespace

TEST(SampleHDC, ComponentSizesArePaddedToWholeBlocks)
{
    cJpeg j;
    ASSERT_EQ(sampleImage(j, testsupport::pattern(100, 75)), 0);
    EXPECT_EQ(I::precision(j), 8);
    EXPECT_EQ(I::imageWidth(j), 100);
    EXPECT_EQ(I::imageHeight(j), 75);
    const auto& c = I::components(j);
    EXPECT_EQ(I::coefficients(j, 0).size(), 104u * 80u); // 13 x 10 blocks
    EXPECT_EQ(I::coefficients(j, 1).size(), 56u * 40u);  // 50 x 38 -> 7 x 5 blocks
    EXPECT_EQ(I::coefficients(j, 2).size(), 56u * 40u);
    EXPECT_EQ(c[0].Ci, 1);
    EXPECT_EQ(c[1].Ci, 2);
    EXPECT_EQ(c[2].Ci, 3);

    cJpeg one;
    ASSERT_EQ(sampleImage(one, solid(1, 1, qRgb(9, 9, 9))), 0);
    for (int component = 0; component < 3; ++component)
        EXPECT_EQ(I::coefficients(one, component).size(), 64u);
}

TEST(SampleHDC, SolidBlocksQuantiseToTheirLevel)
{
    cJpeg j; // quality 75: first luminance value 8
    ASSERT_EQ(sampleImage(j, solid(16, 8, qRgb(255, 255, 255))), 0);
    const auto y = I::coefficients(j, 0);
    EXPECT_EQ(y[0], 127);
    EXPECT_EQ(y[64], 127);
    EXPECT_TRUE(std::all_of(y.begin() + 1, y.begin() + 64, [](std::int16_t v) { return v == 0; }));

    ASSERT_EQ(sampleImage(j, solid(8, 8, qRgb(0, 0, 0))), 0);
    EXPECT_EQ(I::coefficients(j, 0)[0], -128);

    // Grey has no colour: both chroma components are all zero.
    ASSERT_EQ(sampleImage(j, testsupport::pattern(40, 24).convertToFormat(QImage::Format_Grayscale8)), 0);
    EXPECT_TRUE(allZero(I::coefficients(j, 1)));
    EXPECT_TRUE(allZero(I::coefficients(j, 2)));
    EXPECT_FALSE(allZero(I::coefficients(j, 0)));
}

TEST(SampleHDC, ChromaIsShrunkFromTheWholeImageThenPadded)
{
    // Left quarter red, the rest blue. At 4 x 4 the chroma has one red and three
    // blue columns... padded to 8 by repeating blue; a padded copy of the 8 x 8
    // rendering would be half red instead.
    QImage image = solid(8, 8, qRgb(0, 0, 255));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    cJpeg j;
    ASSERT_EQ(sampleImage(j, image), 0);
    const auto cb = I::coefficients(j, 1);
    ASSERT_EQ(cb.size(), 64u);
    // Mean Cb of the block: (1 red column + 7 blue ones) / 8; DC = 8 * mean / 9.
    const double red = -0.16874 * 255, blue = 0.5 * 255;
    EXPECT_NEAR(cb[0], 8 * (red + 7 * blue) / 8 / 9, 1.0);
}

TEST(SampleHDC, GreyscaleMakesOnlyLuminance)
{
    cJpeg j;
    j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
    ASSERT_EQ(sampleImage(j, testsupport::pattern(20, 10)), 0);
    ASSERT_EQ(I::components(j).size(), 1u);
    EXPECT_EQ(I::coefficients(j, 0).size(), 24u * 16u);
}

TEST(SampleHDC, ReadsTheRectangleAtTheSourceOrigin)
{
    const QImage big = testsupport::pattern(60, 50, 3);
    auto surface = platform::Surface::wrap(big);
    cJpeg fromOrigin;
    ASSERT_EQ(fromOrigin.SampleHDC(surface.get(), 33, 17, 10, 20), 0);
    cJpeg cropped;
    ASSERT_EQ(sampleImage(cropped, big.copy(10, 20, 33, 17)), 0);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(I::coefficients(fromOrigin, c), I::coefficients(cropped, c)) << c;
}

TEST(SampleHDC, EmptySizeOrNoSurfaceSamplesNothing)
{
    cJpeg j;
    ASSERT_EQ(sampleImage(j, solid(8, 8, qRgb(0, 0, 0))), 0);
    const auto before = dcValues(I::coefficients(j, 0));
    auto surface = platform::Surface::wrap(solid(8, 8, qRgb(255, 255, 255)));
    EXPECT_EQ(j.SampleHDC(surface.get(), 0, 8), 1);
    EXPECT_EQ(j.SampleHDC(surface.get(), 8, -3), 1);
    EXPECT_EQ(j.SampleHDC(nullptr, 8, 8), 1);
    EXPECT_EQ(j.SampleHDC(surface.get(), 50000, 50000), 1); // a raster of 7 GiB cannot be made
    EXPECT_EQ(dcValues(I::coefficients(j, 0)), before);
    EXPECT_EQ(I::imageWidth(j), 50000); // the sizes of the last call stay, as documented
}

TEST(SampleHDC, ResamplingAfterNewSamplingReplacesEverything)
{
    cJpeg j;
    ASSERT_EQ(sampleImage(j, testsupport::pattern(30, 30)), 0);
    j.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    EXPECT_TRUE(I::coefficients(j, 0).empty());
    ASSERT_EQ(sampleImage(j, testsupport::pattern(30, 30)), 0);
    EXPECT_EQ(I::coefficients(j, 1).size(), 32u * 32u);
}

TEST(SampleHDC, BandsGiveExactlyTheWholeRendering)
{
    // A raster of a few block rows against one that holds the whole image,
    // for copies, halvings, other stretches, and sources partly off the surface.
    const QImage image = testsupport::pattern(203, 157, 5);
    auto surface = platform::Surface::wrap(image);
    const int layouts[][6] = {{2, 2, 1, 1, 1, 1}, {4, 3, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {3, 1, 2, 2, 1, 3}};
    const int origins[][2] = {{0, 0}, {-5, 7}, {20, -9}};
    for (const auto& f : layouts) {
        for (const auto& origin : origins) {
            cJpeg banded;
            cJpeg whole;
            I::setBandBytes(banded, 1); // the smallest band: 8 rows
            I::setBandBytes(whole, std::int64_t{1} << 40);
            for (cJpeg* j : {&banded, &whole}) {
                j->SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
                ASSERT_EQ(j->SampleHDC(surface.get(), 190, 150, origin[0], origin[1]), 0);
            }
            for (std::size_t c = 0; c < 3; ++c)
                EXPECT_EQ(I::coefficients(banded, static_cast<int>(c)), I::coefficients(whole, static_cast<int>(c)))
                    << "layout " << f[0] << f[1] << f[2] << f[3] << f[4] << f[5] << " origin " << origin[0] << ","
                    << origin[1] << " component " << c;
        }
    }
}

TEST(SampleHDC, RowsReportedDoneAreNotReadAgain)
{
    // Each report says the rows above it are finished: overwriting them at
    // once must leave every coefficient as it is. Reports rise, come once per
    // band and end with the whole height, for copies, halvings and uneven
    // stretches, from the picture's top and from inside it.
    const QImage image = testsupport::pattern(203, 157, 5).convertToFormat(QImage::Format_RGB32);
    const int layouts[][6] = {{2, 2, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {3, 1, 2, 2, 1, 3}, {1, 4, 1, 3, 1, 1}};
    const int origins[][2] = {{0, 0}, {4, 11}};
    for (const auto& f : layouts) {
        for (const auto& origin : origins) {
            SCOPED_TRACE(testing::Message() << "layout " << f[0] << f[1] << f[2] << f[3] << f[4] << f[5] << " origin "
                                            << origin[0] << "," << origin[1]);
            const int height = 140;
            cJpeg quiet;
            I::setBandBytes(quiet, 1);
            quiet.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
            const auto untouched = platform::Surface::wrap(image);
            ASSERT_EQ(quiet.SampleHDC(untouched.get(), 190, height, origin[0], origin[1]), 0);

            // A surface of its own memory, so that overwriting its rows
            // changes what the encoder would read.
            const auto surface = platform::Surface::create(image.width(), image.height(), 24);
            ASSERT_TRUE(surface);
            for (int y = 0; y < image.height(); ++y)
                untouched->readRow(y, 0, image.width(), surface->scanLine(y));
            cJpeg watched;
            I::setBandBytes(watched, 1); // the smallest band: 8 rows
            watched.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
            std::vector<int> reports;
            watched.OnRowsSampled([&](std::int32_t done) {
                reports.push_back(done);
                for (int y = 0; y < done; ++y) // the rows the encoder is done with
                    std::fill_n(surface->scanLine(origin[1] + y), 3 * image.width(), std::uint8_t{0x5A});
            });
            ASSERT_EQ(watched.SampleHDC(surface.get(), 190, height, origin[0], origin[1]), 0);
            ASSERT_GE(reports.size(), 3u);
            EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
            EXPECT_EQ(reports.back(), height);
            EXPECT_GT(reports[reports.size() / 2], 0);
            for (std::size_t c = 0; c < 3; ++c)
                EXPECT_EQ(I::coefficients(watched, static_cast<int>(c)), I::coefficients(quiet, static_cast<int>(c)))
                    << "component " << c;
        }
    }
}
