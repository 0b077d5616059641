#include "common/task_queue.h"

#include <algorithm>
#include <utility>

TaskQueue::~TaskQueue() {
    Close();
}

void TaskQueue::Post(std::function<void()> task) {
    {
        std::scoped_lock lock(m_lock);
        if (!m_bClosed) {
            m_tasks.push_back(std::move(task));
            task = nullptr;
        }
    }
    m_posted.notify_one();
    // A refused task is destroyed here, outside the lock: its destructor may post.
}

void TaskQueue::Wake() {
    {
        std::scoped_lock lock(m_lock);
        m_bWoken = true;
    }
    m_posted.notify_one();
}

size_t TaskQueue::RunPending(std::chrono::milliseconds wait) {
    size_t ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_lock);
            if (ran == 0 && wait.count() > 0) {
                m_posted.wait_for(lock, wait, [&] { return !m_tasks.empty() || m_bWoken; });
            }
            m_bWoken = false;
            if (m_tasks.empty()) return ran;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
        ++ran;
    }
}

bool TaskQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                         std::chrono::milliseconds poll) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        RunPending(std::min(poll, left) + std::chrono::milliseconds{1});
    }
    return true;
}

void TaskQueue::Close() {
    std::deque<std::function<void()>> dropped;
    {
        std::scoped_lock lock(m_lock);
        m_bClosed = true;
        dropped.swap(m_tasks);
    }
    // Destroyed outside the lock, in order: a task's captures may post or wake.
}
