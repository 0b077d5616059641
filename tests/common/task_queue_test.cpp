// The window-thread queue of the console window and the tests.
#include "common/task_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(TaskQueueTest, RunsTasksFromOtherThreadsInOrderOnTheOwner) {
    TaskQueue queue;
    std::vector<int> order;
    const auto owner = std::this_thread::get_id();
    bool elsewhere = false;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) {
            queue.Post([&, i] {
                elsewhere |= std::this_thread::get_id() != owner;
                order.push_back(i);
            });
        }
    });
    poster.join();
    EXPECT_EQ(queue.RunPending(), 100u);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
    EXPECT_FALSE(elsewhere);
}

TEST(TaskQueueTest, RunPendingWaitsForTheFirstTask) {
    TaskQueue queue;
    std::atomic<bool> ran{false};
    std::thread poster([&] {
        std::this_thread::sleep_for(50ms);
        queue.Post([&] { ran = true; });
    });
    EXPECT_EQ(queue.RunPending(5s), 1u);
    EXPECT_TRUE(ran);
    poster.join();
}

TEST(TaskQueueTest, TasksPostedAfterCloseAreDestroyedUnrun) {
    TaskQueue queue;
    auto token = std::make_shared<int>(0);
    bool ran = false;
    queue.Post([token, &ran] { ran = true; });
    queue.Close();
    EXPECT_EQ(token.use_count(), 1);  // the queued one went
    queue.Post([token, &ran] { ran = true; });
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_EQ(queue.RunPending(), 0u);
    EXPECT_FALSE(ran);
}

TEST(TaskQueueTest, RunUntilStopsAtTheTimeout) {
    TaskQueue queue;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue.RunUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);
    int count = 0;
    queue.Post([&] { ++count; });
    EXPECT_TRUE(queue.RunUntil([&] { return count == 1; }, 5s));
}

}  // namespace
