// Tests of the file writer: segments, byte stuffing, the pinned file hash, saving rules.
#include "cJpegProbe.h"

#include "platform/NumberedError.h"
#include "support/Files.h"
#include "support/Images.h"
#include "support/JpegCodec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using testsupport::errorNumber;

using I = cJpegProbe;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Huffman tables with short known codes: DC category 2 = 0, 0 = 10;
// AC EOB = 00, ZRL = 01, 0x01 = 10, 0xE1 = 110.
HuffmanTable knownDc()
{
    HuffmanTable t;
    t.BITS[0] = 1;
    t.BITS[1] = 1;
    t.HUFFVAL[0] = 2;
    t.HUFFVAL[1] = 0;
    I::generateCodes(t, 11);
    return t;
}

HuffmanTable knownAc()
{
    HuffmanTable t;
    t.BITS[1] = 3;
    t.BITS[2] = 1;
    t.HUFFVAL[0] = 0x00;
    t.HUFFVAL[1] = 0xF0;
    t.HUFFVAL[2] = 0x01;
    t.HUFFVAL[3] = 0xE1;
    I::generateCodes(t, 255);
    return t;
}

Bytes encodeOne(const std::array<std::int16_t, 64>& block, std::int32_t predictor = 0)
{
    cJpeg j;
    I::startWriter(j);
    I::encodeBlock(j, block.data(), predictor, knownDc(), knownAc());
    I::flushBits(j);
    return I::written(j);
}

// The segments of a file up to the first scan: marker and the bytes after it.
struct Segment {
    int marker;
    Bytes body; // length field included
};

std::vector<Segment> segments(const QByteArray& file)
{
    std::vector<Segment> result;
    int pos = 2;
    while (pos + 4 <= file.size() && static_cast<std::uint8_t>(file[pos]) == 0xFF) {
        const int marker = static_cast<std::uint8_t>(file[pos + 1]);
        const int length = static_cast<std::uint8_t>(file[pos + 2]) * 256 + static_cast<std::uint8_t>(file[pos + 3]);
        result.push_back({marker, Bytes(file.begin() + pos + 2, file.begin() + pos + 2 + length)});
        pos += 2 + length;
        if (marker == 0xDA)
            break;
    }
    return result;
}

QByteArray saved(cJpeg& j, QTemporaryDir& dir, const QString& name = "out.jpg")
{
    const QString path = dir.filePath(name);
    EXPECT_EQ(j.SaveFile(path), 0);
    return testsupport::readFile(path);
}

Bytes hex(std::initializer_list<int> values) { return Bytes(values.begin(), values.end()); }


} // namespace

TEST(BitWriter, StuffsFFBytesAndPadsWithOnes)
{
    cJpeg j;
    I::startWriter(j);
    I::writeBits(j, 128, 0xFF);
    I::flushBits(j); // byte-aligned: writes nothing
    I::writeBits(j, 4, 0b101);
    I::writeBits(j, 0, 1); // lead 0 writes nothing
    I::flushBits(j);
    I::writeBits(j, 4, 0b111);
    I::flushBits(j);
    EXPECT_EQ(I::written(j), hex({0xFF, 0x00, 0b10111111, 0xFF, 0x00}));

    I::startWriter(j);
    I::writeBits(j, 1 << 15, 0xA5C3); // sixteen bits across byte boundaries
    I::writeBits(j, 2, 0b01);
    I::flushBits(j);
    EXPECT_EQ(I::written(j), hex({0xA5, 0xC3, 0b01111111}));
}

TEST(EncodeBlock, CodesDcDifferencesInOnesComplement)
{
    std::array<std::int16_t, 64> block{};
    block[0] = -3; // category 2, bits 00, then EOB 00, padding 111
    EXPECT_EQ(encodeOne(block), hex({0b00000111}));
    block[0] = 3; // category 2, bits 11
    EXPECT_EQ(encodeOne(block), hex({0b01100111}));
    block[0] = 8; // difference 0 from predictor 8: category 0 = 10, EOB 00
    EXPECT_EQ(encodeOne(block, 8), hex({0b10001111}));
}

TEST(EncodeBlock, LongRunsUseZrlAndTrailingZerosOnlyEob)
{
    std::array<std::int16_t, 64> block{};
    block[63] = 1; // 62 zeros: three ZRLs, then run 14 / size 1, and no EOB
    EXPECT_EQ(encodeOne(block), hex({0b10010101, 0b11011111}));
    block[63] = 0;
    block[1] = 1; // one coefficient, then 62 trailing zeros: just EOB
    EXPECT_EQ(encodeOne(block), hex({0b10101001}));
}

