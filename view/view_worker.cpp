#include "view/view_worker.h"

ViewWorker::ViewWorker() : m_thread([this](std::stop_token stop) { Run(stop); }) {}

ViewWorker::~ViewWorker() {
    CancelAll();
    m_thread.request_stop();
    m_posted.notify_all();
}

void ViewWorker::Post(Job job) {
    {
        std::scoped_lock lock(m_lock);
        m_jobs.emplace_back(std::move(job), m_cancel);
    }
    m_posted.notify_one();
}

void ViewWorker::CancelAll() {
    std::scoped_lock lock(m_lock);
    m_cancel->store(true, std::memory_order_relaxed);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_jobs.clear();
}

void ViewWorker::Run(std::stop_token stop) {
    for (;;) {
        std::pair<Job, std::shared_ptr<std::atomic<bool>>> next;
        {
            std::unique_lock lock(m_lock);
            if (!m_posted.wait(lock, stop, [this] { return !m_jobs.empty(); })) return;
            next = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        if (!next.second->load(std::memory_order_relaxed)) next.first(*next.second);
    }
}
