#include "hotkey/x11_keyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace {

bool AnyDown(const char keymap[32], const std::bitset<256>& keys) {
    for (size_t code = 0; code < keys.size(); ++code) {
        if (keys[code] && (keymap[code / 8] & (1 << (code % 8)))) return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<X11KeyboardState> X11KeyboardState::Open(const char* displayName,
                                                         PressEvents events) {
    Display* display = XOpenDisplay(displayName);
    if (!display) return nullptr;
    std::unique_ptr<X11KeyboardState> keyboard(new X11KeyboardState(display));
    if (events == PressEvents::Raw && !keyboard->SelectRawPresses()) keyboard->m_nXiOpcode = -1;
    return keyboard;
}

X11KeyboardState::X11KeyboardState(Display* display) : m_pDisplay(display) {
    FindKeycodes();
}

X11KeyboardState::~X11KeyboardState() {
    XCloseDisplay(m_pDisplay);
}

bool X11KeyboardState::SelectRawPresses() {
    int event = 0;
    int error = 0;
    if (!XQueryExtension(m_pDisplay, "XInputExtension", &m_nXiOpcode, &event, &error)) {
        return false;
    }
    // Raw events exist from 2.0; 2.1 delivers them to the root window regardless
    // of grabs, which is what lets a grabbing client not hide the hot key.
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(m_pDisplay, &major, &minor) != Success || major < 2) return false;

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XIEventMask mask{};
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof(bits);
    mask.mask = bits;
    XISelectEvents(m_pDisplay, DefaultRootWindow(m_pDisplay), &mask, 1);
    XSync(m_pDisplay, False);
    return true;
}

void X11KeyboardState::FindKeycodes() {
    m_controlKeys.reset();
    m_f12Keys.reset();
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(m_pDisplay, &minCode, &maxCode);
    for (int code = minCode; code <= maxCode && code < 256; ++code) {
        const KeySym sym = XkbKeycodeToKeysym(m_pDisplay, static_cast<KeyCode>(code), 0, 0);
        if (sym == XK_Control_L || sym == XK_Control_R) m_controlKeys.set(code);
        if (sym == XK_F12) m_f12Keys.set(code);
    }
}

void X11KeyboardState::DrainEvents(std::bitset<256>& pressed) {
    while (XPending(m_pDisplay) > 0) {
        XEvent event;
        XNextEvent(m_pDisplay, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            FindKeycodes();
            continue;
        }
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != m_nXiOpcode) continue;
        if (!XGetEventData(m_pDisplay, cookie)) continue;
        if (cookie->evtype == XI_RawKeyPress) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            if (raw->detail >= 0 && raw->detail < 256) pressed.set(raw->detail);
        }
        XFreeEventData(m_pDisplay, cookie);
    }
}

KeyboardReading X11KeyboardState::Read() {
    // The keymap first: its reply comes after every event the server sent
    // before it, so each press already visible as held has its raw event in
    // the queue now and is drained by this read, never counted again by the
    // next one.
    char keymap[32] = {};
    XQueryKeymap(m_pDisplay, keymap);
    std::bitset<256> pressed;
    DrainEvents(pressed);

    KeyboardReading reading;
    reading.control.down = AnyDown(keymap, m_controlKeys);
    reading.control.pressedSince = (pressed & m_controlKeys).any();
    reading.f12.down = AnyDown(keymap, m_f12Keys);
    reading.f12.pressedSince = (pressed & m_f12Keys).any();
    return reading;
}
