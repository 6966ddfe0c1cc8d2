#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>

// Splits bytes into lines of at most `maxLine` bytes. A longer line is cut
// there: its first `maxLine` bytes are given as cut, the rest up to its
// newline is dropped, so nothing a peer sends can make the buffer grow.
class LineReader {
public:
    explicit LineReader(qsizetype maxLine) : max_(maxLine) {}
    // Calls `take(line, cut)` for each line completed by `bytes` (without
    // its newline).
    void feed(QByteArrayView bytes, const std::function<void(const QByteArray&, bool)>& take);
    // The unfinished last line, if any, as a line of its own.
    void finish(const std::function<void(const QByteArray&, bool)>& take);

private:
    qsizetype max_;
    QByteArray pending_;
    bool skipping_ = false; // inside a line that was cut
};

// One output stream of the applet's host (its messages or its error
// output), through a pipe of our own rather than QProcess's: it is read at
// most `bytesPerSecond` at a time, and past that it is left to fill, so a
// host that floods it waits instead of taking Ostrel's CPU and memory.
class HostPipe : public QObject {
    Q_OBJECT
public:
    HostPipe(qsizetype maxLine, qsizetype bytesPerSecond, QObject* parent = nullptr);
    ~HostPipe() override;

    // Makes the pipe; false, with the reason, when it cannot.
    bool open(QString* error);
    // The end the host writes to (for its start-up, to put on 1 or 2), and
    // letting go of it here once the host has it.
    int writeEnd() const { return write_; }
    void closeWriteEnd();
    // Reads what the host left in the pipe (after it ended), within the
    // pipe's own capacity.
    void drain();

signals:
    void line(const QByteArray& text, bool cut);

private:
    void readSome(qsizetype limit);
    void onReadable();

    LineReader reader_;
    qsizetype perTick_; // bytes a tick (a tenth of a second) may bring
    qsizetype readThisTick_ = 0;
    int read_ = -1;
    int write_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer tick_;
};
