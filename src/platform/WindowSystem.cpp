// Window placement that is the same on every window system.
#include "WindowSystem.h"

#include <QWindow>

namespace platform {

void placeFrame(QWindow* window, const QPoint& topLeft)
{
    if (window && window->isVisible())
        window->setFramePosition(topLeft);
}

} // namespace platform
