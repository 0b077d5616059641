// BSD loopback headers (4 bytes).
#include "protocols/loopback.h"

#include "protocols/byte_reader.h"
#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/text_format.h"

void CLoopbackLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nFamily = r.ReadBe32();
    // Families are small numbers: a value with its low half empty was written
    // little-endian.
    if ((m_nFamily & 0xFFFF) == 0)
        m_nFamily = ((m_nFamily >> 24) & 0xFF) | ((m_nFamily >> 8) & 0xFF00);
    DecodeFamily(data, length);
}

void CLoopLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nFamily = r.ReadBe32();
    DecodeFamily(data, length);
}

void CLoopbackLayer::DecodeFamily(const unsigned char* data, int length) {
    switch (m_nFamily) {
        case 2:  // AF_INET everywhere
            DecodeInner<CIpv4Layer>(data, length, kHeaderSize);
            break;
        case 10:  // AF_INET6 of Linux, and of the BSDs and macOS that wrote the file
        case 24:
        case 28:
        case 30:
            DecodeInner<CIpv6Layer>(data, length, kHeaderSize);
            break;
        default:
            break;
    }
}

void CLoopbackLayer::AppendXml(std::string& out, int depth) const {
    out += "<Loopback>";
    AppendFormat(out, "<Family desc=\"Address family\">%u</Family>", {m_nFamily});
    out += "</Loopback>";
    AppendInner(out, depth);
}
