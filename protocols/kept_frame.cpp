#include "protocols/kept_frame.h"

#include <cstring>
#include <new>

#include "protocols/decode.h"
#include "protocols/ethernet.h"

size_t KeptFrameBytesBound(uint32_t caplen) {
    return sizeof(KeptFrame) + alignof(KeptFrame) + caplen +
           ChainBytesBound(static_cast<int>(caplen));
}

const KeptFrame* KeepFrame(ChainSlab& slab, const FrameInfo& info, const unsigned char* bytes) {
    const size_t caplen = bytes != nullptr ? info.capturedLength : 0;
    void* memory = slab.Allocate(sizeof(KeptFrame) + caplen, alignof(KeptFrame));
    if (memory == nullptr) return nullptr;
    auto* kept = ::new (memory)
        KeptFrame{info.timestampNs, static_cast<uint32_t>(caplen),
                  info.wireLength < caplen ? static_cast<uint32_t>(caplen) : info.wireLength};
    if (caplen != 0) std::memcpy(kept + 1, bytes, caplen);
    return kept;
}

const CProtocolLayer* DecodeKeptFrame(ChainSlab& slab, const KeptFrame& frame) {
    ChainBuilder builder(slab, frame.Bytes(), frame.capturedLength);
    CEthernetLayer* root = builder.New<CEthernetLayer>();
    if (root != nullptr) root->Decode(frame.Bytes(), static_cast<int>(frame.capturedLength));
    return root;
}
