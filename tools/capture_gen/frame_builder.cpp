#include "tools/capture_gen/frame_builder.h"

#include <algorithm>
#include <cstring>

namespace capture_gen {

namespace {

uint32_t SumWords(ByteSpan data, uint32_t sum) {
    size_t i = 0;
    for (; i + 1 < data.size(); i += 2) sum += (uint32_t{data[i]} << 8) | data[i + 1];
    if (i < data.size()) sum += uint32_t{data[i]} << 8;
    return sum;
}

uint32_t FoldOnce(uint32_t sum) {
    return (sum & 0xFFFF) + (sum >> 16);
}

// The pseudo-header sums of RFC 793 / RFC 768 (IPv4) and RFC 8200 (IPv6).
uint32_t PseudoHeaderSum(const Ipv4Address& src, const Ipv4Address& dst, uint8_t protocol,
                         size_t length) {
    uint32_t sum = SumWords(src, 0);
    sum = SumWords(dst, sum);
    sum += protocol;
    sum += static_cast<uint32_t>(length);
    return FoldOnce(sum);
}

uint32_t PseudoHeaderSum(const Ipv6Address& src, const Ipv6Address& dst, uint8_t nextHeader,
                         size_t length) {
    uint32_t sum = SumWords(src, 0);
    sum = SumWords(dst, sum);
    sum += static_cast<uint32_t>(length >> 16) + static_cast<uint32_t>(length & 0xFFFF);
    sum += nextHeader;
    return FoldOnce(sum);
}

void AppendPadded(Bytes& out, const Bytes& options) {
    Append(out, options);
    while (out.size() % 4 != 0) out.push_back(0);
}

Bytes TcpWithoutChecksum(const TcpHeader& h, ByteSpan payload) {
    const size_t optionBytes = (h.options.size() + 3) / 4 * 4;
    const size_t headerLen = 20 + optionBytes;
    Bytes out;
    out.reserve(headerLen + payload.size());
    AppendBe16(out, h.srcPort);
    AppendBe16(out, h.dstPort);
    AppendBe32(out, h.seq);
    AppendBe32(out, h.ack);
    out.push_back(static_cast<uint8_t>((headerLen / 4) << 4));
    out.push_back(h.flags);
    AppendBe16(out, h.window);
    AppendBe16(out, 0);  // checksum, filled by the caller
    AppendBe16(out, h.urgent);
    AppendPadded(out, h.options);
    Append(out, payload);
    return out;
}

Bytes UdpWithoutChecksum(uint16_t srcPort, uint16_t dstPort, ByteSpan payload) {
    Bytes out;
    out.reserve(8 + payload.size());
    AppendBe16(out, srcPort);
    AppendBe16(out, dstPort);
    AppendBe16(out, static_cast<uint16_t>(8 + payload.size()));
    AppendBe16(out, 0);
    Append(out, payload);
    return out;
}

// UDP sends a computed checksum of zero as 0xFFFF; zero means "none".
void SetUdpChecksum(Bytes& datagram, uint32_t pseudo) {
    uint16_t sum = InternetChecksum(datagram, pseudo);
    if (sum == 0) sum = 0xFFFF;
    PutBe16(datagram, 6, sum);
}

}  // namespace

uint16_t InternetChecksum(ByteSpan data, uint32_t partialSum) {
    uint32_t sum = SumWords(data, partialSum);
    while ((sum >> 16) != 0) sum = FoldOnce(sum);
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

void AppendBe16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void AppendBe32(Bytes& out, uint32_t value) {
    AppendBe16(out, static_cast<uint16_t>(value >> 16));
    AppendBe16(out, static_cast<uint16_t>(value));
}

void Append(Bytes& out, ByteSpan bytes) {
    const size_t old = out.size();
    out.resize(old + bytes.size());
    if (!bytes.empty()) std::memcpy(out.data() + old, bytes.data(), bytes.size());
}

void PutBe16(Bytes& out, size_t offset, uint16_t value) {
    out.at(offset) = static_cast<uint8_t>(value >> 8);
    out.at(offset + 1) = static_cast<uint8_t>(value);
}

Bytes EthernetFrame(const MacAddress& dst, const MacAddress& src, uint16_t etherType,
                    ByteSpan payload) {
    Bytes out;
    out.reserve(kEthernetHeader + std::max(payload.size(), kMinEthernetFrame));
    Append(out, dst);
    Append(out, src);
    AppendBe16(out, etherType);
    Append(out, payload);
    return out;
}

Bytes VlanFrame(const MacAddress& dst, const MacAddress& src, uint16_t tci, uint16_t innerType,
                ByteSpan payload) {
    Bytes out;
    out.reserve(18 + payload.size());
    Append(out, dst);
    Append(out, src);
    AppendBe16(out, kEtherTypeVlan);
    AppendBe16(out, tci);
    AppendBe16(out, innerType);
    Append(out, payload);
    return out;
}

Bytes Ieee8023Frame(const MacAddress& dst, const MacAddress& src, ByteSpan payload) {
    return EthernetFrame(dst, src, static_cast<uint16_t>(payload.size()), payload);
}

void PadFrame(Bytes& frame, size_t minimum) {
    if (frame.size() < minimum) frame.resize(minimum, 0);
}

Bytes Ipv4Datagram(const Ipv4Header& h, ByteSpan payload) {
    const size_t optionBytes = (h.options.size() + 3) / 4 * 4;
    const size_t headerLen = 20 + optionBytes;
    Bytes out;
    out.reserve(headerLen + payload.size() + kEthernetHeader);
    out.push_back(static_cast<uint8_t>(0x40 | (headerLen / 4)));
    out.push_back(h.tos);
    AppendBe16(out, static_cast<uint16_t>(headerLen + payload.size()));
    AppendBe16(out, h.id);
    uint16_t flagsOffset = h.fragmentOffset & 0x1FFF;
    if (h.dontFragment) flagsOffset |= 0x4000;
    if (h.moreFragments) flagsOffset |= 0x2000;
    AppendBe16(out, flagsOffset);
    out.push_back(h.ttl);
    out.push_back(h.protocol);
    AppendBe16(out, 0);
    Append(out, h.src);
    Append(out, h.dst);
    AppendPadded(out, h.options);
    PutBe16(out, 10, InternetChecksum(ByteSpan(out.data(), headerLen)));
    Append(out, payload);
    return out;
}

std::vector<Bytes> Ipv4Fragments(const Ipv4Header& header, ByteSpan payload,
                                 size_t maxFragmentPayload) {
    const size_t step = std::max<size_t>(8, maxFragmentPayload / 8 * 8);
    std::vector<Bytes> fragments;
    size_t offset = 0;
    do {
        const size_t n = std::min(step, payload.size() - offset);
        Ipv4Header h = header;
        h.fragmentOffset = static_cast<uint16_t>(offset / 8);
        h.moreFragments = offset + n < payload.size();
        h.dontFragment = false;
        fragments.push_back(Ipv4Datagram(h, payload.subspan(offset, n)));
        offset += n;
    } while (offset < payload.size());
    return fragments;
}

Bytes Ipv6Packet(const Ipv6Header& h, ByteSpan payload) {
    Bytes out;
    out.reserve(40 + payload.size() + kEthernetHeader);
    const uint32_t first = (6u << 28) | (uint32_t{h.trafficClass} << 20) | (h.flowLabel & 0xFFFFF);
    AppendBe32(out, first);
    AppendBe16(out, static_cast<uint16_t>(payload.size()));
    out.push_back(h.nextHeader);
    out.push_back(h.hopLimit);
    Append(out, h.src);
    Append(out, h.dst);
    Append(out, payload);
    return out;
}

Bytes TcpSegment(const TcpHeader& header, ByteSpan payload, const Ipv4Address& src,
                 const Ipv4Address& dst) {
    Bytes out = TcpWithoutChecksum(header, payload);
    PutBe16(out, 16, InternetChecksum(out, PseudoHeaderSum(src, dst, kIpProtoTcp, out.size())));
    return out;
}

Bytes TcpSegment(const TcpHeader& header, ByteSpan payload, const Ipv6Address& src,
                 const Ipv6Address& dst) {
    Bytes out = TcpWithoutChecksum(header, payload);
    PutBe16(out, 16, InternetChecksum(out, PseudoHeaderSum(src, dst, kIpProtoTcp, out.size())));
    return out;
}

Bytes UdpDatagram(uint16_t srcPort, uint16_t dstPort, ByteSpan payload, const Ipv4Address& src,
                  const Ipv4Address& dst) {
    Bytes out = UdpWithoutChecksum(srcPort, dstPort, payload);
    SetUdpChecksum(out, PseudoHeaderSum(src, dst, kIpProtoUdp, out.size()));
    return out;
}

Bytes UdpDatagram(uint16_t srcPort, uint16_t dstPort, ByteSpan payload, const Ipv6Address& src,
                  const Ipv6Address& dst) {
    Bytes out = UdpWithoutChecksum(srcPort, dstPort, payload);
    SetUdpChecksum(out, PseudoHeaderSum(src, dst, kIpProtoUdp, out.size()));
    return out;
}

Bytes IcmpMessage(uint8_t type, uint8_t code, ByteSpan body) {
    Bytes out{type, code, 0, 0};
    Append(out, body);
    PutBe16(out, 2, InternetChecksum(out));
    return out;
}

Bytes Icmpv6Message(uint8_t type, uint8_t code, ByteSpan body, const Ipv6Address& src,
                    const Ipv6Address& dst) {
    Bytes out{type, code, 0, 0};
    Append(out, body);
    PutBe16(out, 2, InternetChecksum(out, PseudoHeaderSum(src, dst, kIpProtoIcmpv6, out.size())));
    return out;
}

Bytes EchoBody(uint16_t identifier, uint16_t sequence, ByteSpan data) {
    Bytes out;
    out.reserve(4 + data.size());
    AppendBe16(out, identifier);
    AppendBe16(out, sequence);
    Append(out, data);
    return out;
}

Bytes ArpMessage(uint16_t opcode, const MacAddress& senderMac, const Ipv4Address& senderIp,
                 const MacAddress& targetMac, const Ipv4Address& targetIp) {
    Bytes out;
    out.reserve(28);
    AppendBe16(out, 1);  // Ethernet
    AppendBe16(out, kEtherTypeIpv4);
    out.push_back(6);
    out.push_back(4);
    AppendBe16(out, opcode);
    Append(out, senderMac);
    Append(out, senderIp);
    Append(out, targetMac);
    Append(out, targetIp);
    return out;
}

Bytes PppoeSession(uint16_t sessionId, uint16_t pppProtocol, ByteSpan payload) {
    Bytes out;
    out.reserve(8 + payload.size());
    out.push_back(0x11);
    out.push_back(0x00);
    AppendBe16(out, sessionId);
    AppendBe16(out, static_cast<uint16_t>(2 + payload.size()));
    AppendBe16(out, pppProtocol);
    Append(out, payload);
    return out;
}

Bytes PppoeDiscovery(uint8_t code, uint16_t sessionId, ByteSpan tags) {
    Bytes out;
    out.reserve(6 + tags.size());
    out.push_back(0x11);
    out.push_back(code);
    AppendBe16(out, sessionId);
    AppendBe16(out, static_cast<uint16_t>(tags.size()));
    Append(out, tags);
    return out;
}

void AppendPppoeTag(Bytes& tags, uint16_t type, ByteSpan value) {
    AppendBe16(tags, type);
    AppendBe16(tags, static_cast<uint16_t>(value.size()));
    Append(tags, value);
}

Ipv6Address MakeIpv6(const std::array<uint16_t, 8>& groups) {
    Ipv6Address a{};
    for (size_t i = 0; i < 8; ++i) {
        a[2 * i] = static_cast<uint8_t>(groups[i] >> 8);
        a[2 * i + 1] = static_cast<uint8_t>(groups[i]);
    }
    return a;
}

}  // namespace capture_gen
