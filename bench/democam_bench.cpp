// democam_bench: the demo camera serving 1, 8 and 32 stream viewers at once
// (640x480, 25 frames a second): frames a second each viewer receives, the
// server's CPU use and its memory.
#include "ProcessStats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kWarmUpMs = 1500;
constexpr int kMeasureMs = 5000;

// A viewer that counts the frames of the stream it reads.
class Viewer {
public:
    explicit Viewer(quint16 port)
    {
        QObject::connect(&socket_, &QTcpSocket::connected,
                         [this] { socket_.write("GET /stream.mjpg HTTP/1.1\r\nHost: bench\r\n\r\n"); });
        QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
            static const QByteArray marker = "--ostrelframe\r\n";
            const QByteArray bytes = tail_ + socket_.readAll();
            for (qsizetype at = bytes.indexOf(marker); at >= 0; at = bytes.indexOf(marker, at + 1))
                ++frames_;
            tail_ = bytes.right(marker.size() - 1);
        });
        socket_.connectToHost("127.0.0.1", port);
    }
    long frames() const { return frames_; }

private:
    QTcpSocket socket_;
    QByteArray tail_;
    long frames_ = 0;
};

// Lets the viewers read for a while.
void run(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool measure(int clients)
{
    QProcess server;
    server.start(OSTREL_DEMOCAM, {"--port", "0", "--size", "640x480", "--fps", "25", "--max-clients", "64"});
    quint16 port = 0;
    QElapsedTimer clock;
    clock.start();
    QByteArray said;
    while (!port && clock.elapsed() < 10000 && server.state() != QProcess::NotRunning) {
        server.waitForReadyRead(100);
        said += server.readAllStandardOutput();
        const auto m = QRegularExpression("listening on http://[^:]+:(\\d+)/").match(QString(said));
        if (m.hasMatch())
            port = static_cast<quint16>(m.captured(1).toUInt());
    }
    if (!port) {
        std::fprintf(stderr, "democam_bench: the server did not start: %s\n", server.readAllStandardError().constData());
        return false;
    }
    const qint64 pid = server.processId();
    std::vector<std::unique_ptr<Viewer>> viewers;
    for (int i = 0; i < clients; ++i)
        viewers.push_back(std::make_unique<Viewer>(port));
    run(kWarmUpMs);
    std::vector<long> before;
    for (const auto& v : viewers)
        before.push_back(v->frames());
    const double cpuBefore = benchstats::cpuSeconds(pid);
    clock.restart();
    run(kMeasureMs);
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    const double cpu = (benchstats::cpuSeconds(pid) - cpuBefore) / seconds * 100.0;
    double least = 1e9;
    double total = 0;
    for (std::size_t i = 0; i < viewers.size(); ++i) {
        const double fps = static_cast<double>(viewers[i]->frames() - before[i]) / seconds;
        least = std::min(least, fps);
        total += fps;
    }
    std::printf("%7d  %12.1f  %12.1f  %12.1f  %10.1f  %10.1f\n", clients, total / clients, least, cpu,
                benchstats::statusMiB(pid, "VmRSS"), benchstats::statusMiB(pid, "VmHWM"));
    std::fflush(stdout);
    viewers.clear();
    server.terminate();
    server.waitForFinished(5000);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("ostrel-democam at 640x480, 25 frames a second (goals: 25 fps to each of 32 viewers,\n"
                "under 30 %% of one core, under 60 MiB)\n\n");
    std::printf("viewers  fps (average)  fps (lowest)  server CPU %%  RSS (MiB)  peak (MiB)\n");
    for (int clients : {1, 8, 32})
        if (!measure(clients))
            return 1;
    return 0;
}
