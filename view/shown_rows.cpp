#include "view/shown_rows.h"

#include <algorithm>
#include <mutex>

namespace {

// Entries copied per turn of the store's lock.
constexpr size_t kChunk = 4096;

}  // namespace

bool VisitShown(const PacketStore& store, uint64_t generation, const ShownRows& shown, size_t first,
                size_t last, const EntryVisitor& visit, const std::atomic<bool>* cancel) {
    std::vector<StoredPacket> chunk;
    chunk.reserve(std::min(kChunk, last > first ? last - first : 0));
    for (size_t at = first; at < last;) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return false;
        const size_t end = std::min(last, at + kChunk);
        chunk.clear();
        {
            std::scoped_lock lock(store.m_listLock);
            if (store.GenerationLocked() != generation) return false;
            for (size_t p = at; p < end; ++p) {
                const size_t index = shown[p];
                if (index >= store.CountLocked()) return false;
                chunk.push_back(store.AtLocked(index));
            }
        }
        for (size_t p = at; p < end; ++p) {
            if (!visit(p, chunk[p - at])) return true;
        }
        at = end;
    }
    return true;
}

std::optional<RowIndices> FilterEntries(const PacketStore& store, uint64_t generation,
                                        const DisplayFilter& filter, size_t first, size_t last,
                                        const std::atomic<bool>* cancel) {
    RowIndices matching;
    const ShownRows all{nullptr, last};
    const bool whole = VisitShown(
        store, generation, all, first, last,
        [&](size_t index, const StoredPacket& entry) {
            const bool match =
                entry.frame != nullptr ? filter.Matches(*entry.frame) : filter.Empty();
            if (match) matching.push_back(static_cast<uint32_t>(index));
            return true;
        },
        cancel);
    if (!whole) return std::nullopt;
    return matching;
}

std::optional<size_t> NearestShown(const ShownRows& shown, size_t index) {
    const size_t size = shown.Size();
    if (size == 0) return std::nullopt;
    std::optional<size_t> best;
    size_t bestDistance = 0;
    for (size_t p = 0; p < size; ++p) {
        const size_t at = shown[p];
        const size_t distance = at > index ? at - index : index - at;
        if (!best || distance < bestDistance || (distance == bestDistance && at < shown[*best])) {
            best = p;
            bestDistance = distance;
            if (distance == 0) break;
        }
    }
    return best;
}
