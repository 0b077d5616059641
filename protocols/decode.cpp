#include "protocols/decode.h"

#include <pcap/dlt.h>

#include "protocols/ethernet.h"

static_assert(kEthernetLinkType == DLT_EN10MB);

namespace {

template <class T>
CProtocolLayer* NewRoot(const unsigned char* frame, int caplen) {
    T* root = ChainBuilder::Current()->New<T>();
    if (root != nullptr) root->Decode(frame, caplen);
    return root;
}

}  // namespace

bool DecodesLinkType(int linkType) {
    switch (linkType) {
        case DLT_EN10MB:
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
        default:
            return nullptr;
    }
}

size_t ChainBytesBound(int caplen) {
    // Layer objects of the longest chain, their alignment, and the payload copy
    // (or the ARP address arrays), which never exceed the captured bytes.
    constexpr size_t kObjects = 1024;
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
