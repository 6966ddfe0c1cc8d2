// live_bench: the live picture as a person at the desktop gets it, the real
// ostrel program beside plain players of the same stream (mpv, ffplay, where
// installed). The demo camera sends 640x480 at 25 frames a second; each
// player runs in turn on a private X display (Xvfb and openbox), the runs
// alternating, and for each the figures are read as a person would meet
// them: from the program's start to the camera's picture on the screen, the
// distinct pictures the screen shows a second, and the CPU and memory (PSS)
// of the whole process tree (for the viewer: the page engine, the applet
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
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
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
    explicit Bench(int seconds) : seconds_(seconds) {}

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
        box = colouredBox(desktop::window(window).client, least);

        // Distinct pictures: the bars move with every frame the camera sends,
        // and the screen is read far more often than 25 times a second. A
        // picture counts once two reads in a row show it, so that a read in
        // the middle of an update is not taken for a picture of its own.
        int pictures = 0;
        std::size_t counted = 0;
        std::size_t previous = 0;
        QElapsedTimer clock;
        clock.start();
        figures.cpuPercent = treeCpuOver(pid, seconds_ * 1000, [&] {
            const QImage now = desktop::grab(box);
            const std::size_t hash = qHashBits(now.constBits(), static_cast<std::size_t>(now.sizeInBytes()));
            if (hash == previous && hash != counted) {
                ++pictures;
                counted = hash;
            }
            previous = hash;
            desktop::pause(3);
        });
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

    Bench bench(seconds);
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
    std::printf("%-16s %10s %10s %10s %12s %10s\n", "", "CPU %", "pictures/s", "PSS MiB", "first frame", "minimised");
    for (std::size_t i = 0; i < players.size(); ++i) {
        const double minimised = column(i, &Figures::minimisedCpuPercent);
        std::printf("%-16s %10.1f %10.1f %10.0f %9.0f ms", qPrintable(players[i].name), column(i, &Figures::cpuPercent),
                    column(i, &Figures::picturesPerSecond), column(i, &Figures::pssMiB),
                    column(i, &Figures::firstFrameMs));
        if (minimised >= 0)
            std::printf(" %8.1f %% (the applet %.1f %%)", minimised, column(i, &Figures::minimisedHostCpuPercent));
        std::printf("\n");
    }
    std::printf("goals for the viewer: CPU 10 %% at 320x240 and 15 %% at 640x480, 24.5 pictures a second, "
                "PSS 130 MiB, minimised 2 %% besides the applet\n");
    camera.terminate();
    camera.waitForFinished();
    return 0;
}
