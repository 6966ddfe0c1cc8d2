// Window placement that is the same on every window system.
#include "WindowSystem.h"

#include <QGuiApplication>
#include <QString>
#include <QWindow>

namespace platform {

bool compositorMaximisesAnyWindow()
{
    return QGuiApplication::platformName().startsWith("wayland");
}

bool trayMayComeLater()
{
    return QGuiApplication::platformName() == "xcb";
}

QString displayProblem()
{
    // The platform Qt will use: the first one QT_QPA_PLATFORM names, or X11
    // where there is no Wayland display (on a Wayland session Qt chooses).
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(';', 0, 0).section(':', 0, 0);
    if (platform.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        platform = QStringLiteral("xcb");
    if (platform == "wayland" && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QStringLiteral("WAYLAND_DISPLAY is not set");
    if (platform != "xcb")
        return {};
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("DISPLAY is not set");
    if (!x11DisplayAnswers())
        return QString("nothing answers at %1").arg(qEnvironmentVariable("DISPLAY"));
    return {};
}

void placeFrame(QWindow* window, const QPoint& topLeft)
{
    if (window && window->isVisible())
        window->setFramePosition(topLeft);
}

} // namespace platform
