// The capture session: the interface list of the main window and the
// Capture/Stop toggle with its controller and four reader threads.
//
//   Idle --toggle--> Starting --filter installed--> Running --toggle--> Stopping
//     ^                 |  \--start failed (message)--> Idle             |
//     |                 \--toggle: the start is cancelled--> Stopping    |
//     \------------- controller released the capture <-------------------/
//
// A toggle in Stopping queues the next start: the button reads "Stop" at once,
// and the start (emptying the store, a new controller) is carried out when
// the previous controller has finished, so no capture ever runs beside another
// and no frame of the old one lands in the new store. A toggle while a start
// is queued withdraws it.
//
// Its methods run on the window's thread, which never waits for a worker: the controller and the
// readers tell the window what happened by posting closures (CaptureWindow::RunOnWindowThread) and
// never wait for them. Only destroying the session waits, for the threads of the capture that it
// stops.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_state.h"
#include "capture/capture_statistics.h"
#include "capture/capture_window.h"
#include "capture/interface_list.h"
#include "common/shared_text.h"
#include "intake/packet_intake.h"
#include "intake/packet_store.h"

enum class CapturePhase { Idle, Starting, Running, Stopping };

class CaptureSession {
  public:
    static constexpr int kReaderCount = 4;

    // Return values of FillDeviceList.
    static constexpr int kDevicesFailed = -1;  // the caller ends the process, exit code 1
    static constexpr int kNoDevices = -2;

    // `filter` and `dataContains` belong to the Filter editor and outlive the
    // session; `rowObserver` runs on the reader threads for every kept frame
    // and must not wait for the window.
    CaptureSession(CaptureWindow& window, PacketStore& store, const SharedText& filter,
                   const SharedText& dataContains, PacketIntake::RowObserver rowObserver = {});
    // Window's thread. Stops a capture in progress, withdraws a queued start
    // and waits until the capture's threads have ended.
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Fills the interface combo box and selects entry 0. 0 on success; after
    // its message box, kDevicesFailed or kNoDevices.
    int FillDeviceList();
    // The Capture/Stop toggle (button 1002, and the hot key).
    void OnCapture();

    CapturePhase Phase() const { return m_phase; }
    // Whether a start waits for the previous capture to finish.
    bool StartQueued() const { return m_bStartQueued; }
    // The interfaces behind the combo box entries, as last listed.
    const std::vector<InterfaceEntry>& Interfaces() const { return m_interfaces; }
    // libpcap's counters of the last capture that reached Running, taken
    // before its handle was closed.
    CaptureStats LastCaptureStats() const { return m_lastStats; }
    // The counts of the capture in progress, or of the last one. Any thread;
    // the kernel's drops are read every second while a capture runs.
    CaptureStatistics Statistics() const;

    // The most memory the store may hold before a capture stops itself; 0
    // (the default) takes DefaultMemoryLimit() at each start.
    void SetMemoryLimit(uint64_t bytes) { m_nMemoryLimit = bytes; }

  private:
    void LaunchController();
    void OnControllerRunning(const std::shared_ptr<CaptureState>& state);
    void OnControllerFinished(const std::shared_ptr<CaptureState>& state, std::string message,
                              std::string caption, CaptureStats stats);
    void PublishDrops(const CaptureStats& stats);

    // Worker threads.
    void CaptureThreadProc(const std::shared_ptr<CaptureState>& state,
                           const std::string& interfaceName);
    void ReaderThreadProc(CaptureState& state);
    void PostToWindow(std::function<void()> task);

    CaptureWindow& m_window;
    const SharedText& m_filter;
    PacketIntake m_intake;
    uint64_t m_nMemoryLimit = 0;
    // Kernel and interface drops of the capture in progress or the last one.
    std::atomic<uint64_t> m_nDropped{0};

    // Window's thread only.
    CapturePhase m_phase = CapturePhase::Idle;
    bool m_bStartQueued = false;
    std::vector<InterfaceEntry> m_interfaces;
    std::shared_ptr<CaptureState> m_state;  // of the capture not yet finished
    CaptureStats m_lastStats;
    // Posted closures run only while this holds true.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // The latest controller. Each controller first joins the one before it,
    // so only the latest is left to join, when the session goes.
    std::thread m_controller;
};
