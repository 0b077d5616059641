// The toggle as another thread (the hot-key poller) requests it: run on the
// window's thread, waited for, and never left waiting once the session, the
// window or the poller goes away.
#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "capture/capture_session.h"
#include "tests/capture/capture_test_support.h"

namespace {

struct ToggleRig {
    PacketStore store;
    SharedText filter;
    SharedText dataContains;
    FakeWindow window{store};
    std::unique_ptr<CaptureSession> session =
        std::make_unique<CaptureSession>(window, store, filter, dataContains);

    ToggleRig() {
        // An entry that cannot be opened: the start fails by itself, no root needed.
        window.SelectInterface(1000);
    }
};

TEST(CaptureToggleTest, ARequestRunsTheToggleOnTheWindowThreadAndWaitsForIt) {
    ToggleRig rig;
    auto toggle = rig.session->Toggle();
    auto waiter = std::async(std::launch::async, [&] { return toggle->RequestAndWait(); });
    // Nothing happens until the window's thread runs its tasks.
    EXPECT_EQ(waiter.wait_for(100ms), std::future_status::timeout);
    EXPECT_EQ(rig.session->Phase(), CapturePhase::Idle);
    ASSERT_TRUE(rig.window.PumpUntil(
        [&] { return waiter.wait_for(0s) == std::future_status::ready; }, 5s));
    EXPECT_TRUE(waiter.get());
    EXPECT_EQ(rig.window.clears, 1);  // the start ran
    EXPECT_FALSE(rig.window.wrongThread);
    ASSERT_TRUE(rig.window.PumpUntil([&] { return rig.session->Phase() == CapturePhase::Idle; }));
}

TEST(CaptureToggleTest, ARequestAfterTheSessionIsGoneEndsAtOnce) {
    ToggleRig rig;
    auto toggle = rig.session->Toggle();
    rig.session.reset();
    EXPECT_FALSE(toggle->RequestAndWait());
}

TEST(CaptureToggleTest, ARequestPendingWhenTheSessionGoesEndsWithoutToggling) {
    ToggleRig rig;
    auto toggle = rig.session->Toggle();
    std::promise<bool> result;
    toggle->Request([&](bool ran) { result.set_value(ran); });
    rig.session.reset();
    rig.window.PumpFor(20ms);
    auto future = result.get_future();
    ASSERT_EQ(future.wait_for(0s), std::future_status::ready);
    EXPECT_FALSE(future.get());
    EXPECT_EQ(rig.window.clears, 0);
}

TEST(CaptureToggleTest, AWindowThatDropsItsTasksEndsTheWait) {
    ToggleRig rig;
    auto toggle = rig.session->Toggle();
    auto waiter = std::async(std::launch::async, [&] { return toggle->RequestAndWait(); });
    std::this_thread::sleep_for(50ms);
    rig.window.Queue().Close();
    ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiter.get());
    EXPECT_EQ(rig.session->Phase(), CapturePhase::Idle);
}

TEST(CaptureToggleTest, AStopRequestEndsTheWait) {
    ToggleRig rig;
    auto toggle = rig.session->Toggle();
    std::stop_source stop;
    auto waiter = std::async(std::launch::async,
                             [&] { return toggle->RequestAndWait(stop.get_token()); });
    std::this_thread::sleep_for(50ms);
    stop.request_stop();
    ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiter.get());
    // The request itself is still carried out when the window gets to it.
    rig.window.PumpFor(20ms);
    EXPECT_EQ(rig.window.clears, 1);
    ASSERT_TRUE(rig.window.PumpUntil([&] { return rig.session->Phase() == CapturePhase::Idle; }));
}

}  // namespace