TEST(SaveFile, DefaultHeadersAreExact)
{
    cJpeg j;
    ASSERT_EQ(sampleImage(j, testsupport::pattern(300, 260)), 0);
    QTemporaryDir dir;
    const QByteArray file = saved(j, dir);
    ASSERT_GT(file.size(), 20);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 20),
              hex({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
                   0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Bytes(file.end() - 2, file.end()), hex({0xFF, 0xD9}));

    const auto s = segments(file);
    std::vector<int> markers;
    for (const auto& seg : s)
        markers.push_back(seg.marker);
    EXPECT_EQ(markers, (std::vector<int>{0xE0, 0xFE, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA}));
    const std::string credit(s[1].body.begin() + 2, s[1].body.end());
    EXPECT_EQ(credit.substr(0, 20), "JPEG Encoder Class\r\n");
    EXPECT_EQ(std::count(credit.begin(), credit.end(), '\n'), 2);
    EXPECT_EQ(s[2].body.size(), 67u);
    EXPECT_EQ(s[2].body[2], 0);
    EXPECT_EQ(s[3].body[2], 1);
    EXPECT_EQ(s[3].body[3], 9); // first chrominance value at quality 75
    EXPECT_EQ(s[4].body, hex({0x00, 0x11, 0x08, 0x01, 0x04, 0x01, 0x2C, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01,
                              0x03, 0x11, 0x01}));
    EXPECT_EQ(s[5].body[2], 0x00);
    EXPECT_EQ(s[6].body[2], 0x10);
    EXPECT_EQ(s[7].body[2], 0x01);
    EXPECT_EQ(s[8].body[2], 0x11);
    for (int t = 5; t <= 8; ++t) {
        int n = 0;
        for (int i = 3; i < 19; ++i)
            n += s[static_cast<std::size_t>(t)].body[static_cast<std::size_t>(i)];
        EXPECT_EQ(s[static_cast<std::size_t>(t)].body.size(), static_cast<std::size_t>(19 + n));
    }
    EXPECT_EQ(s[9].body, hex({0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00}));
}

TEST(SaveFile, EncodingInMemoryGivesTheFilesBytes)
{
    cJpeg j;
    j.Comment("in memory");
    ASSERT_EQ(sampleImage(j, testsupport::pattern(123, 77)), 0);
    QTemporaryDir dir;
    const QByteArray file = saved(j, dir);
    EXPECT_EQ(j.Encode(), file);
    EXPECT_EQ(j.Encode(), file) << "the same again: encoding leaves the samples alone";
}

TEST(SaveFile, GreyscaleHasOneTableSetAndOneScan)
{
    cJpeg j;
    j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
    ASSERT_EQ(sampleImage(j, testsupport::pattern(17, 9)), 0);
    QTemporaryDir dir;
    const auto s = segments(saved(j, dir));
    std::vector<int> markers;
    for (const auto& seg : s)
        markers.push_back(seg.marker);
    EXPECT_EQ(markers, (std::vector<int>{0xE0, 0xFE, 0xDB, 0xC0, 0xC4, 0xC4, 0xDA}));
    EXPECT_EQ(s[3].body, hex({0x00, 0x0B, 0x08, 0x00, 0x09, 0x00, 0x11, 0x01, 0x01, 0x11, 0x00}));
    EXPECT_EQ(s[4].body[2], 0x00);
    EXPECT_EQ(s[5].body[2], 0x10);
    EXPECT_EQ(s[6].body, hex({0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00}));
}

TEST(SaveFile, UserCommentComesBeforeTheCreditInLatin1)
{
    cJpeg j;
    j.Comment(QString::fromUtf8("Grüße, 東京 🙂"));
    ASSERT_EQ(sampleImage(j, solid(8, 8, qRgb(1, 2, 3))), 0);
    QTemporaryDir dir;
    const auto decoded = testsupport::decodeJpeg(saved(j, dir));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.comments.size(), 2u);
    EXPECT_EQ(decoded.comments[0], "Gr\xFC\xDF" "e, ?? ?");
    EXPECT_EQ(decoded.comments[1].rfind("JPEG Encoder Class", 0), 0u);
}

TEST(SaveFile, ScanBytesAreStuffedAndScansArePadded)
{
    cJpeg j;
    j.Quality(100);
    j.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    QImage noise(64, 48, QImage::Format_RGB888);
    std::uint32_t state = 1;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width() * 3; ++x) {
            state = state * 1664525u + 1013904223u;
            noise.scanLine(y)[x] = static_cast<uchar>(state >> 24);
        }
    ASSERT_EQ(sampleImage(j, noise), 0);
    QTemporaryDir dir;
    const QByteArray file = saved(j, dir);
    const int scanStart = static_cast<int>(file.indexOf(QByteArray("\xFF\xDA", 2))) + 2 + 12;
    const int end = static_cast<int>(file.size()) - 2;
    int stuffed = 0;
    for (int i = scanStart; i < end; ++i) {
        if (static_cast<std::uint8_t>(file[i]) == 0xFF) {
            ASSERT_EQ(static_cast<std::uint8_t>(file[i + 1]), 0x00) << "unstuffed FF at " << i;
            ++stuffed;
            ++i;
        }
    }
    EXPECT_GT(stuffed, 0);
    const auto decoded = testsupport::decodeJpeg(file);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_GT(testsupport::psnr(decoded.toImage(), noise), 40.0);
}

