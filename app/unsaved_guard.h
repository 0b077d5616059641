// Whether the store holds packets that would be lost for good: rows captured
// live (or read from a pipe, which cannot be read again) and not saved since.
// Rows read from a regular file, rows already saved and an empty store are
// safe to drop. The store's generation tells its contents apart: every
// emptying starts a new one, so the guard only has to remember which
// generation is safe, and how much of it was saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "common/message_texts.h"
#include "intake/packet_store.h"

class UnsavedGuard {
  public:
    // Asks a Yes/No question; true for Yes.
    using Ask = std::function<bool(const std::string& text, const std::string& caption)>;

    // What the store holds now was not captured (the window's start).
    explicit UnsavedGuard(const PacketStore& store);

    // The store's current contents can be read again (a regular file).
    void MarkReadAgain();
    // The first `count` packets of store generation `generation` were saved.
    void MarkSaved(uint64_t generation, size_t count);

    // Packets that dropping the store now would lose.
    size_t Unsaved() const;
    // Before the store is emptied or the window closes: true to go on. Asks
    // only when packets would be lost; No keeps them (false).
    bool ConfirmDiscard(const Ask& ask) const;

    static std::string Question(size_t unsaved);
    static constexpr const char* kCaption = kWarningCaption;

  private:
    const PacketStore& m_store;
    uint64_t m_safeGeneration = 0;
    uint64_t m_savedGeneration = 0;
    size_t m_nSaved = 0;
};
