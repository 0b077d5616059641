#include "view/row_order.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>
#include <string>

#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/tcp.h"
#include "protocols/udp.h"

namespace {

enum KeyRank : uint8_t { RANK_NONE = 0, RANK_NUMBER = 1, RANK_IPV6 = 2, RANK_TEXT = 3 };

uint64_t BigEndian(const unsigned char* bytes) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | bytes[i];
    return value;
}

RowKey TextKey(std::string_view text) {
    unsigned char bytes[16] = {};
    std::memcpy(bytes, text.data(), std::min(text.size(), sizeof bytes));
    return {RANK_TEXT, BigEndian(bytes), BigEndian(bytes + 8)};
}

RowKey CellKey(std::string_view cell, int column) {
    if (cell.empty() || cell == "---") return {RANK_NONE, 0, 0};
    if (column == COL_SRC_IP || column == COL_DEST_IP) {
        const std::string text(cell);
        unsigned char address[16] = {};
        if (inet_pton(AF_INET, text.c_str(), address) == 1)
            return {RANK_NUMBER, 0, BigEndian(address) >> 32};
        if (inet_pton(AF_INET6, text.c_str(), address) == 1)
            return {RANK_IPV6, BigEndian(address), BigEndian(address + 8)};
        return TextKey(cell);
    }
    uint64_t number = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), number);
    if (error == std::errc() && end == cell.data() + cell.size()) return {RANK_NUMBER, 0, number};
    return TextKey(cell);
}

bool Before(const RowKey& a, uint32_t ia, const RowKey& b, uint32_t ib, bool descending) {
    if (a != b) return descending ? b < a : a < b;
    return ia < ib;
}

}  // namespace

RowKey KeyOf(const StoredPacket& entry, size_t index, int column) {
    if (column == COL_NUM) return {RANK_NUMBER, 0, index};
    if (column == COL_TIME) {
        if (entry.frame == nullptr) return {RANK_NUMBER, 0, entry.elapsedMs};
        // Seconds before the epoch sort first: the sign bit flipped.
        const uint64_t seconds = static_cast<uint64_t>(entry.frame->time.seconds) ^ (1ULL << 63);
        return {RANK_NUMBER, seconds, entry.frame->time.nanoseconds};
    }
    // Addresses and ports straight from the chain, as the cells show them
    // (the same layers BuildRow reads first); the rest from the row's cells.
    const CProtocolLayer* root = entry.root.get();
    const bool source = column == COL_SRC_IP || column == COL_SRC_PORT;
    if (column == COL_SRC_IP || column == COL_DEST_IP) {
        if (const auto* ip = FindLayerAs<CIpv4Layer>(root)) {
            const unsigned char* a = source ? ip->m_srcAddr : ip->m_dstAddr;
            return {RANK_NUMBER, 0, uint64_t{a[0]} << 24 | a[1] << 16 | a[2] << 8 | a[3]};
        }
        if (const auto* ip6 = FindLayerAs<CIpv6Layer>(root)) {
            const unsigned char* a = source ? ip6->m_srcAddr : ip6->m_dstAddr;
            return {RANK_IPV6, BigEndian(a), BigEndian(a + 8)};
        }
    } else if (column == COL_SRC_PORT || column == COL_DEST_PORT) {
        if (const auto* tcp = FindLayerAs<CTcpLayer>(root))
            return {RANK_NUMBER, 0, source ? tcp->m_nSrcPort : tcp->m_nDstPort};
        if (const auto* udp = FindLayerAs<CUdpLayer>(root))
            return {RANK_NUMBER, 0, source ? udp->m_nSrcPort : udp->m_nDstPort};
    }
    PacketRow row;
    BuildRow(entry, index, row);
    return CellKey(row.Cell(column), column);
}

std::optional<std::vector<RowKey>> KeysOf(const PacketStore& store, uint64_t generation,
                                          const RowIndices& rows, int column,
                                          const std::atomic<bool>* cancel) {
    std::vector<RowKey> keys(rows.size());
    // A view over the list itself, without sharing it.
    const ShownRows shown{std::shared_ptr<const RowIndices>(&rows, [](const RowIndices*) {}),
                          rows.size()};
    const bool whole = VisitShown(
        store, generation, shown, 0, rows.size(),
        [&](size_t position, const StoredPacket& entry) {
            keys[position] = KeyOf(entry, rows[position], column);
            return true;
        },
        cancel);
    if (!whole) return std::nullopt;
    return keys;
}

std::optional<OrderedRows> SortRows(const PacketStore& store, uint64_t generation,
                                    const ShownRows& shown, RowOrder order,
                                    const std::atomic<bool>* cancel) {
    OrderedRows result;
    result.rows.resize(shown.Size());
    for (size_t p = 0; p < shown.Size(); ++p) result.rows[p] = static_cast<uint32_t>(shown[p]);
    if (order.CaptureOrder()) {
        std::sort(result.rows.begin(), result.rows.end());
        return result;
    }
    std::optional<std::vector<RowKey>> keys =
        KeysOf(store, generation, result.rows, order.column, cancel);
    if (!keys) return std::nullopt;
    std::vector<uint32_t> permutation(result.rows.size());
    std::iota(permutation.begin(), permutation.end(), 0U);
    std::sort(permutation.begin(), permutation.end(), [&](uint32_t a, uint32_t b) {
        return Before((*keys)[a], result.rows[a], (*keys)[b], result.rows[b], order.descending);
    });
    OrderedRows sorted;
    sorted.rows.reserve(permutation.size());
    sorted.keys.reserve(permutation.size());
    for (const uint32_t p : permutation) {
        sorted.rows.push_back(result.rows[p]);
        sorted.keys.push_back((*keys)[p]);
    }
    return sorted;
}

OrderedRows MergeRows(const RowIndices& rows, const std::vector<RowKey>& keys,
                      const OrderedRows& arrived, RowOrder order) {
    OrderedRows merged;
    merged.rows.reserve(rows.size() + arrived.rows.size());
    if (order.CaptureOrder()) {
        merged.rows.insert(merged.rows.end(), rows.begin(), rows.end());
        merged.rows.insert(merged.rows.end(), arrived.rows.begin(), arrived.rows.end());
        return merged;
    }
    std::vector<uint32_t> permutation(arrived.rows.size());
    std::iota(permutation.begin(), permutation.end(), 0U);
    std::sort(permutation.begin(), permutation.end(), [&](uint32_t a, uint32_t b) {
        return Before(arrived.keys[a], arrived.rows[a], arrived.keys[b], arrived.rows[b],
                      order.descending);
    });
    merged.keys.reserve(merged.rows.capacity());
    size_t i = 0;
    for (const uint32_t p : permutation) {
        while (i < rows.size() &&
               Before(keys[i], rows[i], arrived.keys[p], arrived.rows[p], order.descending)) {
            merged.rows.push_back(rows[i]);
            merged.keys.push_back(keys[i]);
            ++i;
        }
        merged.rows.push_back(arrived.rows[p]);
        merged.keys.push_back(arrived.keys[p]);
    }
    merged.rows.insert(merged.rows.end(), rows.begin() + static_cast<long>(i), rows.end());
    merged.keys.insert(merged.keys.end(), keys.begin() + static_cast<long>(i), keys.end());
    return merged;
}
