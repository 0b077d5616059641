// What tapwatch-log writes once packets are in the store: the XML capture log,
// or one line of eight tab-separated cells per packet.
#pragma once

#include <string>

#include "capture/packet_store.h"

// Writes to `path` ("-" for standard output); false when the output could not
// be written. A regular file is replaced only when complete.
bool WriteLog(const std::string& path, const PacketStore& store);
bool WriteRows(const std::string& path, const PacketStore& store);
