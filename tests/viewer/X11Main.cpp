// The main of the viewer tests that need a real X server and a window manager
// (window moves, the window manager's resizing, always on top, the tray): it
// starts Xvfb, openbox and a tray (trayer) for the run, then the tests.
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
    // A system tray for the tray icon tests.
    QProcess tray;
    tray.start("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "100"});
    if (!tray.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start trayer: %s\n", qPrintable(tray.errorString()));
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
    tray.kill();
    manager.kill();
    server.kill();
    tray.waitForFinished();
    manager.waitForFinished();
    server.waitForFinished();
    return result;
}
