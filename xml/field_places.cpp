#include "xml/field_places.h"

#include <algorithm>

#include "protocols/layer.h"

namespace {

struct FixedPlace {
    int32_t layerType;
    std::string_view element;
    uint16_t offset;
    uint16_t length;
};

// Fields at fixed places in their header, layer by layer as the element names
// are written. Bit fields take the bytes their bits lie in.
constexpr FixedPlace kFixedPlaces[] = {
    {LAYER_ETHERNET, "MAC_dst", 0, 6},
    {LAYER_ETHERNET, "MAC_src", 6, 6},
    {LAYER_ETHERNET, "Type", 12, 2},
    {LAYER_VLAN, "Priority", 0, 1},
    {LAYER_VLAN, "DropEligible", 0, 1},
    {LAYER_VLAN, "ID", 0, 2},
    {LAYER_VLAN, "Type", 2, 2},
    // The decoder reads the version, type and code bytes as PPPoE's protocol.
    {LAYER_PPPOE, "Protocol", 0, 2},
    {LAYER_SLL, "PacketType", 0, 2},
    {LAYER_SLL, "AddressType", 2, 2},
    {LAYER_SLL, "AddressLength", 4, 2},
    {LAYER_SLL, "Protocol", 14, 2},
    {LAYER_SLL2, "Protocol", 0, 2},
    {LAYER_SLL2, "Interface", 4, 4},
    {LAYER_SLL2, "AddressType", 8, 2},
    {LAYER_SLL2, "PacketType", 10, 1},
    {LAYER_SLL2, "AddressLength", 11, 1},
    {LAYER_LOOPBACK, "Family", 0, 4},
    {LAYER_IPV4, "Version", 0, 1},
    {LAYER_IPV4, "HeaderLen", 0, 1},
    {LAYER_IPV4, "TOS", 1, 1},
    {LAYER_IPV4, "TotalLen", 2, 2},
    {LAYER_IPV4, "ID", 4, 2},
    {LAYER_IPV4, "FragmentOffset", 6, 2},
    {LAYER_IPV4, "TTL", 8, 1},
    {LAYER_IPV4, "Protocol", 9, 1},
    {LAYER_IPV4, "Checksum", 10, 2},
    {LAYER_IPV4, "SourceIP", 12, 4},
    {LAYER_IPV4, "DestIP", 16, 4},
    {LAYER_IPV6, "Version", 0, 1},
    {LAYER_IPV6, "TrafficClass", 0, 2},
    {LAYER_IPV6, "FlowLabel", 1, 3},
    {LAYER_IPV6, "PayloadLen", 4, 2},
    {LAYER_IPV6, "NextHeader", 6, 1},
    {LAYER_IPV6, "HopLimit", 7, 1},
    {LAYER_IPV6, "SourceIP", 8, 16},
    {LAYER_IPV6, "DestIP", 24, 16},
    {LAYER_IPV6_OPTIONS, "NextHeader", 0, 1},
    {LAYER_IPV6_OPTIONS, "Length", 1, 1},
    {LAYER_IPV6_FRAGMENT, "NextHeader", 0, 1},
    {LAYER_IPV6_FRAGMENT, "Offset", 2, 2},
    {LAYER_IPV6_FRAGMENT, "MoreFragments", 3, 1},
    {LAYER_IPV6_FRAGMENT, "Identification", 4, 4},
    {LAYER_ICMP, "Type", 0, 1},
    {LAYER_ICMP, "Code", 1, 1},
    {LAYER_ICMP, "Checksum", 2, 2},
    {LAYER_ICMPV6, "Type", 0, 1},
    {LAYER_ICMPV6, "Code", 1, 1},
    {LAYER_ICMPV6, "Checksum", 2, 2},
    {LAYER_ICMPV6, "Identifier", 4, 2},
    {LAYER_ICMPV6, "Sequence", 6, 2},
    {LAYER_TCP, "SourcePort", 0, 2},
    {LAYER_TCP, "DestPort", 2, 2},
    {LAYER_TCP, "SeqNum", 4, 4},
    {LAYER_TCP, "AckNum", 8, 4},
    {LAYER_TCP, "DataOffset", 12, 1},
    {LAYER_TCP, "Flags", 12, 2},
    {LAYER_TCP, "WinSize", 14, 2},
    {LAYER_TCP, "Checksum", 16, 2},
    {LAYER_TCP, "Urgent", 18, 2},
    {LAYER_UDP, "SourcePort", 0, 2},
    {LAYER_UDP, "DestPort", 2, 2},
    {LAYER_UDP, "HeaderLen", 4, 2},
    {LAYER_UDP, "Checksum", 6, 2},
    {LAYER_ARP, "HardwareType", 0, 2},
    {LAYER_ARP, "ProtocolType", 2, 2},
    {LAYER_ARP, "HardwareLength", 4, 1},
    {LAYER_ARP, "ProtocolLength", 5, 1},
    {LAYER_ARP, "Opcode", 6, 2},
    {LAYER_RARP, "HardwareType", 0, 2},
    {LAYER_RARP, "ProtocolType", 2, 2},
    {LAYER_RARP, "HardwareLength", 4, 1},
    {LAYER_RARP, "ProtocolLength", 5, 1},
    {LAYER_RARP, "Opcode", 6, 2},
};

std::optional<BytePlace> Cut(size_t offset, size_t length, size_t captured) {
    if (length == 0 || offset >= captured) return std::nullopt;
    return BytePlace{static_cast<uint32_t>(offset),
                     static_cast<uint32_t>(std::min(length, captured - offset))};
}

// ARP's four addresses lie back to back after the 8-byte fixed part, each as
// long as the lengths at bytes 4 and 5 say.
std::optional<BytePlace> ArpAddressPlace(std::string_view element,
                                         std::span<const unsigned char> layer) {
    if (layer.size() < 6) return std::nullopt;
    const size_t h = layer[4];
    const size_t p = layer[5];
    if (element == "HardwareSource") return Cut(8, h, layer.size());
    if (element == "ProtocolSource") return Cut(8 + h, p, layer.size());
    if (element == "HardwareDest") return Cut(8 + h + p, h, layer.size());
    if (element == "ProtocolDest") return Cut(8 + 2 * h + p, p, layer.size());
    return std::nullopt;
}

// A cooked header's address field holds eight bytes, of which the stated
// length are the address.
std::optional<BytePlace> CookedAddressPlace(size_t at, size_t statedLength, size_t captured) {
    return Cut(at, std::min<size_t>(statedLength, 8), captured);
}

}  // namespace

std::optional<BytePlace> FieldPlace(int layerType, std::string_view element,
                                    std::span<const unsigned char> layer) {
    for (const FixedPlace& place : kFixedPlaces) {
        if (place.layerType == layerType && place.element == element)
            return Cut(place.offset, place.length, layer.size());
    }
    const size_t n = layer.size();
    switch (layerType) {
        case LAYER_ARP:
        case LAYER_RARP:
            return ArpAddressPlace(element, layer);
        case LAYER_PPP: {
            // On a PPP link the address and control bytes may come first, and
            // the protocol number takes one byte when its first is odd.
            if (element != "Protocol" || n == 0) return std::nullopt;
            const size_t at = n >= 2 && layer[0] == 0xFF && layer[1] == 0x03 ? 2 : 0;
            return Cut(at, at < n && (layer[at] & 1) != 0 ? 1 : 2, n);
        }
        case LAYER_SLL:
            if (element != "Address" || n < 6) return std::nullopt;
            return CookedAddressPlace(6, (size_t{layer[4]} << 8) | layer[5], n);
        case LAYER_SLL2:
            if (element != "Address" || n < 12) return std::nullopt;
            return CookedAddressPlace(12, layer[11], n);
        default:
            return std::nullopt;
    }
}
