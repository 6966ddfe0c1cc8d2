// The picture loader against files of every format and depth, and damaged ones.
#include "platform/MappedPixmap.h"
#include "platform/Picture.h"

#include "support/ImageFiles.h"
#include "support/Images.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <string>

#include <random>

using platform::Picture;

namespace {

QRgb colourAt(const Picture& p, int x, int y)
{
    std::uint8_t bgr[3];
    p.bitmap().readRow(y, x, 1, bgr);
    return qRgb(bgr[2], bgr[1], bgr[0]);
}

// An indexed image of `colours` distinct colours in a pattern.
QImage indexedImage(int colours, int width = 23, int height = 11)
{
    QImage image(width, height, QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table.append(qRgb((i * 37) % 256, (i * 91) % 256, 255 - i));
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, static_cast<uint>((x * 3 + y * 7) % colours));
    return image;
}

QByteArray indicesOf(const QImage& image)
{
    QByteArray indices;
    for (int y = 0; y < image.height(); ++y)
        indices.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.width());
    return indices;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    EXPECT_TRUE(buffer.open(QIODevice::WriteOnly));
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
}

class PictureLoader : public ::testing::Test {
protected:
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        if (qEnvironmentVariableIsSet("KEEP_PICTURES")) {
            QFile keep(QString(qgetenv("KEEP_PICTURES")) + "/" + name);
            if (keep.open(QIODevice::WriteOnly))
                keep.write(bytes);
        }
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    std::unique_ptr<Picture> load(const QString& path, const QColor& background = Qt::white)
    {
        error.clear();
        return Picture::load(path, &error, background);
    }
    // Loads and checks depth and every pixel against the expected image.
    void expectPicture(const QString& name, const QByteArray& bytes, int depth, const QImage& expected,
                       int tolerance = 0)
    {
        SCOPED_TRACE(name.toStdString());
        const auto picture = load(file(name, bytes));
        ASSERT_TRUE(picture) << error.toStdString();
        EXPECT_EQ(picture->bitCount(), depth);
        ASSERT_EQ(picture->width(), expected.width());
        ASSERT_EQ(picture->height(), expected.height());
        int worst = 0;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x) {
                const QRgb a = colourAt(*picture, x, y), b = expected.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
            }
        EXPECT_LE(worst, tolerance);
    }

    QTemporaryDir dir;
    QString error;
};

} // namespace

TEST_F(PictureLoader, IndexedFilesKeepTheirDepthAndTable)
{
    const QImage two = indexedImage(2), sixteen = indexedImage(16), many = indexedImage(200);
    expectPicture("two.png", encoded(two, "png"), 1, two);
    expectPicture("sixteen.png", encoded(sixteen, "png"), 4, sixteen);
    expectPicture("many.png", encoded(many, "png"), 8, many);
    const QImage mono = two.convertToFormat(QImage::Format_Mono);
    expectPicture("mono.bmp", encoded(mono, "bmp"), 1, mono);
    expectPicture("two.bmp", encoded(two, "bmp"), 4, two); // Qt writes it with 4 bits; the file's depth stays
    expectPicture("many.bmp", encoded(many, "bmp"), 8, many);
    expectPicture("two.gif", testsupport::gifFile(two.width(), two.height(), two.colorTable(), indicesOf(two)), 1, two);
    expectPicture("rle8.bmp", testsupport::rleBitmapFile(8, many.width(), many.height(), many.colorTable(), indicesOf(many)),
                  8, many);
    expectPicture("rle4.bmp",
                  testsupport::rleBitmapFile(4, sixteen.width(), sixteen.height(), sixteen.colorTable(), indicesOf(sixteen)),
                  4, sixteen);
    expectPicture("sixteen.gif", testsupport::gifFile(sixteen.width(), sixteen.height(), sixteen.colorTable(), indicesOf(sixteen)),
                  4, sixteen);
    expectPicture("many.gif", testsupport::gifFile(many.width(), many.height(), many.colorTable(), indicesOf(many)), 8, many);

    const auto picture = load(dir.filePath("sixteen.png"));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->bitmap().colorTable()[5].red, (5 * 37) % 256);
    QImage grey = testsupport::pattern(20, 10).convertToFormat(QImage::Format_Grayscale8);
    expectPicture("grey.png", encoded(grey, "png"), 8, grey);
}

