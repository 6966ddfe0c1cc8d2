// Files written by the encoder, decoded by libjpeg-turbo.
#include "cJpegProbe.h"

#include "support/Images.h"
#include "support/JpegCodec.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Layout {
    const char* name;
    int f[6];
    double psnrFloor; // on the test pattern at quality 90
};

const Layout kLayouts[] = {
    {"4:2:0", {2, 2, 1, 1, 1, 1}, 30.0}, {"4:4:4", {1, 1, 1, 1, 1, 1}, 36.0},
    {"4x3", {4, 3, 1, 1, 1, 1}, 24.0},   {"2x2 all", {2, 2, 2, 2, 2, 2}, 36.0},
    {"grey", {1, 1, 0, 0, 0, 0}, 36.0},
};

const QSize kSizes[] = {{1, 1}, {2, 3}, {7, 7}, {8, 8}, {9, 9}, {16, 16}, {17, 9}, {31, 33}, {100, 75}, {513, 257}};

testsupport::DecodedJpeg encodeAndDecode(const QImage& image, const Layout& layout, int quality)
{
    cJpeg j;
    j.Quality(quality);
    j.SetSamplingFrequencies(layout.f[0], layout.f[1], layout.f[2], layout.f[3], layout.f[4], layout.f[5]);
    EXPECT_EQ(sampleImage(j, image), 0);
    QTemporaryDir dir;
    const QString path = dir.filePath("t.jpg");
    EXPECT_EQ(j.SaveFile(path), 0);
    return testsupport::decodeJpegFile(path);
}

} // namespace

TEST(RoundTrip, EverySizeAndLayoutDecodes)
{
    for (const Layout& layout : kLayouts) {
        const bool grey = layout.f[2] == 0;
        for (QSize size : kSizes) {
            SCOPED_TRACE(std::string(layout.name) + " " + std::to_string(size.width()) + "x" +
                         std::to_string(size.height()));
            const QImage image = testsupport::pattern(size.width(), size.height(), size.width());
            const auto decoded = encodeAndDecode(image, layout, 90);
            ASSERT_TRUE(decoded.ok) << decoded.error;
            EXPECT_EQ(decoded.width, size.width());
            EXPECT_EQ(decoded.height, size.height());
            EXPECT_EQ(decoded.components, grey ? 1 : 3);
            if (grey) {
                EXPECT_EQ(decoded.h, std::vector<int>{1});
            } else {
                EXPECT_EQ(decoded.h, (std::vector<int>{layout.f[0], layout.f[2], layout.f[4]}));
                EXPECT_EQ(decoded.v, (std::vector<int>{layout.f[1], layout.f[3], layout.f[5]}));
            }
            const QImage shown = decoded.toImage().convertToFormat(QImage::Format_RGB888);
            EXPECT_GT(testsupport::psnr(shown, image, grey), layout.psnrFloor);
        }
    }
}

TEST(RoundTrip, QualityHundredAtFullResolutionIsNearlyLossless)
{
    const QImage image = testsupport::pattern(64, 40, 9);
    const auto decoded = encodeAndDecode(image, kLayouts[1], 100);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_GT(testsupport::psnr(decoded.toImage(), image), 45.0);
    EXPECT_LE(testsupport::maxDifference(decoded.toImage(), image), 6);
}

TEST(RoundTrip, SolidColoursSurviveAtAnyQuality)
{
    for (int quality : {50, 100})
        for (QRgb colour : {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 30, 90)}) {
            const QImage image = solid(19, 13, colour);
            const auto decoded = encodeAndDecode(image, kLayouts[0], quality);
            ASSERT_TRUE(decoded.ok) << decoded.error;
            EXPECT_LE(testsupport::maxDifference(decoded.toImage(), image), 3)
                << quality << " " << std::hex << colour;
        }
}

// Against libjpeg-turbo's own encoder at quality 75, 4:2:0, optimised tables
// and the float DCT, on natural photographs.
TEST(RoundTrip, PhotosMatchTheReferenceEncoder)
{
    for (const char* name : {"astronaut.png", "coffee.png", "chelsea.png"}) {
        SCOPED_TRACE(name);
        const QImage image = testsupport::photo(name);
        ASSERT_FALSE(image.isNull());
        const QByteArray reference = testsupport::referenceEncode(image, 75);
        const auto referenceDecoded = testsupport::decodeJpeg(reference);
        ASSERT_TRUE(referenceDecoded.ok);

        cJpeg j;
        ASSERT_EQ(sampleImage(j, image), 0);
        QTemporaryDir dir;
        const QString path = dir.filePath("photo.jpg");
        ASSERT_EQ(j.SaveFile(path), 0);
        const QByteArray ours = testsupport::readFile(path);
        const auto decoded = testsupport::decodeJpeg(ours);
        ASSERT_TRUE(decoded.ok) << decoded.error;

        const double ourPsnr = testsupport::psnr(decoded.toImage(), image);
        const double referencePsnr = testsupport::psnr(referenceDecoded.toImage(), image);
        std::printf("%s: ours %lld bytes %.3f dB, libjpeg-turbo %lld bytes %.3f dB\n", name,
                    static_cast<long long>(ours.size()), ourPsnr, static_cast<long long>(reference.size()),
                    referencePsnr);
        EXPECT_GE(ourPsnr, referencePsnr - 0.3);
        EXPECT_LE(static_cast<double>(ours.size()), 1.02 * static_cast<double>(reference.size()));
    }
}
