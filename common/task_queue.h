// A window thread's queue of closures, for windows that have no toolkit event
// loop of their own (the console companion, tests): workers Post, and the
// thread that owns the queue runs what was posted from its own loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class TaskQueue {
  public:
    TaskQueue() = default;
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;
    // Destroys every task still queued, unrun.
    ~TaskQueue();

    // Any thread; never blocks beyond the queue's own short lock. Tasks posted
    // after Close are destroyed unrun.
    void Post(std::function<void()> task);

    // Owner's thread. Runs every queued task (and those they post) in order,
    // waiting up to `wait` for the first one when the queue is empty. Returns
    // how many ran.
    size_t RunPending(std::chrono::milliseconds wait = std::chrono::milliseconds{0});

    // Owner's thread. Runs tasks until `done()` holds or `timeout` has passed;
    // returns done(). `done` is checked after every task and at least every
    // `poll`, so it may also watch state that no task changes.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                  std::chrono::milliseconds poll = std::chrono::milliseconds{10});

    // Destroys the queued tasks unrun and refuses later ones, as a window that
    // has gone away.
    void Close();

    // Wakes a RunPending that is waiting, without a task.
    void Wake();

  private:
    std::mutex m_lock;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_tasks;
    bool m_bClosed = false;
    bool m_bWoken = false;
};
