// The running tapwatch-capture of one live capture: the process, its pcap
// stream, its counters and its message line. The capture rights live in that
// program alone; this side holds none.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "capture/capture_helper_protocol.h"

// The helper's path: TAPWATCH_CAPTURE, else tapwatch-capture beside the
// running program. Empty when there is no such program, with `missing` the
// second line of the message that says so.
std::string LocateCaptureHelper(std::string& missing);

class CaptureHelper {
  public:
    CaptureHelper() = default;
    // Kills a helper still running and waits for it.
    ~CaptureHelper();
    CaptureHelper(const CaptureHelper&) = delete;
    CaptureHelper& operator=(const CaptureHelper&) = delete;

    // Starts `path` with `args`, in a process group of its own (a Ctrl+C in
    // the terminal reaches this program, which stops the helper itself). The
    // counters come on its descriptor 3. False, errno set, when it cannot
    // be started.
    bool Start(const std::string& path, const std::vector<std::string>& args);
    // The read end of the pcap stream; the caller owns it from now on.
    int TakeStream();

    // Any thread: sends `signal` while the helper has not been waited for.
    void Signal(int signal);
    // Waits for the helper to end: SIGTERM at once, SIGKILL after `grace`.
    // Its exit status, or -1 when a signal ended it.
    int Wait(std::chrono::milliseconds grace);

    // The latest counters line written so far; false before the first.
    // One thread at a time.
    bool Counters(HelperCounters& out);
    // The helper's first line on standard error, after Wait.
    std::string MessageLine();

  private:
    std::mutex m_pidLock;
    pid_t m_pid = -1;  // until waited for
    int m_streamFd = -1;
    int m_messageFd = -1;
    int m_countersFd = -1;
    std::string m_counterText;  // an unfinished line
    HelperCounters m_counters;
    bool m_bCounters = false;
};
