// The poll loop against a scripted keyboard: the test hands the poller one
// reading per poll and waits until the poller has finished with it (it asks
// for the next one), so nothing depends on timing.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "hotkey/hotkey.h"

namespace {

using namespace std::chrono_literals;

constexpr KeyReading kUp{false, false};
constexpr KeyReading kTapped{false, true};  // pressed and released between polls
constexpr KeyReading kHeld{true, false};

// What the poller did, in order: "beep 900/200" and "toggle".
class Journal {
  public:
    void Add(std::string entry) {
        std::scoped_lock lock(m_lock);
        m_entries.push_back(std::move(entry));
    }
    std::vector<std::string> Entries() const {
        std::scoped_lock lock(m_lock);
        return m_entries;
    }

  private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_entries;
};

// Shared between the test and the poller's keyboard.
struct Script {
    std::mutex lock;
    std::condition_variable changed;
    bool pollerWaiting = false;
    bool hasReading = false;
    bool finished = false;  // from now on every read returns at once, keys up
    KeyboardReading reading;
    int reads = 0;
};

class ScriptedKeyboard : public IKeyboardState {
  public:
    explicit ScriptedKeyboard(Script& script) : m_script(script) {}
    KeyboardReading Read() override {
        std::unique_lock lock(m_script.lock);
        m_script.pollerWaiting = true;
        m_script.changed.notify_all();
        m_script.changed.wait(lock, [&] { return m_script.hasReading || m_script.finished; });
        m_script.pollerWaiting = false;
        ++m_script.reads;
        m_script.changed.notify_all();
        if (!m_script.hasReading) return {};
        m_script.hasReading = false;
        return m_script.reading;
    }

  private:
    Script& m_script;
};

class RecordingTone : public ITone {
  public:
    explicit RecordingTone(Journal& journal) : m_journal(journal) {}
    void Beep(unsigned hz, unsigned ms, std::stop_token) override {
        m_journal.Add("beep " + std::to_string(hz) + "/" + std::to_string(ms));
    }

  private:
    Journal& m_journal;
};

class HotKeyPollerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        Finish();
        m_poller.reset();
    }

    void Start(HotKeyPoller::ToggleRequest request, std::chrono::milliseconds interval = 1ms) {
        m_poller = std::make_unique<HotKeyPoller>(std::make_unique<ScriptedKeyboard>(m_script),
                                                  std::make_unique<RecordingTone>(m_journal),
                                                  std::move(request), interval);
    }
    void StartCounting() {
        Start([this](std::stop_token) {
            m_journal.Add("toggle");
            return true;
        });
    }

    // Hands one reading to the next poll and returns once the poller has dealt
    // with it and asks again. False when the poller ended instead.
    bool Poll(KeyReading control, KeyReading f12) {
        if (!Hand(control, f12)) return false;
        std::unique_lock lock(m_script.lock);
        return WaitFor(lock, [&] { return !m_script.hasReading && m_script.pollerWaiting; });
    }
    // Hands one reading to the next poll without waiting for the poller to
    // finish with it.
    bool Hand(KeyReading control, KeyReading f12) {
        std::unique_lock lock(m_script.lock);
        if (!WaitFor(lock, [&] { return m_script.pollerWaiting; })) return false;
        m_script.reading = {control, f12};
        m_script.hasReading = true;
        m_script.changed.notify_all();
        return true;
    }

    template <typename Pred>
    bool WaitFor(std::unique_lock<std::mutex>& lock, Pred pred) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!pred()) {
            if (!m_poller->Running()) return false;
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the poller did not come back for the next reading";
                return false;
            }
            m_script.changed.wait_for(lock, 10ms);
        }
        return true;
    }

    void Finish() {
        std::scoped_lock lock(m_script.lock);
        m_script.finished = true;
        m_script.changed.notify_all();
    }

    bool WaitUntilEnded() {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (m_poller->Running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        return !m_poller->Running();
    }

    Script m_script;
    Journal m_journal;
    std::unique_ptr<HotKeyPoller> m_poller;
};

const std::vector<std::string> kOneToggle{"beep 900/200", "toggle"};

TEST_F(HotKeyPollerTest, TapBetweenPollsTogglesOnceAfterTheTone) {
    StartCounting();
    ASSERT_TRUE(Poll(kUp, kUp));
    ASSERT_TRUE(Poll(kTapped, kTapped));
    ASSERT_TRUE(Poll(kUp, kUp));
    ASSERT_TRUE(Poll(kUp, kUp));
    EXPECT_EQ(m_journal.Entries(), kOneToggle);
}

TEST_F(HotKeyPollerTest, ControlHeldAndF12TappedToggles) {
    StartCounting();
    ASSERT_TRUE(Poll(kHeld, kTapped));
    ASSERT_TRUE(Poll(kHeld, kUp));
    EXPECT_EQ(m_journal.Entries(), kOneToggle);
}

