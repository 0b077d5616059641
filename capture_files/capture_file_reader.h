// Reading a pcap or pcapng capture through packet intake, from a file, from
// standard input ("-") or from a FIFO, with the frames taken in as they
// arrive. libpcap reads through a stream of ours whose every read first waits
// on the input and on a wake-up descriptor together, so Stop ends a read that
// waits on a silent pipe at once, and the caller hears when the input runs
// dry (to flush what it has shown so far). Whatever ends a read lets go of its
// input, standard input too, so that a writer upstream ends rather than fill a
// pipe nobody reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "intake/packet_intake.h"

enum class CaptureFileEnd {
    Finished,      // the whole file or stream was read
    Stopped,       // Stop was called
    MemoryFull,    // the store reached its memory limit
    CutShort,      // the file or stream ends inside a frame or is damaged
    CannotOpen,    // no such file, or not a capture libpcap reads
    NotEthernet,   // a capture of a link type that is not decoded (detail: the message)
    FilterFailed,  // the filter does not compile
};

// What the user is told of a capture of another link type.
inline constexpr char kNotEthernetCaptureMessage[] = "This capture does not hold Ethernet frames";

struct CaptureFileResult {
    CaptureFileEnd end = CaptureFileEnd::Finished;
    uint64_t framesRead = 0;  // frames read from the input, before the filter and "Data contains"
    std::string detail;       // libpcap's words on a failure, for a console
};

// Whether `path` is read as a stream: standard input, a FIFO or anything else
// that is not a regular file (its frames cannot be read again).
bool IsCaptureStream(const std::string& path);

class CaptureFileReader {
  public:
    CaptureFileReader();
    ~CaptureFileReader();
    CaptureFileReader(const CaptureFileReader&) = delete;
    CaptureFileReader& operator=(const CaptureFileReader&) = delete;

    // Runs on the calling thread until the input ends, a Stop, a failure or
    // the memory limit: opens `path`, checks that it holds Ethernet frames and
    // compiles `filter` (a pcap filter expression; empty keeps every frame).
    // Only once all that holds are the intake's store emptied and the intake
    // restarted, with Time counting from the first frame; `onAccepted` then
    // runs, and every frame that passes the filter is taken in. A read that
    // ends before leaves the store as it was. `onIdle` runs whenever the input
    // has nothing more to read at the moment. Both run on this thread.
    // Standard input is replaced by /dev/null when the read ends.
    CaptureFileResult Read(const std::string& path, const std::string& filter, PacketIntake& intake,
                           uint64_t memoryLimit = PacketIntake::kNoMemoryLimit,
                           std::function<void()> onIdle = {},
                           std::function<void()> onAccepted = {});

    // Any thread, and signal handlers: ends Read soon, also while it waits for
    // input. A Stop before Read makes Read end at once.
    void Stop();
    // Any thread: bytes of the input read so far.
    uint64_t BytesRead() const { return m_nBytesRead.load(std::memory_order_relaxed); }

  private:
    struct Input;
    static long ReadInput(void* cookie, char* buffer, size_t size);
    static int CloseInput(void* cookie);

    int m_wakeFd = -1;
    std::atomic<bool> m_bStopped{false};
    std::atomic<uint64_t> m_nBytesRead{0};
};
