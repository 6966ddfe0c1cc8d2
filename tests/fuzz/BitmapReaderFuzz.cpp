// The bitmap reader on damaged files: refused with a reason, or read as a
// picture that the writer stores and the reader reads back unchanged.
#include "FuzzSupport.h"

#include "platform/BmpFile.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray file = fuzz::bytesOf(data, size);
    if (!file.startsWith("BM"))
        file = "BM" + file;
    QString error;
    const auto surface = platform::readBmp(fuzz::writeScratch("in.bmp", file), &error);
    if (!surface) {
        fuzz::require(!error.isEmpty(), "a refused bitmap says why");
        return 0;
    }
    const QString copy = fuzz::scratchPath("copy.bmp");
    QFile::remove(copy);
    fuzz::require(platform::writeBmp(copy, *surface, &error), "a bitmap read can be written");
    const auto again = platform::readBmp(copy, &error);
    fuzz::require(again && again->width() == surface->width() && again->height() == surface->height(),
                  "the written bitmap reads back at its size");
    const int w = surface->width();
    std::vector<std::uint8_t> a(static_cast<std::size_t>(w) * 3), b(a.size());
    for (int y = 0; y < surface->height(); ++y) {
        surface->readRow(y, 0, w, a.data());
        again->readRow(y, 0, w, b.data());
        fuzz::require(a == b, "the written bitmap reads back pixel for pixel");
    }
    return 0;
}