TEST_F(PictureLoader, TrueColourFilesAreTwentyFourBits)
{
    const QImage image = testsupport::pattern(31, 17, 3);
    expectPicture("rgb.png", encoded(image, "png"), 24, image);
    expectPicture("rgb.bmp", encoded(image, "bmp"), 24, image);
    expectPicture("rgb.jpg", encoded(image, "jpg"), 24, image, 40);
    expectPicture("grey.jpg", encoded(image.convertToFormat(QImage::Format_Grayscale8), "jpg"), 8,
                  image.convertToFormat(QImage::Format_Grayscale8), 12);
    // A 16-bit bitmap reports 16 bits; its pixels are kept at 24.
    const QImage coarse = image.convertToFormat(QImage::Format_RGB555).convertToFormat(QImage::Format_RGB32);
    expectPicture("rgb16.bmp", testsupport::bitmap16File(coarse), 16, coarse, 8);
    EXPECT_EQ(load(dir.filePath("rgb16.bmp"))->bitmap().bitCount(), 24);

    // Large enough to be read into a block of pages of its own and packed
    // there, odd sizes, partly transparent: laid over white as it packs.
    QImage large = testsupport::pattern(1501, 1003, 5).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < large.height(); y += 3)
        for (int x = 0; x < large.width(); ++x)
            large.setPixel(x, y, (large.pixel(x, y) & 0x00ffffffu) | static_cast<QRgb>(x % 256) << 24);
    QImage overWhite(large.size(), QImage::Format_RGB32);
    overWhite.fill(Qt::white);
    QPainter(&overWhite).drawImage(0, 0, large);
    expectPicture("large.png", encoded(large, "png"), 24, overWhite, 1);
    expectPicture("large.bmp", encoded(overWhite, "bmp"), 24, overWhite);

    // PNG files are read a row at a time or by Qt's reader, by their kind:
    // either way the pixels are Qt's, as stored (a colour profile changes
    // none), and a damaged file fails as Qt's reader fails it.
    QImage profiled = image;
    profiled.setColorSpace(QColorSpace(QColorSpace::Primaries::AdobeRgb, 1.8f));
    const QByteArray opaque = encoded(large.convertToFormat(QImage::Format_RGB32), "png");
    const QByteArray kinds[] = {encoded(profiled, "png"), encoded(image.convertToFormat(QImage::Format_RGBX64), "png"),
                                opaque, opaque.left(opaque.size() / 2),
                                opaque.left(33) + QByteArray(64, 'x') + opaque.mid(97)};
    int n = 0;
    for (const QByteArray& bytes : kinds) {
        SCOPED_TRACE(n);
        const QString path = file(QString("kind%1.png").arg(n++), bytes);
        QImageReader qt(path);
        const QImage expected = qt.read().convertToFormat(QImage::Format_RGB32);
        const auto picture = load(path);
        ASSERT_EQ(picture != nullptr, !expected.isNull()) << qPrintable(error);
        if (picture)
            expectPicture(QFileInfo(path).fileName(), bytes, 24, expected);
    }
}

