// IPv6: the 40-byte fixed header; the extension headers after it are layers of
// their own.
#include "protocols/ipv6.h"

#include "protocols/byte_reader.h"
#include "protocols/ipv6_extension.h"
#include "protocols/text_format.h"

void CIpv6Layer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    const uint32_t first = r.ReadBe32();  // version 4 bits, class 8, flow label 20
    m_nVersion = static_cast<uint8_t>(first >> 28);
    m_nTrafficClass = static_cast<uint8_t>(first >> 20);
    m_nFlowLabel = first & 0xFFFFF;
    m_nPayloadLen = r.ReadBe16();
    m_nNextHeader = r.ReadU8();
    m_nHopLimit = r.ReadU8();
    r.ReadBytes(m_srcAddr, sizeof m_srcAddr);
    r.ReadBytes(m_dstAddr, sizeof m_dstAddr);

    DecodeIpv6Next(*this, data, length, kHeaderSize, m_nNextHeader);
}

void CIpv6Layer::AppendXml(std::string& out, int depth) const {
    thread_local std::string address;
    out += "<IPv6>";
    AppendFormat(out, "<Version>%u</Version>", {m_nVersion});
    AppendFormat(out, "<TrafficClass desc=\"Traffic Class\">%u</TrafficClass>", {m_nTrafficClass});
    AppendFormat(out, "<FlowLabel desc=\"Flow Label\">%u</FlowLabel>", {m_nFlowLabel});
    AppendFormat(out, "<PayloadLen desc=\"Payload Length\">%u</PayloadLen>", {m_nPayloadLen});
    AppendFormat(out, "<NextHeader desc=\"Next Header\">%u</NextHeader>", {m_nNextHeader});
    AppendFormat(out, "<HopLimit desc=\"Hop Limit\">%u</HopLimit>", {m_nHopLimit});
    ByteListText(address, m_srcAddr, sizeof m_srcAddr, 0);
    AppendFormat(out, "<SourceIP desc=\"Source IP\">%s</SourceIP>", {address});
    ByteListText(address, m_dstAddr, sizeof m_dstAddr, 0);
    AppendFormat(out, "<DestIP desc=\"Destination IP\">%s</DestIP>", {address});
    out += "</IPv6>";
    AppendInner(out, depth);
}
