// The main of the viewer tests that need a real X server and a window manager
// (window moves, the window manager's resizing, always on top): it starts
// Xvfb and openbox for the run, then the tests.
#include <QApplication>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    // A display number of our own, away from any the developer uses.
    const QString display = QString(":%1").arg(90 + ::getpid() % 100);
    QProcess server;
    server.start("Xvfb", {display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    if (!server.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start Xvfb (install xvfb): %s\n", qPrintable(server.errorString()));
        return 1;
    }
    qputenv("DISPLAY", display.toLocal8Bit());
    QThread::msleep(500);
    QProcess manager;
    manager.start("openbox", {});
    if (!manager.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start openbox: %s\n", qPrintable(manager.errorString()));
        return 1;
    }
    QThread::msleep(500);
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    manager.kill();
    server.kill();
    manager.waitForFinished();
    server.waitForFinished();
    return result;
}
