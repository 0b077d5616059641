// Builders for the headers of synthetic frames. Each builder returns finished
// bytes: length fields filled in, and the IPv4 header, TCP, UDP, ICMP and
// ICMPv6 checksums computed over what they cover, so that an independent
// dissector accepts the result as well-formed traffic.
//
// Builders nest from the inside out: a transport segment is built first (its
// checksum needs the addresses of the network header), then wrapped in an
// IPv4 or IPv6 datagram, then in a link-layer frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace capture_gen {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;
using MacAddress = std::array<uint8_t, 6>;
using Ipv4Address = std::array<uint8_t, 4>;
using Ipv6Address = std::array<uint8_t, 16>;

inline constexpr uint16_t kEtherTypeIpv4 = 0x0800;
inline constexpr uint16_t kEtherTypeArp = 0x0806;
inline constexpr uint16_t kEtherTypeRarp = 0x8035;
inline constexpr uint16_t kEtherTypeVlan = 0x8100;
inline constexpr uint16_t kEtherTypeIpv6 = 0x86DD;
inline constexpr uint16_t kEtherTypePppoeDiscovery = 0x8863;
inline constexpr uint16_t kEtherTypePppoeSession = 0x8864;

inline constexpr uint16_t kPppIpv4 = 0x0021;
inline constexpr uint16_t kPppIpv6 = 0x0057;
inline constexpr uint16_t kPppLcp = 0xC021;

inline constexpr uint8_t kIpProtoIcmp = 1;
inline constexpr uint8_t kIpProtoIgmp = 2;
inline constexpr uint8_t kIpProtoTcp = 6;
inline constexpr uint8_t kIpProtoUdp = 17;
inline constexpr uint8_t kIpProtoIcmpv6 = 58;

// The smallest Ethernet frame without its frame check sequence.
inline constexpr size_t kMinEthernetFrame = 60;
inline constexpr size_t kEthernetHeader = 14;

inline constexpr MacAddress kBroadcastMac = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The 16-bit ones' complement of the ones' complement sum of `data`, with
// `partialSum` (an unfolded sum of earlier words, e.g. a pseudo-header) added.
uint16_t InternetChecksum(ByteSpan data, uint32_t partialSum = 0);

// Appends `value` most significant byte first.
void AppendBe16(Bytes& out, uint16_t value);
void AppendBe32(Bytes& out, uint32_t value);
void Append(Bytes& out, ByteSpan bytes);
void PutBe16(Bytes& out, size_t offset, uint16_t value);

// Ethernet II: destination, source, EtherType, payload. No padding is added.
Bytes EthernetFrame(const MacAddress& dst, const MacAddress& src, uint16_t etherType,
                    ByteSpan payload);
// 802.1Q: the tag (TPID 0x8100, `tci`) sits between the source and the inner type.
Bytes VlanFrame(const MacAddress& dst, const MacAddress& src, uint16_t tci, uint16_t innerType,
                ByteSpan payload);
// IEEE 802.3: bytes 12-13 hold the payload's length instead of an EtherType.
Bytes Ieee8023Frame(const MacAddress& dst, const MacAddress& src, ByteSpan payload);
// Appends zero fill bytes until the frame has `minimum` bytes.
void PadFrame(Bytes& frame, size_t minimum = kMinEthernetFrame);

struct Ipv4Header {
    Ipv4Address src{};
    Ipv4Address dst{};
    uint8_t protocol = 0;
    uint8_t ttl = 64;
    uint8_t tos = 0;
    uint16_t id = 0;
    bool dontFragment = false;
    bool moreFragments = false;
    uint16_t fragmentOffset = 0;  // in 8-byte units
    Bytes options;                // zero-padded to a multiple of 4 bytes
};

// Header (with total length and checksum) followed by `payload`.
Bytes Ipv4Datagram(const Ipv4Header& header, ByteSpan payload);

