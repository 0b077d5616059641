// Capture files in the main window: Open reads a pcap or pcapng file, standard
// input or a FIFO through packet intake on a worker thread, Save writes the
// store as a pcap file, and the questions that keep an unsaved capture from
// being dropped unasked. Everything here runs on the window's thread but the
// worker, which only posts to the window and never waits for it.
//
// A regular file is read under a progress that can cancel it; a stream (a
// pipe, a FIFO) runs like a live capture: the Capture button reads "Stop"
// until the stream ends or is stopped, and its rows count as captured live.
//
// The rows on screen go only once libpcap has accepted the input's header,
// link type and filter (for a stream, once its header has arrived): an input
// that fails before keeps the list, the caption and the status bar as they
// were, and the old rows are never held beside a whole new capture.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/status_texts.h"
#include "app/unsaved_guard.h"
#include "capture/capture_session.h"
#include "capture/capture_window.h"
#include "capture_files/capture_file_reader.h"
#include "common/shared_text.h"
#include "intake/packet_intake.h"
#include "intake/packet_store.h"

// What opening and saving capture files needs from the main window, beside
// CaptureWindow. Window's thread only.
class CaptureFilesWindow {
  public:
    virtual ~CaptureFilesWindow() = default;
    // The capture file to open; empty when the user cancels.
    virtual std::string AskOpenPath() = 0;
    // Where to save the capture as pcap; empty when the user cancels.
    virtual std::string AskSavePath() = 0;
    // A modal question with Yes and No; true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    // Writes `packets` (frames of `linkType`) as pcap (SaveCapturePcap) off the
    // window's thread while a modal progress follows it and can cancel it;
    // SaveCapturePcap's result.
    virtual int SavePcap(const std::string& path, std::vector<StoredPacket> packets,
                         int linkType) = 0;
    // With a display filter set: `packets` gets the entries of the rows shown,
    // in capture order, and true; false (packets untouched) without one.
    // Save writes what is shown.
    virtual bool ShownPackets(std::vector<StoredPacket>& /*packets*/) { return false; }
    // The name of the capture the list shows, for the caption.
    virtual void SetCaptureName(const std::string& name) = 0;
    // The file or stream whose frames the list now shows, or the stream that
    // runs, for a window that names it; and what it names now, to be shown
    // again when a stream ends before its header.
    virtual void ShowCaptureSource(const ShownSource& source) = 0;
    virtual ShownSource ShownCaptureSource() const = 0;
    // A progress over a regular file of `totalBytes` that follows
    // CaptureSource::BytesRead and whose cancel calls CaptureSource::Stop.
    virtual void ShowReadProgress(uint64_t totalBytes) = 0;
    virtual void HideReadProgress() = 0;
};

class CaptureSource {
  public:
    // The live capture's phase, read before every command.
    using LivePhase = std::function<CapturePhase()>;

    CaptureSource(CaptureWindow& window, CaptureFilesWindow& files, PacketStore& store,
                  const SharedText& filter, const SharedText& dataContains, LivePhase livePhase);
    // Stops a read in progress and waits for its worker, which ends at once.
    ~CaptureSource();
    CaptureSource(const CaptureSource&) = delete;
    CaptureSource& operator=(const CaptureSource&) = delete;

    // The Open command: asks for a file, then as Open(path).
    void OnOpen();
    // A dropped file or one named on the command line: refused while a
    // capture or a read runs; asks before unsaved packets are dropped.
    void Open(const std::string& path);
    // The Save command (pcap): the rows shown. Saving only some of the rows
    // does not count as saving the capture.
    void OnSave();

    // The Capture button: stops a read in progress, or asks before a start
    // drops unsaved packets. True when the live toggle is to run.
    bool BeforeCaptureToggle();
    // The hot key: stops a read in progress (true), else leaves the toggle to
    // the caller (false). It never asks, so the hot key stays one keystroke.
    bool StopForHotKey();
    // Closing the window: true to close.
    bool ConfirmClose();

    // Ends a read in progress soon; its rows stay.
    void Stop();
    bool Busy() const { return m_reader != nullptr; }
    bool Streaming() const { return Busy() && m_bStream; }
    // The counts of the file or stream being read, or of the last one.
    IntakeCounters Counters() const { return m_intake.Counters(); }
    // Bytes of the current input read so far.
    uint64_t BytesRead() const;
    // Reads after this stop once the store holds `bytes`; 0 (the default)
    // takes DefaultMemoryLimit() at each start.
    void SetMemoryLimit(uint64_t bytes) { m_nMemoryLimit = bytes; }

    UnsavedGuard& Guard() { return m_guard; }

    static std::string CutShortMessage(uint64_t framesRead);
    static constexpr char kCannotOpenMessage[] = "Couldn't open the capture file !";

  private:
    bool Refused();
    void Start(const std::string& path);
    // The input was accepted and the store emptied for its rows.
    void OnAccepted();
    void OnFinished(const CaptureFileResult& result);

    CaptureWindow& m_window;
    CaptureFilesWindow& m_files;
    PacketStore& m_store;
    const SharedText& m_filter;
    PacketIntake m_intake;
    LivePhase m_livePhase;
    UnsavedGuard m_guard;
    uint64_t m_nMemoryLimit = 0;

    // The read in progress; null when none.
    std::shared_ptr<CaptureFileReader> m_reader;
    bool m_bStream = false;
    // The name of the input read, and whether it was accepted.
    std::string m_strName;
    bool m_bAccepted = false;
    // What the status bar named before a stream started.
    ShownSource m_previousSource;
    std::thread m_worker;
    // Posted closures run only while this holds true.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
