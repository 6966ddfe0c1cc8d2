// Writing and reading uncompressed 24-bit bitmap files.
#include "BmpFile.h"

#include "NewFile.h"
#include "Picture.h"

#include <QFile>

#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

void put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

std::uint32_t get16(const std::uint8_t* p) { return p[0] | static_cast<std::uint32_t>(p[1]) << 8; }
std::uint32_t get32(const std::uint8_t* p) { return get16(p) | get16(p + 2) << 16; }

} // namespace

bool writeBmp(const QString& path, const Surface& surface, QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = QString("Cannot write %1: %2").arg(path, why);
        return false;
    };
    const std::int64_t stride = Surface::rowBytes(surface.width(), 24);
    const std::int64_t imageSize = stride * surface.height();
    if (stride < 0 || imageSize + kFileHeaderSize + kInfoHeaderSize > 0xFFFFFFFFll)
        return fail("the picture is too large for a bitmap file.");

    std::uint8_t header[kFileHeaderSize + kInfoHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, static_cast<std::uint32_t>(imageSize + sizeof header));
    put32(header + 10, sizeof header);
    std::uint8_t* info = header + kFileHeaderSize;
    put32(info, kInfoHeaderSize);
    put32(info + 4, static_cast<std::uint32_t>(surface.width()));
    put32(info + 8, static_cast<std::uint32_t>(surface.height())); // positive: bottom-up rows
    put16(info + 12, 1);
    put16(info + 14, 24);
    put32(info + 20, static_cast<std::uint32_t>(imageSize));
    put32(info + 24, 3780); // 96 dots per inch
    put32(info + 28, 3780);

    QString reason;
    const bool written = replaceFile(
        path,
        [&](const FileSink& write) {
            if (!write(header, sizeof header))
                return;
            std::vector<std::uint8_t> row(static_cast<std::size_t>(stride), 0);
            for (int y = surface.height() - 1; y >= 0; --y) {
                surface.readRow(y, 0, surface.width(), row.data());
                if (!write(row.data(), row.size()))
                    return;
            }
        },
        &reason);
    if (!written)
        return fail(reason);
    return true;
}

std::unique_ptr<Surface> readBmp(const QString& path, QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = QString("Cannot read %1: %2").arg(path, why);
        return nullptr;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    std::uint8_t header[kFileHeaderSize + kInfoHeaderSize];
    if (file.read(reinterpret_cast<char*>(header), sizeof header) != sizeof header)
        return fail("the file is too short for a bitmap.");
    const std::uint8_t* info = header + kFileHeaderSize;
    if (header[0] != 'B' || header[1] != 'M' || get32(info) < kInfoHeaderSize)
        return fail("not a bitmap file.");
    const auto width = static_cast<std::int32_t>(get32(info + 4));
    const auto height = static_cast<std::int32_t>(get32(info + 8));
    if (get16(info + 12) != 1 || get16(info + 14) != 24 || get32(info + 16) != 0)
        return fail("only uncompressed 24-bit bitmaps are read here.");
    const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
    if (width <= 0 || rows == 0 || std::int64_t{width} * rows > Picture::kMaxPixels)
        return fail("the bitmap's size is not valid.");
    const std::int64_t stride = Surface::rowBytes(width, 24);
    const std::int64_t offset = get32(header + 10);
    if (offset < static_cast<std::int64_t>(sizeof header) || offset + stride * rows > file.size())
        return fail("the file is truncated or its header is damaged.");

    auto surface = Surface::create(width, static_cast<int>(rows), 24);
    if (!surface)
        return fail("there is not enough memory for it.");
    file.seek(offset);
    for (std::int64_t stored = 0; stored < rows; ++stored) {
        // Stored rows run bottom-up for a positive height.
        const auto y = static_cast<int>(height > 0 ? rows - 1 - stored : stored);
        if (file.read(reinterpret_cast<char*>(surface->scanLine(y)), stride) != stride)
            return fail("the file is truncated.");
    }
    return surface;
}

} // namespace platform
