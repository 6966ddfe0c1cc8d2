#pragma once

#include <QProcess>
#include <QString>

#include <memory>

namespace testsupport {

// A private X display for a test program: Xvfb at 1280x1024, the openbox
// window manager and (with `withTray`) a trayer system tray. DISPLAY and
// QT_QPA_PLATFORM point at it while it lives.
class X11Session {
public:
    explicit X11Session(bool withTray);
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
