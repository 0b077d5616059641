// Small hand-built frames for the XML document tests.
#pragma once

#include <cstdint>
#include <string_view>

#include "intake/packet_store.h"
#include "protocols/decode.h"
#include "tools/capture_gen/frame_builder.h"

namespace xml_test {

using capture_gen::Bytes;

inline constexpr capture_gen::MacAddress kSrcMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
inline constexpr capture_gen::MacAddress kDstMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
inline constexpr capture_gen::Ipv4Address kSrcIp = {192, 0, 2, 1};
inline constexpr capture_gen::Ipv4Address kDstIp = {192, 0, 2, 2};

// Ethernet / IPv4 / TCP carrying `payload`.
inline Bytes TcpFrame(std::string_view payload, uint16_t srcPort = 1025, uint16_t dstPort = 80) {
    const Bytes data(payload.begin(), payload.end());
    capture_gen::TcpHeader tcp;
    tcp.srcPort = srcPort;
    tcp.dstPort = dstPort;
    tcp.seq = 1000;
    tcp.ack = 2000;
    tcp.flags = capture_gen::kTcpAck | capture_gen::kTcpPsh;
    const Bytes segment = capture_gen::TcpSegment(tcp, data, kSrcIp, kDstIp);
    capture_gen::Ipv4Header ip;
    ip.src = kSrcIp;
    ip.dst = kDstIp;
    ip.protocol = capture_gen::kIpProtoTcp;
    ip.id = 7;
    return capture_gen::EthernetFrame(kDstMac, kSrcMac, capture_gen::kEtherTypeIpv4,
                                      capture_gen::Ipv4Datagram(ip, segment));
}

// An Ethernet frame whose EtherType no decoder takes further.
inline Bytes OpaqueFrame(uint8_t srcLast, uint16_t etherType) {
    capture_gen::MacAddress src = kSrcMac;
    src[5] = srcLast;
    const Bytes body(46, 0xAB);
    return capture_gen::EthernetFrame(kDstMac, src, etherType, body);
}

inline StoredPacket Stored(const Bytes& frame, uint32_t elapsedMs = 0) {
    return StoredPacket{DecodeFrame(frame.data(), static_cast<int>(frame.size())), elapsedMs};
}

}  // namespace xml_test
