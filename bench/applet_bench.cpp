// applet_bench: the live picture's figures. The demo camera at 640x480 and
// 25 frames a second, shown by the viewer (in this process, on the offscreen
// platform; the applet host runs on its own hidden X server as always):
// from the start of the program to the first frame, from a page rebuild to
// the new first frame, the frames' way from the host's capture to the viewer,
// the viewer's CPU use while showing them, and the host's memory (PSS of the
// host and everything it started).
#include "ProcessStats.h"
#include "browser/AppletHost.h"
#include "browser/AppletView.h"
#include "browser/JavaRuntime.h"
#include "browser/WebBrowser.h"
#include "viewer/frmOstrel.h"
#include "viewer/frmOstrelProbe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

// Waits until `ready` holds, in a real event loop. QTest::qWaitFor sleeps
// 10 ms between its rounds, and the page engine needs many rounds of the
// event loop for one page: measured that way a page took a second to load.
template <typename Predicate> bool waitUntil(Predicate ready, int timeoutMs)
{
    if (ready())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (ready())
            loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return ready();
}

// The box of a host other than `oldHost` once it shows a picture.
AppletView* firstFrame(frmOstrel& window, qint64 oldHost, int timeoutMs)
{
    AppletView* found = nullptr;
    const bool shown = waitUntil(
        [&] {
            const auto views = probe(window).WebBrowser1->applets();
            found = views.isEmpty() ? nullptr : views.first();
            return found && found->host().hostProcessId() != oldHost && !found->picture().isNull();
        },
        timeoutMs);
    return shown ? found : nullptr;
}

} // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    WebBrowser::prepareEngine(); // as the program sets the engine up
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);

    QProcess camera;
    camera.start(OSTREL_DEMOCAM, {"--port", "0", "--size", "640x480", "--fps", "25"});
    camera.waitForReadyRead(10000);
    const auto port = QRegularExpression(":(\\d+)/").match(QString(camera.readAllStandardOutput()));
    if (!port.hasMatch()) {
        std::fprintf(stderr, "applet_bench: the demo camera did not start\n");
        return 1;
    }

    frmOstrel window;
    probe(window).reportError = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    window.Form_Load("-host 127.0.0.1 -port " + port.captured(1));
    probe(window).mnuSize_Click(3); // 640x480
    AppletView* view = firstFrame(window, -1, 30000);
    if (!view) {
        std::fprintf(stderr, "applet_bench: no picture came\n");
        return 1;
    }
    const double startMs = static_cast<double>(sinceStart.elapsed());
    std::printf("applet host: Java %s, %s\n", qPrintable(JavaRuntime::find().versionText()),
                view->host().sandboxed() ? "in bubblewrap" : "without an OS sandbox");
    std::printf("start to the first frame:          %7.0f ms   (goal 1000)\n", startMs);

    std::vector<double> rebuilds;
    for (int i = 0; i < 5; ++i) {
        const qint64 oldHost = view->host().hostProcessId(); // the box goes with its page
        QElapsedTimer clock;
        clock.start();
        // Where the time goes: the page's load, the applet's box, its first frame.
        qint64 loaded = -1;
        const auto watch = QObject::connect(probe(window).WebBrowser1, &WebBrowser::DocumentComplete,
                                            [&] { loaded = clock.elapsed(); });
        window.cmdRefresh_Click();
        qint64 boxed = -1;
        (void)waitUntil(
            [&] {
                if (probe(window).WebBrowser1->applets().isEmpty())
                    return false;
                boxed = clock.elapsed();
                return true;
            },
            10000);
        view = firstFrame(window, oldHost, 30000);
        QObject::disconnect(watch);
        std::printf("  rebuild %d: page loaded at %lld ms, the applet's box at %lld ms, its first frame at %lld ms\n",
                    i + 1, static_cast<long long>(loaded), static_cast<long long>(boxed),
                    static_cast<long long>(clock.elapsed()));
        if (!view)
            return 1;
        rebuilds.push_back(static_cast<double>(clock.elapsed()));
    }
    std::sort(rebuilds.begin(), rebuilds.end());
    std::printf("page rebuild to the new first frame: %5.0f ms   (median of 5; goal 800)\n", rebuilds[2]);

    // Steady showing: latency of each frame, the viewer's CPU, the host's memory.
    (void)waitUntil([] { return false; }, 1000);
    std::vector<double> latencies;
    QObject::connect(&view->host(), &AppletHost::frame, [&] {
        latencies.push_back(static_cast<double>(view->host().lastFrameLatencyNs()) / 1e6);
    });
    const double cpuBefore = benchstats::cpuSeconds(::getpid());
    const double hostCpuBefore = benchstats::treeCpuSeconds(view->host().hostProcessId());
    QElapsedTimer clock;
    clock.start();
    (void)waitUntil([] { return false; }, 5000);
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    const double cpu = (benchstats::cpuSeconds(::getpid()) - cpuBefore) / seconds * 100.0;
    const double hostCpu = (benchstats::treeCpuSeconds(view->host().hostProcessId()) - hostCpuBefore) / seconds * 100.0;
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty())
        return 1;
    std::printf("frames shown:                      %7.1f a second\n", static_cast<double>(latencies.size()) / seconds);
    std::printf("capture to the viewer:             %7.2f ms median, %.2f ms 95th percentile (goal 5)\n",
                latencies[latencies.size() / 2], latencies[latencies.size() * 95 / 100]);
    std::printf("the viewer's CPU while showing:    %7.1f %% of one core (the page engine included; goal 5 for the frames)\n", cpu);
    std::printf("the host's CPU while showing:      %7.1f %% of one core (the applet's own decoding and painting included)\n", hostCpu);
    std::printf("the host's memory (PSS):           %7.1f MiB (goal 120)\n", benchstats::treePssMiB(view->host().hostProcessId()));

    // Frozen: nobody sees the live picture while the applet runs on.
    probe(window).chkPicture->click();
    (void)waitUntil([] { return false; }, 500);
    const double frozenBefore = benchstats::cpuSeconds(::getpid());
    const double frozenHostBefore = benchstats::treeCpuSeconds(view->host().hostProcessId());
    clock.restart();
    (void)waitUntil([] { return false; }, 5000);
    const double frozenSeconds = static_cast<double>(clock.elapsed()) / 1000.0;
    std::printf("while frozen: the viewer's CPU     %7.1f %%, the host's %.1f %% of one core (goal: 2 in all)\n",
                (benchstats::cpuSeconds(::getpid()) - frozenBefore) / frozenSeconds * 100.0,
                (benchstats::treeCpuSeconds(view->host().hostProcessId()) - frozenHostBefore) / frozenSeconds * 100.0);
    probe(window).chkPicture->click();
    window.close();
    camera.terminate();
    camera.waitForFinished();
    return 0;
}
