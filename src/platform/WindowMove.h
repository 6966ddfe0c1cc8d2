#pragma once

class QWindow;

namespace platform {

// Hands a move of the window to the window manager, which then moves it with
// the pointer until the mouse button is released. Call it only while a
// button is held. Where the window system can tell, a move whose button was
// released before the window manager took over is cancelled at once, so a
// quick tap never leaves the window following the pointer.
void startWindowMove(QWindow* window);

} // namespace platform
