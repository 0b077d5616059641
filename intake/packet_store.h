// The ordered store of captured packets: entry i belongs to row i of the packet
// list. Entries are only appended at the back, read by index, copied whole, or
// dropped all together. The store holds references to chains; a Decode window
// or a save in progress holds its own, so emptying the store never frees a chain
// that someone still reads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/short_lock.h"
#include "protocols/decode.h"
#include "protocols/kept_frame.h"
#include "protocols/layer.h"

struct StoredPacket {
    std::shared_ptr<const CProtocolLayer> root;
    // Milliseconds from the capture's start to the frame's capture timestamp.
    uint64_t elapsedMs = 0;
    // The frame itself, in the same slab as the chain (kept alive by `root`);
    // null for a chain decoded on its own.
    const KeptFrame* frame = nullptr;
};

class PacketStore {
  public:
    PacketStore();
    PacketStore(const PacketStore&) = delete;
    PacketStore& operator=(const PacketStore&) = delete;

    // Takes each entry that would be appended, with the index it would have,
    // inside the list lock and in order; returns the bytes its taker still
    // holds (buffered output), which Bytes() then reports.
    using PacketSink = std::function<uint64_t(size_t index, const StoredPacket& packet)>;
    // From now on the store keeps nothing: every append goes to `sink`, and the
    // entry (with its frame and chain) is released once the sink returns. For a
    // reader that needs no frame after writing it out (tapwatch-log's rows, log
    // and pcap), so memory does not grow with the capture. No entry can be
    // read back: not for an intake with a RowObserver. Before any append.
    void PassThrough(PacketSink sink);

    // Appends under the list lock and returns the entry's index. `slab` is the
    // slab the entry's chain lives in, when known, so its capacity is counted.
    size_t Append(StoredPacket packet, ChainSlab* slab = nullptr);
    // The same, for a caller that holds m_listLock.
    size_t AppendLocked(StoredPacket packet, ChainSlab* slab);
    // For a caller that holds m_listLock: counts the capacity of `slab` in
    // Bytes() now (once, as Append would), for entries that will be appended.
    void CountSlabLocked(ChainSlab& slab);
    // Drops every reference the store holds and empties it.
    void ClearPackets();

    size_t Count() const;
    bool Empty() const { return Count() == 0; }
    // Entry i, for a caller that holds m_listLock; i must exist.
    const StoredPacket& AtLocked(size_t index) const { return m_packets[index]; }
    // The count and the generation, for a caller that holds m_listLock (a
    // view copying many entries in one turn of the lock).
    size_t CountLocked() const { return m_packets.size(); }
    uint64_t GenerationLocked() const { return m_generation; }
    // A copy of entry i, or nothing when the store has no such entry.
    std::optional<StoredPacket> At(size_t index) const;
    // The same, or nothing when the store was emptied since `generation`: a
    // view's row i then no longer names entry i (another thread may empty the
    // store, as a file being opened does once its header is accepted).
    std::optional<StoredPacket> At(size_t index, uint64_t generation) const;
    // A copy of every entry, in order; the copy keeps the chains alive.
    std::vector<StoredPacket> Snapshot() const;
    // Incremented by every ClearPackets, so a view can tell a store it has shown
    // from the store as it is now.
    uint64_t Generation() const;
    // The generation and the count, read together.
    struct Extent {
        uint64_t generation = 0;
        size_t count = 0;
    };
    Extent CurrentExtent() const;
    // The memory the store holds: the capacity of every slab its entries live in
    // plus the entries themselves. Any thread, without the lock.
    uint64_t Bytes() const { return m_nBytes.load(std::memory_order_relaxed); }
    // The largest elapsedMs among the entries (times need not grow with the
    // entries); 0 when empty. Any thread, without the lock.
    uint64_t LargestElapsedMs() const { return m_nLargestElapsed.load(std::memory_order_relaxed); }

    // The capture's link type (libpcap's DLT_ values): every entry's frame is
    // of it, and a view compiles filters and writes files for it.
    int LinkType() const { return m_nLinkType.load(std::memory_order_relaxed); }
    void SetLinkType(int linkType) { m_nLinkType.store(linkType, std::memory_order_relaxed); }

    // Guards every append, ClearPackets and every read that can meet a running reader.
    mutable ShortLock m_listLock;

  private:
    std::deque<StoredPacket> m_packets;
    PacketSink m_sink;
    // Entries handed to the sink since the last ClearPackets.
    size_t m_nPassed = 0;
    uint64_t m_generation = 0;
    // Marks the slabs counted since the last ClearPackets; unique among stores.
    uint64_t m_nSlabMark = 0;
    std::atomic<uint64_t> m_nBytes{0};
    std::atomic<uint64_t> m_nLargestElapsed{0};
    std::atomic<int> m_nLinkType{kEthernetLinkType};
};
