// The demo camera's applet jar, served from the program's resources, and content types.
#include "AppletJar.h"

#include <zlib.h>

#include <cstdint>

namespace {

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr qsizetype kEndRecordSize = 22;
constexpr qsizetype kDirectoryEntrySize = 46;
constexpr qsizetype kLocalHeaderSize = 30;
constexpr std::uint32_t kMaxEntrySize = 16 * 1024 * 1024;
constexpr int kStored = 0;
constexpr int kDeflated = 8;

// Little-endian fields, 0 beyond the end (callers check the sizes first).
std::uint32_t u16(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at + 2 > b.size())
        return 0;
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8;
}

std::uint32_t u32(const QByteArray& b, qsizetype at)
{
    return u16(b, at) | u16(b, at + 2) << 16;
}

std::optional<QByteArray> inflateRaw(const QByteArray& packed, std::uint32_t size)
{
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    const bool whole = result == Z_STREAM_END && stream.total_out == size;
    inflateEnd(&stream);
    if (!whole)
        return std::nullopt;
    return out;
}

} // namespace

bool AppletJar::load(const QByteArray& zip, QString* error)
{
    const auto fail = [&](const QString& why) {
        *error = why;
        entries_.clear();
        return false;
    };
    // The end record lies within the last 64 KiB (its comment's limit).
    qsizetype end = -1;
    for (qsizetype at = zip.size() - kEndRecordSize; at >= 0 && at >= zip.size() - kEndRecordSize - 65535; --at)
        if (u32(zip, at) == kEndOfDirectory) {
            end = at;
            break;
        }
    if (end < 0)
        return fail("not a zip archive (no end record)");
    const std::uint32_t count = u16(zip, end + 10);
    qsizetype at = u32(zip, end + 16);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + kDirectoryEntrySize > zip.size() || u32(zip, at) != kDirectoryEntry)
            return fail("damaged central directory");
        const int method = static_cast<int>(u16(zip, at + 10));
        const std::uint32_t packedSize = u32(zip, at + 20);
        const std::uint32_t size = u32(zip, at + 24);
        const qsizetype nameLength = u16(zip, at + 28);
        const qsizetype next = at + kDirectoryEntrySize + nameLength + u16(zip, at + 30) + u16(zip, at + 32);
        const qsizetype local = u32(zip, at + 42);
        if (next > zip.size())
            return fail("damaged central directory");
        const QString name = QString::fromUtf8(zip.mid(at + kDirectoryEntrySize, nameLength));
        at = next;
        if (name.endsWith('/'))
            continue; // a folder
        if (size > kMaxEntrySize || packedSize > kMaxEntrySize)
            return fail(QString("entry %1 is too large").arg(name));
        if (local + kLocalHeaderSize > zip.size() || u32(zip, local) != kLocalHeader)
            return fail(QString("entry %1 has no local header").arg(name));
        const qsizetype data = local + kLocalHeaderSize + u16(zip, local + 26) + u16(zip, local + 28);
        if (data + packedSize > zip.size())
            return fail(QString("entry %1 is truncated").arg(name));
        const QByteArray packed = zip.mid(data, packedSize);
        std::optional<QByteArray> bytes;
        if (method == kStored && packedSize == size)
            bytes = packed;
        else if (method == kDeflated)
            bytes = inflateRaw(packed, size);
        if (!bytes)
            return fail(QString("entry %1 cannot be unpacked (method %2)").arg(name).arg(method));
        entries_.insert(name, *bytes);
    }
    archive_ = zip;
    return true;
}

std::optional<QByteArray> AppletJar::entry(const QString& name) const
{
    const auto found = entries_.constFind(name);
    if (found == entries_.constEnd())
        return std::nullopt;
    return *found;
}

QByteArray contentTypeFor(const QString& name)
{
    const QString suffix = name.section('.', -1).toLower();
    if (suffix == "class")
        return "application/java-vm";
    if (suffix == "jar")
        return "application/java-archive";
    if (suffix == "png")
        return "image/png";
    if (suffix == "gif")
        return "image/gif";
    if (suffix == "jpg" || suffix == "jpeg")
        return "image/jpeg";
    if (suffix == "txt" || suffix == "properties" || suffix == "mf")
        return "text/plain; charset=utf-8";
    return "application/octet-stream";
}
