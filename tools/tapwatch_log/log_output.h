// What tapwatch-log's outputs share: the list row as a line of eight
// tab-separated cells, and the message of an output that failed.
#pragma once

#include <string>

#include "intake/packet_row.h"

// The message of an output that could not be written ("-": standard output).
std::string CouldntWriteMessage(const std::string& path);

// One row as its line, newline included.
void AppendRowLine(std::string& out, const PacketRow& row);
