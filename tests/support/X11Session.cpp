// Test helper: a private X display with Xvfb, openbox and a tray.
#include "X11Session.h"

#include <QFile>
#include <QThread>

#include <unistd.h>

namespace testsupport {

X11Session::X11Session(bool withTray)
{
    // A display number of our own, away from any the developer uses, and
    // one not taken by a test program running beside this one.
    for (int n = 90 + ::getpid() % 100; n < 300; ++n) {
        if (!QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)) && !QFile::exists(QString("/tmp/.X%1-lock").arg(n))) {
            display_ = QString(":%1").arg(n);
            break;
        }
    }
    if (!start(server_, "Xvfb", {display_, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}))
        return;
    // Ready once its socket exists.
    const QString socket = QString("/tmp/.X11-unix/X%1").arg(display_.mid(1));
    for (int i = 0; i < 100 && !QFile::exists(socket); ++i)
        QThread::msleep(50);
    qputenv("DISPLAY", display_.toLocal8Bit());
    const QString chosen = withTray ? desktop() : QString("openbox");
    if (!start(manager_, chosen == "icewm" ? "icewm" : "openbox", {}))
        return;
    QThread::msleep(chosen == "icewm" ? 1000 : 400);
    if (chosen == "openbox+trayer" &&
        !start(tray_, "trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "100",
                                 "--heighttype", "pixel", "--height", "24"}))
        return;
    QThread::msleep(300);
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
}

QString X11Session::desktop()
{
    const QString named = qEnvironmentVariable("OSTREL_TEST_DESKTOP");
    return named.isEmpty() ? QString("openbox+trayer") : named;
}

bool X11Session::start(QProcess& process, const QString& program, const QStringList& arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (process.waitForStarted(5000))
        return true;
    error_ = QString("cannot start %1 (%2); install xvfb, openbox, trayer and icewm").arg(program, process.errorString());
    return false;
}

X11Session::~X11Session()
{
    for (QProcess* process : {&tray_, &manager_, &server_}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
            process->waitForFinished();
        }
    }
}

} // namespace testsupport
