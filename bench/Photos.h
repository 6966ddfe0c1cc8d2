// Photographic benchmark images made from the photo fixtures.
#pragma once

#include <QImage>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// A photograph repeated in mirrored tiles up to the wanted size, so every
// 8 x 8 block has natural statistics at any size, with no seams.
inline QImage tiledPhoto(const char* name, int width, int height)
{
    const QImage photo = QImage(QString(OSTREL_PHOTO_DIR) + "/" + name).convertToFormat(QImage::Format_RGB888);
    if (photo.isNull()) {
        std::fprintf(stderr, "photo %s/%s missing: run scripts/deps.sh test\n", OSTREL_PHOTO_DIR, name);
        std::exit(1);
    }
    QImage out(width, height, QImage::Format_RGB888);
    const int pw = photo.width(), ph = photo.height();
    for (int y = 0; y < height; ++y) {
        const int ty = (y / ph) % 2 ? ph - 1 - y % ph : y % ph;
        const uchar* in = photo.constScanLine(ty);
        uchar* line = out.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int tx = (x / pw) % 2 ? pw - 1 - x % pw : x % pw;
            std::copy_n(in + 3 * tx, 3, line + 3 * x);
        }
    }
    return out;
}

} // namespace
