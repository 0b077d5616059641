// What libpcap itself says of an expression that does not compile for a link
// type: the line the capture's messages are held against.
#pragma once

#include <pcap/pcap.h>

#include <string>

inline std::string PcapCompileError(const std::string& expression, int linkType = DLT_EN10MB) {
    pcap_t* dead = pcap_open_dead(linkType, 65535);
    bpf_program program{};
    std::string error;
    if (pcap_compile(dead, &program, expression.c_str(), 1, PCAP_NETMASK_UNKNOWN) < 0)
        error = pcap_geterr(dead);
    else
        pcap_freecode(&program);
    pcap_close(dead);
    return error;
}
