// Test helper: test patterns and image comparisons (PSNR, differences).
#include "Images.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace testsupport {

QImage photo(const QString& name)
{
    const QString path = QStringLiteral(OSTREL_PHOTO_DIR) + "/" + name;
    QImage image(path);
    if (image.isNull())
        ADD_FAILURE() << "photo fixture " << path.toStdString()
                      << " is missing: run scripts/deps.sh test (or scripts/test.sh) to fetch it";
    return image.convertToFormat(QImage::Format_RGB888);
}

QImage pattern(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const double fx = x + 13.0 * seed;
            const double fy = y + 7.0 * seed;
            const double r = 128 + 90 * std::sin(fx / 9.0) * std::cos(fy / 13.0) + 30 * std::sin((fx + fy) / 3.1);
            const double g = 128 + 100 * std::cos((fx - 2 * fy) / 17.0);
            const double b = 64 + 160.0 * (fx + fy) / (width + height + 1) + 20 * std::sin(fy / 2.3);
            line[3 * x] = static_cast<uchar>(std::clamp(r, 0.0, 255.0));
            line[3 * x + 1] = static_cast<uchar>(std::clamp(g, 0.0, 255.0));
            line[3 * x + 2] = static_cast<uchar>(std::clamp(b, 0.0, 255.0));
        }
    }
    return image;
}

namespace {

double luma(QRgb c) { return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c); }

} // namespace

double psnr(const QImage& a, const QImage& b, bool grey)
{
    if (a.size() != b.size()) {
        ADD_FAILURE() << "images differ in size";
        return 0;
    }
    double sum = 0;
    double count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (grey) {
                const double d = luma(p) - luma(q);
                sum += d * d;
                count += 1;
            } else {
                const double dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
                sum += dr * dr + dg * dg + db * db;
                count += 3;
            }
        }
    }
    if (sum == 0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * count / sum);
}

int maxDifference(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

} // namespace testsupport
