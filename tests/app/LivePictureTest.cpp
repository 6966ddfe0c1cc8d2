// The live picture as a person meets it: the real ostrel program showing a
// camera server's applet, checked on the X screen, driven by X input.
#include "Ostrel.h"
#include "browser/AppletServer.h"
#include "support/Desktop.h"
#include "support/JpegCodec.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <csignal>
#include <tuple>

#include <unistd.h>

using namespace desktop;

namespace {

constexpr int kSaveButton = 0;     // while frozen
constexpr int kSeparateButton = 2; // while frozen
constexpr int kSnapshotButton = 3;

// Pixels of clearly coloured (not grey) light: the camera's colour bars.
int colouredPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.hsvSaturation() > 100 && c.value() > 100;
        }
    return count;
}

// Pixels of the box's grey text on black.
int greyPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.hsvSaturation() < 30 && c.value() > 120;
        }
    return count;
}

// Every process below `pid`, by process id and name.
QHash<qint64, QByteArray> descendants(qint64 pid)
{
    QHash<qint64, std::pair<qint64, QByteArray>> all; // parent and name
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
        all.insert(entry.toLongLong(), {text.mid(close + 2).split(' ').value(1).toLongLong(), text.mid(open + 1, close - open - 1)});
    }
    QHash<qint64, QByteArray> found;
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        for (qint64 p = it->first; p > 1; p = all.value(p).first)
            if (p == pid) {
                found.insert(it.key(), it->second);
                break;
            }
    return found;
}

// Whether a process is still there (not yet reaped counts as gone).
bool alive(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

class LivePicture : public ::testing::Test {
protected:
    void SetUp() override { qputenv("OSTREL_APPLETS", "on"); }
    void TearDown() override { qunsetenv("OSTREL_APPLETS"); }
    // The demo camera, and the viewer on it with its picture on the screen.
    void startWithCamera()
    {
        if (camera.state() == QProcess::NotRunning) {
            camera.start(OSTREL_DEMOCAM, {"--port", "0", "--fps", "10"});
            ASSERT_TRUE(camera.waitForReadyRead(10000));
            const auto port = QRegularExpression(":(\\d+)/").match(QString(camera.readAllStandardOutput()));
            ASSERT_TRUE(port.hasMatch());
            cameraPort = static_cast<quint16>(port.captured(1).toUInt());
        }
        start(cameraPort);
        ASSERT_GT(ostrel.pid(), 0);
        ASSERT_TRUE(waitFor([&] { return colouredPixels(grab(ostrel.view(320, 240))) > 320 * 240 / 3; }, 20000))
            << "no camera picture on the screen: " << qPrintable(ostrel.output());
    }
    void start(quint16 port)
    {
        ASSERT_TRUE(ostrel.start({"-host", "127.0.0.1", "-port", QString::number(port)})) << qPrintable(ostrel.error());
    }
    Ostrel ostrel;
    QProcess camera;
    quint16 cameraPort = 0;
};

} // namespace

TEST_F(LivePicture, TheCamerasPictureMovesInTheViewAndASnapshotHoldsIt)
{
    QProcess camera;
    camera.start(OSTREL_DEMOCAM, {"--port", "0", "--fps", "10"});
    ASSERT_TRUE(camera.waitForReadyRead(10000));
    const auto port = QRegularExpression(":(\\d+)/").match(QString(camera.readAllStandardOutput()));
    ASSERT_TRUE(port.hasMatch());
    start(static_cast<quint16>(port.captured(1).toUInt()));

    const QRect view = ostrel.view(320, 240);
    ASSERT_TRUE(waitFor([&] { return colouredPixels(grab(view)) > 320 * 240 / 3; }, 20000))
        << "no camera picture on the screen: " << qPrintable(ostrel.output());
    const QImage first = grab(view);
    EXPECT_TRUE(waitFor([&] { return grab(view) != first; }, 3000)) << "the picture on the screen does not move";

    // Frozen: the screen keeps one picture while the applet runs on behind it.
    click(ostrel.button(kSnapshotButton));
    pause(500);
    const QImage frozen = grab(view);
    EXPECT_GT(colouredPixels(frozen), 320 * 240 / 3) << "the snapshot does not hold the camera's picture";
    pause(600);
    EXPECT_EQ(grab(view), frozen) << "the frozen picture moved";
    click(ostrel.button(kSnapshotButton));
    EXPECT_TRUE(waitFor([&] { return grab(view) != frozen; }, 3000)) << "the live picture did not come back";

    // Asked to end, as at logout: it ends cleanly and leaves no file behind
    // (its page, the applet's relay socket).
    ::kill(static_cast<pid_t>(ostrel.pid()), SIGTERM);
    EXPECT_TRUE(ostrel.waitForExit(10000));
    EXPECT_EQ(ostrel.exitCode(), 0) << qPrintable(ostrel.output());
    EXPECT_EQ(ostrel.runtimeFiles(), QStringList());
    camera.terminate();
    camera.waitForFinished();
}

