#include "app/window_request.h"

#include <condition_variable>
#include <utility>

namespace {

struct Wait {
    std::mutex lock;
    std::condition_variable_any changed;
    bool finished = false;
    bool ran = false;

    void Finish(bool result) {
        std::scoped_lock guard(lock);
        if (finished) return;
        finished = true;
        ran = result;
        changed.notify_all();
    }
};

// Ends the waiter with false when the posted task is dropped unrun.
struct Completion {
    explicit Completion(std::shared_ptr<Wait> w) : wait(std::move(w)) {}
    ~Completion() { wait->Finish(false); }
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;
    std::shared_ptr<Wait> wait;
};

}  // namespace

std::shared_ptr<WindowRequest> WindowRequest::Create(CaptureWindow& window,
                                                     std::function<void()> action) {
    return std::shared_ptr<WindowRequest>(new WindowRequest(window, std::move(action)));
}

void WindowRequest::Disconnect() {
    std::scoped_lock lock(m_lock);
    m_pWindow = nullptr;
}

bool WindowRequest::RequestAndWait(std::stop_token stop) {
    auto wait = std::make_shared<Wait>();
    {
        auto completion = std::make_shared<Completion>(wait);
        std::scoped_lock lock(m_lock);
        if (m_pWindow == nullptr) return false;
        // Posting never waits, so holding the lock meanwhile cannot hold up
        // the window's thread when it disconnects.
        m_pWindow->RunOnWindowThread([self = shared_from_this(), completion] {
            {
                std::scoped_lock held(self->m_lock);
                if (self->m_pWindow == nullptr) return;
            }
            // Disconnect runs on this thread too, so the window cannot go
            // between the check and the action.
            self->m_action();
            completion->wait->Finish(true);
        });
    }
    std::unique_lock lock(wait->lock);
    wait->changed.wait(lock, stop, [&] { return wait->finished; });
    return wait->finished && wait->ran;
}
