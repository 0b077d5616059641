#include "hotkey/x11_bell_tone.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

std::unique_ptr<X11BellTone> X11BellTone::Open(const char* displayName) {
    Display* display = XOpenDisplay(displayName);
    if (!display) return nullptr;
    return std::unique_ptr<X11BellTone>(new X11BellTone(display));
}

X11BellTone::~X11BellTone() {
    XCloseDisplay(m_pDisplay);
}

void X11BellTone::Beep(unsigned hz, unsigned ms, std::stop_token stop) {
    XKeyboardState previous{};
    XGetKeyboardControl(m_pDisplay, &previous);

    // The server refuses values above 16 bits with an error that would end
    // the process; clamp instead.
    XKeyboardControl ring{};
    ring.bell_pitch = static_cast<int>(std::min(hz, 32767u));
    ring.bell_duration = static_cast<int>(std::min(ms, 32767u));
    XChangeKeyboardControl(m_pDisplay, KBBellPitch | KBBellDuration, &ring);
    XBell(m_pDisplay, 0);
    XSync(m_pDisplay, False);

    // The server rings asynchronously; the tone has ended after its length.
    std::mutex lock;
    std::condition_variable_any ended;
    std::unique_lock hold(lock);
    ended.wait_for(hold, stop, std::chrono::milliseconds(ms), [] { return false; });

    XKeyboardControl restore{};
    restore.bell_pitch = static_cast<int>(previous.bell_pitch);
    restore.bell_duration = static_cast<int>(previous.bell_duration);
    XChangeKeyboardControl(m_pDisplay, KBBellPitch | KBBellDuration, &restore);
    XSync(m_pDisplay, False);
}
