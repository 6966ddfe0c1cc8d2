// Tests of the bitmap file writer and reader.
#include "platform/BmpFile.h"
#include "platform/Blit.h"

#include "support/Files.h"
#include "support/Images.h"
#include "support/JpegCodec.h"

#include <QFile>
#include <QtEndian>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::Surface;

namespace {

using testsupport::readFile;
using testsupport::writeFile;

} // namespace

TEST(BmpFile, WritesTwentyFourBitFilesOthersRead)
{
    QTemporaryDir dir;
    const QImage image = testsupport::pattern(13, 7, 5); // odd width: padded rows
    const auto wrapped = Surface::wrap(image);
    const QString path = dir.filePath("snapshot.bmp");
    QString error;
    ASSERT_TRUE(platform::writeBmp(path, *wrapped, &error)) << error.toStdString();
    EXPECT_EQ(readFile(path).size(), 54 + 40 * 7);

    const QImage byQt(path);
    ASSERT_FALSE(byQt.isNull());
    EXPECT_EQ(testsupport::maxDifference(byQt, image), 0);
    const auto byUs = platform::readBmp(path, &error);
    ASSERT_TRUE(byUs) << error.toStdString();
    EXPECT_EQ(testsupport::maxDifference(byUs->toImage(), image), 0);

    // Indexed surfaces are written through their colours.
    const platform::ColorEntry table[2] = {{0, 0, 0, 0}, {10, 20, 30, 0}};
    auto indexed = Surface::create(3, 2, 1, table);
    const std::uint8_t ones[3] = {1, 1, 1};
    indexed->writeIndices(1, 0, 3, ones);
    ASSERT_TRUE(platform::writeBmp(path, *indexed, &error));
    EXPECT_EQ(QImage(path).pixel(2, 1), qRgb(30, 20, 10));
    EXPECT_EQ(QImage(path).pixel(2, 0), qRgb(0, 0, 0));

    EXPECT_FALSE(platform::writeBmp(dir.filePath("missing/x.bmp"), *indexed, &error));
    EXPECT_TRUE(error.contains("missing/x.bmp")) << error.toStdString();
}

TEST(BmpFile, ReaderTakesBothRowOrdersAndRefusesTheRest)
{
    QTemporaryDir dir;
    const QImage image = testsupport::pattern(6, 4, 1);
    const QString path = dir.filePath("a.bmp");
    QString error;
    ASSERT_TRUE(platform::writeBmp(path, *Surface::wrap(image), &error));
    const QByteArray good = readFile(path);

    QByteArray topDown = good;
    qToLittleEndian<qint32>(-4, topDown.data() + 22);
    writeFile(path, topDown);
    auto flipped = platform::readBmp(path, &error);
    ASSERT_TRUE(flipped) << error.toStdString();
    EXPECT_EQ(flipped->toImage().pixel(0, 0), image.pixel(0, 3));

    const auto refuses = [&](const QByteArray& bytes, const char* words) {
        writeFile(path, bytes);
        EXPECT_FALSE(platform::readBmp(path, &error)) << words;
        EXPECT_TRUE(error.contains(words)) << error.toStdString();
    };
    refuses(good.left(30), "too short");
    refuses(good.left(good.size() - 5), "truncated");
    QByteArray magic = good;
    magic[0] = 'X';
    refuses(magic, "not a bitmap");
    QByteArray huge = good;
    qToLittleEndian<qint32>(70000, huge.data() + 18);
    qToLittleEndian<qint32>(70000, huge.data() + 22);
    refuses(huge, "size");
    QByteArray eightBit = good;
    qToLittleEndian<quint16>(8, eightBit.data() + 28);
    refuses(eightBit, "24-bit");
    EXPECT_FALSE(platform::readBmp(dir.filePath("none.bmp"), &error));
}
