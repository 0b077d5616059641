// The sound-system tone and its fallback. ALSA's "null" device accepts
// samples without any sound card, so the playing path runs here too.
#include "hotkey/alsa_tone.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Call {
    unsigned hz;
    unsigned ms;
    bool operator==(const Call&) const = default;
};

class CountingTone : public ITone {
  public:
    explicit CountingTone(std::vector<Call>& calls) : m_calls(calls) {}
    void Beep(unsigned hz, unsigned ms, std::stop_token) override { m_calls.push_back({hz, ms}); }

  private:
    std::vector<Call>& m_calls;
};

class AlsaToneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!AlsaTone(nullptr).LibraryLoaded()) {
            GTEST_SKIP() << "libasound.so.2 is not installed";
        }
    }
    std::vector<Call> m_fallbackCalls;
};

TEST_F(AlsaToneTest, ADeviceThatOpensPlaysWithoutTheFallback) {
    AlsaTone tone(std::make_unique<CountingTone>(m_fallbackCalls), "null");
    tone.Beep(900, 200, {});
    tone.Beep(900, 200, {});
    EXPECT_TRUE(m_fallbackCalls.empty());
}

TEST_F(AlsaToneTest, ADeviceThatDoesNotOpenHandsEveryToneToTheFallback) {
    AlsaTone tone(std::make_unique<CountingTone>(m_fallbackCalls), "no_such_device_here");
    tone.Beep(900, 200, {});
    tone.Beep(440, 50, {});
    EXPECT_EQ(m_fallbackCalls, (std::vector<Call>{{900, 200}, {440, 50}}));
}

}  // namespace
