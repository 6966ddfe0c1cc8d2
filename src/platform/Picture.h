#pragma once

#include "Surface.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>

namespace platform {

// A picture loaded from a file (or made from an image): a bitmap with width,
// height, bits per pixel and, for indexed pictures, the file's colour table.
// Indexed files keep their depth (1, 4 or 8 bits) and table; true-colour files
// are 24-bit, and pictures with transparency are laid over a background colour,
// since a bitmap has none.
class Picture {
public:
    // Pictures larger than this are refused before their pixels are read.
    static constexpr std::int64_t kMaxPixels = 256'000'000;

    // Reads BMP (also run-length coded and 1/4/8-bit), GIF, JPEG, PNG, ICO,
    // CUR and the other formats Qt reads, by content whatever the extension.
    // On failure returns null and sets `error` to a sentence naming the file,
    // and `reason` (when given) to the reason alone, a sentence of its own.
    // `upright` turns the picture as the file's orientation tag says. Of a
    // file holding several sizes of one picture (an icon), the largest is read.
    // Setting `cancel` (from any thread) ends the reading soon with a failure.
    static std::unique_ptr<Picture> load(const QString& path, QString* error,
                                         const QColor& background = Qt::white, QString* reason = nullptr,
                                         bool upright = false, const std::atomic<bool>* cancel = nullptr);

    // The size the file's header declares, read without its pixels; invalid
    // when the file is not a picture or does not say.
    static QSize declaredSize(const QString& path);

    // The most pixels the file at `path`, read as `format` (QImageReader's
    // name), can hold by its size; 0 where its coding has no best case that
    // bounds it. A file declaring more is refused before it is decoded.
    static std::int64_t mostPixelsIn(const QString& path, const QByteArray& format);

    // A picture of an image already in memory, with the same rules.
    static std::unique_ptr<Picture> fromImage(const QImage& image, const QColor& background = Qt::white);

    int width() const { return bitmap_->width(); }
    int height() const { return bitmap_->height(); }
    // The file's bits per pixel (16 for a 16-bit bitmap, although its pixels
    // are kept at 24 bits).
    int bitCount() const { return bitCount_; }
    // The pixels: an indexed surface with the picture's table, or 24-bit.
    Surface& bitmap() const { return *bitmap_; }
    // Hands the pixels over, leaving the picture empty.
    std::unique_ptr<Surface> takeBitmap() { return std::move(bitmap_); }

private:
    Picture(int bitCount, std::unique_ptr<Surface> bitmap) : bitCount_(bitCount), bitmap_(std::move(bitmap)) {}
    static std::unique_ptr<Picture> make(const QImage& image, const QColor& background, int fileBitCount);

    int bitCount_;
    std::unique_ptr<Surface> bitmap_;
};

} // namespace platform
