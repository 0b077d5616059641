#include "common/stop_signals.h"

#include <atomic>

namespace {

// Lock-free atomics: the handler may read and write them.
std::atomic<bool> g_caught{false};
std::atomic<void (*)(void*)> g_onStop{nullptr};
std::atomic<void*> g_context{nullptr};

void OnSignal(int) {
    g_caught.store(true);
    void (*onStop)(void*) = g_onStop.load();
    if (onStop != nullptr) onStop(g_context.load());
}

}  // namespace

StopSignals::StopSignals(void (*onStop)(void*), void* context) {
    static_assert(std::atomic<bool>::is_always_lock_free &&
                  std::atomic<void (*)(void*)>::is_always_lock_free &&
                  std::atomic<void*>::is_always_lock_free);
    g_caught.store(false);
    g_context.store(context);
    g_onStop.store(onStop);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
    g_onStop.store(nullptr);
    g_context.store(nullptr);
}

bool StopSignals::Caught() {
    return g_caught.load();
}
