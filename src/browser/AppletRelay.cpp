// The applet sandbox's one way out: a Unix socket relayed to its code base's host and port only.
#include "AppletRelay.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kConnectTimeoutMs = 10000;
constexpr std::size_t kBufferBytes = 64 * 1024;

// One direction of a connection: what was read from one side and not yet
// written to the other.
struct Direction {
    int from = -1;
    int to = -1;
    std::array<char, kBufferBytes> buffer{};
    std::size_t start = 0; // first byte not yet written
    std::size_t end = 0;   // one past the last byte read
    bool ended = false;    // `from` has no more to send
    bool passedOn = false; // and `to` has been told so

    bool empty() const { return start == end; }
    bool full() const { return end == buffer.size(); }
};

// A relayed connection: `inside` (the host's Unix socket) and `outside`
// (the TCP connection to the code base), pumped by socket notifiers.
class Connection : public QObject {
public:
    Connection(int inside, const QString& host, quint16 port, QObject* parent) : QObject(parent), inside_(inside)
    {
        connecting_ = new QTcpSocket(this);
        connect(connecting_, &QTcpSocket::connected, this, &Connection::connected);
        connect(connecting_, &QTcpSocket::errorOccurred, this, [this] {
            if (!connecting_)
                return;
            QString reason = connecting_->errorString();
            refuse(reason.left(1).toLower() + reason.mid(1));
        });
        QTimer::singleShot(kConnectTimeoutMs, this, [this] {
            if (connecting_)
                refuse("the camera does not answer (timed out)");
        });
        connecting_->connectToHost(host, port);
    }
    ~Connection() override
    {
        for (int fd : {inside_, outside_})
            if (fd >= 0)
                ::close(fd);
    }

private:
    // The inside first hears whether the outside could connect: "ok", or
    // "error REASON"; nothing of the inside is read before.
    void connected()
    {
        outside_ = ::fcntl(static_cast<int>(connecting_->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
        connecting_->abort(); // its descriptor is closed; ours stays connected
        connecting_->deleteLater();
        connecting_ = nullptr;
        if (outside_ < 0) {
            finish();
            return;
        }
        ::fcntl(outside_, F_SETFL, ::fcntl(outside_, F_GETFL) | O_NONBLOCK);
        up_.from = inside_;
        up_.to = outside_;
        down_.from = outside_;
        down_.to = inside_;
        std::memcpy(down_.buffer.data(), "ok\n", 3);
        down_.end = 3;
        readInside_ = notifier(inside_, QSocketNotifier::Read, up_);
        writeOutside_ = notifier(outside_, QSocketNotifier::Write, up_);
        readOutside_ = notifier(outside_, QSocketNotifier::Read, down_);
        writeInside_ = notifier(inside_, QSocketNotifier::Write, down_);
        pump(down_);
    }

    void refuse(const QString& reason)
    {
        if (!connecting_)
            return;
        connecting_->abort();
        connecting_->deleteLater();
        connecting_ = nullptr;
        const QByteArray line = "error " + reason.toUtf8().left(900) + "\n";
        (void)::send(inside_, line.constData(), static_cast<size_t>(line.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        finish();
    }

    QSocketNotifier* notifier(int fd, QSocketNotifier::Type type, Direction& direction)
    {
        auto* n = new QSocketNotifier(fd, type, this);
        connect(n, &QSocketNotifier::activated, this, [this, &direction] { pump(direction); });
        return n;
    }

    // Moves what it can of one direction, then sets which notifiers wait.
    void pump(Direction& d)
    {
        for (bool moved = true; moved && !done_;) {
            moved = false;
            if (!d.ended && !d.full()) {
                const ssize_t n = ::recv(d.from, d.buffer.data() + d.end, d.buffer.size() - d.end, 0);
                if (n > 0) {
                    d.end += static_cast<std::size_t>(n);
                    moved = true;
                } else if (n == 0) {
                    d.ended = true;
                } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    finish(); // reset: both ends go
                    return;
                }
            }
            if (!d.empty()) {
                const ssize_t n = ::send(d.to, d.buffer.data() + d.start, d.end - d.start, MSG_NOSIGNAL);
                if (n > 0) {
                    d.start += static_cast<std::size_t>(n);
                    if (d.empty())
                        d.start = d.end = 0;
                    moved = true;
                } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    finish();
                    return;
                }
            }
        }
        if (d.ended && d.empty() && !d.passedOn) {
            ::shutdown(d.to, SHUT_WR);
            d.passedOn = true;
        }
        if (up_.passedOn && down_.passedOn) {
            finish();
            return;
        }
        readInside_->setEnabled(!up_.ended && !up_.full());
        writeOutside_->setEnabled(!up_.empty());
        readOutside_->setEnabled(!down_.ended && !down_.full());
        writeInside_->setEnabled(!down_.empty());
    }

    void finish()
    {
        if (done_)
            return;
        done_ = true;
        for (QSocketNotifier* n : {readInside_, writeOutside_, readOutside_, writeInside_})
            if (n)
                n->setEnabled(false);
        deleteLater();
    }

    int inside_;
    int outside_ = -1;
    QTcpSocket* connecting_ = nullptr;
    Direction up_;   // the host to the camera
    Direction down_; // the camera to the host
    QSocketNotifier* readInside_ = nullptr;
    QSocketNotifier* writeOutside_ = nullptr;
    QSocketNotifier* readOutside_ = nullptr;
    QSocketNotifier* writeInside_ = nullptr;
    bool done_ = false;
};

} // namespace

AppletRelay::AppletRelay(const QString& host, quint16 port, QObject* parent)
    : QObject(parent), host_(host), port_(port)
{
}

AppletRelay::~AppletRelay()
{
    incoming_.reset();
    if (listener_ >= 0) {
        ::close(listener_);
        QFile::remove(path_);
    }
}

bool AppletRelay::listen(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(name.size()) >= sizeof address.sun_path) {
        *error = QString("the relay's socket name is too long (%1)").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    ::unlink(name.constData());
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(name.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(listener_, 16) != 0) {
        *error = QString("the relay cannot listen at %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    path_ = path;
    incoming_ = std::make_unique<QSocketNotifier>(listener_, QSocketNotifier::Read);
    connect(incoming_.get(), &QSocketNotifier::activated, this, &AppletRelay::accept);
    return true;
}

int AppletRelay::connections() const
{
    return static_cast<int>(findChildren<QObject*>(QString(), Qt::FindDirectChildrenOnly).size());
}

void AppletRelay::accept()
{
    for (;;) {
        const int inside = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (inside < 0)
            return;
        if (connections() >= kMostConnections) {
            static constexpr char kTooMany[] = "error too many connections at once\n";
            (void)::send(inside, kTooMany, sizeof kTooMany - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(inside);
            continue;
        }
        new Connection(inside, host_, port_, this);
    }
}
