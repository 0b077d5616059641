// The ordered store of captured packets: entry i belongs to row i of the packet
// list. Entries are only appended at the back, read by index, copied whole, or
// dropped all together. The store holds references to chains; a Decode window
// or a save in progress holds its own, so emptying the store never frees a chain
// that someone still reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "capture/short_lock.h"
#include "protocols/layer.h"

struct StoredPacket {
    std::shared_ptr<const CProtocolLayer> root;
    // Milliseconds from the capture's start tick to the frame's reception.
    uint32_t elapsedMs = 0;
};

class PacketStore {
public:
    PacketStore() = default;
    PacketStore(const PacketStore&) = delete;
    PacketStore& operator=(const PacketStore&) = delete;

    // Appends under the list lock and returns the entry's index.
    size_t Append(StoredPacket packet);
    // Drops every reference the store holds and empties it.
    void ClearPackets();

    size_t Count() const;
    bool Empty() const { return Count() == 0; }
    // A copy of entry i, or nothing when the store has no such entry.
    std::optional<StoredPacket> At(size_t index) const;
    // A copy of every entry, in order; the copy keeps the chains alive.
    std::vector<StoredPacket> Snapshot() const;
    // Incremented by every ClearPackets, so a view can tell a store it has shown
    // from the store as it is now.
    uint64_t Generation() const;

    // Guards every append, ClearPackets and every read that can meet a running reader.
    mutable ShortLock m_listLock;

private:
    std::deque<StoredPacket> m_packets;
    uint64_t m_generation = 0;
};