// Started before its camera: the box says so at once, and the picture comes
// once the camera is switched on, without a click.
TEST_F(LivePicture, ACameraSwitchedOnLaterIsShownWithoutAClick)
{
    quint16 port = 0;
    {
        QTcpServer probe; // a port nothing listens on, for now
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    start(port);
    const QRect view = ostrel.view(320, 240);
    EXPECT_TRUE(waitFor([&] { return greyPixels(grab(view)) > 40; }, 5000)) << "the box says nothing";
    pause(1000);
    QProcess camera;
    camera.start(OSTREL_DEMOCAM, {"--port", QString::number(port), "--fps", "10"});
    ASSERT_TRUE(camera.waitForReadyRead(10000));
    EXPECT_TRUE(waitFor([&] { return colouredPixels(grab(view)) > 320 * 240 / 3; }, 15000))
        << "the camera's picture did not come: " << qPrintable(ostrel.output());
    camera.terminate();
    camera.waitForFinished();
}

TEST_F(LivePicture, ClicksAndKeysInTheBoxReachTheAppletAndTheMarginStillMovesTheWindow)
{
    AppletServer server;
    server.addJarEntries(testsupport::readFile(OSTREL_INPUT_APPLET_JAR));
    start(server.port());
    const QRgb green = qRgb(0x20, 0xa0, 0x40);
    const auto at = [&](int x, int y) { return grab(QRect(ostrel.view(320, 240).topLeft() + QPoint(x, y), QSize(1, 1))).pixel(0, 0); };
    ASSERT_TRUE(waitFor([&] { return at(160, 120) == green; }, 20000)) << qPrintable(ostrel.output());
    EXPECT_EQ(at(8, 8), green);

    click(ostrel.view(320, 240).topLeft() + QPoint(150, 100));
    EXPECT_TRUE(waitFor([&] { return at(8, 8) == qRgb(255, 255, 255); }, 5000)) << "the click did not reach the applet";
    type("ab");
    EXPECT_TRUE(waitFor([&] { return at(20, 24) == qRgb(255, 255, 0); }, 5000)) << "the keys did not reach the applet";
    EXPECT_EQ(at(8, 24), qRgb(255, 255, 0));
    EXPECT_EQ(at(20, 8), green) << "one click counted twice";

    // The page's margin beside the box still moves the window, box and all.
    const QRect before = ostrel.client();
    drag(ostrel.page(), 40, 30, 1);
    EXPECT_TRUE(waitFor([&] { return ostrel.client().topLeft() != before.topLeft(); }, 2000));
    EXPECT_NEAR(ostrel.client().left() - before.left(), 40, 6);
    EXPECT_NEAR(ostrel.client().top() - before.top(), 30, 6);
    EXPECT_TRUE(waitFor([&] { return at(160, 120) == green && at(8, 8) == qRgb(255, 255, 255); }, 3000))
        << "the applet's picture did not move with the window";
}

// A snapshot in the image window, not saved, stays there when the next
// snapshot is saved, and is not replaced by another without a question.
TEST_F(LivePicture, SavingASnapshotLeavesTheUnsavedOneInTheImageWindow)
{
    startWithCamera();
    click(ostrel.button(kSnapshotButton));
    pause(300);
    QStringList known = windowsOf(ostrel.pid(), true);
    click(ostrel.button(kSeparateButton));
    QString image;
    ASSERT_TRUE(waitFor([&] { return !(image = newWindowOf(ostrel.pid(), known)).isEmpty(); }, 5000)) << "no image window";
    run("xdotool", {"windowmove", image, "700", "450"}); // clear of the main window
    pause(500);
    const QImage first = grab(window(image).client);

    click(ostrel.button(kSnapshotButton));
    pause(300);
    known = windowsOf(ostrel.pid(), true);
    click(ostrel.button(kSaveButton));
    QString dialog;
    ASSERT_TRUE(waitFor([&] { return !(dialog = newWindowOf(ostrel.pid(), known)).isEmpty(); }, 5000)) << "no Save As";
    const QString path = QDir::temp().filePath(QString("ostrel-second-%1").arg(::getpid()));
    type(path);
    key({"Return"});
    EXPECT_TRUE(waitFor([&] { return QFile::exists(path + ".jpg"); }, 5000)) << "the second snapshot was not saved";
    QFile::remove(path + ".jpg");
    pause(300);
    EXPECT_TRUE(window(image).mapped) << "the image window with the first snapshot was closed";
    EXPECT_EQ(grab(window(image).client), first) << "the first snapshot was replaced";

    // A third one separated over it: the user is asked first, and No keeps it.
    click(ostrel.button(kSnapshotButton));
    pause(300);
    known = windowsOf(ostrel.pid(), true);
    click(ostrel.button(kSeparateButton));
    QString question;
    ASSERT_TRUE(waitFor([&] { return !(question = newWindowOf(ostrel.pid(), known)).isEmpty(); }, 5000))
        << "separated without a question";
    key({"Escape"});
    EXPECT_TRUE(waitFor([&] { return !window(question).mapped; }, 3000));
    pause(300);
    EXPECT_EQ(grab(window(image).client), first) << "the first snapshot was replaced";
}

// The keys people reach for: Space or S freezes, Escape goes live again,
// Ctrl+S saves the frozen picture, F5 reconnects.
TEST_F(LivePicture, KeysFreezeSaveAndReconnect)
{
    startWithCamera();
    const QRect view = ostrel.view(320, 240);
    const auto still = [&] {
        const QImage before = grab(view);
        pause(700);
        return grab(view) == before;
    };
    click(ostrel.page()); // the focus in the page, not in the applet's box
    for (const char* freeze : {"space", "s"}) {
        SCOPED_TRACE(freeze);
        key({freeze});
        pause(300);
        EXPECT_TRUE(still()) << "the key did not freeze the view";
        key({"Escape"});
        pause(300);
        EXPECT_FALSE(still()) << "Escape did not leave the frozen view";
    }
    key({"s"});
    pause(300);
    const QStringList known = windowsOf(ostrel.pid(), true);
    key({"ctrl+s"});
    QString dialog;
    EXPECT_TRUE(waitFor([&] { return !(dialog = newWindowOf(ostrel.pid(), known)).isEmpty(); }, 5000))
        << "Ctrl+S did not offer to save";
    key({"Escape"});
    EXPECT_TRUE(waitFor([&] { return !window(dialog).mapped; }, 3000));
    key({"Escape"});
    pause(300);
    EXPECT_FALSE(still());
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(ostrel.pageFile()); }, 4000));
    key({"F5"});
    EXPECT_TRUE(waitFor([&] { return QFile::exists(ostrel.pageFile()); }, 3000)) << "F5 did not rebuild the page";
}

