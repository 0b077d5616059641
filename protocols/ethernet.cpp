// Ethernet II (14 bytes), PPPoE data stage (6 bytes) and PPP (2 bytes).
#include "protocols/ethernet.h"

#include "protocols/arp.h"
#include "protocols/byte_reader.h"
#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/text_format.h"
#include "protocols/vlan.h"

void DecodeEtherType(CProtocolLayer& outer, const unsigned char* data, int length, int consumed,
                     uint32_t etherType) {
    // Tags are walked here, one layer each, rather than each tag decoding the
    // next: a frame of stacked tags never deepens the stack.
    CProtocolLayer* last = &outer;
    for (int tags = 0; CVlanLayer::IsTag(etherType) && tags < CVlanLayer::kMostTags; ++tags) {
        CVlanLayer* tag = last->DecodeInner<CVlanLayer>(data, length, consumed);
        if (tag == nullptr) return;
        data += consumed;
        length -= consumed;
        consumed = CVlanLayer::kHeaderSize;
        etherType = tag->m_nEtherType;
        last = tag;
    }
    switch (etherType) {
        case 0x0800:
            last->DecodeInner<CIpv4Layer>(data, length, consumed);
            break;
        case 0x86DD:
            last->DecodeInner<CIpv6Layer>(data, length, consumed);
            break;
        case 0x8864:
            last->DecodeInner<CPppoeLayer>(data, length, consumed);
            break;
        case 0x0806:
            last->DecodeInner<CArpLayer>(data, length, consumed);
            break;
        case 0x8035:
            last->DecodeInner<CRarpLayer>(data, length, consumed);
            break;
        default:
            // PPPoE discovery, IEEE 802.2, tags past the most walked: the chain ends.
            break;
    }
}

void CEthernetLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    r.ReadBytes(m_dstMac, sizeof m_dstMac);
    r.ReadBytes(m_srcMac, sizeof m_srcMac);
    m_nEtherType = r.ReadBe16();
    DecodeEtherType(*this, data, length, kHeaderSize, m_nEtherType);
}

void CEthernetLayer::AppendXml(std::string& out, int depth) const {
    const unsigned char* s = m_srcMac;
    const unsigned char* d = m_dstMac;
    out += "<Ethernet>";
    AppendFormat(
        out,
        "<MAC_src desc=\"MAC Source address\">%.2X-%.2X-%.2X-%.2X-%.2X-%.2X</MAC_src>"
        "<MAC_dst desc=\"MAC Destination address\">%.2X-%.2X-%.2X-%.2X-%.2X-%.2X</MAC_dst>",
        {s[0], s[1], s[2], s[3], s[4], s[5], d[0], d[1], d[2], d[3], d[4], d[5]});
    AppendFormat(out, "<Type>0x%.4x</Type>", {m_nEtherType});
    out += "</Ethernet>";
    AppendInner(out, depth);
}

void CPppoeLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nProtocol = r.ReadBe16();
    // Session id and length are not kept; PPP always follows.
    DecodeInner<CPppLayer>(data, length, kHeaderSize);
}

void CPppoeLayer::AppendXml(std::string& out, int depth) const {
    out += "<PPPoE>";
    AppendFormat(out, "<Protocol>0x%.4x</Protocol>", {m_nProtocol});
    out += "</PPPoE>";
    AppendInner(out, depth);
}

void CPppLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nProtocol = r.ReadBe16();
    DecodeCarried(data, length, kHeaderSize);
}

void CPppLayer::DecodeCarried(const unsigned char* data, int length, int consumed) {
    // IPv4 and IPv6 are carried on; the control protocols end the chain.
    if (m_nProtocol == 0x0021) DecodeInner<CIpv4Layer>(data, length, consumed);
    if (m_nProtocol == 0x0057) DecodeInner<CIpv6Layer>(data, length, consumed);
}

void CPppLinkLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    if (r.Has(2) && data[0] == 0xFF && data[1] == 0x03) r.Skip(2);
    m_nProtocol = r.ReadU8();
    // An even first byte is the high half of a two-byte protocol number.
    if ((m_nProtocol & 1) == 0) m_nProtocol = (m_nProtocol << 8) | r.ReadU8();
    if (!r.Overrun()) DecodeCarried(data, length, static_cast<int>(r.Position()));
}

void CPppLayer::AppendXml(std::string& out, int depth) const {
    out += "<PPP>";
    AppendFormat(out, "<Protocol>0x%.4x</Protocol>", {m_nProtocol});
    out += "</PPP>";
    AppendInner(out, depth);
}