TEST(SaveFile, StatusesForEmptyAndExistingNames)
{
    cJpeg j;
    ASSERT_EQ(sampleImage(j, solid(8, 8, qRgb(1, 2, 3))), 0);
    EXPECT_EQ(j.SaveFile(""), 1);

    QTemporaryDir dir;
    const QString existing = dir.filePath(".hidden.jpg");
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    QFile::setPermissions(existing, QFileDevice::ReadOwner);
    EXPECT_EQ(j.SaveFile(existing), 2);
    EXPECT_EQ(testsupport::readFile(existing), QByteArray("old"));

    // The same coefficients can be saved again under another name.
    EXPECT_EQ(j.SaveFile(dir.filePath("a.jpg")), 0);
    EXPECT_EQ(j.SaveFile(dir.filePath("b.jpg")), 0);
    EXPECT_EQ(testsupport::readFile(dir.filePath("a.jpg")), testsupport::readFile(dir.filePath("b.jpg")));
}

TEST(SaveFile, FailuresRaiseErrorsAndWriteNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.jpg");

    cJpeg unsampled;
    EXPECT_EQ(errorNumber([&] { unsampled.SaveFile(path); }), 9);

    cJpeg relaid;
    ASSERT_EQ(sampleImage(relaid, solid(8, 8, qRgb(1, 2, 3))), 0);
    relaid.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    EXPECT_EQ(errorNumber([&] { relaid.SaveFile(path); }), 9);

    // A failed resample keeps the old blocks but records the new size: the
    // blocks no longer fit it, so nothing is read out of range.
    cJpeg stale;
    ASSERT_EQ(sampleImage(stale, solid(8, 8, qRgb(1, 2, 3))), 0);
    auto surface = platform::Surface::wrap(solid(8, 8, qRgb(1, 2, 3)));
    EXPECT_EQ(stale.SampleHDC(surface.get(), 0, 200), 1);
    EXPECT_EQ(errorNumber([&] { stale.SaveFile(path); }), 9);

    // Sizes the frame header cannot hold fail at once, before sampling
    // spends time and memory on them (a 13 x 19-million-row bitmap once did).
    cJpeg wide;
    EXPECT_EQ(errorNumber([&] { (void)sampleImage(wide, solid(65536, 1, qRgb(1, 2, 3))); }), 6);
    EXPECT_TRUE(I::coefficients(wide, 0).empty());
    EXPECT_EQ(errorNumber([&] { wide.SaveFile(path); }), 9); // nothing was sampled
    cJpeg tall;
    EXPECT_EQ(errorNumber([&] { (void)sampleImage(tall, solid(13, 65536, qRgb(1, 2, 3))); }), 6);

    cJpeg badTable;
    ASSERT_EQ(sampleImage(badTable, solid(8, 8, qRgb(1, 2, 3))), 0);
    I::qtable(badTable, 1).Qk[7] = 300;
    try {
        badTable.SaveFile(path);
        ADD_FAILURE() << "no error";
    } catch (const platform::NumberedError& e) {
        EXPECT_EQ(e.description(), "Illegal precission in Quantization Table");
    }

    cJpeg noFolder;
    ASSERT_EQ(sampleImage(noFolder, solid(8, 8, qRgb(1, 2, 3))), 0);
    EXPECT_EQ(errorNumber([&] { noFolder.SaveFile(dir.filePath("missing/x.jpg")); }), 76);
    QDir(dir.path()).mkdir("folder");
    EXPECT_NE(errorNumber([&] { noFolder.SaveFile(dir.filePath("folder")); }), 0);

    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"folder"});
}

TEST(SaveFile, OutputBufferGrowsInsteadOfOverflowing)
{
    cJpeg j;
    ASSERT_EQ(sampleImage(j, testsupport::pattern(90, 70)), 0);
    const auto scans = I::scansFromEmptyBuffer(j);
    QTemporaryDir dir;
    const QByteArray file = saved(j, dir);
    const QByteArray tail = file.right(static_cast<qsizetype>(scans.size()) + 2);
    EXPECT_EQ(Bytes(tail.begin(), tail.end() - 2), scans);
}

TEST(SaveFile, OutputIsTheSameOnEveryBuild)
{
    // Any change of floating-point evaluation (contraction, fast-math,
    // vectorisation that reorders sums) changes these bytes.
    cJpeg j;
    ASSERT_EQ(sampleImage(j, testsupport::pattern(61, 47, 2)), 0);
    QTemporaryDir dir;
    const QByteArray file = saved(j, dir);
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : file)
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
    EXPECT_EQ(file.size(), 887);
    EXPECT_EQ(hash, 16141691895523412776ull);
}
