// Every code path of the encoder (plain C++, SSE2, AVX2, one or two threads) writes the same bytes, for many
// sizes and layouts.
#include "cJpegProbe.h"
#include "cJpegColour.h"

#include "support/Files.h"
#include "support/Images.h"
#include "support/JpegCodec.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using I = cJpegProbe;

namespace {

struct Layout {
    int h1, v1, h2, v2, h3, v3;
};

// threads: 1 = the calling thread only, 2 = two sampling threads, 0 = as the encoder chooses.
QByteArray encode(const QImage& image, const Layout& l, int quality, jpeg::CodePath path, int threads = 1)
{
    cJpeg encoder;
    I::setCodePath(encoder, path);
    I::setThreads(encoder, threads);
    encoder.Quality(quality);
    encoder.SetSamplingFrequencies(l.h1, l.v1, l.h2, l.v2, l.h3, l.v3);
    EXPECT_EQ(sampleImage(encoder, image), 0);
    return encoder.Encode();
}

// Noise with every byte value, sharp edges and flat areas: each lane, each
// rounding and each coefficient magnitude the paths could treat differently.
QImage harsh(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, (x / 5 + y / 3) % 4 == 0 ? qRgb(255, 255, 255) : random.generate() | 0xFF000000u);
    return image;
}

} // namespace

TEST(CodePaths, EveryPathWritesTheSameBytes)
{
    std::vector<jpeg::CodePath> vectorPaths;
    for (jpeg::CodePath path : {jpeg::CodePath::Sse2, jpeg::CodePath::Avx2})
        if (jpeg::hasCodePath(path))
            vectorPaths.push_back(path);
    if (vectorPaths.empty())
        GTEST_SKIP() << "this build has only the plain path";
    const Layout layouts[] = {
        {2, 2, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {2, 1, 1, 1, 1, 1}, {4, 1, 1, 1, 1, 1},
        {1, 2, 1, 1, 1, 1}, {1, 1, 0, 0, 0, 0}, {3, 2, 1, 1, 1, 2}, {4, 4, 2, 2, 1, 1},
    };
    const QSize sizes[] = {{1, 1}, {7, 5}, {8, 8}, {17, 9}, {33, 31}, {64, 48}, {100, 75}, {641, 23}};
    int files = 0;
    for (const QSize size : sizes) {
        const QImage images[] = {testsupport::pattern(size.width(), size.height(), size.width()),
                                 harsh(size.width(), size.height(), static_cast<quint32>(size.height()))};
        for (const QImage& image : images) {
            for (const Layout& l : layouts) {
                for (int quality : {1, 50, 75, 100}) {
                    SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " " << l.h1 << l.v1
                                                    << l.h2 << l.v2 << l.h3 << l.v3 << " q" << quality);
                    const QByteArray scalar = encode(image, l, quality, jpeg::CodePath::Scalar);
                    ASSERT_FALSE(scalar.isEmpty());
                    for (jpeg::CodePath path : vectorPaths)
                        ASSERT_EQ(encode(image, l, quality, path), scalar) << "path " << static_cast<int>(path);
                    ASSERT_EQ(encode(image, l, quality, jpeg::fastestCodePath(), 2), scalar) << "two threads";
                    ++files;
                }
            }
        }
    }
    // A photograph at a snapshot's size, the default layout and quality.
    const QImage photo = testsupport::photo("coffee.png");
    if (!photo.isNull()) {
        cJpeg defaults;
        const QByteArray scalar = encode(photo, {2, 2, 1, 1, 1, 1}, defaults.Quality(), jpeg::CodePath::Scalar);
        for (jpeg::CodePath path : vectorPaths)
            EXPECT_EQ(encode(photo, {2, 2, 1, 1, 1, 1}, defaults.Quality(), path), scalar);
        EXPECT_EQ(encode(photo, {2, 2, 1, 1, 1, 1}, defaults.Quality(), jpeg::fastestCodePath(), 2), scalar);
        EXPECT_EQ(encode(photo, {2, 2, 1, 1, 1, 1}, defaults.Quality(), jpeg::fastestCodePath(), 0), scalar)
            << "the default choice of threads";
        EXPECT_TRUE(testsupport::decodeJpeg(scalar).ok);
    }
    EXPECT_EQ(files, 8 * 2 * 8 * 4);
}

