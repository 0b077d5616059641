// Reading a capture file (pcap or pcapng, "-" for standard input) through
// packet intake, as a live capture would take its frames in. Time cells count
// from the first packet.
#pragma once

#include <string>

#include "capture_files/capture_file_reader.h"
#include "common/shared_text.h"
#include "intake/packet_store.h"

// The one-line error for a read that ended on a failure; empty otherwise.
std::string CaptureFileError(const std::string& path, const CaptureFileResult& result);
