// live_bench: the live picture as a person at the desktop gets it, the real
// ostrel program beside plain players of the same stream (mpv, ffplay, where
// installed). The demo camera sends 640x480 at 25 frames a second; each
// player runs in turn on a private X display (Xvfb and openbox), the runs
// alternating, and for each the figures are read as a person would meet
// them: from the program's start to the camera's picture on the screen, the
// distinct pictures the screen shows a second, how long after a frame came
// from the camera it is on the screen, and the CPU and memory (PSS) of the
// whole process tree (for the viewer: the page engine, the applet
// host, its X server and sandbox). Then the viewer minimised, whose tree
// should then be all but idle.
//
//   live_bench [RUNS] [SECONDS]     (3 runs of 10 seconds each by default)
//
// The players get this program's environment: QTWEBENGINE_CHROMIUM_FLAGS or
// QT_QUICK_BACKEND set for it reach the viewer, to measure their effect.
#include "ProcessStats.h"
#include "support/Desktop.h"
#include "support/X11Session.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Player {
    QString name;
    QString program;
    QStringList arguments;
    int viewSizeIndex = -1; // the viewer's remembered view size; -1 for others
};

struct Figures {
    double firstFrameMs = -1;
    double picturesPerSecond = 0;
    double lagMs = -1; // median, from a frame's arrival to its picture on the screen
    double cpuPercent = 0;
    double pssMiB = 0;
    double minimisedCpuPercent = -1; // measured for the viewer only
    double minimisedHostCpuPercent = -1; // of that, the applet host's
};

// Pixels of the camera's colour bars (the caption band and any black around
// them are not).
bool coloured(QRgb pixel)
{
    const QColor c = QColor::fromRgb(pixel);
    return c.hsvSaturation() > 100 && c.value() > 100;
}

// The bounding box of the coloured pixels of a grab of `area`, or an empty
// rectangle while fewer than `least` of them are on the screen.
QRect colouredBox(const QRect& area, int least)
{
    const QImage image = desktop::grab(area);
    int count = 0;
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int first = -1;
        int last = -1;
        for (int x = 0; x < image.width(); ++x)
            if (coloured(row[x])) {
                ++count;
                last = x;
                if (first < 0)
                    first = x;
            }
        if (first >= 0)
            box |= QRect(first, y, last - first + 1, 1);
    }
    return count >= least ? box.translated(area.topLeft()) : QRect();
}

// The demo camera's bars move 4 pixels (of 640) a frame, so where they stand
// tells a frame from the 159 before it. The position of the white bar's left
// edge (black to its left) in a row of a picture `scale` times the camera's
// size, as a frame number modulo 160; -1 where the row shows no bars.
constexpr int kFramesTold = 160;
int frameOfBars(const QImage& picture, int y, double scale)
{
    const auto light = [](QRgb p) { return qRed(p) > 175 && qGreen(p) > 175 && qBlue(p) > 175; };
    const auto dark = [](QRgb p) { return qRed(p) < 80 && qGreen(p) < 80 && qBlue(p) < 80; };
    const QImage row = picture.copy(0, y, picture.width(), 1).convertToFormat(QImage::Format_RGB32);
    const auto* pixels = reinterpret_cast<const QRgb*>(row.constScanLine(0));
    bool anyLight = false;
    for (int x = 0; x < row.width(); ++x) {
        anyLight |= light(pixels[x]);
        if (x > 0 && light(pixels[x]) && dark(pixels[x - 1]))
            return static_cast<int>(std::lround(x / scale / 4.0)) % kFramesTold;
    }
    return anyLight ? 0 : -1; // the white bar begins at the left edge
}

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One more viewer of the stream, on a thread of its own: when each frame
// came, by the frame number its bars tell.
class StreamClock {
public:
    explicit StreamClock(quint16 port) : thread_([this, port] { read(port); }) {}
    ~StreamClock()
    {
        stop_ = true;
        thread_.join();
    }
    // When the frame the bars tell came (steady clock), or -1.
    std::int64_t arrivedNs(int frame)
    {
        std::lock_guard lock(mutex_);
        return frame >= 0 ? arrived_[static_cast<std::size_t>(frame)] : -1;
    }

private:
    void read(quint16 port)
    {
        QTcpSocket socket;
        socket.connectToHost("127.0.0.1", port);
        if (!socket.waitForConnected(5000))
            return;
        socket.write("GET /stream.mjpg HTTP/1.0\r\n\r\n");
        QByteArray buffer;
        while (!stop_) {
            if (!socket.waitForReadyRead(100))
                continue;
            buffer += socket.readAll();
            const std::int64_t came = nowNs();
            // Each part is one JPEG file, from its start marker to its end marker.
            for (;;) {
                const qsizetype start = buffer.indexOf("\xff\xd8");
                const qsizetype end = start < 0 ? -1 : buffer.indexOf("\xff\xd9", start + 2);
                if (end < 0)
                    break;
                const QImage frame = QImage::fromData(buffer.mid(start, end + 2 - start), "JPG");
                buffer.remove(0, end + 2);
                const int number = frame.isNull() ? -1 : frameOfBars(frame, 2, 1.0);
                std::lock_guard lock(mutex_);
                if (number >= 0)
                    arrived_[static_cast<std::size_t>(number)] = came;
            }
        }
    }

