// An exclusion for sections a few hundred nanoseconds long that several
// threads take in turn: the readers' next-frame call and the store's append.
// With four readers on two cores a plain mutex puts the loser to sleep at
// almost every handover, and the wake-up costs more than the section; this
// one spins a little first (an adaptive mutex), then sleeps like any other.
#pragma once

#include <pthread.h>

class ShortLock {
  public:
    ShortLock() {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ADAPTIVE_NP);
        pthread_mutex_init(&m_mutex, &attr);
        pthread_mutexattr_destroy(&attr);
    }
    ~ShortLock() { pthread_mutex_destroy(&m_mutex); }
    ShortLock(const ShortLock&) = delete;
    ShortLock& operator=(const ShortLock&) = delete;

    void lock() { pthread_mutex_lock(&m_mutex); }
    bool try_lock() { return pthread_mutex_trylock(&m_mutex) == 0; }
    void unlock() { pthread_mutex_unlock(&m_mutex); }

  private:
    pthread_mutex_t m_mutex;
};
