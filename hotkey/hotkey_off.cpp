// Built where no X11 development files were found: there is no keyboard to
// watch, so the program runs without the hot key.
#include "hotkey/hotkey.h"

std::unique_ptr<HotKeyPoller> StartHotKeyPoller(HotKeyPoller::ToggleRequest) {
    return nullptr;
}

std::unique_ptr<HotKeyPoller> StartHotKeyPoller(HotKeyPoller::PlainToggleRequest) {
    return nullptr;
}
