// Test helper: a private X display with Xvfb, openbox and a tray.
#include "X11Session.h"

#include <QFile>
#include <QThread>

#include <signal.h>
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
    const QString manager = chosen.section('+', 0, 0);
    // xfwm4 reads its settings over D-Bus and manages nothing without a bus;
    // the manager gets a process group of its own, so that the bus it started
    // (which holds our output open) ends with it.
    manager_.setChildProcessModifier([] { ::setpgid(0, 0); });
    if (!(manager == "xfwm4" ? start(manager_, "dbus-run-session", {manager}) : start(manager_, manager, {})))
        return;
    QThread::msleep(manager == "openbox" ? 400 : 1000); // the others draw a task bar first
    if (chosen.endsWith("+trayer") &&
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

bool X11Session::desktopHasTray()
{
    const QString named = desktop();
    return named.endsWith("+trayer") || named == "icewm" || named == "fluxbox";
}

bool X11Session::start(QProcess& process, const QString& program, const QStringList& arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (process.waitForStarted(5000))
        return true;
    error_ = QString("cannot start %1 (%2); install xvfb, openbox, trayer, icewm, fluxbox and xfwm4").arg(program, process.errorString());
    return false;
}

X11Session::~X11Session()
{
    if (manager_.state() != QProcess::NotRunning)
        ::kill(-static_cast<pid_t>(manager_.processId()), SIGTERM);
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
