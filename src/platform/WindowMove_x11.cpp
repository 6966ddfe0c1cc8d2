// Window moves on X11. The window manager grabs the pointer when it receives
// the move request and ends the move at the next button release; if the
// button went up before that (a tap of a touchpad lasts a few milliseconds),
// the release is never seen and the window would follow the pointer until
// the next click. So after asking for the move, ask the X server whether a
// button is still down, and cancel the move if none is.
#include "WindowMove.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr std::uint32_t kMoveResizeCancel = 11; // _NET_WM_MOVERESIZE_CANCEL

xcb_connection_t* connection()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

bool buttonHeld(xcb_connection_t* c, xcb_window_t window)
{
    xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, window), nullptr);
    if (!reply)
        return true; // cannot tell: leave the move to the window manager
    const bool held = reply->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3);
    std::free(reply);
    return held;
}

void cancelMove(xcb_connection_t* c, xcb_window_t window)
{
    const char name[] = "_NET_WM_MOVERESIZE";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    if (!atom)
        return;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom->atom;
    event.data.data32[2] = kMoveResizeCancel;
    event.data.data32[4] = 1; // sent by a normal application
    std::free(atom);
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

} // namespace

void startWindowMove(QWindow* window)
{
    if (!window || !window->startSystemMove())
        return;
    xcb_connection_t* c = connection();
    if (!c)
        return; // another window system (Wayland): it tracks its own buttons
    const auto id = static_cast<xcb_window_t>(window->winId());
    if (!buttonHeld(c, id))
        cancelMove(c, id);
}

} // namespace platform