TEST_F(PictureLoader, PixmapFilesReadAsQtReadsThem)
{
    // Binary 8-bit colour PPM files are read without Qt's reader: header
    // comments, any white space and a picture taller than one band of rows
    // must give Qt's pixels; other kinds and short files still go to Qt.
    const QImage image = testsupport::pattern(37, 150, 5);
    QByteArray rgb;
    const QImage rgb888 = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb888.height(); ++y)
        rgb.append(reinterpret_cast<const char*>(rgb888.constScanLine(y)), 3 * rgb888.width());
    const QByteArray plain = "P6\n37 150\n255\n" + rgb;
    const QByteArray commented = "P6 # made by a test\n37\t150 # size\r\n# the largest value:\n255 " + rgb;
    for (const auto& [name, bytes] : {std::pair{"plain.ppm", plain}, std::pair{"commented.ppm", commented}}) {
        SCOPED_TRACE(name);
        const QString path = file(name, bytes);
        ASSERT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));
        expectPicture(name, bytes, 24, image);
    }
    // Qt's reader decides for these: the loader gives what it gives.
    QByteArray small;
    for (char c : rgb)
        small.append(static_cast<char>(static_cast<std::uint8_t>(c) * 100 / 255));
    const QByteArray others[] = {"P6\n37 150\n100\n" + small, plain.left(plain.size() - 40), plain.left(20),
                                 "P3\n2 1\n255\n255 0 0  0 0 255\n"};
    int n = 0;
    for (const QByteArray& bytes : others) {
        SCOPED_TRACE(n);
        const QString path = file(QString("other%1.ppm").arg(n++), bytes);
        const QImage byQt(path);
        const auto picture = load(path);
        ASSERT_EQ(picture != nullptr, !byQt.isNull()) << error.toStdString();
        if (!picture)
            continue;
        for (int y = 0; y < byQt.height(); ++y)
            for (int x = 0; x < byQt.width(); ++x)
                ASSERT_EQ(colourAt(*picture, x, y), byQt.pixel(x, y) | 0xFF000000u) << x << "," << y;
    }
}

namespace {

// Resident kilobytes of the mapping that holds `address` (/proc/self/smaps).
long residentKiBAround(const void* address)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    while (std::getline(smaps, line)) {
        std::uintptr_t start = 0, end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &start, &end) == 2) { // a mapping's first line
            inside = at >= start && at < end;
            continue;
        }
        if (inside && line.rfind("Rss:", 0) == 0)
            return std::stol(line.substr(4));
    }
    return -1;
}

} // namespace

// A binary PPM file read in place: Qt's pixels through rows that are not
// four-byte aligned, pages let go and read again, and every other kind of
// file (or a pipe) left to the ordinary loader.
TEST_F(PictureLoader, MappedPixmapsGiveTheFilesPixelsAndLetRowsGo)
{
    const QImage image = testsupport::pattern(1001, 700, 9).convertToFormat(QImage::Format_RGB888);
    QByteArray rgb;
    for (int y = 0; y < image.height(); ++y)
        rgb.append(reinterpret_cast<const char*>(image.constScanLine(y)), 3 * image.width());
    const QString path = file("big.ppm", "P6 # in place\n1001 700\n255\n" + rgb);
    const auto pixmap = platform::MappedPixmap::open(path, Picture::kMaxPixels);
    ASSERT_TRUE(pixmap);
    ASSERT_EQ(pixmap->width(), 1001);
    ASSERT_EQ(pixmap->height(), 700);
    const auto samePixels = [&](int from, int to) {
        std::vector<std::uint8_t> bgr(3 * 1001);
        for (int y = from; y < to; ++y) {
            pixmap->surface().readRow(y, 0, 1001, bgr.data());
            for (int x = 0; x < 1001; ++x)
                if (qRgb(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]) != image.pixel(x, y))
                    return false;
        }
        return true;
    };
    EXPECT_TRUE(samePixels(0, 700));
    const std::uint8_t* first = pixmap->surface().scanLine(0);
    const long full = residentKiBAround(first);
    EXPECT_GT(full, 2000); // 2.1 MB of pixels, all read
    pixmap->release(350);
    pixmap->release(200); // going back is nothing to do
    // At least the first half goes (a kernel that maps the file in huge
    // pages lets go of the whole huge page).
    EXPECT_LE(residentKiBAround(first), full - 1000);
    pixmap->release(700);
    EXPECT_LE(residentKiBAround(first), 8);
    EXPECT_TRUE(samePixels(0, 700)); // back from the file

    const QByteArray header = "P6\n1001 700\n255\n";
    const QByteArray others[] = {header + rgb.left(rgb.size() - 1), "P6\n1001 700\n100\n" + rgb,
                                 "P3\n2 1\n255\n255 0 0  0 0 255\n", "P6\n0 700\n255\n", QByteArray(),
                                 "P63\n 1\n255\n\n2  x\n2\n5" /* no space after the magic: found by the fuzzer */};
    int n = 0;
    for (const QByteArray& bytes : others)
        EXPECT_FALSE(platform::MappedPixmap::open(file(QString("other%1.ppm").arg(n++), bytes), Picture::kMaxPixels)) << n;
    EXPECT_FALSE(platform::MappedPixmap::open(path, 1001 * 700 - 1)) << "more pixels than allowed";
    EXPECT_FALSE(platform::MappedPixmap::open(dir.filePath("missing.ppm"), Picture::kMaxPixels));
    EXPECT_FALSE(platform::MappedPixmap::open(dir.path(), Picture::kMaxPixels)) << "a folder";
}

