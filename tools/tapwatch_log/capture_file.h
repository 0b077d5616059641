// Reading a capture file (pcap or pcapng, "-" for standard input) through
// packet intake, as a live capture would take its frames in. Time cells count
// from the first packet.
#pragma once

#include <string>

#include "capture/capture_file_reader.h"
#include "capture/packet_store.h"
#include "filter/shared_text.h"

struct FileReadResult {
    bool ok = false;
    std::string error;  // one line, for stderr
};

// The one-line error for a read that ended on a failure; empty otherwise.
std::string CaptureFileError(const std::string& path, const CaptureFileResult& result);

FileReadResult ReadCaptureFile(const std::string& path, const std::string& filter,
                               const SharedText& dataContains, PacketStore& store);