TEST(CodePaths, ColourConversionGivesTheSameBitsForAnyPixels)
{
    // A file-level difference shows only when a sample's last bit moves a
    // coefficient across a rounding edge; here every bit of every sample
    // counts, for one, two and three components converted together, from
    // rows stored top-down and bottom-up, in each pixel layout.
    QRandomGenerator random(7);
    std::vector<jpeg::CodePath> paths;
    for (jpeg::CodePath path : {jpeg::CodePath::Scalar, jpeg::CodePath::Sse2, jpeg::CodePath::Avx2})
        if (jpeg::hasCodePath(path))
            paths.push_back(path);
    struct Layout {
        jpegcolour::Pixels pixels;
        int step, blue, red;
    };
    const Layout layouts[] = {{jpegcolour::Pixels::Bgr24, 3, 0, 2},
                              {jpegcolour::Pixels::Rgb24, 3, 2, 0},
                              {jpegcolour::Pixels::Bgrx32, 4, 0, 2}};
    constexpr int kStride = 32 + 5; // rows apart by more than a block's width
    std::vector<std::uint8_t> bgr(8 * 24), stored(8 * kStride);
    for (int n = 0; n < 3000; ++n) {
        for (std::size_t i = 0; i < bgr.size(); ++i)
            bgr[i] = n < 256 ? static_cast<std::uint8_t>(n + i) : static_cast<std::uint8_t>(random.bounded(256));
        if (n >= 256 && n % 3 == 0)
            bgr[static_cast<std::size_t>(random.bounded(static_cast<int>(bgr.size())))] = n % 2 ? 255 : 0;
        const bool bottomUp = n % 2 == 1;
        const int first = n % 3;
        const int count = 3 - first;
        float expected[3][8][8];
        for (int c = 0; c < count; ++c)
            for (int r = 0; r < 8; ++r)
                jpegcolour::convertRowScalar(&bgr[static_cast<std::size_t>(24 * r)], jpegcolour::kColour[first + c],
                                             expected[c][r]);
        for (const Layout& layout : layouts) {
            // The same pixels stored in the layout, the unused byte random.
            for (int r = 0; r < 8; ++r) {
                std::uint8_t* row = &stored[static_cast<std::size_t>((bottomUp ? 7 - r : r) * kStride)];
                for (int x = 0; x < 8; ++x) {
                    const std::uint8_t* pixel = &bgr[static_cast<std::size_t>(24 * r + 3 * x)];
                    row[layout.step * x + layout.blue] = pixel[0];
                    row[layout.step * x + 1] = pixel[1];
                    row[layout.step * x + layout.red] = pixel[2];
                    if (layout.step == 4)
                        row[4 * x + 3] = static_cast<std::uint8_t>(random.bounded(256));
                }
            }
            const std::uint8_t* top = bottomUp ? stored.data() + 7 * kStride : stored.data();
            const std::ptrdiff_t stride = bottomUp ? -kStride : kStride;
            for (jpeg::CodePath path : paths) {
                float blocks[3][8][8];
                jpegcolour::convertBlock(path, layout.pixels, top, stride, first, count, blocks);
                ASSERT_EQ(std::memcmp(expected, blocks, sizeof(float) * 64 * count), 0)
                    << "pixels " << n << " path " << static_cast<int>(path) << " layout "
                    << static_cast<int>(layout.pixels) << " components " << first << "+" << count;
            }
        }
    }
}

// Blocks read straight from the picture's rows (24-bit either way round,
// 32-bit) give the same file as blocks copied into the working raster first,
// for sizes with and without partial blocks, offsets into a larger picture,
// top-down and bottom-up surfaces.
TEST(CodePaths, ReadingPicturesInPlaceWritesTheSameBytes)
{
    const QImage big = testsupport::pattern(203, 77, 5);
    struct Crop {
        int left, top, width, height;
    };
    const Crop crops[] = {{0, 0, 203, 77}, {0, 0, 64, 48}, {3, 5, 17, 9}, {11, 2, 160, 64}, {1, 1, 200, 70}};
    for (QImage::Format format : {QImage::Format_BGR888, QImage::Format_RGB888, QImage::Format_RGB32}) {
        const QImage image = big.convertToFormat(format);
        const auto wrapped = platform::Surface::wrap(image);
        // The same picture on a bottom-up 24-bit surface.
        const auto bottomUp = platform::Surface::create(image.width(), image.height(), 24);
        ASSERT_TRUE(bottomUp);
        for (int y = 0; y < image.height(); ++y)
            wrapped->readRow(y, 0, image.width(), bottomUp->scanLine(y));
        for (platform::Surface* source : {wrapped.get(), bottomUp.get()}) {
            for (const Crop& crop : crops) {
                for (const Layout l : {Layout{2, 2, 1, 1, 1, 1}, Layout{1, 1, 1, 1, 1, 1}, Layout{1, 1, 0, 0, 0, 0}}) {
                    SCOPED_TRACE(testing::Message() << "format " << format << " crop " << crop.left << "," << crop.top
                                                    << " " << crop.width << "x" << crop.height << " layout " << l.h1
                                                    << l.v1 << l.h2 << l.v2);
                    const auto encodeWith = [&](bool inPlace) {
                        cJpeg encoder;
                        I::setReadInPlace(encoder, inPlace);
                        I::setBandBytes(encoder, 4096); // several bands
                        encoder.SetSamplingFrequencies(l.h1, l.v1, l.h2, l.v2, l.h3, l.v3);
                        EXPECT_EQ(encoder.SampleHDC(source, crop.width, crop.height,
                                                    crop.left, crop.top),
                                  0);
                        return encoder.Encode();
                    };
                    const QByteArray copied = encodeWith(false);
                    ASSERT_FALSE(copied.isEmpty());
                    ASSERT_EQ(encodeWith(true), copied);
                }
            }
        }
    }
}

// A block that cannot be quantised fails the sampling with the overflow
// error, whichever thread samples it, and the encoder can sample again.
TEST(CodePaths, AFailureOnEitherThreadReachesTheCaller)
{
    const QImage image = testsupport::pattern(64, 48, 2);
    for (int threads : {1, 2}) {
        for (int table : {0, 1}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, table " << table);
            cJpeg encoder;
            I::setThreads(encoder, threads);
            I::qtable(encoder, table).Factor.fill(1e30f);
            EXPECT_EQ(testsupport::errorNumber([&] { sampleImage(encoder, image); }), 6);
            encoder.Quality(75); // sound tables again
            EXPECT_EQ(sampleImage(encoder, image), 0);
            EXPECT_TRUE(testsupport::decodeJpeg(encoder.Encode()).ok);
        }
    }
}
