// What a capture has counted, for the capture in progress or the last one.
#pragma once

#include <cstdint>

struct CaptureStatistics {
    uint64_t received = 0;    // frames libpcap delivered
    uint64_t dropped = 0;     // frames the kernel or the interface dropped
    uint64_t leftOut = 0;     // frames left out by "Data contains"
    uint64_t rows = 0;        // rows stored
    uint64_t storeBytes = 0;  // memory the store holds
};
