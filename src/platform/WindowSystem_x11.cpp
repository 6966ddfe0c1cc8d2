// Window manager requests on X11, sent as the EWMH client messages.
//
// Moves: the window manager grabs the pointer when it receives
// the move request and ends the move at the next button release; if the
// button went up before that (a tap of a touchpad lasts a few milliseconds),
// the release is never seen and the window would follow the pointer until
// the next click. So after asking for the move, ask the X server whether a
// button is still down, and cancel the move if none is.
//
// Always on top: asked of the window manager as a state change, so Qt's own
// window flags stay as they are (changing them makes Qt give the window a new
// X window the next time it is shown).
#include "WindowSystem.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform {

bool x11DisplayAnswers()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    return answers;
}

namespace {

constexpr std::uint32_t kMoveResizeCancel = 11; // _NET_WM_MOVERESIZE_CANCEL
constexpr std::uint32_t kStateRemove = 0;       // _NET_WM_STATE_REMOVE
constexpr std::uint32_t kStateAdd = 1;          // _NET_WM_STATE_ADD

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

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return value;
}

// A client message to the root window about `window`, as the EWMH asks.
void sendToWindowManager(xcb_connection_t* c, xcb_window_t window, xcb_atom_t type,
                         const std::array<std::uint32_t, 5>& data)
{
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    for (std::size_t i = 0; i < data.size(); ++i)
        event.data.data32[i] = data[i];
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
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
    if (!buttonHeld(c, id)) // the last 1: sent by a normal application
        sendToWindowManager(c, id, atom(c, "_NET_WM_MOVERESIZE"), {0, 0, kMoveResizeCancel, 0, 1});
}

void setKeptAbove(QWindow* window, bool above)
{
    if (!window)
        return;
    xcb_connection_t* c = connection();
    if (!c) {
        window->setFlag(Qt::WindowStaysOnTopHint, above);
        return;
    }
    sendToWindowManager(c, static_cast<xcb_window_t>(window->winId()), atom(c, "_NET_WM_STATE"),
                        {above ? kStateAdd : kStateRemove, atom(c, "_NET_WM_STATE_ABOVE"), 0, 1, 0});
}

} // namespace platform
