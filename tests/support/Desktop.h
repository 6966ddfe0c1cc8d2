#pragma once

// What a person does at an X desktop and what the X server then shows:
// pointer and keys sent as X input (xdotool), windows looked up and read
// (xdotool, xwininfo, xprop), and the screen's pixels.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

namespace desktop {

// Runs a command to its end and gives its standard output; this process's
// events are handled meanwhile.
QString run(const QString& program, const QStringList& arguments, int timeoutMs = 10000);

// Waits, polling, until `condition` holds (true) or `timeoutMs` passes (false).
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);
void pause(int ms);

struct Window {
    QRect client;       // the window's inside, in screen coordinates
    bool mapped = false; // shown on the screen (not unmapped or withdrawn)
    bool exists = false;
};
Window window(const QString& id);
QString title(const QString& id);
QString property(const QString& id, const QString& name);
QString activeWindow();
// The top-level windows of a process (all, or those on the screen only).
QStringList windowsOf(qint64 pid, bool mappedOnly);
// A mapped window of the process other than those listed (a menu, a dialog).
QString newWindowOf(qint64 pid, const QStringList& known);

// Pointer and keys, as X input.
void moveTo(QPoint at);
void click(QPoint at, int button = 1);
// Press and release within `ms` milliseconds, as a touchpad tap does.
void tap(QPoint at, int ms);
// Press, move by (dx, dy) in small steps as a hand does, release.
void drag(QPoint from, int dx, int dy, int button = 1);
void key(const QStringList& keys);
void type(const QString& text);

// The screen's pixels in a rectangle.
QImage grab(const QRect& area);

} // namespace desktop
