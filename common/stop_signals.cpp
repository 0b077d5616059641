#include "common/stop_signals.h"

#include <atomic>
#include <cerrno>

namespace {

struct Hook {
    void (*onStop)(void*) = nullptr;
    void* context = nullptr;
};

// The handler reads only lock-free atomics and this hook, which it reaches
// through one pointer, so it never sees a function with another's context.
Hook g_hook;
std::atomic<const Hook*> g_pHook{nullptr};
std::atomic<bool> g_caught{false};

void OnSignal(int) {
    const int saved = errno;
    g_caught.store(true);
    if (const Hook* hook = g_pHook.load(); hook != nullptr) hook->onStop(hook->context);
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(void (*onStop)(void*), void* context) {
    static_assert(std::atomic<bool>::is_always_lock_free &&
                  std::atomic<const Hook*>::is_always_lock_free);
    g_caught.store(false);
    g_pHook.store(nullptr);
    if (onStop != nullptr) {
        g_hook = {onStop, context};
        g_pHook.store(&g_hook);
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
    g_pHook.store(nullptr);
}

bool StopSignals::Caught() {
    return g_caught.load();
}
