// Ethernet II (14 bytes), PPPoE data stage (6 bytes) and PPP (2 bytes).
#include "protocols/ethernet.h"

#include "protocols/arp.h"
#include "protocols/byte_reader.h"
#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/text_format.h"

void CEthernetLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    r.ReadBytes(m_dstMac, sizeof m_dstMac);
    r.ReadBytes(m_srcMac, sizeof m_srcMac);
    m_nEtherType = r.ReadBe16();

    // No VLAN tags, no PPPoE discovery stage, no IEEE 802.2: those end the chain.
    switch (m_nEtherType) {
        case 0x0800:
            DecodeInner<CIpv4Layer>(data, length, kHeaderSize);
            break;
        case 0x86DD:
            DecodeInner<CIpv6Layer>(data, length, kHeaderSize);
            break;
        case 0x8864:
            DecodeInner<CPppoeLayer>(data, length, kHeaderSize);
            break;
        case 0x0806:
            DecodeInner<CArpLayer>(data, length, kHeaderSize);
            break;
        case 0x8035:
            DecodeInner<CRarpLayer>(data, length, kHeaderSize);
            break;
        default:
            break;
    }
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
    // Only IPv4 is carried on; IPv6 and the control protocols end the chain.
    if (m_nProtocol == 0x0021) DecodeInner<CIpv4Layer>(data, length, kHeaderSize);
}

void CPppLayer::AppendXml(std::string& out, int depth) const {
    out += "<PPP>";
    AppendFormat(out, "<Protocol>0x%.4x</Protocol>", {m_nProtocol});
    out += "</PPP>";
    AppendInner(out, depth);
}
