// The counters of one capture or stream, as the window shows them.
#pragma once

#include <cstdint>

struct CaptureStatistics {
    uint64_t received = 0;    // frames the capture delivered
    uint64_t dropped = 0;     // frames lost by the kernel or the interface
    uint64_t leftOut = 0;     // frames left out by the "Data contains" test
    uint64_t rows = 0;        // rows in the packet list
    uint64_t storeBytes = 0;  // bytes the store holds for them
};
