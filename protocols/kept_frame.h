// A captured frame kept whole in a slab, beside the chain decoded from it: its
// capture timestamp, its captured bytes and its length on the wire. The chain's
// payload and address fields point into these bytes rather than copying them,
// so a kept frame costs its captured bytes once.
//
//   KeptFrame | captured bytes ... | layer objects of its chain
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>

#include "protocols/chain_pool.h"
#include "protocols/layer.h"

// A capture timestamp: seconds since the epoch and the nanoseconds within the
// second, kept apart. A capture file can stamp a frame far beyond what 64 bits
// of nanoseconds count (a damaged pcapng header says 68 billion seconds), and
// the time must stay exact for the Time cell and for saving it again.
struct FrameTime {
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;  // below one second

    friend auto operator<=>(const FrameTime&, const FrameTime&) = default;
};

// The whole milliseconds from `start` to `at` (the true difference, truncated);
// 0 when `at` is not after `start`, and the largest count when the difference
// is too large to count.
uint64_t ElapsedMs(const FrameTime& start, const FrameTime& at);

// What the capture header says of a frame.
struct FrameInfo {
    FrameTime time;  // in the capture's clock
    uint32_t capturedLength = 0;
    uint32_t wireLength = 0;  // the frame's length on the wire; at least capturedLength
};

struct KeptFrame {
    FrameTime time;
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
// even the root layer. `linkType` is the capture's (libpcap's DLT_ values).
const CProtocolLayer* DecodeKeptFrame(ChainSlab& slab, const KeptFrame& frame, int linkType);
