// Linux cooked capture headers, versions 1 and 2.
#include "protocols/linux_cooked.h"

#include <algorithm>

#include "protocols/byte_reader.h"
#include "protocols/ethernet.h"
#include "protocols/text_format.h"

namespace {

// Below this, the protocol field is not an EtherType but a Linux protocol
// number (802.2 LLC, raw 802.3, CAN...), whose frames are not decoded.
constexpr uint16_t kFirstEtherType = 0x0600;

}  // namespace

void CSllLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nPacketType = r.ReadBe16();
    m_nAddressType = r.ReadBe16();
    m_nAddressLength = r.ReadBe16();
    r.ReadBytes(m_address, sizeof m_address);
    m_nProtocol = r.ReadBe16();
    if (m_nProtocol >= kFirstEtherType)
        DecodeEtherType(*this, data, length, kHeaderSize, m_nProtocol);
}

void CSll2Layer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nProtocol = r.ReadBe16();
    r.Skip(2);
    m_nInterface = r.ReadBe32();
    m_nAddressType = r.ReadBe16();
    m_nPacketType = r.ReadU8();
    m_nAddressLength = r.ReadU8();
    r.ReadBytes(m_address, sizeof m_address);
    if (m_nProtocol >= kFirstEtherType)
        DecodeEtherType(*this, data, length, kHeaderSize, m_nProtocol);
}

void CCookedLayer::AppendXml(std::string& out, int depth) const {
    out += '<';
    out += m_szName;
    out += '>';
    if (m_nType == LAYER_SLL2)
        AppendFormat(out, "<Interface desc=\"Interface index\">%u</Interface>", {m_nInterface});
    AppendFormat(out, "<PacketType desc=\"Packet type\">%u</PacketType>", {m_nPacketType});
    AppendFormat(out, "<AddressType desc=\"Link-layer address type\">%u</AddressType>",
                 {m_nAddressType});
    AppendFormat(out, "<AddressLength desc=\"Link-layer address length\">%u</AddressLength>",
                 {m_nAddressLength});
    // The address as the interface's hardware writes it (a MAC's six bytes on
    // Ethernet), never more than the header's eight.
    thread_local std::string address;
    address.clear();
    const unsigned shown = std::min<unsigned>(m_nAddressLength, sizeof m_address);
    for (unsigned i = 0; i < shown; ++i) {
        if (i > 0) address += '-';
        AppendFormat(address, "%.2X", {m_address[i]});
    }
    AppendFormat(out, "<Address desc=\"Link-layer address\">%s</Address>", {address});
    AppendFormat(out, "<Protocol>0x%.4x</Protocol>", {m_nProtocol});
    out += "</";
    out += m_szName;
    out += '>';
    AppendInner(out, depth);
}
