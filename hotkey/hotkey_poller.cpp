#include <condition_variable>
#include <mutex>

#include "hotkey/hotkey.h"

HotKeyPoller::HotKeyPoller(std::unique_ptr<IKeyboardState> keyboard, std::unique_ptr<ITone> tone,
                           ToggleRequest requestToggleAndWait, std::chrono::milliseconds interval)
    : m_pKeyboard(std::move(keyboard)),
      m_pTone(std::move(tone)),
      m_requestToggle(std::move(requestToggleAndWait)),
      m_interval(interval),
      m_thread([this](std::stop_token stop) { HotKeyThreadProc(stop); }) {}

HotKeyPoller::HotKeyPoller(std::unique_ptr<IKeyboardState> keyboard, std::unique_ptr<ITone> tone,
                           PlainToggleRequest requestToggleAndWait,
                           std::chrono::milliseconds interval)
    : HotKeyPoller(std::move(keyboard), std::move(tone),
                   ToggleRequest([request = std::move(requestToggleAndWait)](std::stop_token) {
                       return request();
                   }),
                   interval) {}

HotKeyPoller::~HotKeyPoller() {
    Stop();
    if (m_thread.joinable()) m_thread.join();
}

void HotKeyPoller::Stop() {
    m_thread.request_stop();
}

void HotKeyPoller::HotKeyThreadProc(std::stop_token stop) {
    // Only the stop request ever wakes this; the mutex exists for the wait.
    std::mutex sleepLock;
    std::condition_variable_any wake;

    while (m_pKeyboard && !stop.stop_requested()) {
        const KeyboardReading keys = m_pKeyboard->Read();
        if (keys.control.Counts() && keys.f12.Counts()) {
            if (m_pTone) m_pTone->Beep(kToneHz, kToneMs, stop);
            if (stop.stop_requested()) break;
            if (!m_requestToggle || !m_requestToggle(stop)) break;
        }
        std::unique_lock lock(sleepLock);
        wake.wait_for(lock, stop, m_interval, [] { return false; });
    }
    m_bRunning.store(false);
}
