// What tapwatch-capture, the one program holding the capture rights, and the
// capture session that starts it agree on: the parameters of a live open, the
// exit statuses that tell its failures apart and the line of its counters.
// Header only, with no dependency, so the helper links libpcap and nothing else
// of ours.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>

// Fixed capture parameters.
inline constexpr int kSnapLength = 65535;
inline constexpr int kPromiscuous = 1;
inline constexpr int kReadTimeoutMs = 20;
inline constexpr int kKernelBufferBytes = 16 << 20;
inline constexpr int kFilterOptimise = 1;
inline constexpr bpf_u_int32 kFilterNetmask = 0x00FFFFFF;

inline constexpr char kCaptureHelperName[] = "tapwatch-capture";
// Names another path of the helper than the one beside the running program.
inline constexpr char kCaptureHelperVariable[] = "TAPWATCH_CAPTURE";

// Exit statuses of the helper. A failure writes libpcap's line on standard
// error first.
inline constexpr int kHelperEnded = 0;         // a stop signal, or its output closed
inline constexpr int kHelperUsage = 1;         // wrong arguments
inline constexpr int kHelperOpenFailed = 2;    // the interface cannot be opened
inline constexpr int kHelperFilterFailed = 3;  // the filter does not compile
inline constexpr int kHelperReadFailed = 4;    // the interface reported an error while capturing
inline constexpr int kHelperOutputFailed = 5;  // the stream could not be written

// The helper's counters, pcap_stats' three, one line each time.
struct HelperCounters {
    uint32_t received = 0;
    uint32_t dropped = 0;    // no room in the kernel's buffer
    uint32_t ifDropped = 0;  // dropped by the interface
};

inline constexpr char kCountersFormat[] = "received %u dropped %u ifdropped %u\n";

// Reads one counters line; false when `line` is not one.
inline bool ParseCounters(const char* line, HelperCounters& out) {
    unsigned received = 0;
    unsigned dropped = 0;
    unsigned ifDropped = 0;
    if (std::sscanf(line, "received %u dropped %u ifdropped %u", &received, &dropped, &ifDropped) !=
        3) {
        return false;
    }
    out = {received, dropped, ifDropped};
    return true;
}
