// The capture interfaces as libpcap enumerates them, and the text of each
// entry of the interface combo box.
#pragma once

#include <string>
#include <vector>

struct InterfaceEntry {
    std::string name;         // what a capture opens
    std::string description;  // empty when the enumeration has none
};

// Longest text of a combo box entry.
inline constexpr size_t kInterfaceEntryLimit = 49;

// 0 and the interfaces in enumeration order, or -1 when the enumeration fails.
int EnumerateInterfaces(std::vector<InterfaceEntry>& out);

// "[i] description", else "[i] name", else "[i] No description"; cut to 49
// characters.
std::string InterfaceEntryText(int index, const InterfaceEntry& entry);
