#include "protocols/chain_pool.h"

#include <cstdint>
#include <cstring>

namespace {
thread_local ChainBuilder* t_current = nullptr;
}

ChainSlab::ChainSlab(size_t capacity)
    : m_memory(new (std::nothrow) std::byte[capacity]),
      m_capacity(m_memory != nullptr ? capacity : 0) {}

void* ChainSlab::Allocate(size_t size, size_t align) {
    const auto base = reinterpret_cast<uintptr_t>(m_memory.get());
    const uintptr_t start = (base + m_used + align - 1) & ~(uintptr_t{align} - 1);
    const size_t offset = start - base;
    if (offset > m_capacity || size > m_capacity - offset) return nullptr;
    m_used = offset + size;
    return m_memory.get() + offset;
}

ChainBuilder::ChainBuilder(ChainSlab& slab) : m_slab(slab), m_previous(t_current) {
    t_current = this;
}

ChainBuilder::ChainBuilder(ChainSlab& slab, const unsigned char* kept, size_t keptSize)
    : ChainBuilder(slab) {
    m_pKept = kept;
    m_nKeptSize = kept != nullptr ? keptSize : 0;
}

ChainBuilder::~ChainBuilder() { t_current = m_previous; }

ChainBuilder* ChainBuilder::Current() { return t_current; }

const unsigned char* ChainBuilder::CopyBytes(const unsigned char* data, size_t n) {
    if (n == 0 || data == nullptr) return nullptr;
    // Compared as integers: the pointers need not belong to the same array.
    const auto at = reinterpret_cast<uintptr_t>(data);
    const auto kept = reinterpret_cast<uintptr_t>(m_pKept);
    if (m_pKept != nullptr && at >= kept && at - kept <= m_nKeptSize && n <= m_nKeptSize - (at - kept)) {
        return data;
    }
    auto* p = static_cast<unsigned char*>(m_slab.Allocate(n, 1));
    if (p != nullptr) std::memcpy(p, data, n);
    return p;
}