// Splits `payload` (a whole transport datagram) into IPv4 fragments carrying at
// most `maxFragmentPayload` bytes each (rounded down to a multiple of 8). The
// first has offset 0 and More Fragments set; the last has it clear.
std::vector<Bytes> Ipv4Fragments(const Ipv4Header& header, ByteSpan payload,
                                 size_t maxFragmentPayload);

struct Ipv6Header {
    Ipv6Address src{};
    Ipv6Address dst{};
    uint8_t nextHeader = 0;
    uint8_t hopLimit = 64;
    uint8_t trafficClass = 0;
    uint32_t flowLabel = 0;  // 20 bits
};

// Fixed 40-byte header (with payload length) followed by `payload`.
Bytes Ipv6Packet(const Ipv6Header& header, ByteSpan payload);

enum TcpFlag : uint8_t {
    kTcpFin = 0x01,
    kTcpSyn = 0x02,
    kTcpRst = 0x04,
    kTcpPsh = 0x08,
    kTcpAck = 0x10,
    kTcpUrg = 0x20,
};

struct TcpHeader {
    uint16_t srcPort = 0;
    uint16_t dstPort = 0;
    uint32_t seq = 0;
    uint32_t ack = 0;
    uint8_t flags = 0;
    uint16_t window = 65535;
    uint16_t urgent = 0;
    Bytes options;  // zero-padded to a multiple of 4 bytes; sets the data offset
};

// TCP and UDP checksums cover a pseudo-header made of the network addresses,
// so these take the addresses of the datagram that will carry them.
Bytes TcpSegment(const TcpHeader& header, ByteSpan payload, const Ipv4Address& src,
                 const Ipv4Address& dst);
Bytes TcpSegment(const TcpHeader& header, ByteSpan payload, const Ipv6Address& src,
                 const Ipv6Address& dst);
Bytes UdpDatagram(uint16_t srcPort, uint16_t dstPort, ByteSpan payload, const Ipv4Address& src,
                  const Ipv4Address& dst);
Bytes UdpDatagram(uint16_t srcPort, uint16_t dstPort, ByteSpan payload, const Ipv6Address& src,
                  const Ipv6Address& dst);

// ICMP: type, code, checksum, then `body` (for an echo: identifier, sequence, data).
Bytes IcmpMessage(uint8_t type, uint8_t code, ByteSpan body);
// ICMPv6 checksums include the IPv6 pseudo-header.
Bytes Icmpv6Message(uint8_t type, uint8_t code, ByteSpan body, const Ipv6Address& src,
                    const Ipv6Address& dst);
// Identifier and sequence number followed by `data`: the body of an echo message.
Bytes EchoBody(uint16_t identifier, uint16_t sequence, ByteSpan data);

// A 28-byte ARP/RARP message for Ethernet hardware and IPv4 protocol addresses.
Bytes ArpMessage(uint16_t opcode, const MacAddress& senderMac, const Ipv4Address& senderIp,
                 const MacAddress& targetMac, const Ipv4Address& targetIp);

// PPPoE session stage (version 1, type 1, code 0) carrying one PPP frame:
// the 2-byte PPP protocol followed by `payload`.
Bytes PppoeSession(uint16_t sessionId, uint16_t pppProtocol, ByteSpan payload);
// PPPoE discovery stage: version/type 0x11, `code` (0x09 PADI, 0x07 PADO,
// 0x19 PADR, 0x65 PADS, 0xA7 PADT), then the tag bytes.
Bytes PppoeDiscovery(uint8_t code, uint16_t sessionId, ByteSpan tags);
// One discovery tag: type, length, value.
void AppendPppoeTag(Bytes& tags, uint16_t type, ByteSpan value);

// The 16-byte IPv6 address whose groups are `groups` (for readable literals).
Ipv6Address MakeIpv6(const std::array<uint16_t, 8>& groups);

}  // namespace capture_gen
