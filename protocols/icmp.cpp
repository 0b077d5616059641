// ICMP: type, code and checksum; everything after the 4 bytes is payload.
#include "protocols/icmp.h"

#include "protocols/byte_reader.h"
#include "protocols/data.h"
#include "protocols/text_format.h"

void CIcmpLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nIcmpType = r.ReadU8();
    m_nCode = r.ReadU8();
    m_nChecksum = r.ReadBe16();
    if (length - kHeaderSize != 0) DecodeInner<CDataLayer>(data, length, kHeaderSize);
}

void CIcmpLayer::AppendXml(std::string& out, int depth) const {
    out += "<ICMP>";
    AppendFormat(out, "<Code>%u</Code>", {m_nCode});
    AppendFormat(out, "<Type>%u</Type>", {m_nIcmpType});
    AppendFormat(out, "<Checksum>%u</Checksum>", {m_nChecksum});
    out += "</ICMP>";
    AppendInner(out, depth);
}
