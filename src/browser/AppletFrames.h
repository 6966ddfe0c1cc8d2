#pragma once

#include <QString>

#include <cstddef>

// The memory an applet's host paints its frames into and Ostrel reads them
// from: anonymous shared memory (a memfd) of one fixed size, sealed so that
// the host can neither shrink it (which would make reading it crash Ostrel)
// nor grow it (which would take the user's memory). The host reaches it as
// an inherited descriptor; nothing of it is on disk.
class AppletFrames {
public:
    AppletFrames() = default;
    AppletFrames(const AppletFrames&) = delete;
    AppletFrames& operator=(const AppletFrames&) = delete;
    ~AppletFrames();

    // Makes the buffer; false, with the reason, when it cannot be had.
    bool create(std::size_t bytes, QString* error);
    int descriptor() const { return fd_; }
    const unsigned char* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    int fd_ = -1;
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};
