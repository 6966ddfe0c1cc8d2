// The ostrel-jpeg command, run as a user would.
#include "Version.h"
#include "support/Files.h"
#include "support/Images.h"
#include "support/JpegCodec.h"

#include <QDir>
#include <QFile>
#include <QBuffer>
#include <QProcess>
#include <QtEndian>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int status = -1;
    QString err;
    QString out;
};

QByteArray contents(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

ToolRun run(const QStringList& arguments)
{
    QProcess process;
    process.start(OSTREL_JPEG_TOOL, arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError()),
            QString::fromLocal8Bit(process.readAllStandardOutput())};
}

class OstrelJpeg : public ::testing::Test {
protected:
    void SetUp() override
    {
        input = dir.filePath("in.png");
        ASSERT_TRUE(testsupport::pattern(123, 77, 4).save(input));
        output = dir.filePath("out.jpg");
    }
    // The one-line error of a failed run that left no output file.
    void expectCleanFailure(const ToolRun& r)
    {
        EXPECT_EQ(r.status, 1) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("ostrel-jpeg: ")) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(output));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // only the input
    }

    QTemporaryDir dir;
    QString input;
    QString output;
};

} // namespace

TEST_F(OstrelJpeg, EncodesWithDefaultsAndOptions)
{
    ToolRun r = run({input, output});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const auto decoded = testsupport::decodeJpegFile(output);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 123);
    EXPECT_EQ(decoded.height, 77);
    EXPECT_EQ(decoded.h, (std::vector<int>{2, 1, 1}));
    const auto defaultSize = QFileInfo(output).size();

    const QString small = dir.filePath("small.jpg");
    ASSERT_EQ(run({"--quality", "20", "--comment", "hello", input, small}).status, 0);
    EXPECT_LT(QFileInfo(small).size(), defaultSize);
    EXPECT_EQ(testsupport::decodeJpegFile(small).comments.front(), "hello");

    const QString grey = dir.filePath("grey.jpg");
    ASSERT_EQ(run({"--sampling", "1,1,0,0,0,0", input, grey}).status, 0);
    EXPECT_EQ(testsupport::decodeJpegFile(grey).components, 1);
}

TEST_F(OstrelJpeg, ReadsTheCommonFormats)
{
    const QImage image = testsupport::pattern(40, 30, 1);
    for (const char* format : {"ppm", "bmp", "jpg"}) {
        const QString source = dir.filePath(QString("in.") + format);
        ASSERT_TRUE(image.save(source, format)) << format;
        const QString target = dir.filePath(QString("from-") + format + ".jpg");
        const ToolRun r = run({source, target});
        EXPECT_EQ(r.status, 0) << format << ": " << r.err.toStdString();
        EXPECT_EQ(testsupport::decodeJpegFile(target).width, 40) << format;
    }
    // Qt reads GIF but cannot write it: a one-pixel black GIF made by hand.
    const QString gif = dir.filePath("in.gif");
    QFile f(gif);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    static const char kGif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff,"
                               "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
    f.write(kGif, sizeof kGif - 1);
    f.close();
    const QString target = dir.filePath("from-gif.jpg");
    const ToolRun r = run({gif, target});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const auto decoded = testsupport::decodeJpegFile(target);
    EXPECT_EQ(decoded.width, 1);
    EXPECT_LE(decoded.pixels[0], 3);
}

