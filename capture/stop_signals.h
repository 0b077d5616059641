// Catches SIGINT and SIGTERM while it lives, calling `handler` for them (it
// must be async-signal-safe); their previous handling comes back afterwards.
#pragma once

#include <csignal>

class StopSignals {
  public:
    explicit StopSignals(void (*handler)(int)) {
        struct sigaction action = {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_oldInt);
        sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~StopSignals() {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
};
