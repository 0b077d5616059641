// The XML capture log: one line holding the declaration, the banner and credit
// comments, <Packets>, one <Packet> element per stored packet in store order,
// and </Packets>. It is written packet by packet; no whole-log text is built.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/replacing_file.h"
#include "common/save_control.h"
#include "intake/packet_store.h"

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
