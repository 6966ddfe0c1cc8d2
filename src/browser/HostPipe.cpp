// Reading the applet host's output with bounds on line length and rate.
#include "HostPipe.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kTickMs = 100;
constexpr qsizetype kChunk = 16384;
} // namespace

void LineReader::feed(QByteArrayView bytes, const std::function<void(const QByteArray&, bool)>& take)
{
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView part = end < 0 ? bytes : bytes.first(end);
        if (!skipping_) {
            const qsizetype room = max_ - pending_.size();
            pending_.append(part.first(std::min(room, part.size())));
            if (part.size() > room) {
                take(pending_, true);
                pending_.clear();
                skipping_ = true;
            }
        }
        if (end < 0)
            return;
        if (!skipping_)
            take(pending_, false);
        pending_.clear();
        skipping_ = false;
        bytes = bytes.sliced(end + 1);
    }
}

void LineReader::finish(const std::function<void(const QByteArray&, bool)>& take)
{
    if (!pending_.isEmpty())
        take(pending_, false);
    pending_.clear();
    skipping_ = false;
}

HostPipe::HostPipe(qsizetype maxLine, qsizetype bytesPerSecond, QObject* parent)
    : QObject(parent), reader_(maxLine), perTick_(std::max<qsizetype>(bytesPerSecond * kTickMs / 1000, 1))
{
    tick_.setSingleShot(true);
    connect(&tick_, &QTimer::timeout, this, [this] {
        readThisTick_ = 0;
        if (notifier_)
            notifier_->setEnabled(true);
    });
}

HostPipe::~HostPipe()
{
    notifier_.reset();
    closeWriteEnd();
    if (read_ >= 0)
        ::close(read_);
}

bool HostPipe::open(QString* error)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    read_ = ends[0];
    write_ = ends[1];
    ::fcntl(read_, F_SETFL, ::fcntl(read_, F_GETFL) | O_NONBLOCK);
    notifier_ = std::make_unique<QSocketNotifier>(read_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &HostPipe::onReadable);
    return true;
}

void HostPipe::closeWriteEnd()
{
    if (write_ >= 0)
        ::close(write_);
    write_ = -1;
}

void HostPipe::onReadable()
{
    readSome(perTick_ - readThisTick_);
    if (readThisTick_ >= perTick_) {
        // This tick's share is used up: the pipe waits (and fills) until the next.
        notifier_->setEnabled(false);
        if (!tick_.isActive())
            tick_.start(kTickMs);
    } else if (!tick_.isActive()) {
        tick_.start(kTickMs);
    }
}

void HostPipe::readSome(qsizetype limit)
{
    char buffer[kChunk];
    while (limit > 0 && read_ >= 0) {
        const ssize_t n = ::read(read_, buffer, static_cast<size_t>(std::min(limit, kChunk)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0) { // the host and everything it started are gone
                notifier_.reset();
                reader_.finish([this](const QByteArray& text, bool cut) { emit line(text, cut); });
            }
            return;
        }
        readThisTick_ += n;
        limit -= n;
        reader_.feed(QByteArrayView(buffer, n), [this](const QByteArray& text, bool cut) { emit line(text, cut); });
    }
}

void HostPipe::drain()
{
    readSome(65536);
}
