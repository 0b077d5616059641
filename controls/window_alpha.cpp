#include "controls/window_alpha.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>

#include "common/message_texts.h"

// Xlib defines Bool, Status and others that Qt's headers use: it comes last.
#include <X11/Xlib.h>

#include <string>

bool WindowAlphaSupported(const QWidget* window) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr || window == nullptr) return false;
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const Atom atom = XInternAtom(display, selection.c_str(), False);
    return XGetSelectionOwner(display, atom) != None;
}

bool ApplyWindowAlpha(QWidget* window, uint8_t alpha) {
    if (!WindowAlphaSupported(window)) return false;
    window->setWindowOpacity(alpha / 255.0);
    return true;
}

void OnTransparencyReleased(QWidget* window, int sliderPosition) {
    if (!ApplyWindowAlpha(window, static_cast<uint8_t>(sliderPosition & 0xFF)))
        QMessageBox::warning(window, QString::fromLatin1(kFailedCaption),
                             QStringLiteral("This feature is not supported by your OS"));
}
