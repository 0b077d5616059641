#include "tools/capture_gen/generator.h"

#include <memory>
#include <string>

#include "tools/capture_gen/flows.h"
#include "tools/capture_gen/scenarios.h"

namespace capture_gen {

struct FrameGenerator::Source {
    explicit Source(uint64_t seed) : rng(seed) {}
    virtual ~Source() = default;
    virtual PendingFrame NextFrame() = 0;

    // Gaps between frames: mostly bursts of tens of microseconds, some
    // milliseconds (round trips), now and then a pause.
    virtual uint32_t GapMicros() {
        const uint32_t r = rng.Below(100);
        if (r < 70) return rng.Range(5, 300);
        if (r < 98) return rng.Range(300, 5000);
        return rng.Range(5000, 50000);
    }

    Rng rng;
};

namespace {

using Source = FrameGenerator::Source;

ByteSpan Text(std::string_view s) {
    return ByteSpan(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// A few long-lived connections streaming 742-byte segments, mostly from the
// servers to the clients, every segment acknowledging what the peer sent.
class Tcp742Source final : public Source {
  public:
    static constexpr size_t kPayload = 742;

    explicit Tcp742Source(uint64_t seed) : Source(seed) {
        const MacAddress router = {0x00, 0x1B, 0x21, rng.Next8(), rng.Next8(), rng.Next8()};
        const size_t connections = rng.Range(3, 6);
        const uint16_t serverPorts[] = {80, 443, 8080, 5001, 21000};
        for (size_t i = 0; i < connections; ++i) {
            Host client{{0x00, 0x0C, 0x29, rng.Next8(), rng.Next8(), rng.Next8()},
                        {192, 168, 10, static_cast<uint8_t>(20 + i)},
                        {},
                        64};
            Host server{router,
                        {93, 184, static_cast<uint8_t>(rng.Below(256)),
                         static_cast<uint8_t>(rng.Range(1, 254))},
                        {},
                        static_cast<uint8_t>(rng.Range(44, 60))};
            auto c = std::make_unique<Connection>(client, server, rng);
            c->flow =
                std::make_unique<TcpFlow>(c->conv, static_cast<uint16_t>(rng.Range(32768, 60999)),
                                          rng.Pick(serverPorts), rng);
            m_connections.push_back(std::move(c));
        }
        // The streamed content: one block of text and bytes, read round-robin.
        m_content = SpicyText(rng, 48 * 1024);
        Append(m_content, RandomPayload(rng, 16 * 1024));
    }

    PendingFrame NextFrame() override {
        Connection& c = *m_connections[rng.Below(static_cast<uint32_t>(m_connections.size()))];
        const bool fromClient = rng.Chance(1, 4);
        uint8_t payload[kPayload];
        for (size_t i = 0; i < kPayload; ++i) {
            payload[i] = m_content[(c.offset + i) % m_content.size()];
        }
        c.offset = (c.offset + kPayload) % m_content.size();
        const uint8_t flags = rng.Chance(1, 4) ? kTcpAck | kTcpPsh : kTcpAck;
        return c.flow->Segment(fromClient, flags, ByteSpan(payload, kPayload));
    }

    uint32_t GapMicros() override { return rng.Range(20, 400); }

  private:
    struct Connection {
        Connection(const Host& client, const Host& server, Rng& r)
            : conv(client, server, Family::V4, {}, r), offset(r.Below(32 * 1024)) {}
        Conversation conv;
        std::unique_ptr<TcpFlow> flow;
        size_t offset;
    };
    std::vector<std::unique_ptr<Connection>> m_connections;
    Bytes m_content;
};

// One fixed HTTP-like session, and more of the same on the next client ports
// when more frames are asked for. The seed sets sequence numbers, IP
// identifications and time gaps; addresses, ports and texts never change.
// Over IPv6 the same seed gives the same sequence numbers.
class HttpSource final : public Source {
  public:
    HttpSource(uint64_t seed, Family family) : Source(seed), m_family(family) {}

    PendingFrame NextFrame() override {
        if (m_next == m_script.size()) {
            BuildSession(static_cast<uint16_t>(1042 + m_sessions++));
        }
        return std::move(m_script[m_next++]);
    }

    uint32_t GapMicros() override { return rng.Range(50, 30000); }

  private:
    void BuildSession(uint16_t clientPort) {
        static constexpr std::string_view kRequest =
            "GET /search?q=tap&lang=en&page=2 HTTP/1.1\r\n"
            "Host: intranet.example\r\n"
            "Accept: text/html\r\n"
            "User-Agent: synthetic-client/2.0\r\n"
            "\r\n";
        static constexpr std::string_view kBody =
            "<html><body><p class=\"result\">Tom &amp; Jerry: 100%s done, %d left</p>\r\n"
            "<a href=\"/search?q=tap&lang=en&page=3\">next</a>\r\n"
            "</body></html>\r\n";
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                  std::to_string(kBody.size()) + "\r\n\r\n" + std::string(kBody);
        const Host client{{0x00, 0x0C, 0x29, 0x1A, 0x2B, 0x3C},
                          {10, 0, 0, 5},
                          MakeIpv6({0x2001, 0x0DB8, 0, 0, 0, 0, 0, 5}),
                          64};
        const Host server{{0x00, 0x50, 0x56, 0xC0, 0x00, 0x08},
                          {192, 168, 1, 1},
                          MakeIpv6({0x2001, 0x0DB8, 0, 1, 0, 0, 0, 1}),
                          128};
        m_conv = std::make_unique<Conversation>(client, server, m_family, Link{}, rng);
        TcpFlow tcp(*m_conv, clientPort, 80, rng);
        m_script.clear();
        m_next = 0;
        tcp.Handshake(m_script);
        tcp.Send(m_script, true, Text(kRequest), 1460);
        tcp.Send(m_script, false, Text(reply), (reply.size() + 2) / 3);
        tcp.Close(m_script, true);
    }

    Family m_family;
    std::unique_ptr<Conversation> m_conv;
    Script m_script;
    size_t m_next = 0;
    size_t m_sessions = 0;
};

// Scenarios of the simulated network, a dozen running at once, their frames
// interleaved; each scenario keeps its own frames in order.
class MixSource final : public Source {
  public:
    static constexpr size_t kConcurrent = 12;

    explicit MixSource(uint64_t seed) : Source(seed), m_network(rng) {}

    PendingFrame NextFrame() override {
        while (m_active.size() < kConcurrent) m_active.push_back({m_network.NextScenario(rng), 0});
        const size_t i = rng.Below(static_cast<uint32_t>(m_active.size()));
        Active& a = m_active[i];
        PendingFrame f = std::move(a.frames[a.next++]);
        if (a.next == a.frames.size()) {
            if (i + 1 != m_active.size()) m_active[i] = std::move(m_active.back());
            m_active.pop_back();
        }
        return f;
    }

  private:
    struct Active {
        Script frames;
        size_t next;
    };
    MixNetwork m_network;
    std::vector<Active> m_active;
};

}  // namespace

std::optional<CaptureKind> ParseCaptureKind(std::string_view name) {
    if (name == "tcp742") return CaptureKind::Tcp742;
    if (name == "mix") return CaptureKind::Mix;
    if (name == "http") return CaptureKind::Http;
    if (name == "http6") return CaptureKind::Http6;
    if (name == "vlan") return CaptureKind::Vlan;
    if (name == "sll2") return CaptureKind::Sll2;
    return std::nullopt;
}

std::string_view CaptureKindName(CaptureKind kind) {
    switch (kind) {
        case CaptureKind::Tcp742:
            return "tcp742";
        case CaptureKind::Mix:
            return "mix";
        case CaptureKind::Http:
            return "http";
        case CaptureKind::Http6:
            return "http6";
        case CaptureKind::Vlan:
            return "vlan";
        case CaptureKind::Sll2:
            return "sll2";
    }
    return "?";
}

int CaptureLinkType(CaptureKind kind) {
    constexpr int kEthernet = 1;
    constexpr int kLinuxCooked2 = 276;
    return kind == CaptureKind::Sll2 ? kLinuxCooked2 : kEthernet;
}

std::string_view FrameClassName(FrameClass c) {
    static constexpr std::string_view kNames[kFrameClassCount] = {
        "tcp4", "udp4",      "icmp4",    "igmp4", "ipv4-fragment", "arp",
        "rarp", "tcp6",      "udp6",     "icmp6", "pppoe-session", "pppoe-discovery",
        "vlan", "ieee802.3", "truncated"};
    const auto i = static_cast<size_t>(c);
    return i < kFrameClassCount ? kNames[i] : "?";
}

FrameGenerator::FrameGenerator(CaptureKind kind, size_t count, uint32_t seed)
    : m_kind(kind), m_count(count) {
    // Each kind draws from its own stream, so equal seeds do not correlate kinds.
    const uint64_t s = (uint64_t{seed} << 8) | static_cast<uint64_t>(kind);
    switch (kind) {
        case CaptureKind::Tcp742:
            m_source = std::make_unique<Tcp742Source>(s);
            break;
        case CaptureKind::Mix:
        case CaptureKind::Vlan:
        case CaptureKind::Sll2:
            m_source = std::make_unique<MixSource>(s);
            break;
        case CaptureKind::Http:
            m_source = std::make_unique<HttpSource>(s, Family::V4);
            break;
        case CaptureKind::Http6:
            // The IPv4 kind's stream: one seed, one set of numbers in both.
            m_source = std::make_unique<HttpSource>(
                (uint64_t{seed} << 8) | static_cast<uint64_t>(CaptureKind::Http), Family::V6);
            break;
    }
}

FrameGenerator::~FrameGenerator() = default;

bool FrameGenerator::Next(GeneratedFrame& out) {
    if (m_produced == m_count) return false;
    if (m_produced != 0) {
        m_usec += m_source->GapMicros();
        m_sec += m_usec / 1000000;
        m_usec %= 1000000;
    }
    PendingFrame f = m_source->NextFrame();
    out.tsSec = m_sec;
    out.tsUsec = m_usec;
    out.frameClass = f.frameClass;
    const size_t before = f.data.size();
    Rewrap(f.data);
    const uint32_t grown = static_cast<uint32_t>(f.data.size() - before);
    out.origLen = (f.origLen != 0 ? f.origLen : static_cast<uint32_t>(before)) + grown;
    out.data = std::move(f.data);
    ++m_produced;
    return true;
}

void FrameGenerator::Rewrap(Bytes& data) {
    constexpr size_t kMacs = 12;
    if (data.size() < kMacs + 2) return;  // cut short before its type: left as it is
    Rng& rng = m_source->rng;
    if (m_kind == CaptureKind::Vlan) {
        const uint16_t vlan = static_cast<uint16_t>(rng.Range(1, 4094));
        Bytes tags = {0x81, 0x00, static_cast<uint8_t>((rng.Below(8) << 5) | (vlan >> 8)),
                      static_cast<uint8_t>(vlan)};
        if (rng.Below(4) == 0) {
            const uint16_t outer = static_cast<uint16_t>(rng.Range(1, 4094));
            tags.insert(tags.begin(), {0x88, 0xA8, static_cast<uint8_t>(outer >> 8),
                                       static_cast<uint8_t>(outer)});
        }
        data.insert(data.begin() + kMacs, tags.begin(), tags.end());
    } else if (m_kind == CaptureKind::Sll2) {
        // Protocol, reserved, interface index, ARPHRD_ETHER, packet type,
        // address length, the sender's MAC padded to eight bytes.
        const uint8_t type = static_cast<uint8_t>(rng.Below(2) == 0 ? 0 : 4);  // to us, sent
        Bytes cooked = {data[12], data[13], 0,    0, 0, 0, 0, static_cast<uint8_t>(rng.Range(1, 4)),
                        0,        1,        type, 6};
        cooked.insert(cooked.end(), data.begin() + 6, data.begin() + 12);
        cooked.insert(cooked.end(), {0, 0});
        data.erase(data.begin(), data.begin() + kMacs + 2);
        data.insert(data.begin(), cooked.begin(), cooked.end());
    }
}

std::vector<GeneratedFrame> GenerateFrames(CaptureKind kind, size_t count, uint32_t seed) {
    FrameGenerator gen(kind, count, seed);
    std::vector<GeneratedFrame> frames(count);
    for (GeneratedFrame& f : frames) gen.Next(f);
    return frames;
}

}  // namespace capture_gen
