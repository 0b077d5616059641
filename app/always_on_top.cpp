#include "app/always_on_top.h"

#include <QGuiApplication>
#include <QWidget>

// Xlib defines Bool, Status and others that Qt's headers use: it comes last.
#include <X11/Xlib.h>


namespace {

// Asks the window manager to add or remove _NET_WM_STATE_ABOVE, as a pager
// would: the window keeps its place, its size and its mapping.
bool SetAboveState(QWidget* window, bool onTop) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window->winId());
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = onTop ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;  // a normal application
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
    return true;
}

}  // namespace

void SetAlwaysOnTop(QWidget* window, bool onTop) {
    if (window->isVisible() && SetAboveState(window, onTop)) return;
    // Elsewhere the window flag is the only way; changing it re-creates the
    // window, so its geometry is put back.
    const QRect geometry = window->geometry();
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible) {
        window->setGeometry(geometry);
        window->show();
    }
}
