// Per-window opacity. On X11 it takes effect only while a compositing manager
// runs (it owns the _NET_WM_CM_S<screen> selection); elsewhere (no compositor,
// Wayland, offscreen) the window system has no per-window opacity to offer.
#pragma once

#include <cstdint>

class QWidget;

// True when the window system can make `window` translucent now.
bool WindowAlphaSupported(const QWidget* window);

// Sets the opacity of `window` to alpha/255; false, changing nothing, when the
// window system does not support it.
bool ApplyWindowAlpha(QWidget* window, uint8_t alpha);

// The slider handler of both windows: applies the slider's position and, when
// that is not possible, tells the user so with a message box owned by `window`.
void OnTransparencyReleased(QWidget* window, int sliderPosition);
