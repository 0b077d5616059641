// ICMPv6: type, code, checksum, and the echo identifier and sequence number.
#include "protocols/icmpv6.h"

#include "protocols/byte_reader.h"
#include "protocols/data.h"
#include "protocols/text_format.h"

void CIcmpv6Layer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nIcmpType = r.ReadU8();
    m_nCode = r.ReadU8();
    m_nChecksum = r.ReadBe16();
    int consumed = kHeaderSize;
    if (IsEcho() && r.Has(4)) {
        m_nIdentifier = r.ReadBe16();
        m_nSequence = r.ReadBe16();
        consumed += 4;
    }
    if (length - consumed != 0) DecodeInner<CDataLayer>(data, length, consumed);
}

void CIcmpv6Layer::AppendXml(std::string& out, int depth) const {
    out += "<ICMPv6>";
    AppendFormat(out, "<Type>%u</Type>", {m_nIcmpType});
    AppendFormat(out, "<Code>%u</Code>", {m_nCode});
    AppendFormat(out, "<Checksum>%u</Checksum>", {m_nChecksum});
    if (IsEcho()) {
        AppendFormat(out, "<Identifier>%u</Identifier>", {m_nIdentifier});
        AppendFormat(out, "<Sequence desc=\"Sequence number\">%u</Sequence>", {m_nSequence});
    }
    out += "</ICMPv6>";
    AppendInner(out, depth);
}
