// The XML capture log: one line holding the declaration, the banner and credit
// comments, <Packets>, one <Packet> element per stored packet in store order,
// and </Packets>. It is written packet by packet; no whole-log text is built.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "capture/packet_store.h"
#include "xml/replacing_file.h"

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

// Streams the log to an open file through a buffer; every write is checked.
class CaptureLogWriter {
public:
    explicit CaptureLogWriter(ReplacingFile& file);
    bool Begin();
    bool Add(const CProtocolLayer* root);
    bool End();

private:
    bool Flush();

    ReplacingFile& m_file;
    std::string m_buffer;
};

// Writes the log of `packets` to `path`, replacing the file only when the whole
// log was written. "-" writes to standard output.
int SaveCaptureLog(const std::string& path, const std::vector<StoredPacket>& packets,
                   SaveControl* control = nullptr);
