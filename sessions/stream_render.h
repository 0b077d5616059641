// Rendering of one TCP session as styled text: the packets in conversation
// order, each with an optional header (number, source endpoint, sequence and
// acknowledgement numbers, flags) and its payload as characters or as
// hexadecimal digits, coloured by the side that sent it. Line breaks are
// "\r\n" throughout.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocols/layer.h"
#include "sessions/styled_run.h"

// The three switches behind the window's header styles.
struct HeaderStyle {
    bool showHeader = true;  // "[i] Source a.b.c.d :port" and an empty line after each packet
    bool showSeqAck = true;  // " (SYN:seq ACK:ack)"
    bool showFlags = false;  // " [ FIN SYN RST PSH ACK URG ]", set flags only
    friend bool operator==(const HeaderStyle&, const HeaderStyle&) = default;
};

// The style of item `item` of the header style selector: 0 "SYN/ACK",
// 1 "SYN/ACK + Flags", 2 "Simple Header", 3 "No Header"; none for another value.
std::optional<HeaderStyle> HeaderStyleForItem(int item);

// The ASCII rendering of `count` bytes: graphic characters, the space, CR and
// LF as themselves, "." for every other byte; empty for a count of 0 or less.
std::string StreamText(const unsigned char* bytes, int count);

// Puts a session's packets into rendering order: ascending (sequence +
// acknowledgement number) modulo 2^32, ties by ascending IPv4 identification,
// packets equal in both in their given order. A packet without a TCP layer
// keeps its position and nothing moves across it. Stable, O(n log n).
void SortStream(std::vector<const CProtocolLayer*>& packets);

// The caption of the window while a session of `count` packets is shown.
std::string SessionCaption(size_t count);

// The placeholder shown while a session is being gathered.
StyledRun LoadingRun();

// Appends the runs of packet number `number` of a session whose first side
// is the source endpoint of `representative`. Packets that lack their IPv4 or
// TCP layer, and a representative that does, add nothing.
void AppendPacketRuns(std::vector<StyledRun>& out, const CProtocolLayer* packet, int number,
                      const CProtocolLayer* representative, const HeaderStyle& style, bool ascii);

// The runs of a whole sorted stream, packet after packet numbered from 0.
std::vector<StyledRun> RenderStream(const std::vector<const CProtocolLayer*>& packets,
                                    const CProtocolLayer* representative, const HeaderStyle& style,
                                    bool ascii);
