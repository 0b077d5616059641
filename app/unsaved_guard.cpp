#include "app/unsaved_guard.h"

#include <cstdio>

UnsavedGuard::UnsavedGuard(const PacketStore& store)
    : m_store(store), m_safeGeneration(store.Generation()) {}

void UnsavedGuard::MarkReadAgain() {
    m_safeGeneration = m_store.Generation();
}

void UnsavedGuard::MarkSaved(uint64_t generation, size_t count) {
    m_savedGeneration = generation;
    m_nSaved = count;
}

size_t UnsavedGuard::Unsaved() const {
    // Count first: a reader still appending can only make it grow, and an
    // emptying moves the generation on, so neither hides lost packets.
    const size_t count = m_store.Count();
    const uint64_t generation = m_store.Generation();
    if (generation == m_safeGeneration) return 0;
    if (generation == m_savedGeneration) return count > m_nSaved ? count - m_nSaved : 0;
    return count;
}

bool UnsavedGuard::ConfirmDiscard(const Ask& ask) const {
    const size_t unsaved = Unsaved();
    if (unsaved == 0) return true;
    return ask(Question(unsaved), kCaption);
}

std::string UnsavedGuard::Question(size_t unsaved) {
    char text[96];
    std::snprintf(text, sizeof text, "%u captured packets have not been saved. Discard them?",
                  static_cast<unsigned>(unsaved));
    return text;
}
