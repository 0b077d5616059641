// Lets another thread (the hot-key poller) have the window's thread run one
// action and wait until it has run. It outlives the window that made it: once
// disconnected, a request ends at once with false.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

#include "capture/capture_window.h"

class WindowRequest : public std::enable_shared_from_this<WindowRequest> {
  public:
    static std::shared_ptr<WindowRequest> Create(CaptureWindow& window,
                                                 std::function<void()> action);

    // Any thread except the window's. Runs the action on the window's thread
    // and waits for it (true), or until the window has disconnected, dropped
    // the request or `stop` is requested (false).
    bool RequestAndWait(std::stop_token stop = {});
    // Window's thread, before the window goes: no action runs after this.
    void Disconnect();

  private:
    WindowRequest(CaptureWindow& window, std::function<void()> action)
        : m_pWindow(&window), m_action(std::move(action)) {}

    std::mutex m_lock;
    CaptureWindow* m_pWindow;
    std::function<void()> m_action;  // window's thread only
};
