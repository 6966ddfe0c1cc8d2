// The numbered errors the components raise, and the file errors made from errno.
#include "NumberedError.h"

#include <cerrno>
#include <cstring>

namespace platform {

NumberedError::NumberedError(int number, const QString& description)
    : std::runtime_error(description.toStdString()), number_(number), description_(description)
{
}

NumberedError NumberedError::overflow() { return {6, "Overflow"}; }

NumberedError NumberedError::outOfMemory() { return {7, "Out of memory"}; }

NumberedError NumberedError::subscriptOutOfRange() { return {9, "Subscript out of range"}; }

NumberedError NumberedError::fileError(int errnoValue, const QString& path)
{
    // The classic file error numbers, so callers can tell the kinds apart;
    // the text is always the system's own message with the path in front.
    int number = 75; // path/file access error
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
        number = 76; // path not found
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        number = 70; // permission denied
        break;
    case ENOSPC:
    case EDQUOT:
        number = 61; // disk full
        break;
    default:
        break;
    }
    return {number, path + ": " + QString::fromLocal8Bit(std::strerror(errnoValue))};
}

} // namespace platform
