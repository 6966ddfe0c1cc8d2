#pragma once

// Test images and comparisons.

#include <QImage>
#include <QString>

namespace testsupport {

// A photograph from the fixture folder (scikit-image's samples); a null image,
// with a test failure saying how to fetch them, when it is missing.
QImage photo(const QString& name);

// A smooth but detailed RGB test pattern (gradients and waves), different for
// each seed, that compresses like a natural picture.
QImage pattern(int width, int height, int seed = 0);

// Peak signal-to-noise ratio in dB between two images of the same size,
// compared as RGB (or, when `grey` is set, as luma).
double psnr(const QImage& a, const QImage& b, bool grey = false);

// Largest difference of any channel of any pixel.
int maxDifference(const QImage& a, const QImage& b);

} // namespace testsupport