    std::atomic<bool> stop_ = false;
    std::mutex mutex_;
    std::array<std::int64_t, kFramesTold> arrived_{};
    std::thread thread_;
};

// The median of `values` (sorted in place).
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// CPU of the process tree below (and with) `root` over `ms` milliseconds,
// in per cent of one core, while `during` is called as often as it returns.
double treeCpuOver(qint64 root, int ms, const std::function<void()>& during = {})
{
    const double before = benchstats::treeCpuSeconds(root);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (during)
            during();
        else
            desktop::pause(50);
    }
    return (benchstats::treeCpuSeconds(root) - before) / (static_cast<double>(clock.elapsed()) / 1000.0) * 100.0;
}

// The applet host (the Java runtime) among the viewer's processes.
qint64 hostOf(qint64 viewer)
{
    for (qint64 pid : benchstats::processTree(viewer)) {
        QFile name(QString("/proc/%1/comm").arg(pid));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "java")
            return pid;
    }
    return -1;
}

class Bench {
public:
    Bench(int seconds, StreamClock& clock) : seconds_(seconds), stream_(clock) {}

    Figures run(const Player& player)
    {
        Figures figures;
        QTemporaryDir home;
        QProcess process;
        process.setProcessEnvironment(environmentFor(player, home));
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer sinceStart;
        sinceStart.start();
        process.start(player.program, player.arguments);
        if (!process.waitForStarted(5000)) {
            std::fprintf(stderr, "live_bench: cannot start %s\n", qPrintable(player.program));
            return figures;
        }
        const qint64 pid = process.processId();
        const QSize picture = player.viewSizeIndex == 2 ? QSize(320, 240) : QSize(640, 480);
        const int least = picture.width() * picture.height() / 3;
        QRect box;
        QString window;
        (void)desktop::waitFor(
            [&] {
                if (window.isEmpty()) {
                    const QStringList windows = desktop::windowsOf(pid, true);
                    window = windows.value(0);
                    if (window.isEmpty())
                        return false;
                }
                box = colouredBox(desktop::window(window).client, least);
                return !box.isEmpty();
            },
            30000);
        if (box.isEmpty()) {
            std::fprintf(stderr, "live_bench: %s showed no picture in 30 s\n", qPrintable(player.name));
            stop(process);
            return figures;
        }
        figures.firstFrameMs = static_cast<double>(sinceStart.elapsed());
        desktop::pause(2000);
        // The picture: the viewer's view below its button row and the page's
        // margin, the players' whole window.
        const QRect client = desktop::window(window).client;
        box = player.viewSizeIndex >= 0 ? QRect(client.topLeft() + QPoint(8, 29), picture) : client;

        // Distinct pictures: the bars move with every frame the camera sends,
        // and the screen is read far more often than 25 times a second. A
        // picture counts once two reads in a row show it, so that a read in
        // the middle of an update is not taken for a picture of its own.
        // Each picture's lag: from its frame's arrival to the first read
        // that showed it.
        int pictures = 0;
        std::size_t counted = 0;
        std::size_t previous = 0;
        std::int64_t previousReadNs = 0;
        std::vector<double> lags;
        QElapsedTimer clock;
        clock.start();
        const double scale = box.width() / 640.0;
        figures.cpuPercent = treeCpuOver(pid, seconds_ * 1000, [&] {
            const std::int64_t readNs = nowNs();
            const QImage now = desktop::grab(box);
            const std::size_t hash = qHashBits(now.constBits(), static_cast<std::size_t>(now.sizeInBytes()));
            if (hash == previous && hash != counted) {
                ++pictures;
                counted = hash;
                const std::int64_t arrived = stream_.arrivedNs(frameOfBars(now, 2, scale));
                if (arrived > 0 && arrived <= previousReadNs)
                    lags.push_back(static_cast<double>(previousReadNs - arrived) / 1e6);
            }
            previous = hash;
            previousReadNs = readNs;
            QCoreApplication::processEvents();
            QThread::usleep(2000);
        });
        figures.lagMs = median(lags);
        figures.picturesPerSecond = pictures / (static_cast<double>(clock.elapsed()) / 1000.0);
        figures.pssMiB = benchstats::treePssMiB(pid);

        if (player.viewSizeIndex >= 0) {
            // Minimised, the applet runs on as a browser keeps it (reading
            // and decoding the stream); what the viewer adds is the rest.
            desktop::run("xdotool", {"windowminimize", window});
            desktop::pause(1000);
            const qint64 host = hostOf(pid);
            const double hostBefore = host > 0 ? benchstats::treeCpuSeconds(host) : 0;
            QElapsedTimer minimised;
            minimised.start();
            figures.minimisedCpuPercent = treeCpuOver(pid, 5000);
            const double hostSeconds = host > 0 ? benchstats::treeCpuSeconds(host) - hostBefore : 0;
            figures.minimisedHostCpuPercent = hostSeconds / (static_cast<double>(minimised.elapsed()) / 1000.0) * 100.0;
        }
        stop(process);
        return figures;
    }

private:
    QProcessEnvironment environmentFor(const Player& player, const QTemporaryDir& home) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (player.viewSizeIndex < 0)
            return environment;
        // The viewer with a home of its own, remembering the view size.
        QDir(home.path()).mkpath(".config/ostrel");
        QDir(home.path()).mkpath("run");
        QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile settings(home.filePath(".config/ostrel/settings.conf"));
        if (settings.open(QIODevice::WriteOnly))
            settings.write(QString("[size]\nindex=%1\n").arg(player.viewSizeIndex).toLatin1());
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        environment.insert("XDG_RUNTIME_DIR", home.filePath("run"));
        return environment;
    }

    static void stop(QProcess& process)
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
        desktop::pause(500); // the engine's and host's processes end after it
    }

    int seconds_;
    StreamClock& stream_;
};

} // namespace

