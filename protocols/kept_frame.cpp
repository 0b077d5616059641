#include "protocols/kept_frame.h"

#include <cstring>
#include <limits>
#include <new>

#include "protocols/decode.h"

uint64_t ElapsedMs(const FrameTime& start, const FrameTime& at) {
    if (at <= start) return 0;
    // Two int64 values differ by less than 2^64: the unsigned difference is exact.
    uint64_t seconds = static_cast<uint64_t>(at.seconds) - static_cast<uint64_t>(start.seconds);
    int64_t nanoseconds = int64_t{at.nanoseconds} - int64_t{start.nanoseconds};
    if (nanoseconds < 0) {
        --seconds;  // at least one: `at` is after `start`
        nanoseconds += 1'000'000'000;
    }
    constexpr uint64_t kMost = std::numeric_limits<uint64_t>::max();
    if (seconds > (kMost - 999) / 1000) return kMost;
    return seconds * 1000 + static_cast<uint64_t>(nanoseconds) / 1'000'000;
}

size_t KeptFrameBytesBound(uint32_t caplen) {
    return sizeof(KeptFrame) + alignof(KeptFrame) + caplen +
           ChainBytesBound(static_cast<int>(caplen));
}

const KeptFrame* KeepFrame(ChainSlab& slab, const FrameInfo& info, const unsigned char* bytes) {
    const size_t caplen = bytes != nullptr ? info.capturedLength : 0;
    void* memory = slab.Allocate(sizeof(KeptFrame) + caplen, alignof(KeptFrame));
    if (memory == nullptr) return nullptr;
    auto* kept = ::new (memory)
        KeptFrame{info.time, static_cast<uint32_t>(caplen),
                  info.wireLength < caplen ? static_cast<uint32_t>(caplen) : info.wireLength};
    if (caplen != 0) std::memcpy(kept + 1, bytes, caplen);
    return kept;
}

const CProtocolLayer* DecodeKeptFrame(ChainSlab& slab, const KeptFrame& frame, int linkType) {
    ChainBuilder builder(slab, frame.Bytes(), frame.capturedLength);
    return DecodeRoot(frame.Bytes(), static_cast<int>(frame.capturedLength), linkType);
}
