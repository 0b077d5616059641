// Rendering of one TCP session as styled text: the packets in capture order,
// which the intake keeps as the wire order, each with an optional header
// (number, source endpoint, sequence and acknowledgement numbers, flags) and
// its payload as characters or as hexadecimal digits, coloured by the side
// that sent it. The payload is the segment's data: it starts after the TCP
// options and ends with the IP datagram, in both formats; a segment the
// capture cut short ends with " [N bytes missing]". Line breaks are "\r\n"
// throughout.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocols/layer.h"
#include "sessions/styled_run.h"

// The three switches behind the window's header styles.
struct HeaderStyle {
    bool showHeader = true;  // "[i] Source address :port" and an empty line after each packet
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

// The caption of the window while a session of `count` packets is shown.
std::string SessionCaption(size_t count);

// The placeholder shown while a session is being gathered.
StyledRun LoadingRun();

// Appends the runs of packet number `number` of a session whose first side
// is the source endpoint of `representative`. Packets that are no TCP packet
// (sessions/tcp_packet.h), and a representative that is none, add nothing.
// A segment that carries no data after its options (a bare acknowledgement,
// padded or not), and one whose options run past the captured bytes, add no
// payload run (TcpPacketView::Data).
void AppendPacketRuns(std::vector<StyledRun>& out, const CProtocolLayer* packet, int number,
                      const CProtocolLayer* representative, const HeaderStyle& style, bool ascii);

// The runs of a whole stream, packet after packet in the given order,
// numbered from 0.
std::vector<StyledRun> RenderStream(const std::vector<const CProtocolLayer*>& packets,
                                    const CProtocolLayer* representative, const HeaderStyle& style,
                                    bool ascii);

// The text the stream area shows for a run: every line break (CR LF, or a
// lone CR or LF) as one "\n", appended to `out`. `pendingCr` carries a CR
// that ended the previous run, so a pair split between two runs is still one
// break; it starts false for a new stream.
void AppendShownText(std::string& out, std::string_view text, bool& pendingCr);
