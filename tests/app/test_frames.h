// Decoded chains for the main window's tests and benchmark: Ethernet, IPv4 and
// UDP or TCP, with the addresses and ports the caller chooses.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "protocols/decode.h"

inline std::vector<unsigned char> Ipv4Frame(bool tcp, uint8_t srcLast, uint16_t srcPort,
                                            uint16_t dstPort) {
    std::vector<unsigned char> f(14 + 20 + (tcp ? 20 : 8) + 4, 0);
    const unsigned char mac[12] = {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 6};
    std::copy(mac, mac + 12, f.begin());
    f[12] = 0x08;  // IPv4
    unsigned char* ip = f.data() + 14;
    const size_t ipLength = f.size() - 14;
    ip[0] = 0x45;
    ip[2] = static_cast<unsigned char>(ipLength >> 8);
    ip[3] = static_cast<unsigned char>(ipLength);
    ip[8] = 64;
    ip[9] = tcp ? 6 : 17;
    const unsigned char addrs[8] = {10, 0, 0, srcLast, 10, 0, 0, 200};
    std::copy(addrs, addrs + 8, ip + 12);
    unsigned char* l4 = ip + 20;
    l4[0] = static_cast<unsigned char>(srcPort >> 8);
    l4[1] = static_cast<unsigned char>(srcPort);
    l4[2] = static_cast<unsigned char>(dstPort >> 8);
    l4[3] = static_cast<unsigned char>(dstPort);
    if (tcp) {
        l4[12] = 0x50;  // 20-byte header
        l4[13] = 0x18;  // PSH ACK
    } else {
        const size_t udpLength = 8 + 4;
        l4[4] = static_cast<unsigned char>(udpLength >> 8);
        l4[5] = static_cast<unsigned char>(udpLength);
    }
    return f;
}

inline std::shared_ptr<const CProtocolLayer> Ipv4Chain(bool tcp, uint8_t srcLast, uint16_t srcPort,
                                                       uint16_t dstPort) {
    const std::vector<unsigned char> f = Ipv4Frame(tcp, srcLast, srcPort, dstPort);
    return DecodeFrame(f.data(), static_cast<int>(f.size()));
}
