// PPM headers, and binary colour PPM files read in place through a memory map.
#include "MappedPixmap.h"

#include <QFile>

#include <algorithm>
#include <climits>

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
    return {width, height, at + 1, 3 * width};
}

PixmapHeader readBitmapHeader(const QByteArray& head)
{
    if (head.size() < 54 || !head.startsWith("BM"))
        return {};
    const auto byte = [&head](int i) { return static_cast<std::uint8_t>(head[i]); };
    const auto word = [&byte](int i) { return static_cast<std::uint32_t>(byte(i) | byte(i + 1) << 8); };
    const auto dword = [&word](int i) { return word(i) | word(i + 2) << 16; };
    const std::uint32_t offset = dword(10);
    const std::uint32_t infoSize = dword(14);
    const auto width = static_cast<std::int32_t>(dword(18));
    const auto height = static_cast<std::int32_t>(dword(22));
    if (infoSize < 40 || offset < 14 + infoSize || word(26) != 1 || word(28) != 24 || dword(30) != 0 || width <= 0 ||
        height == 0 || height == INT32_MIN)
        return {};
    PixmapHeader header;
    header.width = width;
    header.height = height < 0 ? -std::int64_t{height} : height;
    header.dataOffset = offset;
    header.stride = (3 * std::int64_t{width} + 3) / 4 * 4;
    header.bottomUp = height > 0;
    header.layout = Surface::Layout::Bgr24;
    return header;
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
    head.truncate(headBytes > 0 ? headBytes : 0);
    const PixmapHeader header = head.startsWith("BM") ? readBitmapHeader(head) : readPixmapHeader(head);
    const bool sized = header.dataOffset > 0 && header.width <= 65535 && header.height <= 65535;
    const std::int64_t pixelBytes = sized ? header.stride * header.height : 0; // below 2^34: no overflow
    const bool usable = sized && header.width * header.height <= maxPixels && info.st_size - header.dataOffset >= pixelBytes;
    void* map = usable ? ::mmap(nullptr, static_cast<std::size_t>(header.dataOffset + pixelBytes), PROT_READ,
                                MAP_PRIVATE, fd, 0)
                       : MAP_FAILED;
    ::close(fd); // the map keeps the file
    if (map == MAP_FAILED)
        return nullptr;
    std::unique_ptr<MappedPixmap> pixmap(new MappedPixmap);
    pixmap->map_ = static_cast<std::uint8_t*>(map);
    pixmap->mapBytes_ = static_cast<std::size_t>(header.dataOffset + pixelBytes);
    pixmap->header_ = header;
    // Read from the top: backwards through a bottom-up bitmap's rows.
    ::madvise(map, pixmap->mapBytes_, header.bottomUp ? MADV_NORMAL : MADV_SEQUENTIAL);
    pixmap->surface_ = Surface::viewRows(pixmap->map_ + header.dataOffset, static_cast<int>(header.width),
                                         static_cast<int>(header.height), header.stride, header.layout, header.bottomUp);
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
    const auto done = static_cast<std::size_t>(std::clamp(row, 0, height()) * header_.stride);
    if (done <= released_)
        return;
    released_ = done;
    // The rows' bytes in the map (and the header before them), or its last
    // bytes in a bottom-up bitmap; whole pages, the map's last one included.
    const std::size_t from = header_.bottomUp ? mapBytes_ - done : 0;
    const std::size_t to = header_.bottomUp ? mapBytes_ : static_cast<std::size_t>(header_.dataOffset) + done;
    const std::size_t start = (from + page - 1) / page * page;
    const std::size_t end = to == mapBytes_ ? (to + page - 1) / page * page : to / page * page;
    if (start < end)
        ::madvise(map_ + start, end - start, MADV_DONTNEED);
}

} // namespace platform
