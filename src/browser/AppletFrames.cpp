// The applet host's frame buffer: a sealed memfd, mapped read-only here.
#include "AppletFrames.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

AppletFrames::~AppletFrames()
{
    if (data_)
        ::munmap(data_, size_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool AppletFrames::create(std::size_t bytes, QString* error)
{
    const auto fail = [error](const char* what) {
        *error = QString("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    fd_ = ::memfd_create("ostrel-applet-frames", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd_ < 0)
        return fail("no shared memory for the applet's pictures");
    if (::ftruncate(fd_, static_cast<off_t>(bytes)) != 0)
        return fail("no room for the applet's pictures");
    // Sealed before the host ever sees it: its size is fixed for good.
    if (::fcntl(fd_, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0)
        return fail("the applet's pictures cannot be sealed");
    void* mapped = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd_, 0);
    if (mapped == MAP_FAILED)
        return fail("the applet's pictures cannot be mapped");
    data_ = static_cast<unsigned char*>(mapped);
    size_ = bytes;
    return true;
}
