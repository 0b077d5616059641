// What a capture has counted, for the capture in progress or the last one.
#pragma once

#include <cstdint>

struct CaptureStatistics {
    uint64_t received = 0;  // frames libpcap delivered
    // Frames the kernel or the interface dropped, and frames received that
    // the intake had no memory for: received = rows + leftOut + the latter.
    uint64_t dropped = 0;
    uint64_t leftOut = 0;     // frames left out by "Data contains"
    uint64_t rows = 0;        // rows stored
    uint64_t storeBytes = 0;  // memory the store holds
};
