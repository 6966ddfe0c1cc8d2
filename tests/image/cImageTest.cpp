// Tests of the image buffer: pictures in, resampling, turning, greyscale, copies at each depth.
#include "image/cImage.h"

#include "platform/NumberedError.h"
#include "support/ImageFiles.h"
#include "support/Files.h"
#include "support/Images.h"

#include <QTemporaryDir>
#include <QFile>

#include <gtest/gtest.h>

using testsupport::errorNumber;

#include <functional>

using platform::ColorEntry;

struct cImageProbe {
    static const platform::BitmapInfo& info(const cImage& image) { return image.m_tBI; }
};

namespace {

ColorEntry rgb(int r, int g, int b)
{
    return {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r), 0};
}

// A value per pixel: the table index of an indexed buffer, the colour of a 24-bit one.
QRgb valueAt(const cImage& image, int x, int y)
{
    if (image.BitCount() != 24) {
        std::uint8_t i = 0;
        image.hDC()->readIndices(y, x, 1, &i);
        return i;
    }
    std::uint8_t p[3];
    image.hDC()->readRow(y, x, 1, p);
    return qRgb(p[2], p[1], p[0]);
}

// A small buffer whose pixels are all told apart by position (as far as the
// depth allows), with a colour table that is not the default grey.
std::unique_ptr<cImage> asymmetric(int bits, int w = 3, int h = 2)
{
    auto image = std::make_unique<cImage>();
    EXPECT_TRUE(image->Create(w, h, static_cast<std::int16_t>(bits)));
    platform::Surface& s = *image->hDC();
    if (bits == 24) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = s.scanLine(y) + 3 * x;
                p[0] = static_cast<std::uint8_t>(10 * x);
                p[1] = static_cast<std::uint8_t>(100 + 10 * y);
                p[2] = static_cast<std::uint8_t>(7 * x + 50 * y);
            }
        return image;
    }
    std::vector<ColorEntry> table;
    for (int i = 0; i < (1 << bits); ++i)
        table.push_back(rgb((i * 53) % 256, (i * 101) % 256, 255 - i));
    s.setColorTable(0, static_cast<int>(table.size()), table.data());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // 1 bit: the pattern 1 0 0 / 1 1 0 has no symmetry.
            const int value = bits == 1 ? (x == 0 || (y == 1 && x == 1)) : (y * w + x + 1) % (1 << bits);
            const auto index = static_cast<std::uint8_t>(value);
            s.writeIndices(y, x, 1, &index);
        }
    return image;
}


} // namespace

TEST(cImage, CreateWritesTheHeaderAndRowLengths)
{
    cImage image;
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.BitCount(), 0);
    EXPECT_EQ(image.hDC(), nullptr);

    ASSERT_TRUE(image.Create(1, 1, 24));
    EXPECT_EQ(image.BytesPerScanLine(), 4);
    const auto& h = cImageProbe::info(image).bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 4u);
    ASSERT_TRUE(image.Create(33, 2, 1));
    EXPECT_EQ(image.BytesPerScanLine(), 8);
    EXPECT_EQ(cImageProbe::info(image).bmiHeader.biSizeImage, 16u);

    const int widths[] = {1, 5, 9, 33};
    const int expected[4][4] = {{4, 4, 4, 8}, {4, 4, 8, 20}, {4, 8, 12, 36}, {4, 16, 28, 100}};
    const int depths[] = {1, 4, 8, 24};
    for (int d = 0; d < 4; ++d)
        for (int w = 0; w < 4; ++w) {
            ASSERT_TRUE(image.Create(widths[w], 3, static_cast<std::int16_t>(depths[d])));
            EXPECT_EQ(image.BytesPerScanLine(), expected[d][w]) << depths[d] << " bits, width " << widths[w];
            EXPECT_EQ(image.hDC()->bytesPerLine(), expected[d][w]);
        }
    // The pixels start with the bottom row.
    ASSERT_TRUE(image.Create(2, 3, 24));
    image.hDC()->scanLine(2)[0] = 77;
    EXPECT_EQ(image.DIBitsPtr()[0], 77);
}

