// Control and F12 on an X display. Each read asks the server for the keys held
// now (XQueryKeymap) and takes the XInput2 raw key presses that arrived since
// the previous read, so a tap that starts and ends between two polls is still
// seen. Raw events reach the root window whichever client has the focus, even
// while another client grabs the keyboard.
#pragma once

#include <bitset>
#include <memory>

#include "hotkey/hotkey.h"

struct _XDisplay;

class X11KeyboardState : public IKeyboardState {
  public:
    enum class PressEvents { Raw, KeymapOnly };

    // Opens a connection of its own to `displayName` (null: DISPLAY). Returns
    // null when the display cannot be opened. Without XInput2, or with
    // PressEvents::KeymapOnly, only held keys are seen.
    static std::unique_ptr<X11KeyboardState> Open(const char* displayName,
                                                  PressEvents events = PressEvents::Raw);
    ~X11KeyboardState() override;
    X11KeyboardState(const X11KeyboardState&) = delete;
    X11KeyboardState& operator=(const X11KeyboardState&) = delete;

    // Not thread-safe: one thread reads (the poller's).
    KeyboardReading Read() override;
    bool SeesTaps() const { return m_nXiOpcode >= 0; }

  private:
    explicit X11KeyboardState(_XDisplay* display);
    bool SelectRawPresses();
    void FindKeycodes();
    void DrainEvents(std::bitset<256>& pressed);

    _XDisplay* m_pDisplay;
    int m_nXiOpcode = -1;  // major opcode of XInputExtension, -1 when not used
    std::bitset<256> m_controlKeys;
    std::bitset<256> m_f12Keys;
};
