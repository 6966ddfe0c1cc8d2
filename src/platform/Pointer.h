#pragma once

// The mouse pointer shapes the windows use, by their traditional codes, and
// an hourglass that shows for as long as a piece of work lasts.

#include <QGuiApplication>

namespace platform {

enum class Pointer : int {
    Default = 0,
    SizeAll = 5,     // four arrows: the picture can be dragged both ways
    SizeNS = 7,      // up and down only
    SizeWE = 9,      // left and right only
    Hourglass = 11,  // busy
    SizePointer = 15 // a hand over a picture that can be dragged
};

inline Qt::CursorShape cursorShape(Pointer pointer)
{
    switch (pointer) {
    case Pointer::SizeAll:
        return Qt::SizeAllCursor;
    case Pointer::SizeNS:
        return Qt::SizeVerCursor;
    case Pointer::SizeWE:
        return Qt::SizeHorCursor;
    case Pointer::Hourglass:
        return Qt::WaitCursor;
    case Pointer::SizePointer:
        return Qt::OpenHandCursor;
    case Pointer::Default:
        break;
    }
    return Qt::ArrowCursor;
}

// Shows the hourglass over every window of the program while it lives;
// nested ones stack, so the pointer returns only when the outermost ends.
class WaitPointer {
public:
    WaitPointer() { QGuiApplication::setOverrideCursor(cursorShape(Pointer::Hourglass)); }
    ~WaitPointer() { QGuiApplication::restoreOverrideCursor(); }
    WaitPointer(const WaitPointer&) = delete;
    WaitPointer& operator=(const WaitPointer&) = delete;
};

} // namespace platform