TEST(cImage, RefusedDepthsAndSizesLeaveTheBufferEmpty)
{
    cImage image;
    ASSERT_TRUE(image.Create(5, 4, 8));
    for (std::int16_t bits : {16, 32, 2, 0}) {
        EXPECT_FALSE(image.Create(10, 10, bits)) << bits;
        EXPECT_EQ(image.hDC(), nullptr);
        EXPECT_EQ(image.DIBitsPtr(), nullptr);
        EXPECT_EQ(image.Width(), 5); // the header as last written
    }
    EXPECT_FALSE(image.Create(0, 10, 24));
    EXPECT_EQ(image.hDC(), nullptr);
    EXPECT_EQ(errorNumber([&] { image.Create(1'000'000'000, 1, 24); }), 6);
    EXPECT_EQ(errorNumber([&] { image.Create(100'000'000, 100, 24); }), 6); // Height x row length
    EXPECT_EQ(errorNumber([&] { image.BytesPerScanLine(); }), 0);
}

TEST(cImage, IndexedBuffersStartWithGreyTables)
{
    cImage image;
    const std::pair<int, int> depths[] = {{1, 255}, {4, 17}, {8, 1}};
    for (auto [bits, step] : depths) {
        ASSERT_TRUE(image.Create(4, 4, static_cast<std::int16_t>(bits)));
        const auto& table = image.hDC()->colorTable();
        ASSERT_EQ(table.size(), std::size_t{1} << bits);
        for (std::size_t i = 0; i < table.size(); ++i)
            ASSERT_EQ(table[i], rgb(static_cast<int>(i) * step, static_cast<int>(i) * step, static_cast<int>(i) * step))
                << bits << " bits, entry " << i;
    }
    // Creating again replaces the first bitmap.
    ASSERT_TRUE(image.Create(7, 3, 24));
    EXPECT_EQ(image.hDC()->width(), 7);
    EXPECT_TRUE(image.hDC()->colorTable().empty());
}

TEST(cImage, CopyHDCTakesItsDepthFromTheSourcesTable)
{
    const std::pair<int, int> sources[] = {{1, 1}, {4, 4}, {8, 8}, {24, 24}};
    for (auto [bits, expected] : sources) {
        const auto source = asymmetric(bits, 5, 4);
        cImage copy;
        ASSERT_TRUE(copy.CopyHDC(source->hDC(), 4, 3, 0, 1, 1));
        EXPECT_EQ(copy.BitCount(), expected);
        EXPECT_EQ(copy.hDC()->colorTable(), source->hDC()->colorTable());
        EXPECT_EQ(valueAt(copy, 2, 1), valueAt(*source, 3, 2)) << bits;
    }
    // A depth asked for: colours matched to the new buffer's grey table.
    const auto colour = asymmetric(24);
    cImage grey;
    ASSERT_TRUE(grey.CopyHDC(colour->hDC(), 3, 2, 8));
    EXPECT_EQ(grey.BitCount(), 8);
    EXPECT_EQ(grey.hDC()->colorTable()[9], rgb(9, 9, 9));
}

TEST(cImage, CopyPalletHDCTakesTheWholeTable)
{
    const auto source = asymmetric(4);
    cImage target;
    ASSERT_TRUE(target.Create(2, 2, 4));
    EXPECT_TRUE(target.CopyPalletHDC(source->hDC()));
    EXPECT_EQ(target.hDC()->colorTable(), source->hDC()->colorTable());
    cImage eight;
    ASSERT_TRUE(eight.Create(2, 2, 8));
    EXPECT_TRUE(eight.CopyPalletHDC(source->hDC())); // 16 entries read, 16 written
    EXPECT_EQ(eight.hDC()->colorTable()[3], source->hDC()->colorTable()[3]);
    EXPECT_FALSE(eight.CopyPalletHDC(asymmetric(24)->hDC())); // no table to take
}

TEST(cImage, CopyStdPictureAtOwnAndChosenDepths)
{
    QTemporaryDir dir;
    const QImage pattern = testsupport::pattern(12, 9, 4);
    const QString path16 = dir.filePath("sixteen.bmp");
    {
        QFile f(path16);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(testsupport::bitmap16File(pattern));
    }
    QString error;
    const auto sixteen = platform::Picture::load(path16, &error);
    ASSERT_TRUE(sixteen) << error.toStdString();
    ASSERT_EQ(sixteen->bitCount(), 16);
    cImage image;
    std::int16_t bits = 0;
    ASSERT_TRUE(image.CopyStdPicture(*sixteen, bits));
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(image.BitCount(), 24);
    EXPECT_LE(testsupport::maxDifference(image.hDC()->toImage(), pattern), 8);
    bits = 16;
    EXPECT_FALSE(image.CopyStdPicture(*sixteen, bits));

    // An indexed picture at its own depth keeps indices and table.
    QImage indexed(5, 3, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200), qRgb(9, 9, 9)});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            indexed.setPixel(x, y, static_cast<uint>((x + 2 * y) % 4));
    const auto picture = platform::Picture::fromImage(indexed);
    ASSERT_EQ(picture->bitCount(), 4);
    bits = 0;
    ASSERT_TRUE(image.CopyStdPicture(*picture, bits));
    EXPECT_EQ(bits, 4);
    EXPECT_EQ(image.hDC()->colorTable()[2], rgb(0, 0, 200));
    EXPECT_EQ(valueAt(image, 3, 2), static_cast<QRgb>((3 + 4) % 4));
    // ...and at 24 bits, its colours.
    bits = 24;
    ASSERT_TRUE(image.CopyStdPicture(*picture, bits));
    EXPECT_EQ(valueAt(image, 2, 0), qRgb(0, 0, 200));
    // A true-colour picture at 8 bits: greys by luminance.
    bits = 8;
    ASSERT_TRUE(image.CopyStdPicture(*platform::Picture::fromImage(pattern), bits));
    const QRgb c = pattern.pixel(6, 4);
    EXPECT_NEAR(static_cast<int>(valueAt(image, 6, 4)), 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c), 1.0);

    // Taken over rather than copied: the same header and pixels, at either kind of depth.
    for (const QImage& source : {pattern, indexed}) {
        cImage copied, taken;
        bits = 0;
        ASSERT_TRUE(copied.CopyStdPicture(*platform::Picture::fromImage(source), bits));
        ASSERT_TRUE(taken.TakeStdPicture(platform::Picture::fromImage(source)));
        EXPECT_EQ(taken.BitCount(), copied.BitCount());
        EXPECT_EQ(taken.BytesPerScanLine(), copied.BytesPerScanLine());
        EXPECT_EQ(taken.hDC()->toImage(), copied.hDC()->toImage());
    }
}

TEST(cImage, RotateSizesAndEquivalentAngles)
{
    const auto image = asymmetric(24, 40, 30);
    const auto quarter = image->Rotate(90);
    ASSERT_TRUE(quarter);
    EXPECT_EQ(quarter->Width(), 30);
    EXPECT_EQ(quarter->Height(), 40);
    EXPECT_EQ(image->Rotate(180)->Width(), 40);
    for (int degrees : {0, 360, 45, -45, 720})
        EXPECT_FALSE(image->Rotate(degrees)) << degrees;
    const auto same = [](const cImage& a, const cImage& b) {
        if (a.Width() != b.Width() || a.Height() != b.Height())
            return false;
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                if (valueAt(a, x, y) != valueAt(b, x, y))
                    return false;
        return true;
    };
    EXPECT_TRUE(same(*image->Rotate(-90), *image->Rotate(270)));
    EXPECT_TRUE(same(*image->Rotate(450), *image->Rotate(90)));
    EXPECT_TRUE(same(*image->Rotate(-180), *image->Rotate(180)));
    EXPECT_FALSE(same(*image->Rotate(90), *image->Rotate(270)));
}

TEST(cImage, MirrorAndRotatePixelByPixelAtEveryDepth)
{
    const int W = 3, H = 2;
    // For each operation: its result, and which source pixel lands at (x, y).
    struct Case {
        const char* name;
        std::function<std::unique_ptr<cImage>(const cImage&)> make;
        std::function<QPoint(int, int)> from;
    };
    const Case cases[] = {
        {"mirror left-right", [](const cImage& i) { return i.Mirror(false); }, [](int x, int y) { return QPoint(W - 1 - x, y); }},
        {"mirror top-bottom", [](const cImage& i) { return i.Mirror(true); }, [](int x, int y) { return QPoint(x, H - 1 - y); }},
        {"turn 90 (counter-clockwise)", [](const cImage& i) { return i.Rotate(90); }, [](int x, int y) { return QPoint(W - 1 - y, x); }},
        {"turn 180", [](const cImage& i) { return i.Rotate(180); }, [](int x, int y) { return QPoint(W - 1 - x, H - 1 - y); }},
        {"turn 270 (clockwise)", [](const cImage& i) { return i.Rotate(270); }, [](int x, int y) { return QPoint(y, H - 1 - x); }},
    };
    for (int bits : {1, 4, 8, 24}) {
        const auto source = asymmetric(bits, W, H);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(bits) + " bits");
            const auto result = c.make(*source);
            ASSERT_TRUE(result && result->hDC());
            EXPECT_EQ(result->BitCount(), bits);
            EXPECT_EQ(result->hDC()->colorTable(), source->hDC()->colorTable());
            for (int y = 0; y < result->Height(); ++y)
                for (int x = 0; x < result->Width(); ++x) {
                    const QPoint p = c.from(x, y);
                    EXPECT_EQ(valueAt(*result, x, y), valueAt(*source, p.x(), p.y())) << "at " << x << "," << y;
                }
        }
    }
}

