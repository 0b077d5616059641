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

std::string InterfaceEntryText(int index, const InterfaceEntry& entry) {
    // One byte more than the limit for the terminator, as a fixed field would hold.
    char text[kInterfaceEntryLimit + 1];
    const std::string& label = !entry.description.empty() ? entry.description : entry.name;
    if (label.empty()) {
        std::snprintf(text, sizeof text, "[%d] No description", index);
    } else {
        std::snprintf(text, sizeof text, "[%d] %s", index, label.c_str());
    }
    return text;
}
