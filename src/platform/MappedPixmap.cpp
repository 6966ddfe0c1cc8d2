// PPM headers, and binary colour PPM files read in place through a memory map.
#include "MappedPixmap.h"

#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

PixmapHeader readPixmapHeader(const QByteArray& head)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    // White space follows the magic number ("P63" is not a pixmap 3 wide).
    if (!head.startsWith("P6") || head.size() < 3 || !isSpace(head[2]))
        return {};
    qsizetype at = 2;
    const auto number = [&]() -> std::int64_t {
        for (;;) {
            while (at < head.size() && isSpace(head[at]))
                ++at;
            if (at < head.size() && head[at] == '#') {
                while (at < head.size() && head[at] != '\n')
                    ++at;
                continue;
            }
            break;
        }
        std::int64_t value = 0;
        const qsizetype start = at;
        while (at < head.size() && head[at] >= '0' && head[at] <= '9' && value < (std::int64_t{1} << 40))
            value = value * 10 + (head[at++] - '0');
        return at > start ? value : -1;
    };
    const std::int64_t width = number(), height = number(), maxValue = number();
    if (width <= 0 || height <= 0 || maxValue != 255 || at >= head.size() || !isSpace(head[at]))
        return {};
    return {width, height, at + 1};
}

std::unique_ptr<MappedPixmap> MappedPixmap::open(const QString& path, std::int64_t maxPixels)
{
    // Only regular files: opening a named pipe would wait for its writer, and
    // closing it again could cost the writer its reader.
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    if (::stat(name.constData(), &before) != 0 || !S_ISREG(before.st_mode))
        return nullptr;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    QByteArray head(1024, '\0');
    const ssize_t headBytes = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? ::pread(fd, head.data(), 1024, 0) : -1;
    const PixmapHeader header = readPixmapHeader(head.left(headBytes > 0 ? headBytes : 0));
    const std::int64_t pixelBytes = 3 * header.width * header.height; // sides below 2^40: no overflow
    const bool usable = header.dataOffset > 0 && header.width <= 65535 && header.height <= 65535 &&
                        header.width * header.height <= maxPixels && info.st_size - header.dataOffset >= pixelBytes;
    void* map = usable ? ::mmap(nullptr, static_cast<std::size_t>(header.dataOffset + pixelBytes), PROT_READ,
                                MAP_PRIVATE, fd, 0)
                       : MAP_FAILED;
    ::close(fd); // the map keeps the file
    if (map == MAP_FAILED)
        return nullptr;
    std::unique_ptr<MappedPixmap> pixmap(new MappedPixmap);
    pixmap->map_ = static_cast<std::uint8_t*>(map);
    pixmap->mapBytes_ = static_cast<std::size_t>(header.dataOffset + pixelBytes);
    pixmap->dataOffset_ = header.dataOffset;
    ::madvise(map, pixmap->mapBytes_, MADV_SEQUENTIAL);
    pixmap->surface_ = Surface::viewRows(pixmap->map_ + header.dataOffset, static_cast<int>(header.width),
                                         static_cast<int>(header.height), 3 * header.width, Surface::Layout::Rgb24);
    if (!pixmap->surface_)
        return nullptr;
    return pixmap;
}

MappedPixmap::~MappedPixmap()
{
    if (map_)
        ::munmap(map_, mapBytes_);
}

void MappedPixmap::release(int row)
{
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::int64_t rows = std::clamp(row, 0, height());
    const auto end = static_cast<std::size_t>(dataOffset_ + rows * surface_->bytesPerLine()) / page * page;
    if (end <= released_)
        return;
    ::madvise(map_ + released_, end - released_, MADV_DONTNEED);
    released_ = end;
}

} // namespace platform
