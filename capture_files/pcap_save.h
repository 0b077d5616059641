// Saving the store's frames as a pcap file: every kept frame with its capture
// timestamp (nanoseconds) and its length on the wire, written by libpcap's
// dumper. The target is replaced only once the whole file is written.
#pragma once

#include <string>
#include <vector>

#include "common/save_control.h"
#include "intake/packet_store.h"

// SAVE_OK, or the SaveResult of the failure. "-" writes to standard output.
// Entries without a kept frame (chains decoded on their own) are skipped. The
// file is of the frames' link type (libpcap's DLT_ values).
int SaveCapturePcap(const std::string& path, const std::vector<StoredPacket>& packets, int linkType,
                    SaveControl* control = nullptr);
