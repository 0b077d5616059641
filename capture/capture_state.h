// One live capture: tapwatch-capture opened on the interface with the
// filter, the handle on the pcap stream it writes, the running flag and the
// read exclusion.
//
// The readers read the stream until it ends. A stop of any kind ends the
// helper (SIGTERM), which writes what the kernel still held and closes the
// stream; so the readers take in every frame it flushed and then end, on an
// idle link as on a busy one, and never wait on the interface themselves.
#pragma once

#include <pcap/pcap.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "capture/capture_helper.h"
#include "capture/capture_helper_protocol.h"
#include "common/short_lock.h"
#include "protocols/kept_frame.h"

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

inline constexpr char kHelperEndedMessage[] =
    "The capture stopped: the capture helper ended unexpectedly";

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

    // Controller. Starts the helper on `interfaceName` with `filter`, waits for
    // its stream's header and checks the link type. On failure the helper has
    // ended and everything acquired is released again.
    StartFailure Open(const std::string& interfaceName, const std::string& filter);
    // The message box text of Open's `failure`, with the helper's libpcap line
    // (why the interface did not open, why the filter did not compile) on a
    // second line, or the name of a link type not decoded.
    std::string FailureMessage(StartFailure failure) const;
    // Controller, after Open: Starting becomes Running, unless a stop came first.
    bool SetRunning();
    // Controller: the helper's latest counters.
    CaptureStats Stats();
    // Controller, once the readers have ended: waits for the helper (killing
    // one that does not end within `grace`) and returns its last counters.
    CaptureStats Finish(std::chrono::milliseconds grace);
    // Any thread: kills a helper that does not end after a stop.
    void KillHelper();
    void Release();

    // Any thread. Ends the capture, or the start before it runs; never waits.
    void RequestStop();
    // Any thread: the store is full. Stops the capture and records why, unless
    // it had been stopped already.
    void StopForMemory();
    bool StoppedForMemory() const { return m_bMemoryFull.load(); }

    // The running flag (m_bRunning): set by SetRunning, cleared by any stop.
    bool IsRunning() const { return m_run.load() == Run::Running; }
    bool StopRequested() const { return m_run.load() == Run::Stopped; }
    // After Finish: the interface reported an error to the helper.
    bool StoppedByReadError() const { return m_bReadError.load(); }
    // After Finish: the helper ended, or its stream broke, with no stop asked.
    bool HelperEndedUnexpectedly() const { return m_bHelperGone.load() && !m_bReadError.load(); }

    // Reader, inside m_readLock. pcap_next_ex's result: 1 with a frame,
    // negative once the stream has ended (after a stop, the helper's end or a
    // broken stream); every later call returns at once.
    int NextFrame(pcap_pkthdr** header, const u_char** data);

    // Set once, before the readers start.
    pcap_t* m_hCapture = nullptr;
    bool m_bNanoseconds = false;  // the handle stamps frames in nanoseconds
    int m_nLinkType = 0;          // the handle's link type (DLT_ values)
    // Held around each next-frame call and the copy of the frame it delivered.
    ShortLock m_readLock;

  private:
    enum class Run : uint8_t { Starting, Running, Stopped };

    // The stream ended: unless a stop came first, the helper went by itself.
    void OnStreamEnd();

    std::atomic<Run> m_run{Run::Starting};
    std::atomic<bool> m_bReadError{false};
    std::atomic<bool> m_bMemoryFull{false};
    std::atomic<bool> m_bHelperGone{false};
    bool m_bStreamEnded = false;  // inside m_readLock
    std::string m_helperLine;     // the helper's message on a failed start
    CaptureHelper m_helper;
};