TEST_F(HotKeyPollerTest, HoldingBothKeysTogglesAtEveryPollWithAToneEachTime) {
    StartCounting();
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(Poll(kHeld, kHeld));
    ASSERT_TRUE(Poll(kUp, kUp));
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i)
        expected.insert(expected.end(), kOneToggle.begin(), kOneToggle.end());
    EXPECT_EQ(m_journal.Entries(), expected);
}

TEST_F(HotKeyPollerTest, EitherKeyAloneDoesNothing) {
    StartCounting();
    ASSERT_TRUE(Poll(kUp, kTapped));
    ASSERT_TRUE(Poll(kUp, kHeld));
    ASSERT_TRUE(Poll(kHeld, kUp));
    ASSERT_TRUE(Poll(kTapped, kUp));
    EXPECT_TRUE(m_journal.Entries().empty());
}

TEST_F(HotKeyPollerTest, AnF12PressFromAnEarlierPollDoesNotJoinALaterControl) {
    StartCounting();
    ASSERT_TRUE(Poll(kUp, kTapped));
    ASSERT_TRUE(Poll(kHeld, kUp));
    ASSERT_TRUE(Poll(kTapped, kUp));
    EXPECT_TRUE(m_journal.Entries().empty());
}

TEST_F(HotKeyPollerTest, WindowGoneEndsThePoller) {
    int requests = 0;
    Start([&](std::stop_token) {
        ++requests;
        return false;
    });
    ASSERT_TRUE(Poll(kUp, kUp));
    EXPECT_FALSE(Poll(kHeld, kHeld));  // the poller does not come back
    EXPECT_TRUE(WaitUntilEnded());
    EXPECT_EQ(requests, 1);
    {
        std::scoped_lock lock(m_script.lock);
        EXPECT_EQ(m_script.reads, 2);
    }
}

TEST_F(HotKeyPollerTest, StopEndsTheSleepBetweenPolls) {
    // With an hour between polls only the stop can end the sleep.
    Start([](std::stop_token) { return true; }, std::chrono::hours(1));
    ASSERT_TRUE(Hand(kUp, kUp));
    {
        std::unique_lock lock(m_script.lock);
        m_script.changed.wait_for(lock, 5s, [&] { return m_script.reads >= 1; });
        ASSERT_EQ(m_script.reads, 1);
    }
    m_poller->Stop();
    EXPECT_TRUE(WaitUntilEnded());
}

TEST_F(HotKeyPollerTest, StopEndsAToggleWaitThatHonoursTheToken) {
    std::mutex lock;
    std::condition_variable_any done;
    bool entered = false;
    Start([&](std::stop_token stop) {
        std::unique_lock hold(lock);
        entered = true;
        done.notify_all();
        // The window never answers: only the stop can end this wait.
        done.wait(hold, stop, [] { return false; });
        return true;
    });
    ASSERT_TRUE(Hand(kHeld, kHeld));
    {
        std::unique_lock hold(lock);
        ASSERT_TRUE(done.wait_for(hold, 5s, [&] { return entered; }));
    }
    m_poller->Stop();
    EXPECT_TRUE(WaitUntilEnded());
    EXPECT_EQ(m_journal.Entries(), std::vector<std::string>{"beep 900/200"});
}

TEST_F(HotKeyPollerTest, PlainRequestIsCalledLikeOneWithAToken) {
    int requests = 0;
    m_poller = std::make_unique<HotKeyPoller>(
        std::make_unique<ScriptedKeyboard>(m_script), std::make_unique<RecordingTone>(m_journal),
        HotKeyPoller::PlainToggleRequest([&] { return ++requests < 2; }), 1ms);
    ASSERT_TRUE(Poll(kHeld, kHeld));
    EXPECT_FALSE(Poll(kHeld, kHeld));
    EXPECT_TRUE(WaitUntilEnded());
    EXPECT_EQ(requests, 2);
}

TEST(StartHotKeyPoller, StaysOffWithoutADisplay) {
    const char* saved = std::getenv("DISPLAY");
    const std::string restore = saved ? saved : "";

    unsetenv("DISPLAY");
    EXPECT_EQ(StartHotKeyPoller([] { return true; }), nullptr);
    setenv("DISPLAY", "", 1);
    EXPECT_EQ(StartHotKeyPoller([] { return true; }), nullptr);
    // A display nobody serves.
    setenv("DISPLAY", ":4093", 1);
    EXPECT_EQ(StartHotKeyPoller([](std::stop_token) { return true; }), nullptr);

    if (saved) {
        setenv("DISPLAY", restore.c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
}

}  // namespace