// Killed outright while its applet runs, again and again: nothing it started
// outlives it (the applet's host, its X server, the sandbox, the page
// engine), and the next start clears the folders the killed ones left. A
// host that stops answering holds neither the window nor the close.
TEST_F(LivePicture, NothingOutlivesAKilledViewerAndAStoppedHostHoldsNothingUp)
{
    QStringList left;
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(startWithCamera());
        const QHash<qint64, QByteArray> started = descendants(ostrel.pid());
        EXPECT_TRUE(started.values().contains("java")) << "no applet host runs";
        left = ostrel.runtimeFiles();
        ::kill(static_cast<pid_t>(ostrel.pid()), SIGKILL);
        ASSERT_TRUE(ostrel.waitForExit(5000));
        QStringList outlived;
        const bool gone = waitFor(
            [&] {
                outlived.clear();
                for (auto it = started.cbegin(); it != started.cend(); ++it)
                    if (alive(it.key()))
                        outlived << QString("%1 (%2)").arg(QString::fromLatin1(it.value())).arg(it.key());
                return outlived.isEmpty();
            },
            3000);
        EXPECT_TRUE(gone) << "outlived the viewer: " << qPrintable(outlived.join(", "));
        if (!gone)
            break;
    }
    EXPECT_FALSE(left.isEmpty()) << "the killed viewer left no folder to clear";
    ASSERT_NO_FATAL_FAILURE(startWithCamera());
    const QString own = QString::number(ostrel.pid());
    for (const QString& file : ostrel.runtimeFiles())
        EXPECT_EQ(file.section('/', 1, 1), own) << "left by a killed viewer: " << qPrintable(file);

    // Pages built again and again, faster than each comes: in the end one
    // host and one sandbox run, and the viewer holds no more descriptors
    // or memory than after the first few.
    const auto resources = [&] {
        const auto count = [](const QString& folder) {
            return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files).size();
        };
        QFile status(QString("/proc/%1/status").arg(ostrel.pid()));
        const QString text = status.open(QIODevice::ReadOnly) ? QString(status.readAll()) : QString();
        const qint64 kib = QRegularExpression("VmRSS:\\s+(\\d+)").match(text).captured(1).toLongLong();
        return std::tuple(descendants(ostrel.pid()).values(), count(QString("/proc/%1/fd").arg(ostrel.pid())), kib / 1024);
    };
    const auto rebuild = [&](int times) {
        for (int i = 0; i < times; ++i) {
            key({"F5"});
            pause(100);
        }
        pause(1500);
        return waitFor([&] { return colouredPixels(grab(ostrel.view(320, 240))) > 320 * 240 / 3; }, 20000);
    };
    ASSERT_TRUE(rebuild(5));
    const auto [firstTree, firstFds, firstMiB] = resources();
    ASSERT_TRUE(rebuild(30)) << "no picture after 30 rebuilds";
    auto [tree, fds, mib] = resources();
    EXPECT_TRUE(waitFor([&] {
        std::tie(tree, fds, mib) = resources();
        return tree.count("java") == 1 && tree.count("bwrap") == firstTree.count("bwrap") && fds <= firstFds + 2;
    }, 3000)) << "after 30 rebuilds: " << tree.count("java") << " hosts, " << fds << " descriptors (" << firstFds
              << " before)";
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer holds freed memory back (a quarantine of 256 MiB),
    // so only a plain build's resident memory says whether pages leak.
    EXPECT_LE(mib, firstMiB + 40) << "memory grew from " << firstMiB << " MiB";
