#include "protocols/decode.h"

#include "protocols/ethernet.h"

size_t ChainBytesBound(int caplen) {
    // Layer objects of the longest chain, their alignment, and the payload copy
    // (or the ARP address arrays), which never exceed the captured bytes.
    constexpr size_t kObjects = 1024;
    return kObjects + (caplen > 0 ? static_cast<size_t>(caplen) : 0);
}

const CProtocolLayer* DecodeFrameInto(ChainSlab& slab, const unsigned char* frame, int caplen) {
    ChainBuilder builder(slab);
    CEthernetLayer* root = builder.New<CEthernetLayer>();
    if (root != nullptr) root->Decode(frame, caplen);
    return root;
}

std::shared_ptr<const CProtocolLayer> DecodeFrame(const unsigned char* frame, int caplen) {
    auto slab = std::make_shared<ChainSlab>(ChainBytesBound(caplen));
    const CProtocolLayer* root = DecodeFrameInto(*slab, frame, caplen);
    if (root == nullptr) return nullptr;
    return std::shared_ptr<const CProtocolLayer>(std::move(slab), root);
}
