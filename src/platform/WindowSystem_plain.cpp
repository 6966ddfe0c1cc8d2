// Window manager requests on window systems without special handling (Wayland and others).
#include "WindowSystem.h"

#include <QWindow>

namespace platform {

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