int main(int argc, char* argv[])
{
    const int runs = argc > 1 ? std::max(1, QString(argv[1]).toInt()) : 3;
    const int seconds = argc > 2 ? std::max(2, QString(argv[2]).toInt()) : 10;
    testsupport::X11Session session(false);
    if (!session.error().isEmpty()) {
        std::fprintf(stderr, "live_bench: %s\n", qPrintable(session.error()));
        return 1;
    }
    QGuiApplication app(argc, argv);

    QProcess camera;
    camera.start(OSTREL_DEMOCAM, {"--port", "0", "--size", "640x480", "--fps", "25"});
    camera.waitForReadyRead(10000);
    const auto found = QRegularExpression(":(\\d+)/").match(QString(camera.readAllStandardOutput()));
    if (!found.hasMatch()) {
        std::fprintf(stderr, "live_bench: the demo camera did not start\n");
        return 1;
    }
    const QString port = found.captured(1);
    const QString stream = QString("http://127.0.0.1:%1/stream.mjpg").arg(port);

    std::vector<Player> players = {
        {"Ostrel 320x240", OSTREL_BINARY, {"-host", "127.0.0.1", "-port", port}, 2},
        {"Ostrel 640x480", OSTREL_BINARY, {"-host", "127.0.0.1", "-port", port}, 3},
    };
    if (const QString mpv = QStandardPaths::findExecutable("mpv"); !mpv.isEmpty())
        players.push_back({"mpv", mpv, {"--vo=x11", "--profile=low-latency", "--no-audio", "--really-quiet", stream}});
    if (const QString ffplay = QStandardPaths::findExecutable("ffplay"); !ffplay.isEmpty())
        players.push_back({"ffplay", ffplay, {"-fflags", "nobuffer", "-an", "-loglevel", "quiet", stream}});

    StreamClock streamClock(port.toUShort());
    Bench bench(seconds, streamClock);
    std::vector<std::vector<Figures>> results(players.size());
    for (int run = 0; run < runs; ++run)
        for (std::size_t i = 0; i < players.size(); ++i) {
            std::fprintf(stderr, "run %d: %s\n", run + 1, qPrintable(players[i].name));
            results[i].push_back(bench.run(players[i]));
        }

    const auto column = [&](std::size_t i, double Figures::*field) {
        std::vector<double> values;
        for (const Figures& f : results[i])
            values.push_back(f.*field);
        return median(values);
    };
    std::printf("the demo camera at 640x480, 25 frames a second; medians of %d runs of %d s each\n", runs, seconds);
    std::printf("%-16s %8s %11s %8s %9s %12s %10s\n", "", "CPU %", "pictures/s", "lag", "PSS MiB", "first frame",
                "minimised");
    for (std::size_t i = 0; i < players.size(); ++i) {
        const double minimised = column(i, &Figures::minimisedCpuPercent);
        std::printf("%-16s %8.1f %11.1f %5.0f ms %9.0f %9.0f ms", qPrintable(players[i].name),
                    column(i, &Figures::cpuPercent), column(i, &Figures::picturesPerSecond), column(i, &Figures::lagMs),
                    column(i, &Figures::pssMiB), column(i, &Figures::firstFrameMs));
        if (minimised >= 0)
            std::printf(" %8.1f %% (the applet %.1f %%)", minimised, column(i, &Figures::minimisedHostCpuPercent));
        std::printf("\n");
    }
    std::printf("goals for the viewer: CPU 10 %% at 320x240 and 15 %% at 640x480, 24.5 pictures a second, lag 40 and 80 ms, "
                "PSS 130 MiB, minimised 2 %% besides the applet\n");
    camera.terminate();
    camera.waitForFinished();
    return 0;
}
