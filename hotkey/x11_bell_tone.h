// A tone through the X bell: the keyboard's bell pitch and duration are set
// for one ring and put back afterwards, so the user's own bell settings
// survive the hot key.
#pragma once

#include <memory>

#include "hotkey/hotkey.h"

struct _XDisplay;

class X11BellTone : public ITone {
  public:
    // Opens a connection of its own to `displayName` (null: DISPLAY); null
    // when it cannot be opened.
    static std::unique_ptr<X11BellTone> Open(const char* displayName);
    ~X11BellTone() override;
    X11BellTone(const X11BellTone&) = delete;
    X11BellTone& operator=(const X11BellTone&) = delete;

    // Rings at `hz` for `ms`, waits for the ring's length, then restores the
    // previous pitch and duration. Not thread-safe: one thread beeps.
    void Beep(unsigned hz, unsigned ms, std::stop_token stop) override;

  private:
    explicit X11BellTone(_XDisplay* display) : m_pDisplay(display) {}

    _XDisplay* m_pDisplay;
};

// A tone that makes no sound, for a desktop where no bell can be rung.
class SilentTone : public ITone {
  public:
    void Beep(unsigned, unsigned, std::stop_token) override {}
};
