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

#include <csignal>

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

class LivePicture : public ::testing::Test {
protected:
    void SetUp() override { qputenv("OSTREL_APPLETS", "on"); }
    void TearDown() override { qunsetenv("OSTREL_APPLETS"); }
    // The demo camera, and the viewer on it with its picture on the screen.
    void startWithCamera()
    {
        camera.start(OSTREL_DEMOCAM, {"--port", "0", "--fps", "10"});
        ASSERT_TRUE(camera.waitForReadyRead(10000));
        const auto port = QRegularExpression(":(\\d+)/").match(QString(camera.readAllStandardOutput()));
        ASSERT_TRUE(port.hasMatch());
        start(static_cast<quint16>(port.captured(1).toUInt()));
        ASSERT_TRUE(waitFor([&] { return colouredPixels(grab(ostrel.view(320, 240))) > 320 * 240 / 3; }, 20000))
            << "no camera picture on the screen: " << qPrintable(ostrel.output());
    }
    void start(quint16 port)
    {
        ASSERT_TRUE(ostrel.start({"-host", "127.0.0.1", "-port", QString::number(port)})) << qPrintable(ostrel.error());
    }
    Ostrel ostrel;
    QProcess camera;
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
