// A live capture without a desktop: the window's capture session, with the
// console window, run from the calling thread until a signal (SIGINT,
// SIGTERM), a duration or a stop flag ends it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "capture/capture_statistics.h"
#include "intake/packet_intake.h"
#include "intake/packet_store.h"

struct ConsoleCaptureOptions {
    // An interface name as listed, or the index of its entry in the list.
    std::string interface;
    // Seconds of capture from the moment it runs; 0 or less runs until stopped.
    double durationSeconds = 0;
    std::string filter;        // pcap filter expression; empty keeps every frame
    std::string dataContains;  // payload text a frame must hold; empty: no test
    // Prefix of the messages written to `messages`.
    std::string program = "tapwatch-log";
    std::FILE* messages = stderr;
    // Runs on the reader threads for every kept frame.
    PacketIntake::RowObserver onRow;
    // Also ends the capture once it holds true (may be null).
    const std::atomic<bool>* stop = nullptr;
    // Called on the calling thread once the capture runs (may be empty).
    std::function<void()> onRunning;
    // Called on the calling thread at least every `tick` while the capture
    // runs, and once after it ended (may be empty).
    std::function<void()> onTick;
    std::chrono::milliseconds tick{10};
    // The most memory the store may hold; 0 for the default.
    uint64_t memoryLimit = 0;
    // Receives the capture's counts once it has ended (may be null).
    CaptureStatistics* statistics = nullptr;
};

// Return values of RunConsoleCapture.
inline constexpr int kConsoleCaptureEnded = 0;    // by a signal, the duration, `stop` or
                                                  // the memory limit (after a warning)
inline constexpr int kConsoleCaptureNoStart = 1;  // could not start; after a message
inline constexpr int kConsoleCaptureFailed = 2;   // ran, then ended on an interface error
                                                  // (after a message); the store keeps
                                                  // what it took in

// Captures into `store` (emptied first). SIGINT and SIGTERM are caught while
// it runs and their previous handling restored afterwards.
int RunConsoleCapture(const ConsoleCaptureOptions& options, PacketStore& store);
