// The eight summary cells of one packet-list row, built from a store entry and
// its index. Cells are fixed-size fields; a longer text keeps its first
// characters. Building a row allocates nothing.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "intake/packet_store.h"

enum PacketColumn : int {
    COL_NUM = 0,
    COL_FRAME,
    COL_PROTO,
    COL_SRC_IP,
    COL_DEST_IP,
    COL_SRC_PORT,
    COL_DEST_PORT,
    COL_TIME,
    COL_COUNT,
};

// Column headings of the packet list, in column order.
extern const std::array<const char*, COL_COUNT> kPacketColumnHeadings;

class PacketRow {
  public:
    // Longest text of each cell. Num holds any 32-bit row number in full, Time
    // any 64-bit count of milliseconds.
    static constexpr std::array<size_t, COL_COUNT> kLimits = {10, 21, 21, 39, 39, 5, 5, 20};

    std::string_view Cell(int column) const { return {m_cells[column].data(), m_lengths[column]}; }
    void Set(int column, std::string_view text);
    // Appends to a cell, keeping within its limit.
    void Append(int column, std::string_view text);
    void AppendNumber(int column, unsigned long value);
    void Clear() { m_lengths.fill(0); }

  private:
    std::array<std::array<char, 40>, COL_COUNT> m_cells{};
    std::array<size_t, COL_COUNT> m_lengths{};
};

// Fills `row` with the cells of store entry `index`.
void BuildRow(const StoredPacket& packet, size_t index, PacketRow& row);
