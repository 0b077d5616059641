// The system's neighbour (ARP) table, as the kernel shows it in /proc/net/arp:
//
//   IP address       HW type     Flags       HW address            Mask     Device
//   192.168.1.1      0x1         0x2         00:0c:29:ab:cd:ef     *        eth0
//
// A header line, then one line per entry with blank-separated columns.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Gives the table's text; the Filter editor asks for it at every Apply, so tests
// can hand in a table of their own.
using NeighbourTableSource = std::function<std::string()>;

// The contents of /proc/net/arp, or an empty text when it cannot be read.
std::string ReadSystemNeighbourTable();

// The MAC address of `address` (host order, as ParseDottedIPv4 gives it) in
// lowercase colon form ("00:0c:29:ab:cd:ef"), from the first complete Ethernet
// entry for it. Incomplete entries (no "complete" flag, or an all-zero MAC) and
// lines that do not parse are passed over; nullopt when no entry is usable.
std::optional<std::string> FindNeighbourMac(std::string_view table, uint32_t address);
