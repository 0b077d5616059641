// The hot key against a real X server: an Xvfb of the test's own (on a free
// display number), keys typed with xdotool, and the bell watched through XKB
// bell notifications, which carry the pitch and duration of every ring.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hotkey/hotkey.h"
#include "hotkey/x11_bell_tone.h"
#include "hotkey/x11_keyboard.h"

// Last: the X headers define macros (None, Bool, Status) that clash with others.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// An Xvfb that picks a free display number itself (-displayfd) and is ended
// with the object.
class Xvfb {
  public:
    static std::unique_ptr<Xvfb> Start(std::string& why) {
        if (!OnPath("Xvfb")) {
            why = "Xvfb is not installed";
            return nullptr;
        }
        int fds[2];
        if (pipe(fds) != 0) {
            why = "no pipe for Xvfb";
            return nullptr;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            const int devnull = open("/dev/null", O_WRONLY);
            if (devnull >= 0) {
                dup2(devnull, STDOUT_FILENO);
                dup2(devnull, STDERR_FILENO);
            }
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset",
                   "-screen", "0", "640x480x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            why = "cannot start Xvfb";
            return nullptr;
        }
        // Xvfb writes its display number once it accepts connections.
        std::string number;
        pollfd waitFor{fds[0], POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (number.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            if (poll(&waitFor, 1, 200) <= 0) continue;
            char buf[16];
            const ssize_t got = read(fds[0], buf, sizeof(buf));
            if (got <= 0) break;
            number.append(buf, static_cast<size_t>(got));
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            why = "Xvfb did not come up";
            return nullptr;
        }
        number.resize(number.find('\n'));
        return std::unique_ptr<Xvfb>(new Xvfb(pid, ":" + number));
    }

    ~Xvfb() {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

    const std::string& Name() const { return m_name; }

  private:
    Xvfb(pid_t pid, std::string name) : m_pid(pid), m_name(std::move(name)) {}

    pid_t m_pid;
    std::string m_name;
};

struct Ring {
    int pitch;
    int duration;
    bool operator==(const Ring&) const = default;
};

void PrintTo(const Ring& ring, std::ostream* os) {
    *os << ring.pitch << " Hz/" << ring.duration << " ms";
}

class HotKeyOnXvfb : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_server = Xvfb::Start(s_why);
        if (s_server && !OnPath("xdotool")) {
            s_server.reset();
            s_why = "xdotool is not installed";
        }
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override {
        if (!s_server) GTEST_SKIP() << "no X server for this test: " << s_why;
        m_pObserver = XOpenDisplay(Name());
        ASSERT_NE(m_pObserver, nullptr);
        int opcode = 0;
        int error = 0;
        int major = XkbMajorVersion;
        int minor = XkbMinorVersion;
        ASSERT_TRUE(XkbQueryExtension(m_pObserver, &opcode, &m_nXkbEvent, &error, &major, &minor));
        ASSERT_TRUE(
            XkbSelectEvents(m_pObserver, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask));
        // Bell settings of the user's own, which every ring must leave as found.
        XKeyboardControl own{};
        own.bell_pitch = kOwnBell.pitch;
        own.bell_duration = kOwnBell.duration;
        XChangeKeyboardControl(m_pObserver, KBBellPitch | KBBellDuration, &own);
        XSync(m_pObserver, False);
        ASSERT_EQ(BellSettings(), kOwnBell);
        Rings();  // nothing from an earlier test
    }

    void TearDown() override {
        m_poller.reset();
        if (m_pObserver) {
            XUngrabKeyboard(m_pObserver, CurrentTime);
            XCloseDisplay(m_pObserver);
        }
        if (s_server) Type("keyup ctrl Control_R F12");
    }

    static const char* Name() { return s_server->Name().c_str(); }

    static void Type(const std::string& keys) {
        const std::string command = "DISPLAY=" + s_server->Name() + " xdotool " + keys;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    Ring BellSettings() {
        XKeyboardState state{};
        XGetKeyboardControl(m_pObserver, &state);
        return {static_cast<int>(state.bell_pitch), static_cast<int>(state.bell_duration)};
    }

    // Every ring notified since the previous call.
    std::vector<Ring> Rings() {
        XSync(m_pObserver, False);
        std::vector<Ring> rings;
        while (XPending(m_pObserver) > 0) {
            XEvent event;
            XNextEvent(m_pObserver, &event);
            if (event.type != m_nXkbEvent) continue;
            const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
            if (xkb->any.xkb_type == XkbBellNotify) {
                rings.push_back({xkb->bell.pitch, xkb->bell.duration});
            }
        }
        return rings;
    }

    void StartCounting(std::unique_ptr<HotKeyPoller> poller = nullptr) {
        m_poller = poller ? std::move(poller)
                          : std::make_unique<HotKeyPoller>(X11KeyboardState::Open(Name()),
                                                           X11BellTone::Open(Name()), Counter());
        ASSERT_NE(m_poller, nullptr);
    }

    HotKeyPoller::ToggleRequest Counter() {
        return [this](std::stop_token) {
            ++m_nToggles;
            return true;
        };
    }

    bool WaitForToggles(int count) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (m_nToggles.load() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
        }
        return m_nToggles.load() >= count;
    }

    static constexpr Ring kOwnBell{523, 77};
    static constexpr Ring kHotKeyRing{900, 200};

    static inline std::unique_ptr<Xvfb> s_server;
    static inline std::string s_why;
    Display* m_pObserver = nullptr;
    int m_nXkbEvent = 0;
    std::atomic<int> m_nToggles{0};
    std::unique_ptr<HotKeyPoller> m_poller;
};

TEST_F(HotKeyOnXvfb, ATapTogglesOnceWithOneTone) {
    const char* saved = std::getenv("DISPLAY");
    const std::string restore = saved ? saved : "";
    setenv("DISPLAY", Name(), 1);
    StartCounting(StartHotKeyPoller(Counter()));
    if (saved) {
        setenv("DISPLAY", restore.c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }

    Type("key ctrl+F12");
    ASSERT_TRUE(WaitForToggles(1));
    // Several more polls go by without the keys.
    std::this_thread::sleep_for(4 * HotKeyPoller::kInterval + 2 * 1ms * HotKeyPoller::kToneMs);
    EXPECT_EQ(m_nToggles.load(), 1);
    // Where a sound device answers the tone is played there and the bell
    // stays silent; otherwise the bell rings once at the hot key's pitch.
    const std::vector<Ring> rings = Rings();
    if (!rings.empty()) {
        EXPECT_EQ(rings, std::vector<Ring>{kHotKeyRing});
    }
    EXPECT_EQ(BellSettings(), kOwnBell);
}

TEST_F(HotKeyOnXvfb, HoldingTheKeysTogglesAtEveryPollWithARingEachTime) {
    StartCounting();
    Type("keydown ctrl F12 sleep 1 keyup F12 ctrl");
    // Every toggle follows its ring; wait for the last one to be taken in.
    std::this_thread::sleep_for(2 * HotKeyPoller::kInterval + 1ms * HotKeyPoller::kToneMs);
    m_poller.reset();

    const int toggles = m_nToggles.load();
    // A ring of 200 ms and a sleep of 100 ms per poll: about three in a second.
    EXPECT_GE(toggles, 2);
    EXPECT_LE(toggles, 5);
    EXPECT_EQ(Rings(), std::vector<Ring>(static_cast<size_t>(toggles), kHotKeyRing));
    EXPECT_EQ(BellSettings(), kOwnBell);
}

TEST_F(HotKeyOnXvfb, ATapBetweenReadsIsSeenOnceThroughRawPresses) {
    auto keyboard = X11KeyboardState::Open(Name());
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(keyboard->SeesTaps());
    keyboard->Read();

    Type("key Control_R+F12");
    const KeyboardReading tap = keyboard->Read();
    EXPECT_TRUE(tap.control.pressedSince);
    EXPECT_TRUE(tap.f12.pressedSince);
    EXPECT_FALSE(tap.control.down);
    EXPECT_FALSE(tap.f12.down);

    const KeyboardReading after = keyboard->Read();
    EXPECT_FALSE(after.control.Counts());
    EXPECT_FALSE(after.f12.Counts());
}

TEST_F(HotKeyOnXvfb, HeldKeysAreSeenAtEveryReadAndOtherKeysAreNot) {
    auto keyboard = X11KeyboardState::Open(Name());
    ASSERT_NE(keyboard, nullptr);
    Type("key F11 Control_L+F10 a");
    const KeyboardReading others = keyboard->Read();
    EXPECT_TRUE(others.control.pressedSince);
    EXPECT_FALSE(others.f12.Counts());

    Type("keydown Control_L F12");
    for (int i = 0; i < 3; ++i) {
        const KeyboardReading held = keyboard->Read();
        EXPECT_TRUE(held.control.down);
        EXPECT_TRUE(held.f12.down);
    }
    Type("keyup F12 Control_L");
    EXPECT_FALSE(keyboard->Read().f12.down);
}

TEST_F(HotKeyOnXvfb, AKeyboardGrabByAnotherClientDoesNotHideTheKeys) {
    auto keyboard = X11KeyboardState::Open(Name());
    ASSERT_NE(keyboard, nullptr);
    keyboard->Read();
    ASSERT_EQ(XGrabKeyboard(m_pObserver, DefaultRootWindow(m_pObserver), False, GrabModeAsync,
                            GrabModeAsync, CurrentTime),
              GrabSuccess);
    XSync(m_pObserver, False);

    Type("key ctrl+F12");
    const KeyboardReading tap = keyboard->Read();
    EXPECT_TRUE(tap.control.pressedSince);
    EXPECT_TRUE(tap.f12.pressedSince);
}

TEST_F(HotKeyOnXvfb, WithoutRawPressesOnlyHeldKeysAreSeen) {
    auto keyboard = X11KeyboardState::Open(Name(), X11KeyboardState::PressEvents::KeymapOnly);
    ASSERT_NE(keyboard, nullptr);
    EXPECT_FALSE(keyboard->SeesTaps());
    Type("key ctrl+F12");
    EXPECT_FALSE(keyboard->Read().f12.Counts());
    Type("keydown ctrl F12");
    const KeyboardReading held = keyboard->Read();
    EXPECT_TRUE(held.control.down && held.f12.down);
}

TEST_F(HotKeyOnXvfb, TheBellRingsAtTheAskedPitchAndIsPutBack) {
    auto tone = X11BellTone::Open(Name());
    ASSERT_NE(tone, nullptr);
    const auto start = std::chrono::steady_clock::now();
    tone->Beep(1234, 150, {});
    // The tone returns once it has ended, not as soon as it was asked for.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
    EXPECT_EQ(Rings(), (std::vector<Ring>{Ring{1234, 150}}));
    EXPECT_EQ(BellSettings(), kOwnBell);

    // A stop already requested cuts the wait, not the ring or the restore.
    std::stop_source stop;
    stop.request_stop();
    tone->Beep(900, 30000, stop.get_token());
    EXPECT_EQ(Rings(), (std::vector<Ring>{Ring{900, 30000}}));
    EXPECT_EQ(BellSettings(), kOwnBell);
}

}  // namespace
