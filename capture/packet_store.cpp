#include "capture/packet_store.h"

#include <utility>

size_t PacketStore::Append(StoredPacket packet) {
    std::scoped_lock lock(m_listLock);
    m_packets.push_back(std::move(packet));
    return m_packets.size() - 1;
}

void PacketStore::ClearPackets() {
    std::deque<StoredPacket> dropped;
    {
        std::scoped_lock lock(m_listLock);
        dropped.swap(m_packets);
        ++m_generation;
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

std::vector<StoredPacket> PacketStore::Snapshot() const {
    std::scoped_lock lock(m_listLock);
    return {m_packets.begin(), m_packets.end()};
}

uint64_t PacketStore::Generation() const {
    std::scoped_lock lock(m_listLock);
    return m_generation;
}