TEST_F(PictureLoader, TransparencyIsLaidOverTheBackground)
{
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(qRgba(0, 0, 0, 0));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 16; ++x)
            icon.setPixel(x, y, qRgba(250, 10, 10, 255));
    for (const char* format : {"png", "ico"}) {
        SCOPED_TRACE(format);
        const QByteArray bytes = encoded(icon, format);
        const auto picture = load(file(QString("alpha.") + format, bytes), QColor(0, 0, 200));
        ASSERT_TRUE(picture) << error.toStdString();
        EXPECT_EQ(picture->bitCount(), 24);
        EXPECT_EQ(colourAt(*picture, 3, 3), qRgb(250, 10, 10));
        EXPECT_EQ(colourAt(*picture, 28, 3), qRgb(0, 0, 200));
    }
    const QByteArray cursor = testsupport::cursorFromIcon(encoded(icon, "ico"), 3, 4);
    const auto picture = load(file("pointer.cur", cursor));
    ASSERT_TRUE(picture) << error.toStdString();
    EXPECT_EQ(colourAt(*picture, 28, 3), qRgb(255, 255, 255));

    // A GIF's transparent colour too.
    QImage gif = indexedImage(4, 6, 2);
    QVector<QRgb> table = gif.colorTable();
    table[2] = qRgba(0, 0, 0, 0);
    gif.setColorTable(table);
    const auto fromImage = Picture::fromImage(gif, Qt::green);
    ASSERT_TRUE(fromImage);
    EXPECT_EQ(fromImage->bitmap().colorTable()[2].green, 255);
}

// An icon of several sizes gives its largest; a JPEG's orientation tag is
// followed when asked for; a cancelled read fails as such.
TEST_F(PictureLoader, IconsGiveTheirLargestAndTurnedPhotosStandUpright)
{
    const QString icon = file("sizes.ico", testsupport::iconOfSizes({encoded(testsupport::pattern(16, 16), "ico"),
                                                                     encoded(testsupport::pattern(48, 40), "ico"),
                                                                     encoded(testsupport::pattern(32, 32), "ico")}));
    auto picture = load(icon);
    ASSERT_TRUE(picture) << error.toStdString();
    EXPECT_EQ(QSize(picture->width(), picture->height()), QSize(48, 40));

    // Orientation 6: the stored picture is shown turned a quarter right.
    const QString turned = file("turned.jpg", testsupport::withOrientation(encoded(testsupport::pattern(40, 24), "jpg"), 6));
    for (const bool upright : {false, true}) {
        picture = Picture::load(turned, &error, Qt::white, nullptr, upright);
        ASSERT_TRUE(picture) << error.toStdString();
        EXPECT_EQ(QSize(picture->width(), picture->height()), upright ? QSize(24, 40) : QSize(40, 24));
    }

    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(Picture::load(icon, &error, Qt::white, nullptr, false, &cancel));
    EXPECT_TRUE(error.contains("cancelled")) << error.toStdString();
}

