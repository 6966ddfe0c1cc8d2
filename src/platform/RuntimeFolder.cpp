// The process's private folder, held open from the check to the clean-up.
#include "RuntimeFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

struct HeldFolder {
    int user = -1;    // <base>/ostrel-<uid>
    int process = -1; // <base>/ostrel-<uid>/<pid>
    QString name;     // "<pid>"
    QString path;     // the real path
    QString viaHandle; // /proc/self/fd/N, or the real path where /proc is missing
};

HeldFolder& held()
{
    static HeldFolder folder;
    return folder;
}

QString systemError(const QString& what)
{
    return QString("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

// A folder others may write to is safe only with the sticky bit (then they
// cannot rename or remove what is ours in it).
bool safeBase(const QString& base, QString* error)
{
    struct stat info {};
    if (::stat(QFile::encodeName(base).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = systemError(QString("Cannot use %1").arg(base));
        return false;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0) {
        *error = QString("%1 may be written by other users and is not sticky: it cannot hold private files.").arg(base);
        return false;
    }
    return true;
}

// Makes folder `name` in `parent` (or finds it), opens it without following
// a link, and checks that it is ours and private. The descriptor, or -1.
int openPrivateFolder(int parent, const QString& name, const QString& shownPath, QString* error)
{
    const QByteArray bytes = QFile::encodeName(name);
    if (::mkdirat(parent, bytes.constData(), 0700) != 0 && errno != EEXIST) {
        *error = systemError(QString("Cannot create %1").arg(shownPath));
        return -1;
    }
    const int fd = ::openat(parent, bytes.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || info.st_uid != ::getuid() || (info.st_mode & 0077) != 0) {
        if (fd >= 0)
            ::close(fd);
        *error = QString("%1 is not a private folder of this user.").arg(shownPath);
        return -1;
    }
    return fd;
}

// Removes folder `name` of `parent` and the files in it, all through
// descriptors: a link in it is removed, never followed. Folders inside
// (none are ever made) are left, and so is the folder then.
void removeFolderAt(int parent, const QByteArray& name)
{
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    if (DIR* entries = ::fdopendir(fd)) {
        while (const dirent* entry = ::readdir(entries)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                ::unlinkat(fd, entry->d_name, 0);
        }
        ::closedir(entries); // closes fd
    } else {
        ::close(fd);
    }
    ::unlinkat(parent, name.constData(), AT_REMOVEDIR);
}

// Folders of processes that no longer exist, left by a kill.
void removeStaleFolders(int user)
{
    const int fd = ::dup(user);
    DIR* entries = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!entries) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    QList<QByteArray> stale;
    while (const dirent* entry = ::readdir(entries)) {
        bool number = false;
        const long pid = QByteArray(entry->d_name).toLong(&number);
        if (number && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            stale << entry->d_name;
    }
    ::closedir(entries);
    for (const QByteArray& name : stale)
        removeFolderAt(user, name);
}

void removeOwnFolder()
{
    HeldFolder& folder = held();
    if (folder.process < 0)
        return;
    ::close(folder.process);
    folder.process = -1;
    removeFolderAt(folder.user, QFile::encodeName(folder.name));
}

bool stillThere(const HeldFolder& folder)
{
    struct stat info {};
    return folder.process >= 0 && ::fstat(folder.process, &info) == 0 && info.st_nlink > 0;
}

} // namespace

QString runtimeFolder(QString* error)
{
    HeldFolder& folder = held();
    if (stillThere(folder))
        return folder.viaHandle;
    QString why;
    QStringList bases;
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        bases << runtime;
    bases << QDir::tempPath();
    for (const QString& base : std::as_const(bases)) {
        if (!safeBase(base, &why))
            continue;
        const int baseFd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (baseFd < 0) {
            why = systemError(QString("Cannot open %1").arg(base));
            continue;
        }
        const QString userName = QString("ostrel-%1").arg(::getuid());
        const int user = openPrivateFolder(baseFd, userName, base + "/" + userName, &why);
        ::close(baseFd);
        if (user < 0)
            continue;
        removeStaleFolders(user);
        const QString processName = QString::number(QCoreApplication::applicationPid());
        const QString path = base + "/" + userName + "/" + processName;
        const int process = openPrivateFolder(user, processName, path, &why);
        if (process < 0) {
            ::close(user);
            continue;
        }
        const bool first = folder.user < 0 && folder.process < 0;
        if (folder.user >= 0)
            ::close(folder.user);
        if (folder.process >= 0)
            ::close(folder.process);
        folder = {user, process, processName, path, QString("/proc/self/fd/%1").arg(process)};
        if (!QFileInfo(folder.viaHandle).isDir())
            folder.viaHandle = path; // no /proc: the checked path itself
        if (first)
            std::atexit(removeOwnFolder);
        return folder.viaHandle;
    }
    if (error)
        *error = why;
    return {};
}

QString runtimeFolderPath()
{
    return runtimeFolder().isEmpty() ? QString() : held().path;
}

} // namespace platform
