// Where decoded layers live. A slab is one block of memory that holds whole
// chains (layer objects, payload copies, ARP address arrays) placed one after
// another. A chain is kept alive by a std::shared_ptr to its root that shares
// ownership of the slab (the aliasing constructor), so a packet store, a save
// in progress and the Decode window can each hold their own references and
// nothing frees a chain that someone still reads.
//
// Objects placed in a slab are never destroyed one by one: the slab releases
// its memory whole. Layer classes therefore hold nothing but plain values and
// pointers into the same slab.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

class ChainSlab {
public:
    // Room for many chains; a slab is never smaller than one whole frame needs.
    static constexpr size_t kDefaultCapacity = size_t{1} << 20;

    // `populated`: the memory is made resident at once (one system call
    // instead of a page fault per page on first use), for a slab prepared
    // before it is needed.
    explicit ChainSlab(size_t capacity = kDefaultCapacity, bool populated = false);
    ~ChainSlab();
    ChainSlab(const ChainSlab&) = delete;
    ChainSlab& operator=(const ChainSlab&) = delete;

    // nullptr when the slab has no room left.
    void* Allocate(size_t size, size_t align);
    size_t Used() const { return m_used; }
    size_t Capacity() const { return m_capacity; }
    size_t Remaining() const { return m_capacity - m_used; }
    // Gives back everything allocated after `mark` (a value of Used()).
    void Rewind(size_t mark) {
        if (mark <= m_used) m_used = mark;
    }

    // Lets a store count the slab's capacity once however many of its entries
    // live here: true when `owner` (a value no other store or store generation
    // uses) had not marked the slab yet.
    bool MarkCountedBy(uint64_t owner) {
        return m_countedBy.exchange(owner, std::memory_order_relaxed) != owner;
    }

private:
    std::byte* m_memory;
    size_t m_capacity;
    size_t m_used = 0;
    std::atomic<uint64_t> m_countedBy{0};
};

// The decode in progress on this thread. While a builder is alive, layers that
// a Decode creates are placed in its slab; with no builder, no inner layer can be
// created and a chain ends at the layer being decoded.
class ChainBuilder {
public:
    explicit ChainBuilder(ChainSlab& slab);
    // Decodes bytes that the slab itself keeps for as long as the chain
    // (`kept`, `keptSize`): copies of them are not made, CopyBytes hands back
    // the kept bytes themselves.
    ChainBuilder(ChainSlab& slab, const unsigned char* kept, size_t keptSize);
    ~ChainBuilder();
    ChainBuilder(const ChainBuilder&) = delete;
    ChainBuilder& operator=(const ChainBuilder&) = delete;

    static ChainBuilder* Current();

    template <class T>
    T* New() {
        void* p = m_slab.Allocate(sizeof(T), alignof(T));
        return p != nullptr ? ::new (p) T() : nullptr;
    }
    // n bytes that live as long as the chain: a copy in the slab, or the kept
    // bytes themselves when they lie among them; nullptr when there is no room
    // (or n is 0).
    const unsigned char* CopyBytes(const unsigned char* data, size_t n);

private:
    ChainSlab& m_slab;
    const unsigned char* m_pKept = nullptr;
    size_t m_nKeptSize = 0;
    ChainBuilder* m_previous;
};