TEST_F(OstrelJpeg, PixmapFilesGiveTheFileOfTheSamePictureInAnotherFormat)
{
    // Binary PPM and 24-bit bitmap files are read in place and PNG files
    // decoded a row at a time, each let go of band by band; the result must
    // be that of the same pixels from a 32-bit bitmap (read by Qt), in the
    // default layout and in one that stretches the chroma unevenly, for a
    // picture of several bands with an odd width (padded bitmap rows).
    const QImage image = testsupport::pattern(2001, 717, 3).convertToFormat(QImage::Format_RGB888);
    const QString ppm = dir.filePath("wide.ppm");
    ASSERT_TRUE(image.save(ppm, "PPM"));
    ASSERT_TRUE(image.save(dir.filePath("wide.png"), "PNG"));
    ASSERT_TRUE(image.save(dir.filePath("wide.bmp"), "BMP"));
    ASSERT_TRUE(image.convertToFormat(QImage::Format_ARGB32).save(dir.filePath("wide32.bmp"), "BMP"));
    // The same bitmap stored top-down.
    QByteArray bitmap = contents(dir.filePath("wide.bmp"));
    const qsizetype offset = qFromLittleEndian<qint32>(bitmap.constData() + 10), stride = (3 * 2001 + 3) / 4 * 4;
    QByteArray topDown = bitmap.left(offset);
    qToLittleEndian<qint32>(-717, topDown.data() + 22);
    for (int row = 716; row >= 0; --row)
        topDown += bitmap.mid(offset + row * stride, stride);
    testsupport::writeFile(dir.filePath("topdown.bmp"), topDown);
    int n = 0;
    for (const QStringList& options : {QStringList{}, QStringList{"--sampling", "4,2,2,1,1,1"}}) {
        const QString expected = dir.filePath(QString("bmp32-%1.jpg").arg(n));
        ASSERT_EQ(run(options + QStringList{dir.filePath("wide32.bmp"), expected}).status, 0);
        for (const char* name : {"wide.ppm", "wide.png", "wide.bmp", "topdown.bmp"}) {
            const QString made = dir.filePath(QString("%1-%2.jpg").arg(name).arg(n));
            ASSERT_EQ(run(options + QStringList{dir.filePath(name), made}).status, 0) << name;
            EXPECT_EQ(contents(made), contents(expected)) << name << " " << options.join(' ').toStdString();
        }
        ++n;
    }
    // A PPM file cut short is not mapped: the ordinary reader says why.
    QFile cut(ppm);
    ASSERT_TRUE(cut.resize(cut.size() - 1));
    const ToolRun r = run({ppm, dir.filePath("cut.jpg")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("ostrel-jpeg: cannot read")) << r.err.toStdString();
}

TEST_F(OstrelJpeg, TransparentPartsBecomeWhite)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, 0)); // transparent black
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            image.setPixel(x, y, qRgba(200, 0, 0, 255));
    const QString source = dir.filePath("alpha.png");
    ASSERT_TRUE(image.save(source));
    ASSERT_EQ(run({"--sampling", "1,1,1,1,1,1", "--quality", "95", source, output}).status, 0);
    const QImage decoded = testsupport::decodeJpegFile(output).toImage();
    EXPECT_GE(qRed(decoded.pixel(14, 8)), 245);
    EXPECT_GE(qBlue(decoded.pixel(14, 8)), 245);
    EXPECT_NEAR(qRed(decoded.pixel(2, 8)), 200, 8);
    EXPECT_LE(qGreen(decoded.pixel(2, 8)), 10);
}

TEST_F(OstrelJpeg, NeverOverwrites)
{
    QFile existing(output);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("precious");
    existing.close();
    const ToolRun r = run({input, output});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("already exists")) << r.err.toStdString();
    EXPECT_EQ(testsupport::readFile(output), QByteArray("precious"));
}

TEST_F(OstrelJpeg, BadInputFailsCleanly)
{
    expectCleanFailure(run({dir.filePath("missing.png"), output}));

    const QString garbage = dir.filePath("garbage.png");
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\x89PNG\r\n\x1a\n this is not really a picture");
    f.close();
    const ToolRun r = run({garbage, output});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("cannot read")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(output));
}

