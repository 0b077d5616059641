#include "intake/packet_store.h"

#include <utility>

namespace {

// Every store and every store generation marks the slabs it counts with its
// own value.
uint64_t NewSlabMark() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

PacketStore::PacketStore() : m_nSlabMark(NewSlabMark()) {}

size_t PacketStore::Append(StoredPacket packet, ChainSlab* slab) {
    std::scoped_lock lock(m_listLock);
    return AppendLocked(std::move(packet), slab);
}

void PacketStore::PassThrough(PacketSink sink) {
    std::scoped_lock lock(m_listLock);
    m_sink = std::move(sink);
}

size_t PacketStore::AppendLocked(StoredPacket packet, ChainSlab* slab) {
    if (packet.elapsedMs > m_nLargestElapsed.load(std::memory_order_relaxed))
        m_nLargestElapsed.store(packet.elapsedMs, std::memory_order_relaxed);
    if (m_sink) {
        m_nBytes.store(m_sink(m_nPassed, packet), std::memory_order_relaxed);
        return m_nPassed++;
    }
    if (slab != nullptr) CountSlabLocked(*slab);
    m_packets.push_back(std::move(packet));
    m_nBytes.store(m_nBytes.load(std::memory_order_relaxed) + sizeof(StoredPacket),
                   std::memory_order_relaxed);
    return m_packets.size() - 1;
}

void PacketStore::CountSlabLocked(ChainSlab& slab) {
    // Passed-through frames are held only while in flight: a slab counted
    // here would stay counted after its frames were gone.
    if (m_sink) return;
    if (!slab.MarkCountedBy(m_nSlabMark)) return;
    m_nBytes.store(m_nBytes.load(std::memory_order_relaxed) + slab.Capacity(),
                   std::memory_order_relaxed);
}

void PacketStore::ClearPackets() {
    std::deque<StoredPacket> dropped;
    {
        std::scoped_lock lock(m_listLock);
        dropped.swap(m_packets);
        m_nPassed = 0;
        ++m_generation;
        m_nSlabMark = NewSlabMark();
        m_nBytes.store(0, std::memory_order_relaxed);
        m_nLargestElapsed.store(0, std::memory_order_relaxed);
    }
    // The references go outside the lock: nobody can reach them any more, and
    // readers appending meanwhile do not wait for the slabs to be released.
}

size_t PacketStore::Count() const {
    std::scoped_lock lock(m_listLock);
    return m_packets.size();
}

std::optional<StoredPacket> PacketStore::At(size_t index) const {
    std::scoped_lock lock(m_listLock);
    if (index >= m_packets.size()) return std::nullopt;
    return m_packets[index];
}

std::optional<StoredPacket> PacketStore::At(size_t index, uint64_t generation) const {
    std::scoped_lock lock(m_listLock);
    if (generation != m_generation || index >= m_packets.size()) return std::nullopt;
    return m_packets[index];
}

PacketStore::Extent PacketStore::CurrentExtent() const {
    std::scoped_lock lock(m_listLock);
    return {m_generation, m_packets.size()};
}

std::vector<StoredPacket> PacketStore::Snapshot() const {
    std::scoped_lock lock(m_listLock);
    return {m_packets.begin(), m_packets.end()};
}

uint64_t PacketStore::Generation() const {
    std::scoped_lock lock(m_listLock);
    return m_generation;
}
