// Small frames for the intake tests, built with the capture generator's builders.
#pragma once

#include <string_view>

#include "tools/capture_gen/frame_builder.h"

namespace intake_test {

using namespace capture_gen;

inline const MacAddress kMacA = {0x00, 0x0C, 0x29, 0x1A, 0x2B, 0x3C};
inline const MacAddress kMacB = {0x00, 0x50, 0x56, 0xC0, 0x00, 0x08};
inline const Ipv4Address kIpA = {192, 168, 0, 10};
inline const Ipv4Address kIpB = {192, 168, 0, 1};

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes UdpFrame(std::string_view payload, uint16_t src = 1025, uint16_t dst = 53) {
    Ipv4Header ip;
    ip.src = kIpA;
    ip.dst = kIpB;
    ip.protocol = kIpProtoUdp;
    const Bytes udp = UdpDatagram(src, dst, Text(payload), kIpA, kIpB);
    Bytes frame = EthernetFrame(kMacB, kMacA, kEtherTypeIpv4, Ipv4Datagram(ip, udp));
    PadFrame(frame);
    return frame;
}

inline Bytes TcpFrame(std::string_view payload, uint16_t src = 1042, uint16_t dst = 80) {
    Ipv4Header ip;
    ip.src = kIpA;
    ip.dst = kIpB;
    ip.protocol = kIpProtoTcp;
    TcpHeader tcp;
    tcp.srcPort = src;
    tcp.dstPort = dst;
    tcp.flags = kTcpAck | kTcpPsh;
    Bytes frame = EthernetFrame(kMacB, kMacA, kEtherTypeIpv4,
                                Ipv4Datagram(ip, TcpSegment(tcp, Text(payload), kIpA, kIpB)));
    PadFrame(frame);
    return frame;
}

inline Bytes ArpRequestFrame() {
    Bytes frame = EthernetFrame(kBroadcastMac, kMacA, kEtherTypeArp,
                                ArpMessage(1, kMacA, kIpA, MacAddress{}, kIpB));
    PadFrame(frame);
    return frame;
}

}  // namespace intake_test
