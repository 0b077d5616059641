// tapwatch-log's outputs written as the frames come: the list rows or the XML
// capture log, and the kept frames as a pcap file, each frame formatted once
// it is in its place and then released, so memory holds only what is
// buffered, never the capture. A display filter (-Y) leaves out the frames it
// does not match while the rows keep their numbers. A regular file is written
// beside its target and replaces it only when finished.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/replacing_file.h"
#include "intake/packet_row.h"
#include "intake/packet_store.h"
#include "view/display_filter.h"

struct StreamOutputOptions {
    enum class Text { None, Rows, Log };
    Text text = Text::None;
    std::string textPath = "-";
    std::string pcapPath;       // empty: no pcap output
    std::string displayFilter;  // empty: every frame
    // Add writes what it buffered itself (a single reader, whom a write holds
    // up alone); otherwise only Flush writes, and Add never waits for output.
    bool flushInAdd = true;
};

class StreamOutput {
  public:
    // `store` names the frames' link type when the outputs open.
    StreamOutput(StreamOutputOptions options, const PacketStore& store);

    // The store's PacketSink: formats the entry into the buffers. Opens the
    // outputs first if need be. Returns the bytes buffered.
    uint64_t Add(size_t index, const StoredPacket& packet);
    // Compiles the display filter for the store's link type and opens the
    // outputs, once; false (and Failed) when either fails.
    bool Open();
    // Writes what is buffered; one thread at a time.
    bool Flush();
    // Ends the outputs and puts them in place; false when anything failed.
    // Outputs never opened (no capture was accepted) are left alone.
    bool Finish();

    // Any thread: a write or the display filter failed; the outputs will not
    // replace their targets.
    bool Failed() const;
    // One line, for stderr.
    std::string Error() const;
    // Called once, on the thread that found the failure, so the read can end.
    void OnFailure(std::function<void()> onFailure) { m_onFailure = std::move(onFailure); }

  private:
    bool OpenLocked();
    void FailLocked(std::string error);
    bool WriteOut(std::string& text, std::string& pcap);

    const StreamOutputOptions m_options;
    const PacketStore& m_store;
    std::function<void()> m_onFailure;
    DisplayFilter m_filter;
    PacketRow m_row;

    // Guards what follows; Flush writes outside it.
    mutable std::mutex m_lock;
    bool m_bOpened = false;
    bool m_bFailed = false;
    std::string m_error;
    std::string m_text;
    std::string m_pcap;
    uint32_t m_nLongest = 0;  // the longest frame written to the pcap output

    // Flush's own: the buffers being written and the files.
    std::mutex m_flushLock;
    std::string m_textWriting;
    std::string m_pcapWriting;
    ReplacingFile m_textFile;
    ReplacingFile m_pcapFile;
};
