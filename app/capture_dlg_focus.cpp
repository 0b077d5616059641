// The main window keeps the keyboard: after every dialog or progress window
// opened over it, the window is active again with the focus where it was.
#include <QApplication>
#include <QGuiApplication>
#include <algorithm>

#include "app/capture_dlg.h"

namespace {

// Whether the X server's input focus is on `window` (false off X11).
bool HasX11InputFocus(const QWidget* window);

}  // namespace

bool CCaptureDlg::IsOwnModal(const QWidget* widget) const {
    if (widget == this || !widget->isWindow() || !widget->isModal()) return false;
    // Opened over this window, or over a dialog that was.
    for (const QWidget* w = widget->parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (w == this) return true;
    }
    return false;
}

void CCaptureDlg::TrackModal(QWidget* widget, bool shown) {
    std::erase_if(m_modals,
                  [widget](const QPointer<QWidget>& w) { return w.isNull() || w == widget; });
    if (shown) {
        if (m_modals.empty()) m_focusBeforeModal = focusWidget();
        m_modals.emplace_back(widget);
    } else if (m_modals.empty()) {
        // Once the code that hid it has run: a window it opens next (the read's
        // progress after the file dialog, a message after a progress) counts.
        QMetaObject::invokeMethod(this, &CCaptureDlg::RestoreAfterModal, Qt::QueuedConnection);
    }
}

void CCaptureDlg::RestoreAfterModal() {
    std::erase_if(m_modals,
                  [](const QPointer<QWidget>& w) { return w.isNull() || !w->isVisible(); });
    if (!m_modals.empty() || m_bShutDown || !isVisible() || isMinimized()) return;
    QWidget* focus = m_focusBeforeModal;
    if (focus != nullptr && focus->window() == this && focus->isEnabled() && focus->isVisible())
        focus->setFocus(Qt::OtherFocusReason);
    if (QApplication::activeWindow() == this) return;
    activateWindow();
    // A dialog that goes before the window manager ever focused it (a read's
    // progress shown and hidden within milliseconds) leaves the toolkit
    // thinking no window is active: the focus came back here while the dialog
    // still blocked this window, and was passed on to the dialog. The server
    // has the focus here, the window manager no reason to move it: say so, or
    // the shortcuts stay dead.
    if (HasX11InputFocus(this)) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(this);
        QT_WARNING_POP
    }
}

// Xlib defines Bool, Status, FocusIn and others that Qt's headers use: it
// comes after them.
#include <X11/Xlib.h>

namespace {

bool HasX11InputFocus(const QWidget* window) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return false;
    Window focus = 0;
    int revertTo = 0;
    XGetInputFocus(display, &focus, &revertTo);
    return focus == static_cast<Window>(window->winId());
}

}  // namespace
