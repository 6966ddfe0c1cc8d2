// ostrel-jpeg: encodes any image Qt can read as a baseline JPEG file with
// Ostrel's own encoder. Never overwrites: an existing OUTPUT exits with 2.
#include "jpeg/cJpeg.h"
#include "platform/NumberedError.h"
#include "platform/Surface.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QImageReader>

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
    bool ok = false;
    const int quality = text.toInt(&ok);
    if (!ok || quality < 1 || quality > 100)
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

QImage readImage(const QString& path, QString& error)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    // Allow large photographs (up to 1 GiB decoded); the encoder needs about
    // as much again for its coefficients.
    QImageReader::setAllocationLimit(1024);
    QImage image = reader.read();
    if (image.isNull())
        error = reader.errorString();
    return image;
}

// JPEG has no transparency: pictures with an alpha channel are laid over white.
QImage flattened(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return image;
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = line[x];
            const int a = qAlpha(p);
            const auto over = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            line[x] = qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p)));
        }
    }
    return argb.convertToFormat(QImage::Format_RGB32);
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
    parser.addHelpOption();
    parser.addVersionOption();
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
    if (parser.isSet("help"))
        parser.showHelp(Ok);
    if (parser.isSet("version"))
        parser.showVersion();

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
            encoder.SetSamplingFrequencies((*f)[0], (*f)[1], (*f)[2], (*f)[3], (*f)[4], (*f)[5]);
        }
        if (parser.isSet("comment"))
            encoder.Comment(parser.value("comment"));

        QString error;
        const QImage image = flattened(readImage(input, error));
        if (image.isNull())
            return fail(QString("cannot read '%1': %2").arg(input, error));
        const auto surface = platform::Surface::wrap(image);
        if (!surface || encoder.SampleHDC(surface.get(), image.width(), image.height()) != 0)
            return fail(QString("not enough memory to encode '%1' (%2 x %3)").arg(input).arg(image.width()).arg(image.height()));

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
        return fail(QString("error %1: %2").arg(e.number()).arg(QString::fromStdString(e.description())));
    }
}
