#include "capture/interface_list.h"

#include <pcap/pcap.h>

#include <cstdio>

int EnumerateInterfaces(std::vector<InterfaceEntry>& out) {
    out.clear();
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* all = nullptr;
    if (pcap_findalldevs(&all, errbuf) != 0) return -1;
    for (const pcap_if_t* dev = all; dev != nullptr; dev = dev->next) {
        InterfaceEntry entry;
        if (dev->name != nullptr) entry.name = dev->name;
        if (dev->description != nullptr) entry.description = dev->description;
        out.push_back(std::move(entry));
    }
    pcap_freealldevs(all);
    return 0;
}

std::string InterfaceEntryWholeText(int index, const InterfaceEntry& entry) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "[%d] ", index);
    std::string text = prefix;
    if (entry.name.empty() && entry.description.empty()) return text.append("No description");
    text.append(entry.name.empty() ? entry.description : entry.name);
    if (!entry.name.empty() && !entry.description.empty())
        text.append(" (").append(entry.description).append(")");
    return text;
}

std::string InterfaceEntryText(int index, const InterfaceEntry& entry) {
    std::string text = InterfaceEntryWholeText(index, entry);
    if (text.size() > kInterfaceEntryLimit) text.resize(kInterfaceEntryLimit);
    return text;
}
