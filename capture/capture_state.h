// One live capture on libpcap: the handle, its installed filter, the running
// flag that the readers poll and the read exclusion.
//
// The handle is non-blocking and the next-frame call waits for the socket with
// poll() itself, so a reader never stays in it past the 20 ms time-out even on
// an idle link (a blocking read on a TPACKET_V3 ring can wait far longer), and
// a stop wakes every waiting reader at once through an eventfd.
#pragma once

#include <pcap/pcap.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/short_lock.h"
#include "protocols/kept_frame.h"

// Fixed capture parameters.
inline constexpr int kSnapLength = 65535;
inline constexpr int kPromiscuous = 1;
inline constexpr int kReadTimeoutMs = 20;
inline constexpr int kKernelBufferBytes = 16 << 20;
inline constexpr int kFilterOptimise = 1;
inline constexpr bpf_u_int32 kFilterNetmask = 0x00FFFFFF;

// Wall-clock time, the clock of the frames' capture timestamps.
FrameTime WallClock();

// A capture header as the intake takes it; `nanoseconds` tells whether the
// handle's timestamps count nanoseconds rather than microseconds.
FrameInfo FrameInfoOf(const pcap_pkthdr& header, bool nanoseconds);

enum class StartFailure {
    None,
    OpenAdapter,    // no such interface, or it cannot be opened
    NotEthernet,    // its frames are of a link type that is not decoded
    CompileFilter,  // the filter text does not compile
    SetFilter,      // the compiled filter cannot be installed
};

// The message box text of a failed start; empty for None.
const char* StartFailureMessage(StartFailure failure);
// The message of a filter that does not compile, with libpcap's own line on
// why (which may say the expression makes no sense for the link type).
std::string FilterFailedMessage(const std::string& libpcapLine);
// The message of a capture whose link type is not decoded: `message`, and
// libpcap's name of `linkType` on a line of its own.
std::string NotDecodedMessage(const char* message, int linkType);

inline constexpr char kReadErrorMessage[] =
    "The capture stopped because the interface reported an error";

inline constexpr char kMemoryFullMessage[] =
    "The capture stopped: the memory set aside for captured packets is full";

struct CaptureStats {
    bool valid = false;
    uint32_t received = 0;  // pcap_stats ps_recv
    uint32_t dropped = 0;   // ps_drop: no room in the buffer
    uint32_t ifDropped = 0;
};

class CaptureState {
  public:
    CaptureState();
    // Releases whatever is still held.
    ~CaptureState();
    CaptureState(const CaptureState&) = delete;
    CaptureState& operator=(const CaptureState&) = delete;

    // Controller. Opens `interfaceName` with the fixed parameters, checks its
    // link type, compiles and installs `filter`. On failure everything acquired
    // is released again.
    StartFailure Open(const std::string& interfaceName, const std::string& filter);
    // The message box text of Open's `failure`, with libpcap's words on why
    // a filter did not compile, or the name of a link type not decoded.
    std::string FailureMessage(StartFailure failure) const;
    // Controller, after Open: Starting becomes Running, unless a stop came first.
    bool SetRunning();
    // Controller: libpcap's counters, taken inside m_readLock so that no
    // reader is in the handle meanwhile.
    CaptureStats Stats();
    void Release();

    // Any thread. Ends the capture, or the start before it runs; never waits.
    void RequestStop();
    // Any thread: the store is full. Stops the capture and records why, unless
    // it had been stopped already.
    void StopForMemory();
    bool StoppedForMemory() const { return m_bMemoryFull.load(); }
    // Reader whose next-frame call failed: stops the capture and records why,
    // unless it had been stopped already.
    void StopForReadError();

    // The running flag (m_bRunning): set by SetRunning, cleared by any stop.
    bool IsRunning() const { return m_run.load() == Run::Running; }
    bool StopRequested() const { return m_run.load() == Run::Stopped; }
    bool StoppedByReadError() const { return m_bReadError.load(); }

    // Reader, inside m_readLock. pcap_next_ex's result: 1 with a frame, 0 when
    // none came within the read time-out or the capture stopped, negative on a
    // read error.
    int NextFrame(pcap_pkthdr** header, const u_char** data);

    // Set once, before the readers start.
    pcap_t* m_hCapture = nullptr;
    bool m_bNanoseconds = false;  // the handle stamps frames in nanoseconds
    int m_nLinkType = 0;          // the handle's link type (DLT_ values)
    std::string m_filterError;    // libpcap's words when the filter did not compile
    // Held around each next-frame call and the copy of the frame it delivered.
    ShortLock m_readLock;

  private:
    enum class Run : uint8_t { Starting, Running, Stopped };

    void Wake();

    std::atomic<Run> m_run{Run::Starting};
    std::atomic<bool> m_bReadError{false};
    std::atomic<bool> m_bMemoryFull{false};
    bpf_program m_filter{};
    bool m_bFilterCompiled = false;
    int m_captureFd = -1;
    int m_wakeFd = -1;
};
