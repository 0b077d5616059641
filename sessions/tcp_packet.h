// What the Decode window reads of a packet: the addresses of its IPv4 or IPv6
// header and its TCP header. A TCP packet is one whose chain has an IPv4 layer
// and a TCP layer, or an IPv6 layer with a TCP layer (which the IPv6 decoder
// makes only right after the fixed header); every other packet is ignored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "protocols/layer.h"

class CTcpLayer;

// The data of a TCP segment as far as it was captured, and how many of the
// datagram's data bytes the capture cut off. An empty one, with none missing,
// stands for a segment with no data to show.
struct SegmentData {
    const unsigned char* bytes = nullptr;
    uint32_t length = 0;
    uint32_t missing = 0;

    bool Empty() const { return length == 0 && missing == 0; }
};

// An IPv4 or IPv6 address in wire order. Addresses of the two families never
// compare equal, not even an IPv4-mapped IPv6 address and its IPv4 address.
class HostAddress {
  public:
    HostAddress() = default;
    // Sixteen bytes make an IPv6 address; any other count an IPv4 address of
    // the first four (missing ones 0): HostAddress{10, 0, 0, 5}.
    HostAddress(std::initializer_list<unsigned char> bytes);
    static HostAddress Ipv4(const unsigned char* bytes);
    static HostAddress Ipv6(const unsigned char* bytes);

    bool IsIpv6() const { return m_nSize == 16; }
    const unsigned char* data() const { return m_bytes.data(); }
    size_t size() const { return m_nSize; }
    const unsigned char* begin() const { return data(); }
    const unsigned char* end() const { return data() + m_nSize; }

    // "10.0.0.5", or the compressed IPv6 form of RFC 5952 ("::1", "2001:db8::5").
    std::string Text() const;

    friend bool operator==(const HostAddress&, const HostAddress&) = default;

  private:
    std::array<unsigned char, 16> m_bytes{};  // bytes past m_nSize stay 0
    uint8_t m_nSize = 4;
};

struct TcpPacketView {
    const CProtocolLayer* ip = nullptr;  // the IPv4 or the IPv6 layer
    const CTcpLayer* tcp = nullptr;
    bool ipv6 = false;
    const unsigned char* src = nullptr;  // 4 or 16 bytes, by family
    const unsigned char* dst = nullptr;

    size_t AddressSize() const { return ipv6 ? 16 : 4; }
    HostAddress Source() const { return ipv6 ? HostAddress::Ipv6(src) : HostAddress::Ipv4(src); }
    HostAddress Destination() const {
        return ipv6 ? HostAddress::Ipv6(dst) : HostAddress::Ipv4(dst);
    }
    // The datagram's length as its header states it (IPv4 total length; IPv6
    // payload length plus the 40-byte fixed header) and its header's length.
    uint32_t DatagramLength() const;
    uint32_t IpHeaderLength() const;

    // The segment's data: it begins after the TCP options and ends where the
    // datagram ends, so link-layer padding is never part of it. Empty when the
    // options reach past the captured bytes, as the data's start is then
    // unknown. Where the datagram's lengths are inconsistent (they end before
    // the data begins) everything captured after the options counts. When
    // the data offset is below the fixed header's 20 bytes the data is taken
    // to begin right after the fixed header.
    SegmentData Data() const;
};

// The packet's IP and TCP layers; none for a packet that is not a TCP packet.
std::optional<TcpPacketView> AsTcpPacket(const CProtocolLayer* packet);

// The source address of the packet's first IPv4 or IPv6 layer, TCP or not.
std::optional<HostAddress> SourceAddress(const CProtocolLayer* packet);