TEST_F(PictureLoader, ContentDecidesTheFormatNotTheExtension)
{
    const QImage image = testsupport::pattern(9, 9);
    const auto picture = load(file("really-a-png.jpg", encoded(image, "png")));
    ASSERT_TRUE(picture) << error.toStdString();
    EXPECT_EQ(colourAt(*picture, 4, 4), image.pixel(4, 4));
}

TEST_F(PictureLoader, FailuresAreClearErrors)
{
    const auto expectError = [&](const QString& path, const char* words) {
        const auto picture = load(path);
        EXPECT_FALSE(picture) << path.toStdString();
        EXPECT_TRUE(error.contains(path)) << error.toStdString();
        EXPECT_TRUE(error.contains(words)) << error.toStdString();
    };
    expectError(dir.filePath("nothing-here.png"), "does not exist");
    QDir(dir.path()).mkdir("folder.png");
    expectError(dir.filePath("folder.png"), "folder");
    expectError(file("empty.bmp", QByteArray()), "empty");
    expectError(file("notes.png", "just some text, not a picture\n"), "known format");

    // Sizes that would need gigabytes are refused before any pixel is read.
    QByteArray bmp = encoded(testsupport::pattern(4, 4), "bmp");
    qToLittleEndian<qint32>(20000, bmp.data() + 18);
    qToLittleEndian<qint32>(15000, bmp.data() + 22);
    expectError(file("huge.bmp", bmp), "too large");
    // Header values at their limits: no arithmetic overflows on the way to the refusal.
    bmp = encoded(testsupport::pattern(4, 4), "bmp");
    qToLittleEndian<quint32>(0xFFFFFFFFu, bmp.data() + 18);
    qToLittleEndian<qint32>(std::numeric_limits<qint32>::min(), bmp.data() + 22);
    qToLittleEndian<quint16>(0xFFFF, bmp.data() + 28);
    EXPECT_FALSE(load(file("limits.bmp", bmp)));
    // A 16000 x 16000 bit-field bitmap that ends after its header.
    QByteArray fields(14 + 40 + 12, '\0');
    fields[0] = 'B';
    fields[1] = 'M';
    qToLittleEndian<quint32>(fields.size() + 100, fields.data() + 2);
    qToLittleEndian<quint32>(fields.size(), fields.data() + 10);
    qToLittleEndian<quint32>(40, fields.data() + 14);
    qToLittleEndian<qint32>(16000, fields.data() + 18);
    qToLittleEndian<qint32>(16000, fields.data() + 22);
    qToLittleEndian<quint16>(1, fields.data() + 26);
    qToLittleEndian<quint16>(32, fields.data() + 28);
    qToLittleEndian<quint32>(3, fields.data() + 30); // bit fields
    qToLittleEndian<quint32>(0x00FF0000u, fields.data() + 54);
    qToLittleEndian<quint32>(0x0000FF00u, fields.data() + 58);
    qToLittleEndian<quint32>(0x000000FFu, fields.data() + 62);
    fields += QByteArray(100, '\x7f');
    expectError(file("fields.bmp", fields), "truncated");

    QByteArray png = encoded(testsupport::pattern(4, 4), "png");
    qToBigEndian<quint32>(20000, png.data() + 16);
    qToBigEndian<quint32>(20000, png.data() + 20);
    const auto picture = load(file("huge.png", png));
    EXPECT_FALSE(picture);
    EXPECT_FALSE(error.isEmpty());
}

