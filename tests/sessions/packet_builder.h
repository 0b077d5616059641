// Frames built byte by byte and decoded into chains, for the session tests.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "protocols/decode.h"
#include "sessions/session_table.h"

namespace test_packets {

enum TcpFlag : uint8_t { FIN = 0x01, SYN = 0x02, RST = 0x04, PSH = 0x08, ACK = 0x10, URG = 0x20 };

// A TCP segment in an Ethernet frame: over IPv4, or over IPv6 when both
// addresses are IPv6 addresses.
struct Tcp {
    HostAddress src{10, 0, 0, 5};
    HostAddress dst{192, 168, 1, 1};
    uint16_t sport = 1042;
    uint16_t dport = 80;
    uint32_t seq = 0;
    uint32_t ack = 0;
    uint8_t flags = ACK;
    uint16_t id = 0;  // IPv4 only
    std::string payload;
    int padding = 0;        // zero bytes after the datagram, inside the frame
    int totalLenDelta = 0;  // added to the IPv4 total length (IPv6 payload length) as written
    std::vector<unsigned char> options;  // TCP options, a multiple of 4 bytes
    int dataOffset = -1;                 // the header length written, -1: 20 + options
};

// Linux's option block on every segment of an established connection:
// NOP, NOP, timestamps (kind 8, length 10, value, echo reply).
inline std::vector<unsigned char> Timestamps(uint32_t value, uint32_t echo) {
    std::vector<unsigned char> o = {0x01, 0x01, 0x08, 0x0A};
    for (uint32_t v : {value, echo})
        for (int shift = 24; shift >= 0; shift -= 8)
            o.push_back(static_cast<unsigned char>(v >> shift));
    return o;
}

inline void Put16(std::vector<unsigned char>& f, uint16_t v) {
    f.push_back(static_cast<unsigned char>(v >> 8));
    f.push_back(static_cast<unsigned char>(v));
}

inline void Put32(std::vector<unsigned char>& f, uint32_t v) {
    Put16(f, static_cast<uint16_t>(v >> 16));
    Put16(f, static_cast<uint16_t>(v));
}

inline std::vector<unsigned char> EthernetHeader(uint16_t etherType) {
    std::vector<unsigned char> f = {0x00, 0x0C, 0x29, 0x01, 0x02, 0x03,
                                    0x00, 0x0C, 0x29, 0x0A, 0x0B, 0x0C};
    Put16(f, etherType);
    return f;
}

inline void PutIpv4(std::vector<unsigned char>& f, const HostAddress& src, const HostAddress& dst,
                    uint8_t protocol, uint16_t totalLen, uint16_t id) {
    f.push_back(0x45);
    f.push_back(0x00);
    Put16(f, totalLen);
    Put16(f, id);
    Put16(f, 0x4000);  // don't fragment
    f.push_back(64);
    f.push_back(protocol);
    Put16(f, 0);
    f.insert(f.end(), src.begin(), src.end());
    f.insert(f.end(), dst.begin(), dst.end());
}

inline void PutTcp(std::vector<unsigned char>& f, const Tcp& t) {
    Put16(f, t.sport);
    Put16(f, t.dport);
    Put32(f, t.seq);
    Put32(f, t.ack);
    const int offset = t.dataOffset >= 0 ? t.dataOffset : 20 + static_cast<int>(t.options.size());
    f.push_back(static_cast<unsigned char>((offset / 4) << 4));
    f.push_back(t.flags);
    Put16(f, 8192);
    Put16(f, 0);
    Put16(f, 0);
    f.insert(f.end(), t.options.begin(), t.options.end());
    f.insert(f.end(), t.payload.begin(), t.payload.end());
}

// The fixed IPv6 header; `extension` bytes (whole extension headers) follow it.
inline void PutIpv6(std::vector<unsigned char>& f, const HostAddress& src, const HostAddress& dst,
                    uint8_t nextHeader, uint16_t payloadLen) {
    f.insert(f.end(), {0x60, 0, 0, 0});
    Put16(f, payloadLen);
    f.push_back(nextHeader);
    f.push_back(64);
    f.insert(f.end(), src.begin(), src.end());
    f.insert(f.end(), dst.begin(), dst.end());
}

inline PacketRef Decode(const std::vector<unsigned char>& frame) {
    return DecodeFrame(frame.data(), static_cast<int>(frame.size()));
}

// The frame's bytes, for a test that cuts them as a snapshot length would.
inline std::vector<unsigned char> TcpFrame(const Tcp& t) {
    const int segment = 20 + static_cast<int>(t.options.size() + t.payload.size());
    std::vector<unsigned char> f;
    if (t.src.IsIpv6()) {
        f = EthernetHeader(0x86DD);
        PutIpv6(f, t.src, t.dst, 6, static_cast<uint16_t>(segment + t.totalLenDelta));
    } else {
        f = EthernetHeader(0x0800);
        PutIpv4(f, t.src, t.dst, 6, static_cast<uint16_t>(20 + segment + t.totalLenDelta), t.id);
    }
    PutTcp(f, t);
    f.insert(f.end(), static_cast<size_t>(t.padding), 0x00);
    return f;
}

inline PacketRef TcpPacket(const Tcp& t) {
    return Decode(TcpFrame(t));
}

inline PacketRef UdpPacket(const HostAddress& src, const HostAddress& dst, uint16_t sport,
                           uint16_t dport) {
    auto f = EthernetHeader(0x0800);
    PutIpv4(f, src, dst, 17, 28, 1);
    Put16(f, sport);
    Put16(f, dport);
    Put16(f, 8);
    Put16(f, 0);
    return Decode(f);
}

inline PacketRef ArpPacket(const HostAddress& sender, const HostAddress& target) {
    auto f = EthernetHeader(0x0806);
    for (uint16_t v : {uint16_t{1}, uint16_t{0x0800}}) Put16(f, v);
    f.push_back(6);
    f.push_back(4);
    Put16(f, 1);
    f.insert(f.end(), 6, 0x11);
    f.insert(f.end(), sender.begin(), sender.end());
    f.insert(f.end(), 6, 0x00);
    f.insert(f.end(), target.begin(), target.end());
    return Decode(f);
}

// Two link-local addresses, fe80::1 and fe80::2.
const HostAddress kLinkLocal1{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const HostAddress kLinkLocal2{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};

// TCP over IPv6 from fe80::1 to fe80::2.
inline PacketRef Ipv6TcpPacket(uint16_t sport, uint16_t dport) {
    Tcp t;
    t.src = kLinkLocal1;
    t.dst = kLinkLocal2;
    t.sport = sport;
    t.dport = dport;
    return TcpPacket(t);
}

// The same segment with an 8-byte hop-by-hop options header between the
// fixed header and TCP.
inline PacketRef Ipv6HopByHopTcpPacket(const Tcp& t) {
    auto f = EthernetHeader(0x86DD);
    const int segment = 20 + static_cast<int>(t.options.size() + t.payload.size());
    PutIpv6(f, t.src, t.dst, 0, static_cast<uint16_t>(8 + segment));
    f.insert(f.end(), {6, 0, 0x01, 0x04, 0, 0, 0, 0});  // next header TCP, PadN
    PutTcp(f, t);
    return Decode(f);
}

inline std::vector<const CProtocolLayer*> Raw(const PacketSnapshot& packets) {
    std::vector<const CProtocolLayer*> out;
    for (const auto& p : packets) out.push_back(p.get());
    return out;
}

}  // namespace test_packets

// Failure messages name addresses by their text.
inline void PrintTo(const HostAddress& address, std::ostream* out) {
    *out << address.Text();
}
