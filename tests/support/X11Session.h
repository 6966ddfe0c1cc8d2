#pragma once

#include <QProcess>
#include <QString>

#include <memory>

namespace testsupport {

// A private X display for a test program: Xvfb at 1280x1024, the openbox
// window manager and (with `withTray`) a trayer system tray. DISPLAY and
// QT_QPA_PLATFORM point at it while it lives.
// OSTREL_TEST_DESKTOP chooses another desktop where a tray is wanted: a
// window manager, with "+trayer" for a trayer tray beside it: "openbox" or
// "xfwm4" (no tray at all), "icewm" or "fluxbox" (their task bars hold one).
class X11Session {
public:
    explicit X11Session(bool withTray);
    // The desktop OSTREL_TEST_DESKTOP names, "openbox+trayer" by default.
    static QString desktop();
    // Whether that desktop has a system tray.
    static bool desktopHasTray();
    ~X11Session();
    // Empty when all started; else what failed.
    QString error() const { return error_; }
    QString display() const { return display_; }

private:
    bool start(QProcess& process, const QString& program, const QStringList& arguments);

    QString display_;
    QString error_;
    QProcess server_;
    QProcess manager_;
    QProcess tray_;
};

} // namespace testsupport
