// The global hot key Ctrl+F12: a thread polls the keyboard every 100 ms while
// any application has the focus, and each poll that finds Control and F12
// pressed sounds a 900 Hz, 200 ms tone and then has the window's thread carry
// out the Capture/Stop toggle, waiting until it is done. While both keys stay
// held every poll toggles again.
//
// The poller itself knows neither the window system nor the window: the key
// states come from an IKeyboardState, the tone from an ITone and the toggle
// from a callback, so the loop is tested with fakes and the X11 pieces with a
// real server.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

// One key as seen at a poll.
struct KeyReading {
    bool down = false;          // held at the moment of the poll
    bool pressedSince = false;  // pressed at least once since the previous poll
    // A key counts as pressed when either holds: a tap shorter than the poll
    // interval is only seen through pressedSince.
    bool Counts() const { return down || pressedSince; }
};

struct KeyboardReading {
    KeyReading control;  // either Control key
    KeyReading f12;
};

class IKeyboardState {
  public:
    virtual ~IKeyboardState() = default;
    // Reports both keys and starts a new "pressed since" period. Never blocks
    // for longer than a round trip to the keyboard's source.
    virtual KeyboardReading Read() = 0;
};

class ITone {
  public:
    virtual ~ITone() = default;
    // Sounds `hz` for `ms` milliseconds and returns when the tone has ended, or
    // earlier once `stop` is requested.
    virtual void Beep(unsigned hz, unsigned ms, std::stop_token stop) = 0;
};

class HotKeyPoller {
  public:
    static constexpr unsigned kToneHz = 900;
    static constexpr unsigned kToneMs = 200;
    static constexpr std::chrono::milliseconds kInterval{100};

    // Asks the window's thread to run the toggle and waits until it has been
    // carried out. Returns false when the window is gone, which ends the
    // poller. The wait must also end once the token's stop is requested, so
    // that stopping the poller from the window's thread cannot deadlock.
    using ToggleRequest = std::function<bool(std::stop_token)>;
    // The same without the token: such a request must return by itself (with
    // false) when the window goes away, before the window's thread destroys
    // the poller.
    using PlainToggleRequest = std::function<bool()>;

    // Starts the thread at once. Without a keyboard the thread ends at once;
    // without a tone the toggles come silently.
    HotKeyPoller(std::unique_ptr<IKeyboardState> keyboard, std::unique_ptr<ITone> tone,
                 ToggleRequest requestToggleAndWait,
                 std::chrono::milliseconds interval = kInterval);
    HotKeyPoller(std::unique_ptr<IKeyboardState> keyboard, std::unique_ptr<ITone> tone,
                 PlainToggleRequest requestToggleAndWait,
                 std::chrono::milliseconds interval = kInterval);
    HotKeyPoller(const HotKeyPoller&) = delete;
    HotKeyPoller& operator=(const HotKeyPoller&) = delete;
    // Stops and joins the thread.
    ~HotKeyPoller();

    // Asks the thread to end: a sleep between polls, a tone and a toggle wait
    // that honours the token all end at once. Does not wait for the thread.
    void Stop();
    // False once the thread has left its loop (stopped, or the window is gone).
    bool Running() const { return m_bRunning.load(); }

  private:
    void HotKeyThreadProc(std::stop_token stop);

    std::unique_ptr<IKeyboardState> m_pKeyboard;
    std::unique_ptr<ITone> m_pTone;
    ToggleRequest m_requestToggle;
    std::chrono::milliseconds m_interval;
    std::atomic<bool> m_bRunning{true};
    // Last member: it is stopped and joined before the others are destroyed.
    std::jthread m_thread;
};

// The poller for the desktop this process runs on: Ctrl+F12 on the X display
// named by DISPLAY. Returns null, silently, when there is no X display to
// watch (DISPLAY unset, a Wayland-only session, or the display cannot be
// opened); the program then simply has no hot key. Without the XInput2
// extension the poller still sees held keys, but may miss a tap shorter than
// the poll interval.
std::unique_ptr<HotKeyPoller> StartHotKeyPoller(HotKeyPoller::ToggleRequest requestToggleAndWait);
std::unique_ptr<HotKeyPoller> StartHotKeyPoller(
    HotKeyPoller::PlainToggleRequest requestToggleAndWait);
