// Applet output on Ostrel's error output: plain text, bounded, never blocking.
#include "AppletOutput.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include <cerrno>
#include <unistd.h>

namespace appletoutput {

namespace {

constexpr qsizetype kQueueBytes = 64 * 1024;

bool shown(QChar c)
{
    if (c == '\t')
        return true;
    const QChar::Category category = c.category();
    return category != QChar::Other_Control && category != QChar::Other_Format;
}

// The one writer thread: takes queued text and writes it, however long the
// error output takes. It is never joined (it may wait on a pipe nobody
// reads); at exit what is queued gets a short moment.
class Writer {
public:
    static Writer& instance()
    {
        static Writer* writer = [] {
            auto* w = new Writer;
            std::thread([w] { w->run(); }).detach();
            std::atexit([] { instance().flush(std::chrono::milliseconds(200)); });
            return w;
        }();
        return *writer;
    }

    bool push(const QByteArray& text)
    {
        std::lock_guard lock(mutex_);
        if (queued_ + text.size() > kQueueBytes)
            return false;
        queue_.push_back(text);
        queued_ += text.size();
        wake_.notify_one();
        return true;
    }

private:
    void run()
    {
        for (;;) {
            QByteArray text;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !queue_.empty(); });
                text = queue_.front();
            }
            for (qsizetype done = 0; done < text.size();) {
                const ssize_t n = ::write(STDERR_FILENO, text.constData() + done, static_cast<size_t>(text.size() - done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break; // the error output is gone: the text is dropped
                done += n;
            }
            std::lock_guard lock(mutex_);
            queue_.pop_front();
            queued_ -= text.size();
            if (queue_.empty())
                empty_.notify_all();
        }
    }

    void flush(std::chrono::milliseconds most)
    {
        std::unique_lock lock(mutex_);
        empty_.wait_for(lock, most, [this] { return queue_.empty(); });
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable empty_;
    std::deque<QByteArray> queue_;
    qsizetype queued_ = 0;
};

} // namespace

QByteArray printable(QByteArrayView line, qsizetype maxChars)
{
    const QString text = QString::fromUtf8(line);
    QString kept;
    kept.reserve(std::min(text.size(), maxChars + 1));
    for (QChar c : text) {
        if (!shown(c))
            continue;
        if (kept.size() == maxChars) {
            kept += QChar(0x2026);
            break;
        }
        kept += c;
    }
    return kept.toUtf8();
}

bool LineBudget::take(qint64 nowMs)
{
    if (lastMs_ >= 0)
        tokens_ = std::min(burst_, tokens_ + static_cast<double>(nowMs - lastMs_) * perSecond_ / 1000.0);
    lastMs_ = nowMs;
    if (tokens_ < 1.0)
        return false;
    tokens_ -= 1.0;
    return true;
}

bool write(const QByteArray& text)
{
    return Writer::instance().push(text);
}

} // namespace appletoutput