#endif
    std::printf("30 rebuilds: %lld descriptors (%lld before), %lld MiB (%lld before), %lld processes\n",
                static_cast<long long>(fds), static_cast<long long>(firstFds), static_cast<long long>(mib),
                static_cast<long long>(firstMiB), static_cast<long long>(tree.size()));

    const QHash<qint64, QByteArray> running = descendants(ostrel.pid());
    const qint64 host = running.key("java");
    ASSERT_GT(host, 0);
    ::kill(static_cast<pid_t>(host), SIGSTOP);
    // The window still answers: About opens, and F5 builds a new page.
    const QStringList known = windowsOf(ostrel.pid(), true);
    click(ostrel.button(5));
    QString about;
    EXPECT_TRUE(waitFor([&] { return !(about = newWindowOf(ostrel.pid(), known)).isEmpty(); }, 2000))
        << "the window did not answer a click";
    key({"Escape"});
    EXPECT_TRUE(waitFor([&] { return !window(about).mapped; }, 2000));
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(ostrel.pageFile()); }, 4000));
    key({"F5"});
    // A host is given 2 s to end itself once told to, then killed.
    EXPECT_TRUE(waitFor([&] { return !alive(host); }, 3000)) << "a new page did not end the stopped host";
    ASSERT_TRUE(waitFor([&] { return colouredPixels(grab(ostrel.view(320, 240))) > 320 * 240 / 3; }, 20000));
    const qint64 next = descendants(ostrel.pid()).key("java");
    ASSERT_GT(next, 0);
    ::kill(static_cast<pid_t>(next), SIGSTOP);
    // Closed by the window manager, as a person closes it.
    click(ostrel.background());
    QElapsedTimer closing;
    closing.start();
    key({"alt+F4"});
    EXPECT_TRUE(ostrel.waitForExit(2000)) << "the close waited for the stopped host";
    EXPECT_TRUE(waitFor([&] { return !alive(next); }, 1000));
    std::printf("closed in %lld ms with its host stopped\n", static_cast<long long>(closing.elapsed()));
    EXPECT_EQ(ostrel.runtimeFiles(), QStringList());
}
