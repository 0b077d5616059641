// The rows a view shows, as store indices, and the walks over store entries
// that filtering, sorting and finding make. A view never copies frames: it is
// a list of indices into one store generation. The walks copy a few thousand
// entry references at a time under the store's lock and read the frames
// outside it, so a running capture appends meanwhile, and a store emptied
// under a walk ends it (the references copied keep their frames alive).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "intake/packet_store.h"
#include "view/display_filter.h"

using RowIndices = std::vector<uint32_t>;

// The rows shown: the listed store indices, or the first `count` entries in
// capture order when there is no list.
struct ShownRows {
    std::shared_ptr<const RowIndices> rows;
    size_t count = 0;

    size_t Size() const { return rows ? rows->size() : count; }
    size_t operator[](size_t position) const { return rows ? (*rows)[position] : position; }
};

// Calls `visit(position, entry)` for positions [first, last) of `shown` in
// order, until it returns false. False when the store left `generation` or
// `cancel` was set on the way.
using EntryVisitor = std::function<bool(size_t position, const StoredPacket& entry)>;
bool VisitShown(const PacketStore& store, uint64_t generation, const ShownRows& shown, size_t first,
                size_t last, const EntryVisitor& visit, const std::atomic<bool>* cancel = nullptr);

// The store indices in [first, last) whose frames `filter` matches, in
// capture order; nothing when the store left `generation` or on `cancel`.
// Entries without a kept frame match only the empty filter.
std::optional<RowIndices> FilterEntries(const PacketStore& store, uint64_t generation,
                                        const DisplayFilter& filter, size_t first, size_t last,
                                        const std::atomic<bool>* cancel = nullptr);

// The position among `shown` of the row with the smallest distance to store
// index `index` (the earlier of two as near); nothing when none is shown.
std::optional<size_t> NearestShown(const ShownRows& shown, size_t index);