TEST(cImage, GreyscaleOfPrimaries)
{
    cImage colours;
    ASSERT_TRUE(colours.Create(5, 1, 24));
    const QRgb primaries[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255), qRgb(0, 0, 0)};
    for (int x = 0; x < 5; ++x) {
        std::uint8_t* p = colours.hDC()->scanLine(0) + 3 * x;
        p[0] = static_cast<std::uint8_t>(qBlue(primaries[x]));
        p[1] = static_cast<std::uint8_t>(qGreen(primaries[x]));
        p[2] = static_cast<std::uint8_t>(qRed(primaries[x]));
    }
    const auto grey = colours.Greyscale();
    ASSERT_EQ(grey->BitCount(), 8);
    EXPECT_EQ(valueAt(*grey, 0, 0), 76u);
    EXPECT_EQ(valueAt(*grey, 1, 0), 150u);
    EXPECT_EQ(valueAt(*grey, 2, 0), 29u);
    EXPECT_EQ(valueAt(*grey, 3, 0), 255u);
    EXPECT_EQ(valueAt(*grey, 4, 0), 0u);
    EXPECT_EQ(colours.Width(), 5); // the source is untouched
    EXPECT_EQ(valueAt(colours, 0, 0), qRgb(255, 0, 0));
}

TEST(cImage, ResampleAveragesOrCopies)
{
    cImage board;
    ASSERT_TRUE(board.Create(16, 12, 24));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            std::fill_n(board.hDC()->scanLine(y) + 3 * x, 3, (x + y) % 2 ? 255 : 0);
    const auto half = board.Resample(8, 6);
    ASSERT_EQ(half->Width(), 8);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_NEAR(qRed(valueAt(*half, x, y)), 127.5, 0.5);
    // The same size: an exact copy, indexed table included.
    const auto source = asymmetric(4, 6, 5);
    const auto copy = source->Resample(6, 5);
    EXPECT_EQ(copy->hDC()->colorTable(), source->hDC()->colorTable());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(valueAt(*copy, x, y), valueAt(*source, x, y));
    // Enlarging an indexed buffer keeps to its table.
    const auto large = source->Resample(12, 10);
    EXPECT_EQ(large->BitCount(), 4);
    EXPECT_EQ(valueAt(*large, 1, 1), valueAt(*source, 0, 0));
}

TEST(cImage, PaintHDCDrawsAtAnOffset)
{
    const auto image = asymmetric(24, 6, 4);
    cImage view;
    ASSERT_TRUE(view.Create(4, 4, 24));
    image->PaintHDC(view.hDC(), -2, -1); // scrolled by (2, 1)
    EXPECT_EQ(valueAt(view, 0, 0), valueAt(*image, 2, 1));
    EXPECT_EQ(valueAt(view, 3, 2), valueAt(*image, 5, 3));
    EXPECT_EQ(valueAt(view, 3, 3), qRgb(0, 0, 0)); // below the image: untouched
    cImage empty;
    empty.PaintHDC(view.hDC(), 0, 0); // nothing to draw, no harm
}
