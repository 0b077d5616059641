// Catches SIGINT and SIGTERM while it lives: the first one caught is noted
// (Caught) and `onStop(context)` runs in the handler, so it must be
// async-signal-safe (storing a flag, writing to an eventfd). Their previous
// handling comes back afterwards. One lives at a time.
#pragma once

#include <csignal>

class StopSignals {
  public:
    explicit StopSignals(void (*onStop)(void* context) = nullptr, void* context = nullptr);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether a stop signal came since the catcher alive now was made.
    static bool Caught();

  private:
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
};
