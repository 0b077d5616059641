// The order of the rows shown: a stable sort of store indices by one column's
// key (numbers as numbers, IPv4 addresses in address order and IPv6 after
// them, Time by the frame's timestamp), equal keys keeping capture order.
// Sorting by Num is capture order itself.
#pragma once

#include <atomic>
#include <compare>
#include <cstdint>
#include <optional>
#include <vector>

#include "intake/packet_row.h"
#include "view/shown_rows.h"

// A cell's sort key: its class first (empty or "---", numbers and IPv4
// addresses, IPv6 addresses, other text), then its value in 128 bits. Text
// compares by its first 16 characters.
struct RowKey {
    uint8_t rank = 0;
    uint64_t high = 0;
    uint64_t low = 0;

    friend auto operator<=>(const RowKey&, const RowKey&) = default;
};

// The key of store entry `index` in `column`.
RowKey KeyOf(const StoredPacket& entry, size_t index, int column);

struct RowOrder {
    int column = COL_NUM;
    bool descending = false;
    // Capture order: the rows as the store holds them.
    bool CaptureOrder() const { return column == COL_NUM && !descending; }
};

// Rows in an order, with the key of each (empty in capture order).
struct OrderedRows {
    RowIndices rows;
    std::vector<RowKey> keys;
};

// Sorts `shown` by `order`; nothing when the store left `generation` or on
// `cancel`.
std::optional<OrderedRows> SortRows(const PacketStore& store, uint64_t generation,
                                    const ShownRows& shown, RowOrder order,
                                    const std::atomic<bool>* cancel = nullptr);

// The keys of `rows` in `column`; nothing as SortRows.
std::optional<std::vector<RowKey>> KeysOf(const PacketStore& store, uint64_t generation,
                                          const RowIndices& rows, int column,
                                          const std::atomic<bool>* cancel = nullptr);

// Rows sorted by `order` (`rows` with their `keys`) and rows that arrived
// (capture order, with their keys) merged: each arrival takes its place,
// after the rows of an equal key. The sorted rows are read, not changed, so a
// worker can merge while a window still shows them.
OrderedRows MergeRows(const RowIndices& rows, const std::vector<RowKey>& keys,
                      const OrderedRows& arrived, RowOrder order);
