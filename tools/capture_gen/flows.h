// Stateful helpers behind the scenarios: a conversation between two hosts on
// one link (it numbers the IP identifications of each side) and a TCP flow on
// top of it (it keeps both sides' sequence numbers consistent).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/capture_gen/frame_builder.h"
#include "tools/capture_gen/generator.h"
#include "tools/capture_gen/random.h"

namespace capture_gen {

// A frame waiting for its time stamp. `origLen` 0 means "as long as the data".
struct PendingFrame {
    FrameClass frameClass = FrameClass::Tcp4;
    Bytes data;
    uint32_t origLen = 0;
};
using Script = std::vector<PendingFrame>;

// A machine as seen on the captured link: `mac` is the address its frames carry
// there (the router's for a host beyond it).
struct Host {
    MacAddress mac{};
    Ipv4Address ip4{};
    Ipv6Address ip6{};
    uint8_t ttl = 64;
};

enum class Family : uint8_t { V4, V6 };

struct Link {
    enum Type : uint8_t { Ethernet, Vlan, Pppoe };
    Type type = Ethernet;
    uint16_t vlanTci = 0;
    uint16_t pppoeSession = 0;
};

class Conversation {
  public:
    Conversation(const Host& a, const Host& b, Family family, Link link, Rng& rng);

    const Host& Side(bool a) const { return a ? m_a : m_b; }
    Family GetFamily() const { return m_family; }

    // Transport messages with checksums over the conversation's addresses.
    Bytes Tcp(bool fromA, const TcpHeader& header, ByteSpan payload) const;
    Bytes Udp(bool fromA, uint16_t srcPort, uint16_t dstPort, ByteSpan payload) const;
    Bytes Icmp(bool fromA, uint8_t type, uint8_t code, ByteSpan body) const;

    // Wraps a transport message in the network header and the link framing.
    PendingFrame Frame(bool fromA, uint8_t protocol, ByteSpan transport);
    // Wraps a network-layer payload of `etherType` in the link framing, padded.
    Bytes LinkFrame(bool fromA, uint16_t etherType, ByteSpan payload) const;
    Ipv4Header Ipv4For(bool fromA, uint8_t protocol);

    FrameClass ClassFor(uint8_t protocol) const;

  private:
    Host m_a;
    Host m_b;
    Family m_family;
    Link m_link;
    uint16_t m_idA;
    uint16_t m_idB;
    uint32_t m_flowLabel;
};

class TcpFlow {
  public:
    // Side A of the conversation is the client.
    TcpFlow(Conversation& conversation, uint16_t clientPort, uint16_t serverPort, Rng& rng);

    PendingFrame Segment(bool fromClient, uint8_t flags, ByteSpan payload,
                         const Bytes& options = {});

    // SYN with MSS, SACK-permitted and window scale options, SYN-ACK, ACK.
    void Handshake(Script& out);
    // `data` in segments of at most `mss` bytes, PSH on the last; the receiver
    // acknowledges every second segment and the end.
    void Send(Script& out, bool fromClient, ByteSpan data, size_t mss);
    void PureAck(Script& out, bool fromClient);
    // FIN from one side, FIN from the other, final ACK.
    void Close(Script& out, bool clientFirst);
    void Reset(Script& out, bool fromClient);

    uint16_t ClientPort() const { return m_clientPort; }
    uint16_t ServerPort() const { return m_serverPort; }

  private:
    Conversation& m_conv;
    uint16_t m_clientPort;
    uint16_t m_serverPort;
    uint32_t m_seq[2];  // next sequence number: [0] client, [1] server
    uint16_t m_window[2];
};

// Text and binary payloads.
Bytes HttpRequest(Rng& rng, std::string_view hostName);
Bytes HttpReply(Rng& rng);
// Text sprinkled with markup and format characters (< > " & %s %d).
Bytes SpicyText(Rng& rng, size_t length);
// Random bytes, with the same special characters spliced in now and then.
Bytes RandomPayload(Rng& rng, size_t length);
Bytes DnsQuery(uint16_t id, std::string_view name, uint16_t type);
// Answers `query` with one record (4 or 16 address bytes) or, with an empty
// `address`, with a name error.
Bytes DnsResponse(ByteSpan query, uint16_t type, ByteSpan address);

}  // namespace capture_gen
