// TCP: the 20-byte fixed header. Options are left to the payload layer so that
// reassembly always finds the segment data 20 bytes in.
#include "protocols/tcp.h"

#include "protocols/byte_reader.h"
#include "protocols/data.h"
#include "protocols/text_format.h"

void CTcpLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nSrcPort = r.ReadBe16();
    m_nDstPort = r.ReadBe16();
    m_nSeqNum = r.ReadBe32();
    m_nAckNum = r.ReadBe32();
    m_nDataOffset = static_cast<uint8_t>((r.ReadU8() >> 4) * 4);
    const uint8_t flags = r.ReadU8();
    m_bFin = (flags & 0x01) != 0;
    m_bSyn = (flags & 0x02) != 0;
    m_bRst = (flags & 0x04) != 0;
    m_bPsh = (flags & 0x08) != 0;
    m_bAck = (flags & 0x10) != 0;
    m_bUrg = (flags & 0x20) != 0;
    m_nWindow = r.ReadBe16();
    m_nChecksum = r.ReadBe16();
    m_nUrgent = r.ReadBe16();
    m_nHeaderUsed = kHeaderSize;
    if (length - kHeaderSize != 0) DecodeInner<CDataLayer>(data, length, kHeaderSize);
}

void CTcpLayer::AppendXml(std::string& out, int depth) const {
    out += "<TCP>";
    AppendFormat(out,
                 "<SourcePort desc=\"Source Port\">%u</SourcePort>"
                 "<DestPort desc=\"Destination Port\">%u</DestPort>",
                 {m_nSrcPort, m_nDstPort});
    AppendFormat(out,
                 "<SeqNum desc=\"Sequence Number\">%u</SeqNum>"
                 "<AckNum desc=\"Acknowledgement Number\">%u</AckNum>",
                 {m_nSeqNum, m_nAckNum});
    AppendFormat(out, "<Urgent>%u</Urgent>", {m_nUrgent});
    AppendFormat(out, "<DataOffset desc=\"Data offset\">%u</DataOffset>", {m_nDataOffset});
    AppendFormat(out, "<WinSize desc=\"Window Size\">%u</WinSize>", {m_nWindow});
    AppendFormat(out, "<Checksum>%u</Checksum>", {m_nChecksum});
    AppendFormat(out, "<Flags>%s%s%s%s%s%s</Flags>",
                 {m_bAck ? "ACK " : "", m_bFin ? "FIN " : "", m_bPsh ? "PSH " : "",
                  m_bRst ? "RST " : "", m_bSyn ? "SYN " : "", m_bUrg ? "URG " : ""});
    out += "</TCP>";
    AppendInner(out, depth);
}
