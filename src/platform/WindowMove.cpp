// Window moves on window systems without a check of their own.
#include "WindowMove.h"

#include <QWindow>

namespace platform {

void startWindowMove(QWindow* window)
{
    if (window)
        window->startSystemMove();
}

} // namespace platform
