#pragma once

// libjpeg-turbo as an independent decoder and as the reference encoder.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct DecodedJpeg {
    bool ok = false;
    std::string error;
    int width = 0;
    int height = 0;
    int components = 0;                    // 1 grey, 3 colour
    std::vector<int> h, v;                 // sampling factors per component
    std::vector<std::uint8_t> pixels;      // RGB (or grey) rows, top-down, no padding
    std::vector<std::string> comments;     // COM segments in file order

    QImage toImage() const;                // RGB888 or Grayscale8
};

// Decodes with libjpeg-turbo; any libjpeg error becomes ok = false.
DecodedJpeg decodeJpeg(const QByteArray& bytes);
DecodedJpeg decodeJpegFile(const QString& path);

// libjpeg-turbo's encoder at `quality`, 4:2:0, optimised Huffman tables and the
// floating-point DCT: the reference for size and quality comparisons.
QByteArray referenceEncode(const QImage& image, int quality);

QByteArray readFile(const QString& path);

} // namespace testsupport
