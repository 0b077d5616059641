// 802.1Q and 802.1ad tags (4 bytes each).
#include "protocols/vlan.h"

#include "protocols/byte_reader.h"
#include "protocols/text_format.h"

void CVlanLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    const uint16_t control = r.ReadBe16();
    m_nPriority = static_cast<uint8_t>(control >> 13);
    m_nDropEligible = static_cast<uint8_t>((control >> 12) & 1);
    m_nVlanId = control & 0x0FFF;
    m_nEtherType = r.ReadBe16();
}

void CVlanLayer::AppendXml(std::string& out, int depth) const {
    out += "<VLAN>";
    AppendFormat(out, "<Priority>%u</Priority>", {m_nPriority});
    AppendFormat(out, "<DropEligible desc=\"Drop Eligible\">%u</DropEligible>", {m_nDropEligible});
    AppendFormat(out, "<ID desc=\"VLAN ID\">%u</ID>", {m_nVlanId});
    AppendFormat(out, "<Type>0x%.4x</Type>", {m_nEtherType});
    out += "</VLAN>";
    AppendInner(out, depth);
}
