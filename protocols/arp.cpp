// ARP and RARP: one message layout, one decoder and one XML writer for both.
#include "protocols/arp.h"

#include <string_view>

#include "protocols/byte_reader.h"
#include "protocols/text_format.h"

namespace {

void DecodeArpMessage(ArpFields& f, const unsigned char* data, int length) {
    ByteReader r(data, length);
    f.m_nHardwareType = r.ReadBe16();
    f.m_nProtocolType = r.ReadBe16();
    f.m_nHardwareLen = r.ReadU8();
    f.m_nProtocolLen = r.ReadU8();
    f.m_nOpcode = r.ReadBe16();

    // A message too short for the addresses it claims keeps none of them.
    const size_t h = f.m_nHardwareLen;
    const size_t p = f.m_nProtocolLen;
    const size_t addresses = 2 * (h + p);
    if (!r.Has(addresses)) {
        f.m_nHardwareLen = 0;
        f.m_nProtocolLen = 0;
        return;
    }
    if (addresses == 0) return;

    // The four addresses lie back to back on the wire (sender hw, sender proto,
    // target hw, target proto), so one copy serves all of them.
    const unsigned char* wire = r.Current();
    r.Skip(addresses);
    ChainBuilder* builder = ChainBuilder::Current();
    const unsigned char* copy = builder != nullptr ? builder->CopyBytes(wire, addresses) : nullptr;
    if (copy == nullptr) {
        // No room: keep lengths and pointers consistent for readers of the fields.
        f.m_nHardwareLen = 0;
        f.m_nProtocolLen = 0;
        return;
    }
    if (h != 0) {
        f.m_pSenderHw = copy;
        f.m_pTargetHw = copy + h + p;
    }
    if (p != 0) {
        f.m_pSenderProto = copy + h;
        f.m_pTargetProto = copy + 2 * h + p;
    }
}

// ByteListText leaves its output untouched for a null array; an empty address
// must give the empty text.
const std::string& AddressText(std::string& text, const unsigned char* bytes, unsigned n,
                               int mode) {
    text.clear();
    if (bytes != nullptr && n != 0) ByteListText(text, bytes, n, mode);
    return text;
}

// One step holding two address elements. The step keeps within kFormatLimit
// characters, but the cut falls inside the address texts (the hardware address
// first, as a plain cut would) rather than through the closing tags, so even
// absurd address lengths leave well-formed XML.
void AppendAddressPair(std::string& out, std::string_view format, std::string_view hw,
                       std::string_view proto) {
    const size_t markup = format.size() - 4;  // the two "%s"
    size_t room = kFormatLimit > markup ? kFormatLimit - markup : 0;
    hw = hw.substr(0, room);
    room -= hw.size();
    proto = proto.substr(0, room);
    AppendFormat(out, format, {hw, proto});
}

void AppendArpXml(const ArpFields& f, std::string& out, const char* open, const char* close) {
    thread_local std::string hw;
    thread_local std::string proto;
    out += open;
    AppendFormat(out, "<HardwareType desc=\"Hardware Type\">0x%.4x</HardwareType>",
                 {f.m_nHardwareType});
    AppendFormat(out, "<ProtocolType desc=\"Protocol Type\">0x%.4x</ProtocolType>",
                 {f.m_nProtocolType});
    AppendFormat(out, "<HardwareLength desc=\"Hardware Address Length\">%u</HardwareLength>",
                 {f.m_nHardwareLen});
    AppendFormat(out, "<ProtocolLength desc=\"Protocol Address Length\">%u</ProtocolLength>",
                 {f.m_nProtocolLen});
    AppendFormat(out, "<Opcode desc=\"Operation code\">%u</Opcode>", {f.m_nOpcode});
    AppendAddressPair(out,
                      "<HardwareSource desc=\"Hardware Source address\">%s</HardwareSource>"
                      "<ProtocolSource dest=\"Protocol Source address\">%s</ProtocolSource>",
                      AddressText(hw, f.m_pSenderHw, f.m_nHardwareLen, 0),
                      AddressText(proto, f.m_pSenderProto, f.m_nProtocolLen, 1));
    AppendAddressPair(out,
                      "<HardwareDest desc=\"Hardware Destination address\">%s</HardwareDest>"
                      "<ProtocolDest dest=\"Protocol Destination address\">%s</ProtocolDest>",
                      AddressText(hw, f.m_pTargetHw, f.m_nHardwareLen, 0),
                      AddressText(proto, f.m_pTargetProto, f.m_nProtocolLen, 1));
    out += close;
}

}  // namespace

// Neither layer ever has an inner layer, so neither forwards its XML.

void CArpLayer::Decode(const unsigned char* data, int length) {
    if (data != nullptr) DecodeArpMessage(*this, data, length);
}

void CArpLayer::AppendXml(std::string& out, int) const {
    AppendArpXml(*this, out, "<ARP>", "</ARP>");
}

void CRarpLayer::Decode(const unsigned char* data, int length) {
    if (data != nullptr) DecodeArpMessage(*this, data, length);
}

void CRarpLayer::AppendXml(std::string& out, int) const {
    AppendArpXml(*this, out, "<RARP>", "</RARP>");
}
