// What a save returns, and how another thread follows it and cancels it: the
// XML log and the pcap file are saved the same way.
#pragma once

#include <atomic>
#include <cstddef>

enum SaveResult : int {
    SAVE_OK = 0,
    SAVE_OPEN_FAILED = -1,
    SAVE_WRITE_FAILED = -2,
    SAVE_CANCELLED = -3,
};

// Lets another thread follow a save and cancel it.
struct SaveControl {
    std::atomic<bool> cancel{false};
    std::atomic<size_t> packetsWritten{0};
};
