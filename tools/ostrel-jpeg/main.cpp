// ostrel-jpeg: encodes any image Qt can read as a baseline JPEG file with
// Ostrel's own encoder. Never overwrites: an existing OUTPUT exits with 2.
#include "jpeg/cJpeg.h"
#include "platform/NumberedError.h"
#include "platform/MappedPixmap.h"
#include "platform/Picture.h"
#include "Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

namespace {

enum ExitCode { Ok = 0, Failed = 1, OutputExists = 2 };

int fail(const QString& message)
{
    std::fprintf(stderr, "ostrel-jpeg: %s\n", qPrintable(message));
    return Failed;
}

std::optional<int> parseQuality(const QString& text)
{
    // Digits only: no sign, no blanks.
    if (text.isEmpty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return std::nullopt;
    const int quality = text.toInt();
    if (quality < 1 || quality > 100)
        return std::nullopt;
    return quality;
}

std::optional<std::array<int, 6>> parseSampling(const QString& text)
{
    const QStringList parts = text.split(',');
    if (parts.size() != 6)
        return std::nullopt;
    std::array<int, 6> factors{};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        factors[static_cast<std::size_t>(i)] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    return factors;
}

// Files common decoders (libjpeg-turbo among them) can read: a component's
// factors divide the largest ones, and neither side exceeds 65500 pixels.
constexpr int kMaxReadableSide = 65500;

QString unreadableLayout(const std::array<int, 6>& f)
{
    const int hMax = std::max({f[0], f[2], f[4]});
    const int vMax = std::max({f[1], f[3], f[5]});
    for (int c = 0; c < 3; ++c) {
        const int h = f[static_cast<std::size_t>(2 * c)];
        const int v = f[static_cast<std::size_t>(2 * c + 1)];
        if (h <= 0 || v <= 0 || hMax <= 0 || vMax <= 0)
            continue; // absent components, or a layout the encoder itself refuses
        if (hMax % h != 0 || vMax % v != 0)
            return QString("component %1's factors %2,%3 do not divide the largest ones %4,%5: "
                           "common decoders refuse such files")
                .arg(c + 1).arg(h).arg(v).arg(hMax).arg(vMax);
    }
    return {};
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("ostrel-jpeg");
    QCoreApplication::setApplicationVersion(OSTREL_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Encodes INPUT (any image Qt reads: PNG, PPM, BMP, JPEG, GIF...) as a baseline JPEG file OUTPUT\n"
        "with optimal Huffman tables; transparent parts are laid over white.\n"
        "OUTPUT is never overwritten: if it exists, nothing is written and the exit status is 2.\n"
        "Other failures exit with 1 and leave no file.");
    // Long forms only, as the manual page lists them (Qt's own would add -h,
    // -v and --help-all).
    parser.addOption({"help", "Show this text and exit."});
    parser.addOption({"version", "Show the version and exit."});
    parser.addOption({"quality", "Quality 1 (smallest) to 100 (best); default 75.", "N"});
    parser.addOption({"sampling",
                      "Sampling factors 1..4 of Y, Cb and Cr; default 2,2,1,1,1,1 (4:2:0).\n"
                      "1,1,0,0,0,0 writes a greyscale file.",
                      "H1,V1,H2,V2,H3,V3"});
    parser.addOption({"comment", "Text stored in the file (ISO-8859-1; other characters become '?').", "TEXT"});
    parser.addPositionalArgument("INPUT", "Image file to read.");
    parser.addPositionalArgument("OUTPUT", "JPEG file to create.");
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet("help")) {
        // The usage line names the program, not the path it was started by.
        QString help = parser.helpText();
        help.replace(QCoreApplication::arguments().constFirst(), "ostrel-jpeg");
        std::fputs(qPrintable(help), stdout);
        return Ok;
    }
    if (parser.isSet("version")) {
        std::printf("ostrel-jpeg %s\n", OSTREL_VERSION);
        return Ok;
    }

    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return fail("expected INPUT and OUTPUT (see --help)");
    const QString& input = files[0];
    const QString& output = files[1];

    try {
        cJpeg encoder;
        if (parser.isSet("quality")) {
            const auto quality = parseQuality(parser.value("quality"));
            if (!quality)
                return fail(QString("--quality must be a whole number from 1 to 100, not '%1'").arg(parser.value("quality")));
            encoder.Quality(*quality);
        }
        if (parser.isSet("sampling")) {
            const auto f = parseSampling(parser.value("sampling"));
            if (!f)
                return fail(QString("--sampling needs six whole numbers H1,V1,H2,V2,H3,V3, not '%1'")
                                .arg(parser.value("sampling")));
            if (const QString why = unreadableLayout(*f); !why.isEmpty())
                return fail("--sampling " + parser.value("sampling") + ": " + why);
            encoder.SetSamplingFrequencies((*f)[0], (*f)[1], (*f)[2], (*f)[3], (*f)[4], (*f)[5]);
        }
        if (parser.isSet("comment"))
            encoder.Comment(parser.value("comment"));

        // The image window's loader, with its limits: sizes and truncated
        // bitmaps are refused before pixels are read, transparency is laid
        // over white.
        QString error;
        QString reason;
        const auto tooLarge = [&](QSize size) {
            return fail(QString("'%1' is %2 x %3 pixels: JPEG files over %4 pixels either way cannot be read by "
                                "common decoders")
                            .arg(input).arg(size.width()).arg(size.height()).arg(kMaxReadableSide));
        };
        // Refused from its header when it says its size, before any pixel is read.
        const QSize declared = platform::Picture::declaredSize(input);
        if (declared.width() > kMaxReadableSide || declared.height() > kMaxReadableSide)
            return tooLarge(declared);
        // A binary PPM file is read where it lies, its rows let go as the
        // encoder passes them: memory stays near the size of the coefficients.
        const auto pixmap = platform::MappedPixmap::open(input, platform::Picture::kMaxPixels);
        std::unique_ptr<platform::Picture> picture;
        if (!pixmap) {
            picture = platform::Picture::load(input, &error, Qt::white, &reason, true);
            if (!picture)
                return fail(QString("cannot read '%1': %2").arg(input, reason));
        }
        platform::Surface& pixels = pixmap ? pixmap->surface() : picture->bitmap();
        if (pixels.width() > kMaxReadableSide || pixels.height() > kMaxReadableSide)
            return tooLarge(QSize(pixels.width(), pixels.height()));
        // Rows the encoder has passed are given back as it goes, from the
        // mapped file or from the decoded bitmap.
        encoder.OnRowsSampled([&pixmap, &pixels](std::int32_t rows) {
            if (pixmap)
                pixmap->release(rows);
            else
                pixels.release(rows);
        });
        if (encoder.SampleHDC(&pixels, pixels.width(), pixels.height()) != 0)
            return fail(QString("not enough memory to encode '%1' (%2 x %3)").arg(input).arg(pixels.width()).arg(pixels.height()));

        switch (encoder.SaveFile(output)) {
        case 0:
            return Ok;
        case 2:
            std::fprintf(stderr, "ostrel-jpeg: '%s' already exists; not overwritten\n", qPrintable(output));
            return OutputExists;
        default:
            return fail("OUTPUT must not be empty");
        }
    } catch (const platform::NumberedError& e) {
        return fail(QString("error %1: %2").arg(e.number()).arg(e.description()));
    }
}
