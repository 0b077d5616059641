// One thread that runs a view's long jobs (filtering, sorting, finding over a
// million rows) in the order they were posted, off the window's thread. Each
// job hands its result back through whatever the poster captured (a window
// posts it to its own thread). Starting a new generation of jobs cancels the
// ones still waiting or running: their results are for a view that has gone.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class ViewWorker {
  public:
    // A job reads its cancel flag between chunks of its work.
    using Job = std::function<void(const std::atomic<bool>& cancel)>;

    ViewWorker();
    // Cancels every job and waits for the running one.
    ~ViewWorker();
    ViewWorker(const ViewWorker&) = delete;
    ViewWorker& operator=(const ViewWorker&) = delete;

    void Post(Job job);
    // Cancels the jobs posted so far; later posts run.
    void CancelAll();

  private:
    void Run(std::stop_token stop);

    std::mutex m_lock;
    std::condition_variable_any m_posted;
    std::deque<std::pair<Job, std::shared_ptr<std::atomic<bool>>>> m_jobs;
    std::shared_ptr<std::atomic<bool>> m_cancel = std::make_shared<std::atomic<bool>>(false);
    std::jthread m_thread;
};
