// Window manager requests on window systems without special handling (Wayland and others).
#include "WindowSystem.h"

#include <QWindow>

namespace platform {

bool x11DisplayAnswers()
{
    return true; // not asked here: Qt says it where it cannot reach one
}

void startWindowMove(QWindow* window)
{
    if (window)
        window->startSystemMove();
}

void setKeptAbove(QWindow* window, bool above)
{
    if (window)
        window->setFlag(Qt::WindowStaysOnTopHint, above);
}

} // namespace platform
