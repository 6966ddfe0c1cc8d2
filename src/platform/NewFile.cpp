// Creating and replacing files safely: unnamed temporaries linked or renamed into place.
#include "NewFile.h"

#include "NumberedError.h"
#include "UniqueFd.h"

#include <QFile>

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Closes and removes the temporary file unless it was moved into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string pattern) : path_(std::move(pattern))
    {
        file_.reset(::mkstemp(path_.data()));
        created_ = file_.valid();
    }
    ~TemporaryFile()
    {
        file_.reset();
        if (created_ && !kept_)
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool isOpen() const { return file_.valid(); }
    int fd() const { return file_.get(); }
    const std::string& path() const { return path_; }
    // Closes the file; false (errno set) if the last data could not be written.
    bool close() { return file_.close(); }
    void keep() { kept_ = true; }

private:
    std::string path_;
    UniqueFd file_;
    bool created_ = false;
    bool kept_ = false;
};

// The numbered file error for a path in the file system's encoding.
NumberedError fileError(int errnoValue, const std::string& path)
{
    return NumberedError::fileError(errnoValue, QFile::decodeName(path.c_str()));
}

void writeAll(int fd, const std::uint8_t* data, std::size_t size, const std::string& path)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw fileError(errno, path);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Moves `from` to `to` unless `to` exists. False when it exists.
bool moveIntoPlace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS)
        throw fileError(errno, to);
    // File systems without the no-replace rename: a hard link fails on an
    // existing name just the same.
    if (::link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST)
            return false;
        throw fileError(errno, to);
    }
    ::unlink(from.c_str());
    return true;
}

// The bytes in an unnamed file of `folder`, then given the name `target`:
// nothing with a name exists until the file is whole, so a kill or a full
// disk leaves nothing behind, and linking refuses an existing name. Empty
// when the file system has no unnamed files (the caller then uses a named
// temporary).
std::optional<NewFileResult> writeUnnamed(const std::string& folder, const std::string& target,
                                          const std::uint8_t* data, std::size_t size,
                                          const std::function<void()>& beforeMove)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT)
            return std::nullopt;
        throw fileError(errno, target);
    }
    const UniqueFd closer(fd);
    writeAll(fd, data, size, target);
    if (::fsync(fd) != 0 && errno != EINVAL)
        throw fileError(errno, target);
    if (beforeMove)
        beforeMove();
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return NewFileResult::Written;
    if (errno == EEXIST)
        return NewFileResult::AlreadyExists;
    if (errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
        return std::nullopt; // no /proc to name the unnamed file by
    throw fileError(errno, target);
}

// The file a replace writes: the final target of a link, else the path.
std::string replaceTarget(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
    }
    return path;
}

// Writes everything `produce` gives to `fd`; false (errno set) on the first failure.
bool produceInto(int fd, const std::function<void(const FileSink&)>& produce)
{
    int failure = 0;
    const FileSink sink = [fd, &failure](const void* data, std::size_t size) {
        auto bytes = static_cast<const std::uint8_t*>(data);
        while (failure == 0 && size > 0) {
            const ssize_t written = ::write(fd, bytes, size);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                failure = written < 0 ? errno : ENOSPC;
                break;
            }
            bytes += written;
            size -= static_cast<std::size_t>(written);
        }
        return failure == 0;
    };
    produce(sink);
    if (failure == 0 && ::fsync(fd) != 0 && errno != EINVAL)
        failure = errno;
    errno = failure;
    return failure == 0;
}

} // namespace

bool replaceFile(const QString& path, const std::function<void(const FileSink&)>& produce, QString* error)
{
    const auto fail = [error](int number) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(number));
        errno = number;
        return false;
    };
    const std::string target = replaceTarget(QFile::encodeName(path).toStdString());
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // Short enough for any name: the longest file name is 255 bytes.
    const std::string staging = folder + "/." + base.substr(0, 200) + ".ostrel-new";

    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        return fail(EISDIR);

    UniqueFd file(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    const bool unnamed = file.valid();
    if (!unnamed) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return fail(errno);
        // No unnamed files here: write the staging name itself.
        ::unlink(staging.c_str());
        file.reset(::open(staging.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (!file.valid())
            return fail(errno);
    }
    const auto abandon = [&](int number) {
        if (!unnamed)
            ::unlink(staging.c_str());
        return fail(number);
    };
    if (replacing && ::fchmod(file.get(), old.st_mode & 07777) != 0)
        return abandon(errno);
    if (!produceInto(file.get(), produce))
        return abandon(errno);
    if (unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(file.get());
        // A staging file left by a save killed at this very step goes first.
        ::unlink(staging.c_str());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, staging.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return fail(errno);
    }
    if (::rename(staging.c_str(), target.c_str()) != 0) {
        const int number = errno;
        ::unlink(staging.c_str());
        return fail(number);
    }
    return true;
}

bool fileExists(const QString& path)
{
    struct stat info {};
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &info) != 0)
        return false;
    if (S_ISLNK(info.st_mode) && ::stat(name.constData(), &info) != 0)
        return true; // a dangling link still takes the name
    return !S_ISDIR(info.st_mode);
}

NewFileResult writeNewFile(const QString& path, const std::uint8_t* data, std::size_t size,
                           const std::function<void()>& beforeMove)
{
    const std::string target = QFile::encodeName(path).toStdString();
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw fileError(EISDIR, target);
    if (fileExists(path))
        return NewFileResult::AlreadyExists;

    const QFileInfo where(path);
    const std::string folder = QFile::encodeName(where.absolutePath()).toStdString();
    const std::string base = QFile::encodeName(where.fileName()).toStdString();
    if (const auto result = writeUnnamed(folder, target, data, size, beforeMove))
        return *result;
    TemporaryFile temporary(folder + "/." + base.substr(0, 200) + ".XXXXXX");
    if (!temporary.isOpen())
        throw fileError(errno, target);
    writeAll(temporary.fd(), data, size, target);
    if (::fsync(temporary.fd()) != 0 && errno != EINVAL)
        throw fileError(errno, target);
    if (!temporary.close())
        throw fileError(errno, target);
    // mkstemp makes the file private (0600); give it the mode a new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temporary.path().c_str(), 0666 & ~mask);
    if (beforeMove)
        beforeMove();
    if (!moveIntoPlace(temporary.path(), target))
        return NewFileResult::AlreadyExists;
    temporary.keep();
    return NewFileResult::Written;
}

} // namespace platform
