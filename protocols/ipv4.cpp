// IPv4: a 20-byte fixed header plus options; the header length from byte 0 is
// what the inner layer starts after.
#include "protocols/ipv4.h"

#include "protocols/byte_reader.h"
#include "protocols/data.h"
#include "protocols/icmp.h"
#include "protocols/tcp.h"
#include "protocols/text_format.h"
#include "protocols/udp.h"

void CIpv4Layer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    const uint8_t versionAndLength = r.ReadU8();
    m_nVersion = versionAndLength >> 4;
    m_nHeaderLen = static_cast<uint8_t>((versionAndLength & 0x0F) * 4);
    m_nTos = r.ReadU8();
    m_nTotalLen = r.ReadBe16();
    m_nId = r.ReadBe16();
    m_nFragOffset = r.ReadBe16() & 0x1FFF;  // the three flag bits are dropped
    m_nTtl = r.ReadU8();
    m_nProtocol = r.ReadU8();
    m_nChecksum = r.ReadBe16();
    r.ReadBytes(m_srcAddr, sizeof m_srcAddr);
    r.ReadBytes(m_dstAddr, sizeof m_dstAddr);

    // The rest is everything captured after the stated header: the total length
    // does not cut off trailing fill bytes.
    const int consumed = m_nHeaderLen;
    if (m_nFragOffset != 0) {
        // A later fragment carries no transport header of its own.
        if (length - consumed != 0) DecodeInner<CDataLayer>(data, length, consumed);
        return;
    }
    switch (m_nProtocol) {
        case 1:
            DecodeInner<CIcmpLayer>(data, length, consumed);
            break;
        case 6:
            DecodeInner<CTcpLayer>(data, length, consumed);
            break;
        case 17:
            DecodeInner<CUdpLayer>(data, length, consumed);
            break;
        default:
            DecodeInner<CDataLayer>(data, length, consumed);
            break;
    }
}

void CIpv4Layer::AppendXml(std::string& out, int depth) const {
    const unsigned char* s = m_srcAddr;
    const unsigned char* d = m_dstAddr;
    out += "<IPv4>";
    AppendFormat(out, "<Version>%u</Version>", {m_nVersion});
    AppendFormat(out,
                 "<SourceIP desc=\"Source IP\">%u.%u.%u.%u</SourceIP>"
                 "<DestIP desc=\"Destination IP\">%u.%u.%u.%u</DestIP>",
                 {s[0], s[1], s[2], s[3], d[0], d[1], d[2], d[3]});
    AppendFormat(out, "<Protocol>%u</Protocol>", {m_nProtocol});
    AppendFormat(out, "<HeaderLen>%u</HeaderLen><TotalLen desc=\"Total Length\">%u</TotalLen>",
                 {m_nHeaderLen, m_nTotalLen});
    AppendFormat(out, "<Checksum>%u</Checksum>", {m_nChecksum});
    AppendFormat(out, "<TTL>%u</TTL>", {m_nTtl});
    AppendFormat(out, "<ID>%u</ID>", {m_nId});
    AppendFormat(out, "<TOS desc=\"TOS (Type of Service)\">%u</TOS>", {m_nTos});
    AppendFormat(out, "<FragmentOffset>%u</FragmentOffset>", {m_nFragOffset});
    out += "</IPv4>";
    AppendInner(out, depth);
}
