#include "protocols/chain_pool.h"

#include <cstdint>
#include <sys/mman.h>

#include <cstring>

namespace {
thread_local ChainBuilder* t_current = nullptr;
}

namespace {
// Slabs this large are mapped on their own; smaller ones (a single chain's)
// come from the heap.
constexpr size_t kMappedSlab = size_t{256} << 10;
}  // namespace

ChainSlab::ChainSlab(size_t capacity, bool populated) : m_memory(nullptr), m_capacity(0) {
    if (capacity == 0) return;
    if (capacity < kMappedSlab) {
        m_memory = new (std::nothrow) std::byte[capacity];
    } else {
        void* memory = mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | (populated ? MAP_POPULATE : 0), -1, 0);
        m_memory = memory != MAP_FAILED ? static_cast<std::byte*>(memory) : nullptr;
    }
    if (m_memory != nullptr) m_capacity = capacity;
}

ChainSlab::~ChainSlab() {
    if (m_memory == nullptr) return;
    if (m_capacity < kMappedSlab) {
        delete[] m_memory;
    } else {
        munmap(m_memory, m_capacity);
    }
}

void* ChainSlab::Allocate(size_t size, size_t align) {
    if (m_memory == nullptr) return nullptr;
    const auto base = reinterpret_cast<uintptr_t>(m_memory);
    const uintptr_t start = (base + m_used + align - 1) & ~(uintptr_t{align} - 1);
    const size_t offset = start - base;
    if (offset > m_capacity || size > m_capacity - offset) return nullptr;
    m_used = offset + size;
    return m_memory + offset;
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
