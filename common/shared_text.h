// A text that one thread replaces while others read it. A reader always gets a
// whole text, the old one or the new one, never a mix: each Set publishes a new
// immutable string and readers hold a reference to the one they loaded.
//
// Readers that look at the text often (once per captured frame) keep their own
// copy and compare Generation() first, which costs one atomic load; only when it
// moved do they Load() again. Reading the generation before loading is the safe
// order: a Set in between gives a newer text with an older generation, so the
// reader loads once more next time, never keeps a stale text.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

class SharedText {
  public:
    SharedText() : m_text(std::make_shared<const std::string>()) {}
    explicit SharedText(std::string text)
        : m_text(std::make_shared<const std::string>(std::move(text))) {}
    SharedText(const SharedText&) = delete;
    SharedText& operator=(const SharedText&) = delete;

    void Set(std::string text) {
        std::shared_ptr<const std::string> next =
            std::make_shared<const std::string>(std::move(text));
        {
            const std::scoped_lock lock(m_mutex);
            m_text.swap(next);
            m_generation.fetch_add(1, std::memory_order_release);
        }
        // `next` now holds the old text; it is released here, outside the lock,
        // or later by the last reader still holding it.
    }

    // Never null.
    std::shared_ptr<const std::string> Load() const {
        const std::scoped_lock lock(m_mutex);
        return m_text;
    }

    // Moves on with every Set.
    uint64_t Generation() const { return m_generation.load(std::memory_order_acquire); }

  private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const std::string> m_text;
    std::atomic<uint64_t> m_generation{0};
};
