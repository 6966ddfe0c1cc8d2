#include "RuntimeFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdlib>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Makes `path` as a private folder of ours, or checks that it already is one.
bool privateFolder(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QString("Cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & 0077) != 0) {
        if (error)
            *error = QString("%1 is not a private folder of this user.").arg(path);
        return false;
    }
    return true;
}

QString& cachedFolder()
{
    static QString folder;
    return folder;
}

void removeFolder()
{
    if (!cachedFolder().isEmpty())
        QDir(cachedFolder()).removeRecursively();
}

} // namespace

QString runtimeFolder(QString* error)
{
    QString& folder = cachedFolder();
    if (!folder.isEmpty() && QDir(folder).exists())
        return folder;
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QDir(base).exists())
        base = QDir::tempPath();
    const QString user = QString("%1/ostrel-%2").arg(base).arg(::getuid());
    const QString process = QString("%1/%2").arg(user).arg(QCoreApplication::applicationPid());
    if (!privateFolder(user, error) || !privateFolder(process, error))
        return {};
    if (folder.isEmpty())
        std::atexit(removeFolder);
    folder = process;
    return folder;
}

} // namespace platform
