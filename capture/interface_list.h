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

// "[i] name (description)", "[i] name" without a description, "[i]
// description" without a name, else "[i] No description": the whole text, and
// the entry's text, cut to 49 characters. The name comes first so that the
// entry a capture opens (`any` among them) can be told apart.
std::string InterfaceEntryWholeText(int index, const InterfaceEntry& entry);
std::string InterfaceEntryText(int index, const InterfaceEntry& entry);
