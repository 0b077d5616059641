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

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

class ChainSlab {
public:
    // Room for many chains; a slab is never smaller than one whole frame needs.
    static constexpr size_t kDefaultCapacity = size_t{1} << 20;

    explicit ChainSlab(size_t capacity = kDefaultCapacity);
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

private:
    std::unique_ptr<std::byte[]> m_memory;
    size_t m_capacity;
    size_t m_used = 0;
};

// The decode in progress on this thread. While a builder is alive, layers that
// a Decode creates are placed in its slab; with no builder, no inner layer can be
// created and a chain ends at the layer being decoded.
class ChainBuilder {
public:
    explicit ChainBuilder(ChainSlab& slab);
    ~ChainBuilder();
    ChainBuilder(const ChainBuilder&) = delete;
    ChainBuilder& operator=(const ChainBuilder&) = delete;

    static ChainBuilder* Current();

    template <class T>
    T* New() {
        void* p = m_slab.Allocate(sizeof(T), alignof(T));
        return p != nullptr ? ::new (p) T() : nullptr;
    }
    // A copy of n bytes in the slab; nullptr when there is no room (or n is 0).
    unsigned char* CopyBytes(const unsigned char* data, size_t n);

private:
    ChainSlab& m_slab;
    ChainBuilder* m_previous;
};
