// The relay between the sandboxed host and its camera: every byte both ways,
// and a side that does not read holds the other back.
#include "browser/AppletRelay.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A checksum of a byte stream (FNV-1a), and the stream itself: a pattern
// that differs at every byte and repeats only after 251 bytes.
struct Sum {
    std::uint64_t value = 1469598103934665603ULL;
    std::uint64_t bytes = 0;
    void add(const char* data, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            value = (value ^ static_cast<unsigned char>(data[i])) * 1099511628211ULL;
        bytes += n;
    }
};

void pattern(std::vector<char>& chunk, std::uint64_t offset)
{
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>((offset + i) % 251);
}

// Sends `total` bytes of the pattern on `fd`, adding them to `sum`; then
// ends its side of the stream.
void sendPattern(int fd, std::uint64_t total, Sum& sum, std::atomic<std::uint64_t>* sent = nullptr)
{
    std::vector<char> chunk(65536);
    for (std::uint64_t done = 0; done < total;) {
        pattern(chunk, done);
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), total - done));
        const ssize_t w = ::send(fd, chunk.data(), n, MSG_NOSIGNAL);
        if (w <= 0)
            return;
        sum.add(chunk.data(), static_cast<std::size_t>(w));
        done += static_cast<std::uint64_t>(w);
        if (sent)
            *sent = done;
    }
    ::shutdown(fd, SHUT_WR);
}

void receiveAll(int fd, Sum& sum)
{
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        sum.add(buffer, static_cast<std::size_t>(n));
}

// The camera: one TCP connection taken on a loopback port, run by `serve`.
class Camera {
public:
    Camera()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Camera()
    {
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }
    quint16 port() const { return port_; }
    void serve(std::function<void(int)> work)
    {
        thread_ = std::thread([this, work] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            work(fd);
            ::close(fd);
        });
    }

private:
    int listener_;
    quint16 port_ = 0;
    std::thread thread_;
};

// The host's side: a connection to the relay's socket, past its first line.
int connectInside(const QString& path, QByteArray* firstLine)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    for (char c; ::recv(fd, &c, 1, 0) == 1 && c != '\n';)
        *firstLine += c;
    return fd;
}

bool waitFor(const std::function<bool()>& done, int ms = 60000)
{
    return QTest::qWaitFor(done, ms);
}

} // namespace

TEST(AppletRelay, LargeTransfersArriveWholeBothWaysAtOnce)
{
    QTemporaryDir dir;
    Camera camera;
    AppletRelay relay("127.0.0.1", camera.port());
    QString error;
    ASSERT_TRUE(relay.listen(dir.filePath("relay"), &error)) << qPrintable(error);
    constexpr std::uint64_t kDown = 50'000'000;
    constexpr std::uint64_t kUp = 20'000'000;
    Sum cameraSent, cameraGot, hostSent, hostGot;
    std::atomic<bool> cameraDone = false;
    camera.serve([&](int fd) {
        std::thread reader([&] { receiveAll(fd, cameraGot); });
        sendPattern(fd, kDown, cameraSent);
        reader.join();
        cameraDone = true;
    });
    std::atomic<bool> hostDone = false;
    QByteArray first;
    std::thread host([&] {
        const int fd = connectInside(relay.path(), &first);
        std::thread reader([&] { receiveAll(fd, hostGot); });
        sendPattern(fd, kUp, hostSent);
        reader.join();
        ::close(fd);
        hostDone = true;
    });
    EXPECT_TRUE(waitFor([&] { return cameraDone && hostDone; }));
    host.join();
    EXPECT_EQ(first, "ok");
    EXPECT_EQ(hostGot.bytes, kDown);
    EXPECT_EQ(hostGot.value, cameraSent.value);
    EXPECT_EQ(cameraGot.bytes, kUp);
    EXPECT_EQ(cameraGot.value, hostSent.value);
    EXPECT_TRUE(waitFor([&] { return relay.connections() == 0; }, 5000)) << "the connection was not let go";
}

TEST(AppletRelay, ASideThatDoesNotReadHoldsTheOtherBackAndARefusalIsSaid)
{
    QTemporaryDir dir;
    Camera camera;
    AppletRelay relay("127.0.0.1", camera.port());
    QString error;
    ASSERT_TRUE(relay.listen(dir.filePath("relay"), &error)) << qPrintable(error);
    // The camera floods; the host reads nothing for a while.
    std::atomic<std::uint64_t> sent = 0;
    Sum cameraSent, hostGot;
    camera.serve([&](int fd) { sendPattern(fd, 500'000'000, cameraSent, &sent); });
    QByteArray first;
    std::atomic<int> inside = -2;
    std::thread host([&] { inside = connectInside(relay.path(), &first); });
    EXPECT_TRUE(waitFor([&] { return inside != -2; }, 10000));
    host.join();
    ASSERT_GE(inside, 0);
    EXPECT_EQ(first, "ok");
    QTest::qWait(1500);
    // Only what the sockets' own buffers and the relay's hold has left the camera.
    EXPECT_LT(sent.load(), 40'000'000u);
    ::shutdown(inside, SHUT_RDWR);
    ::close(inside);
    EXPECT_TRUE(waitFor([&] { return relay.connections() == 0; }, 5000));

    // A camera that is not there: the host hears why.
    AppletRelay refused("127.0.0.1", 1); // nothing listens on port 1
    ASSERT_TRUE(refused.listen(dir.filePath("refused"), &error)) << qPrintable(error);
    QByteArray reason;
    std::atomic<bool> heard = false;
    std::thread other([&] {
        ::close(connectInside(refused.path(), &reason));
        heard = true;
    });
    EXPECT_TRUE(waitFor([&] { return heard.load(); }, 10000));
    other.join();
    EXPECT_EQ(reason, "error connection refused");
}
