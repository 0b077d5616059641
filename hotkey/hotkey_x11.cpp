// The hot key on an X display: the keyboard and the bell each get their own
// connection, used only by the poller's thread. The tone goes to the sound
// system where one answers, else to the X bell.
#include <cstdlib>

#include "hotkey/alsa_tone.h"
#include "hotkey/hotkey.h"
#include "hotkey/x11_bell_tone.h"
#include "hotkey/x11_keyboard.h"

namespace {

std::unique_ptr<HotKeyPoller> StartOnDisplay(HotKeyPoller::ToggleRequest request) {
    // A Wayland-only desktop sets no DISPLAY: then there is nothing to watch.
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    auto keyboard = X11KeyboardState::Open(name);
    if (!keyboard) return nullptr;
    std::unique_ptr<ITone> bell = X11BellTone::Open(name);
    if (!bell) bell = std::make_unique<SilentTone>();
    return std::make_unique<HotKeyPoller>(
        std::move(keyboard), std::make_unique<AlsaTone>(std::move(bell)), std::move(request));
}

}  // namespace

std::unique_ptr<HotKeyPoller> StartHotKeyPoller(HotKeyPoller::ToggleRequest requestToggleAndWait) {
    return StartOnDisplay(std::move(requestToggleAndWait));
}

std::unique_ptr<HotKeyPoller> StartHotKeyPoller(
    HotKeyPoller::PlainToggleRequest requestToggleAndWait) {
    return StartOnDisplay(
        [request = std::move(requestToggleAndWait)](std::stop_token) { return request(); });
}