// The best-coded pictures there are, one colour at the largest size
// accepted, pass the bound of their format; their first bytes alone, which
// still declare that size, are refused before any pixel is decoded.
TEST_F(PictureLoader, AFileTooSmallForThePixelsItDeclaresIsRefused)
{
    constexpr int kSide = 16000; // 256 million pixels, the most accepted
    QImage bits(kSide, kSide, QImage::Format_Mono);
    bits.fill(0);
    QImage grey(4096, 4096, QImage::Format_Grayscale8); // JPEG's bound is per block: any size tells
    grey.fill(77);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setOptimizedWrite(true);
        writer.setProgressiveScanWrite(true);
        ASSERT_TRUE(writer.write(grey));
    }
    const struct {
        const char* name;
        QByteArray bytes;
        std::int64_t pixels;
        int header; // bytes enough for the reader to tell the size
    } best[] = {
        {"one.png", encoded(bits, "png"), std::int64_t{kSide} * kSide, 400},
        {"one.gif", testsupport::singleColourGif(kSide, kSide), std::int64_t{kSide} * kSide, 35},
        {"one.pbm", encoded(bits, "pbm"), std::int64_t{kSide} * kSide, 35},
        {"one.jpg", jpeg, 4096 * 4096, 400},
    };
    for (const auto& e : best) {
        SCOPED_TRACE(e.name);
        const QString path = file(e.name, e.bytes);
        QImageReader reader(path);
        const std::int64_t most = Picture::mostPixelsIn(path, reader.format());
        EXPECT_GE(most, e.pixels) << e.bytes.size() << " bytes";
        std::printf("%s: %lld bytes hold %lld pixels, %.0f a byte; the bound allows %lld\n", e.name,
                    static_cast<long long>(e.bytes.size()), static_cast<long long>(e.pixels),
                    static_cast<double>(e.pixels) / static_cast<double>(e.bytes.size()), static_cast<long long>(most));
        const QString cut = file(QString("cut-") + e.name, e.bytes.left(e.header));
        EXPECT_FALSE(load(cut));
        const int side = e.pixels == std::int64_t{kSide} * kSide ? kSide : 4096;
        EXPECT_TRUE(error.contains(QString("declares %1 x %1 pixels but holds only").arg(side))) << error.toStdString();
    }
    // The GIF is a real one: its pixels are its colour (checked at a size whose table fills).
    QImage blue(3001, 1999, QImage::Format_RGB32);
    blue.fill(qRgb(40, 90, 200));
    expectPicture("one-small.gif", testsupport::singleColourGif(3001, 1999), 1, blue);
}

TEST_F(PictureLoader, DamagedFilesNeverCrash)
{
    const QImage sixteen = indexedImage(16, 40, 30);
    const QImage rgb = testsupport::pattern(40, 30, 2);
    const std::pair<const char*, QByteArray> samples[] = {
        {"png", encoded(rgb, "png")},
        {"bmp", encoded(rgb, "bmp")},
        {"jpg", encoded(rgb, "jpg")},
        {"ico", encoded(rgb.convertToFormat(QImage::Format_ARGB32), "ico")},
        {"gif", testsupport::gifFile(40, 30, sixteen.colorTable(), indicesOf(sixteen))},
        {"bmp", testsupport::rleBitmapFile(8, 40, 30, sixteen.colorTable(), indicesOf(sixteen))},
        {"bmp", testsupport::rleBitmapFile(4, 40, 30, sixteen.colorTable(), indicesOf(sixteen))},
    };
    std::mt19937 random(3);
    int loaded = 0, refused = 0;
    for (const auto& [extension, bytes] : samples) {
        std::vector<QByteArray> damaged;
        for (int cut : {1, 2, 8, 20, 60, static_cast<int>(bytes.size()) / 2, static_cast<int>(bytes.size()) - 3})
            damaged.push_back(bytes.left(cut));
        for (int n = 0; n < 30; ++n) {
            QByteArray flipped = bytes;
            for (int k = 0; k < 4; ++k)
                flipped[static_cast<qsizetype>(random() % bytes.size())] = static_cast<char>(random());
            damaged.push_back(flipped);
        }
        for (const QByteArray& broken : damaged) {
            const auto picture = load(file(QString("broken.") + extension, broken));
            if (picture) {
                ++loaded;
                EXPECT_GT(picture->width(), 0);
            } else {
                ++refused;
                EXPECT_TRUE(error.startsWith("Cannot open")) << error.toStdString();
            }
        }
    }
    EXPECT_GT(refused, 0);
    std::printf("damaged files: %d loaded (as far as readable), %d refused\n", loaded, refused);
}
