// The encoder on pictures of random sizes, layouts, qualities and surface
// kinds: it either refuses with a numbered error or writes a file that
// libjpeg-turbo decodes at the picture's size, with the components and
// sampling factors asked for, wherever that decoder can read such a layout.
#include "FuzzSupport.h"

#include "jpeg/cJpeg.h"
#include "platform/NumberedError.h"
#include "support/JpegCodec.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// A picture filled with the fuzzer's bytes (repeated), on one of the kinds
// of surface the encoder reads: 24-bit, 32-bit or an 8-bit table.
std::unique_ptr<platform::Surface> pictureOf(fuzz::Bytes& input, int width, int height, int kind,
                                             QImage& keepAlive)
{
    const auto fill = input.rest();
    const auto byteAt = [&fill](std::size_t i) { return fill.empty() ? std::uint8_t{0x80} : fill[i % fill.size()]; };
    if (kind == 2) {
        std::vector<platform::ColorEntry> table(256);
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = {byteAt(3 * i), byteAt(3 * i + 1), byteAt(3 * i + 2), 0};
        auto surface = platform::Surface::create(width, height, 8, table);
        if (!surface)
            return nullptr;
        std::vector<std::uint8_t> row(static_cast<std::size_t>(width));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                row[static_cast<std::size_t>(x)] = byteAt(static_cast<std::size_t>(y) * width + x);
            surface->writeIndices(y, 0, width, row.data());
        }
        return surface;
    }
    keepAlive = QImage(width, height, kind == 0 ? QImage::Format_RGB888 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        uchar* line = keepAlive.scanLine(y);
        for (qsizetype i = 0; i < keepAlive.bytesPerLine(); ++i)
            line[i] = byteAt(static_cast<std::size_t>(y) * keepAlive.bytesPerLine() + i);
    }
    return platform::Surface::wrap(keepAlive);
}

// Whether common decoders read the layout: each factor divides the largest.
bool readable(const std::array<int, 6>& f, bool grey)
{
    if (grey)
        return true;
    const int hMax = std::max({f[0], f[2], f[4]}), vMax = std::max({f[1], f[3], f[5]});
    for (int c = 0; c < 3; ++c)
        if (hMax % f[2 * c] != 0 || vMax % f[2 * c + 1] != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes input(data, size);
    const int width = input.inRange(1, 300), height = input.inRange(1, 300);
    const int quality = input.inRange(-5, 105); // out-of-range qualities are ignored
    const bool askGrey = input.byte() % 4 == 0;
    std::array<int, 6> f{};
    for (int& factor : f)
        factor = input.inRange(0, 5); // 0 and 5 are refused
    if (askGrey)
        f = {f[0], f[1], 0, 0, 0, 0};
    // Chroma factors all 0 make a greyscale file, whatever was asked.
    const bool grey = f[2] == 0 && f[3] == 0 && f[4] == 0 && f[5] == 0;
    const int kind = input.byte() % 3;
    const QString comment = QString::fromLatin1(fuzz::bytesOf(input.rest().data(), std::min<std::size_t>(input.rest().size(), 40)));

    QImage pixels;
    const auto surface = pictureOf(input, width, height, kind, pixels);
    fuzz::require(surface != nullptr, "a small picture can be made");

    cJpeg encoder;
    encoder.Quality(quality);
    encoder.Comment(comment);
    try {
        encoder.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
    } catch (const platform::NumberedError& e) {
        fuzz::require(std::any_of(f.begin(), f.begin() + (grey ? 2 : 6), [](int v) { return v < 1 || v > 4; }),
                      "only factors outside 1..4 are refused");
        return 0;
    }
    fuzz::require(encoder.SampleHDC(surface.get(), width, height) == 0, "a picture is sampled");
    const QByteArray file = encoder.Encode();
    fuzz::require(file.startsWith("\xFF\xD8") && file.endsWith("\xFF\xD9"), "a file from SOI to EOI");
    if (!readable(f, grey))
        return 0;
    const auto decoded = testsupport::decodeJpeg(file);
    if (!decoded.ok)
        std::fprintf(stderr, "libjpeg-turbo: %s\n", decoded.error.c_str());
    fuzz::require(decoded.ok, "libjpeg-turbo decodes the file");
    fuzz::require(decoded.width == width && decoded.height == height, "at the picture's size");
    fuzz::require(decoded.components == (grey ? 1 : 3), "with its components");
    if (!grey) {
        fuzz::require(decoded.h == std::vector<int>{f[0], f[2], f[4]} && decoded.v == std::vector<int>{f[1], f[3], f[5]},
                      "with the sampling factors asked for");
    }
    return 0;
}
