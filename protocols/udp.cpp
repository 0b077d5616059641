// UDP: ports, length and checksum; the length field does not bound the payload.
#include "protocols/udp.h"

#include "protocols/byte_reader.h"
#include "protocols/data.h"
#include "protocols/text_format.h"

void CUdpLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nSrcPort = r.ReadBe16();
    m_nDstPort = r.ReadBe16();
    m_nLength = r.ReadBe16();
    m_nChecksum = r.ReadBe16();
    if (length - kHeaderSize != 0) DecodeInner<CDataLayer>(data, length, kHeaderSize);
}

void CUdpLayer::AppendXml(std::string& out, int depth) const {
    out += "<UDP>";
    AppendFormat(out,
                 "<SourcePort desc=\"Source Port\">%u</SourcePort>"
                 "<DestPort desc=\"Destination Port\">%u</DestPort>",
                 {m_nSrcPort, m_nDstPort});
    AppendFormat(out, "<HeaderLen desc=\"Header Length\">%u</HeaderLen>", {m_nLength});
    AppendFormat(out, "<Checksum>%u</Checksum>", {m_nChecksum});
    out += "</UDP>";
    AppendInner(out, depth);
}
