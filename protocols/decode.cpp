#include "protocols/decode.h"

#include <pcap/dlt.h>

#include <algorithm>
#include <cstddef>

#include "protocols/arp.h"
#include "protocols/data.h"
#include "protocols/ethernet.h"
#include "protocols/icmpv6.h"
#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/ipv6_extension.h"
#include "protocols/linux_cooked.h"
#include "protocols/loopback.h"
#include "protocols/tcp.h"
#include "protocols/udp.h"
#include "protocols/vlan.h"

static_assert(kEthernetLinkType == DLT_EN10MB);

namespace {

template <class T>
CProtocolLayer* NewRoot(const unsigned char* frame, int caplen) {
    T* root = ChainBuilder::Current()->New<T>();
    if (root != nullptr) root->Decode(frame, caplen);
    return root;
}

// Raw IP of either version: the version field tells which.
CProtocolLayer* NewRawIpRoot(const unsigned char* frame, int caplen) {
    const int version = caplen > 0 && frame != nullptr ? frame[0] >> 4 : 0;
    if (version == 4) return NewRoot<CIpv4Layer>(frame, caplen);
    if (version == 6) return NewRoot<CIpv6Layer>(frame, caplen);
    return NewRoot<CDataLayer>(frame, caplen);
}

}  // namespace

bool DecodesLinkType(int linkType) {
    switch (linkType) {
        case DLT_EN10MB:
        case DLT_LINUX_SLL:
        case DLT_LINUX_SLL2:
        case DLT_RAW:
        case DLT_IPV4:
        case DLT_IPV6:
        case DLT_NULL:
        case DLT_LOOP:
        case DLT_PPP:
        case DLT_PPP_SERIAL:
            return true;
        default:
            return false;
    }
}

CProtocolLayer* DecodeRoot(const unsigned char* frame, int caplen, int linkType) {
    if (ChainBuilder::Current() == nullptr) return nullptr;
    switch (linkType) {
        case DLT_EN10MB:
            return NewRoot<CEthernetLayer>(frame, caplen);
        case DLT_LINUX_SLL:
            return NewRoot<CSllLayer>(frame, caplen);
        case DLT_LINUX_SLL2:
            return NewRoot<CSll2Layer>(frame, caplen);
        case DLT_RAW:
            return NewRawIpRoot(frame, caplen);
        case DLT_IPV4:
            return NewRoot<CIpv4Layer>(frame, caplen);
        case DLT_IPV6:
            return NewRoot<CIpv6Layer>(frame, caplen);
        case DLT_NULL:
            return NewRoot<CLoopbackLayer>(frame, caplen);
        case DLT_LOOP:
            return NewRoot<CLoopLayer>(frame, caplen);
        case DLT_PPP:
        case DLT_PPP_SERIAL:
            return NewRoot<CPppLinkLayer>(frame, caplen);
        default:
            return nullptr;
    }
}

size_t ChainBytesBound(int caplen) {
    // Layer objects of the longest chain (a link header, the most VLAN tags,
    // PPPoE and PPP, IPv6 with the most extension headers, TCP and the
    // payload), each with its alignment, and the payload copy (or the ARP
    // address arrays), which never exceed the captured bytes.
    constexpr size_t kLayers = 1 + CVlanLayer::kMostTags + 3 + kMostExtensions + 2;
    constexpr size_t kObjects =
        std::max(sizeof(CSll2Layer), sizeof(CEthernetLayer)) +
        CVlanLayer::kMostTags * sizeof(CVlanLayer) + sizeof(CPppoeLayer) + sizeof(CPppLayer) +
        std::max(sizeof(CIpv6Layer), sizeof(CIpv4Layer)) +
        kMostExtensions * std::max(sizeof(CIpv6FragmentLayer), sizeof(CIpv6OptionsLayer)) +
        std::max({sizeof(CTcpLayer), sizeof(CUdpLayer), sizeof(CIcmpv6Layer), sizeof(CArpLayer)}) +
        sizeof(CDataLayer) + kLayers * alignof(std::max_align_t);
    return kObjects + (caplen > 0 ? static_cast<size_t>(caplen) : 0);
}

const CProtocolLayer* DecodeFrameInto(ChainSlab& slab, const unsigned char* frame, int caplen,
                                      int linkType) {
    ChainBuilder builder(slab);
    return DecodeRoot(frame, caplen, linkType);
}

std::shared_ptr<const CProtocolLayer> DecodeFrame(const unsigned char* frame, int caplen,
                                                  int linkType) {
    auto slab = std::make_shared<ChainSlab>(ChainBytesBound(caplen));
    const CProtocolLayer* root = DecodeFrameInto(*slab, frame, caplen, linkType);
    if (root == nullptr) return nullptr;
    return std::shared_ptr<const CProtocolLayer>(std::move(slab), root);
}
