// Tests of drawing surfaces: layouts, colour tables, rows in and out.
#include "platform/Surface.h"

#include <gtest/gtest.h>

#include <vector>

using platform::Surface;

TEST(Surface, RowsArePaddedToFourBytes)
{
    const std::pair<int, int> widths[] = {{1, 4}, {5, 16}, {9, 28}, {33, 100}};
    for (auto [width, bytes] : widths) {
        EXPECT_EQ(Surface::rowBytes(width, 24), bytes) << width;
        EXPECT_EQ(Surface::create(width, 2)->bytesPerLine(), bytes) << width;
    }
    EXPECT_EQ(Surface::rowBytes(33, 1), 8);
    EXPECT_EQ(Surface::rowBytes(9, 4), 8);
    EXPECT_EQ(Surface::rowBytes(5, 8), 8);
    EXPECT_EQ(Surface::rowBytes(1'000'000'000, 24), -1); // beyond 32 bits
    EXPECT_EQ(Surface::rowBytes(10, 16), -1);
}

TEST(Surface, MemorySurfaceIsBlackAndBottomUp)
{
    auto s = Surface::create(3, 4);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->isBottomUp());
    EXPECT_EQ(s->bits(), s->scanLine(3)); // the bottom row is stored first
    EXPECT_EQ(s->scanLine(0), s->bits() + 3 * s->bytesPerLine());
    for (int i = 0; i < s->bytesPerLine() * 4; ++i)
        ASSERT_EQ(s->bits()[i], 0);

    EXPECT_FALSE(Surface::create(0, 4));
    EXPECT_FALSE(Surface::create(4, -1));
    EXPECT_FALSE(Surface::create(4, 4, 32));
    EXPECT_FALSE(Surface::create(100000, 100000)); // more than 2 GiB of pixels
}

TEST(Surface, WrapsImagesTopDownInTheirOwnLayout)
{
    const std::pair<QImage::Format, Surface::Layout> formats[] = {
        {QImage::Format_RGB32, Surface::Layout::Bgrx32},
        {QImage::Format_ARGB32, Surface::Layout::Bgrx32},
        {QImage::Format_RGB888, Surface::Layout::Rgb24},
        {QImage::Format_BGR888, Surface::Layout::Bgr24},
        {QImage::Format_Indexed8, Surface::Layout::Bgr24}, // converted
        {QImage::Format_RGBX8888, Surface::Layout::Bgr24}, // converted
    };
    for (auto [format, layout] : formats) {
        QImage image(3, 2, QImage::Format_RGB32);
        image.fill(qRgb(0, 0, 0));
        image.setPixel(0, 0, qRgb(8, 16, 32));
        image.setPixel(2, 1, qRgb(200, 104, 48));
        image = image.convertToFormat(format);
        auto s = Surface::wrap(image);
        ASSERT_TRUE(s) << format;
        EXPECT_EQ(s->layout(), layout) << format;
        EXPECT_FALSE(s->isBottomUp());
        std::uint8_t row[9];
        s->readRow(0, 0, 3, row);
        EXPECT_EQ(row[0], 32) << format;
        EXPECT_EQ(row[1], 16) << format;
        EXPECT_EQ(row[2], 8) << format;
        s->readRow(1, 2, 1, row);
        EXPECT_EQ(row[0], 48) << format;
        EXPECT_EQ(row[2], 200) << format;
        EXPECT_EQ(s->toImage().pixel(2, 1), qRgb(200, 104, 48)) << format;
    }
    EXPECT_FALSE(Surface::wrap(QImage()));
}

TEST(Surface, RowsOfEveryLengthAndStartReadTheSamePixels)
{
    // Rows are read four pixels at a time where they can be: every split of
    // a row into whole groups and a rest gives each pixel's own bytes.
    QImage image(23, 3, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(7 * x + y, 255 - 11 * x, 3 * x * y, x % 2 ? 0 : 255));
    for (QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGB888}) {
        const QImage source = image.convertToFormat(format);
        auto s = Surface::wrap(source);
        ASSERT_TRUE(s);
        for (int x = 0; x < image.width(); ++x) {
            for (int count = 0; x + count <= image.width(); ++count) {
                std::vector<std::uint8_t> row(3 * static_cast<std::size_t>(count) + 1, 0xAB);
                s->readRow(2, x, count, row.data());
                for (int i = 0; i < count; ++i) {
                    const QRgb want = source.pixel(x + i, 2);
                    ASSERT_EQ(row[3 * i], qBlue(want)) << format << " at " << x + i << " of " << count;
                    ASSERT_EQ(row[3 * i + 1], qGreen(want));
                    ASSERT_EQ(row[3 * i + 2], qRed(want));
                }
                ASSERT_EQ(row.back(), 0xAB) << "wrote past the row's end";
            }
        }
    }
}

TEST(Surface, WritingToWrappedImageLeavesTheCallersImageAlone)
{
    QImage image(4, 1, QImage::Format_BGR888);
    image.fill(Qt::white);
    auto s = Surface::wrap(image);
    s->scanLine(0)[0] = 0;
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(s->toImage().pixel(0, 0), qRgb(255, 255, 0));
}

TEST(Surface, StretchModeKnowsOnlyTheTwoModes)
{
    auto s = Surface::create(1, 1);
    EXPECT_EQ(s->setStretchMode(4), 3);
    EXPECT_EQ(s->stretchMode(), platform::StretchMode::Halftone);
    EXPECT_EQ(s->setStretchMode(7), 0);
    EXPECT_EQ(s->stretchMode(), platform::StretchMode::Halftone);
}
