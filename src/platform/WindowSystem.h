#pragma once

class QPoint;
class QString;
class QWindow;

// Requests to the window manager about one of our top-level windows. The
// quirks of one window system live in their own file (WindowSystem_x11.cpp);
// where none applies, the plain Qt request is made (WindowSystem_plain.cpp).
namespace platform {

// Hands a move of the window to the window manager, which then moves it with
// the pointer until the mouse button is released. Call it only while a
// button is held. Where the window system can tell, a move whose button was
// released before the window manager took over is cancelled at once, so a
// quick tap never leaves the window following the pointer.
void startWindowMove(QWindow* window);

// Keeps a shown window above other windows, or returns it to the normal
// order, without hiding it or changing the program's own window flags
// (changing those makes X11 windows new when they are shown again).
void setKeptAbove(QWindow* window, bool above);

// Moves a shown window so that the outer corner of its frame (title bar and
// border included) is at `topLeft`. A window not shown yet is placed by its
// widget's move(); window managers then keep the frame's corner there.
void placeFrame(QWindow* window, const QPoint& topLeft);

// Whether the compositor may maximise a window whatever size limits it
// asks for (Wayland), so that no window may fix its size.
bool compositorMaximisesAnyWindow();

// Whether a system tray may still come after the start (an X11 tray can be
// started at any time; elsewhere only a tray there now is ever used).
bool trayMayComeLater();

// Asked before the application object exists: why no window could be shown
// ("DISPLAY is not set", "nothing answers at :5"), or empty where a display
// answers or only the window system itself can tell.
QString displayProblem();

// Whether the X server DISPLAY names answers (true where X11 is not built in).
bool x11DisplayAnswers();

} // namespace platform
