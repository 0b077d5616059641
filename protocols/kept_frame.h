// A captured frame kept whole in a slab, beside the chain decoded from it: its
// capture timestamp, its captured bytes and its length on the wire. The chain's
// payload and address fields point into these bytes rather than copying them,
// so a kept frame costs its captured bytes once.
//
//   KeptFrame | captured bytes ... | layer objects of its chain
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocols/chain_pool.h"
#include "protocols/layer.h"

// What the capture header says of a frame.
struct FrameInfo {
    int64_t timestampNs = 0;  // since the epoch, in the capture's clock
    uint32_t capturedLength = 0;
    uint32_t wireLength = 0;  // the frame's length on the wire; at least capturedLength
};

struct KeptFrame {
    int64_t timestampNs;
    uint32_t capturedLength;
    uint32_t wireLength;

    // The captured bytes follow the header in the slab.
    const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(this + 1); }
};

// Slab bytes that keeping a frame of `caplen` bytes and decoding it can take.
size_t KeptFrameBytesBound(uint32_t caplen);

// Copies the frame into `slab`; nullptr when the slab has no room.
const KeptFrame* KeepFrame(ChainSlab& slab, const FrameInfo& info, const unsigned char* bytes);

// Decodes a frame kept in `slab` into a chain in the same slab, whose payload
// and addresses point into the kept bytes; null when the slab has no room for
// even the root layer.
const CProtocolLayer* DecodeKeptFrame(ChainSlab& slab, const KeptFrame& frame);