TEST_F(OstrelJpeg, BadOptionsFailCleanly)
{
    const QStringList bad[] = {
        {"--quality", "0", input, output},
        {"--quality", "abc", input, output},
        {"--quality", " 75", input, output},
        {"--quality", "+75", input, output},
        {"--sampling", "2,2,3,1,1,1", input, output}, // 3 does not divide 2: common decoders refuse the file
        {"--sampling", "1,2,3", input, output},
        {"--sampling", "5,1,0,0,0,0", input, output}, // rejected by the encoder
        {"--comment", QString(70000, 'c'), input, output},
        {"--frobnicate", input, output},
        {input},
    };
    for (const QStringList& arguments : bad) {
        SCOPED_TRACE(arguments.join(' ').left(60).toStdString());
        expectCleanFailure(run(arguments));
    }
    const ToolRun r = run({"--sampling", "5,1,0,0,0,0", input, output});
    EXPECT_TRUE(r.err.contains("Invalid Sampling Value")) << r.err.toStdString();
    const ToolRun fractional = run({"--sampling", "2,2,3,1,1,1", input, output});
    EXPECT_EQ(fractional.err.count('\n'), 1) << fractional.err.toStdString();
    EXPECT_TRUE(fractional.err.contains("component 1's factors 2,2 do not divide the largest ones 3,2"))
        << fractional.err.toStdString();
    // Layouts whose factors divide the largest ones are written, and decode.
    for (const char* layout : {"4,2,2,1,1,1", "1,1,1,1,1,1", "2,1,1,1,1,1", "1,2,1,1,1,1", "4,4,2,2,1,1"}) {
        QFile::remove(output);
        const ToolRun ok = run({"--sampling", layout, input, output});
        EXPECT_EQ(ok.status, 0) << layout << ": " << ok.err.toStdString();
        EXPECT_TRUE(testsupport::decodeJpeg(testsupport::readFile(output)).ok) << layout;
    }
}

TEST_F(OstrelJpeg, PicturesTooLargeOrTruncatedAreRefusedBeforeTheirPixelsAreRead)
{
    // A GIF of 29 bytes that declares 65000 x 65000 pixels (each side one
    // a JPEG file may have, the whole far over the pixel limit).
    // Header, no colour table, one image descriptor of the same size, a
    // two-byte LZW block, trailer.
    const QByteArray gif = QByteArray("GIF89a") + QByteArray::fromHex("e8fde8fd000000") + "," +
                           QByteArray::fromHex("00000000e8fde8fd00" "0202" "4401" "00") + ";";
    ASSERT_EQ(gif.size(), 29);
    const QString bomb = dir.filePath("bomb.gif");
    testsupport::writeFile(bomb, gif);
    ToolRun r = run({bomb, output});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("too large")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(output));
    // The same at 16000 x 16000, within the limit but not in 29 bytes.
    testsupport::writeFile(bomb, QByteArray(gif).replace("\xe8\xfd\xe8\xfd", "\x80\x3e\x80\x3e"));
    r = run({bomb, output});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("declares 16000 x 16000 pixels but holds only 29 bytes")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(output));

    // A bitmap cut off after its first rows.
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        testsupport::pattern(64, 64).save(&buffer, "BMP");
    }
    const QString cut = dir.filePath("cut.bmp");
    testsupport::writeFile(cut, bmp.left(bmp.size() / 3));
    r = run({cut, output});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("truncated")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(output));

    // Wider than common decoders read.
    const QString wide = dir.filePath("wide.png");
    ASSERT_TRUE(QImage(65501, 1, QImage::Format_RGB32).save(wide));
    r = run({wide, output});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("65501 x 1 pixels")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(output));

    // Refused by the size its header declares, before the pixels are read:
    // this bitmap of 70000 x 2 pixels holds none of them.
    const auto le32 = [](std::uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    const QByteArray header = "BM" + le32(54 + 210000 * 2) + le32(0) + le32(54) + le32(40) + le32(70000) + le32(2) +
          QByteArray::fromHex("01001800") + le32(0) + le32(0) + le32(2835) + le32(2835) + le32(0) + le32(0);
    const QString declared = dir.filePath("declared.bmp");
    testsupport::writeFile(declared, header);
    r = run({declared, output});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("70000 x 2 pixels")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(output));
}

TEST_F(OstrelJpeg, UnwritableTargetFailsWithTheSystemMessage)
{
    output = dir.filePath("no/such/folder/out.jpg");
    const ToolRun r = run({input, output});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("No such file or directory")) << r.err.toStdString();
}

TEST_F(OstrelJpeg, HelpExplainsUsage)
{
    const ToolRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("--quality")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("never overwritten")) << r.out.toStdString();
    EXPECT_TRUE(r.out.startsWith("Usage: ostrel-jpeg [options] INPUT OUTPUT")) << r.out.toStdString();
    for (const char* unknown : {"-h,", "-v,", "--help-all"})
        EXPECT_FALSE(r.out.contains(unknown)) << unknown;
    const ToolRun version = run({"--version"});
    EXPECT_EQ(version.out, "ostrel-jpeg " OSTREL_VERSION "\n");
}
