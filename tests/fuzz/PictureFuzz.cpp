// The picture loader on damaged and hostile files of one format (the build
// makes one target per format by the first bytes it forces): every file is
// either refused with a reason or gives a picture within the loader's limits.
#include "FuzzSupport.h"

#include "platform/MappedPixmap.h"
#include "platform/Picture.h"

#include <QByteArray>

#ifndef OSTREL_FUZZ_MAGIC
#error "OSTREL_FUZZ_MAGIC: the first bytes of the format under test"
#endif

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The file starts as the format does, so the fuzzer stays in it.
    const QByteArray magic = QByteArray::fromHex(OSTREL_FUZZ_MAGIC);
    QByteArray file = fuzz::bytesOf(data, size);
    if (!file.startsWith(magic))
        file = magic + file;
    const QString path = fuzz::writeScratch("picture", file);

    // Pictures may legally be up to 256 megapixels, which take many seconds
    // to decode under the sanitizers; the limit itself has its own tests, so
    // the fuzzer spends its time on files of a few megapixels at most.
    const QSize declared = platform::Picture::declaredSize(path);
    if (declared.isValid() && std::int64_t{declared.width()} * declared.height() > 4096 * 4096)
        return 0;

    QString error, reason;
    const auto picture = platform::Picture::load(path, &error, Qt::white, &reason, (size & 1) != 0);
    // A binary PPM file read in place holds every row its header promises,
    // and the same picture as the loader's.
    if (const auto pixmap = platform::MappedPixmap::open(path, 4096 * 4096)) {
        const int w = pixmap->width(), h = pixmap->height();
        fuzz::require(w > 0 && h > 0, "a mapped pixmap has pixels");
        fuzz::require(picture && picture->width() == w && picture->height() == h,
                      "the loader reads a mapped pixmap at its size");
        std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
        for (int y = 0; y < h; y += std::max(1, h / 16))
            pixmap->surface().readRow(y, 0, w, row.data());
        pixmap->surface().readRow(h - 1, 0, w, row.data());
    }
    if (!picture) {
        fuzz::require(!error.isEmpty() && !reason.isEmpty(), "a refused picture says why");
        return 0;
    }
    const int w = picture->width(), h = picture->height();
    fuzz::require(w > 0 && h > 0, "a picture has pixels");
    fuzz::require(std::int64_t{w} * h <= platform::Picture::kMaxPixels, "a picture is within the pixel limit");
    const int bits = picture->bitmap().bitCount();
    fuzz::require(bits == 1 || bits == 4 || bits == 8 || bits == 24, "the bitmap has a bitmap depth");
    if (bits != 24)
        fuzz::require(picture->bitmap().colorTable().size() == (1u << bits), "an indexed bitmap has its table");
    // Every row can be read (out-of-range memory shows under the sanitizer).
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
    for (int y = 0; y < h; y += std::max(1, h / 16))
        picture->bitmap().readRow(y, 0, w, row.data());
    return 0;
}
