#include "tools/capture_gen/flows.h"

#include <algorithm>
#include <string>

namespace capture_gen {

namespace {

ByteSpan AsBytes(std::string_view text) {
    return ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void AppendText(Bytes& out, std::string_view text) {
    Append(out, AsBytes(text));
}

const char* const kWords[] = {"packet", "stream", "window", "session", "filter", "capture",
                              "decode", "header", "reply",  "server",  "client", "frame",
                              "token",  "value",  "index",  "search",  "report", "status"};

const char* const kSpecials[] = {"<", ">", "\"", "&", "%s", "%d", "&amp;", "<b>", "</b>", "'"};

const char* const kPaths[] = {"/",      "/index.html", "/search",     "/api/v1/items", "/img/a.png",
                              "/login", "/cart/view",  "/news/today", "/static/app.js"};

}  // namespace

Conversation::Conversation(const Host& a, const Host& b, Family family, Link link, Rng& rng)
    : m_a(a),
      m_b(b),
      m_family(family),
      m_link(link),
      m_idA(rng.Next16()),
      m_idB(rng.Next16()),
      m_flowLabel(rng.Next32() & 0xFFFFF) {}

Bytes Conversation::Tcp(bool fromA, const TcpHeader& header, ByteSpan payload) const {
    const Host& s = Side(fromA);
    const Host& d = Side(!fromA);
    return m_family == Family::V4 ? TcpSegment(header, payload, s.ip4, d.ip4)
                                  : TcpSegment(header, payload, s.ip6, d.ip6);
}

Bytes Conversation::Udp(bool fromA, uint16_t srcPort, uint16_t dstPort, ByteSpan payload) const {
    const Host& s = Side(fromA);
    const Host& d = Side(!fromA);
    return m_family == Family::V4 ? UdpDatagram(srcPort, dstPort, payload, s.ip4, d.ip4)
                                  : UdpDatagram(srcPort, dstPort, payload, s.ip6, d.ip6);
}

Bytes Conversation::Icmp(bool fromA, uint8_t type, uint8_t code, ByteSpan body) const {
    if (m_family == Family::V4) return IcmpMessage(type, code, body);
    return Icmpv6Message(type, code, body, Side(fromA).ip6, Side(!fromA).ip6);
}

Ipv4Header Conversation::Ipv4For(bool fromA, uint8_t protocol) {
    Ipv4Header h;
    h.src = Side(fromA).ip4;
    h.dst = Side(!fromA).ip4;
    h.protocol = protocol;
    h.ttl = Side(fromA).ttl;
    h.id = fromA ? m_idA++ : m_idB++;
    h.dontFragment = protocol == kIpProtoTcp;
    return h;
}

PendingFrame Conversation::Frame(bool fromA, uint8_t protocol, ByteSpan transport) {
    if (m_family == Family::V4) {
        const Bytes ip = Ipv4Datagram(Ipv4For(fromA, protocol), transport);
        return {ClassFor(protocol), LinkFrame(fromA, kEtherTypeIpv4, ip), 0};
    }
    Ipv6Header h;
    h.src = Side(fromA).ip6;
    h.dst = Side(!fromA).ip6;
    h.nextHeader = protocol;
    h.hopLimit = Side(fromA).ttl;
    h.flowLabel = m_flowLabel;
    const Bytes ip = Ipv6Packet(h, transport);
    return {ClassFor(protocol), LinkFrame(fromA, kEtherTypeIpv6, ip), 0};
}

Bytes Conversation::LinkFrame(bool fromA, uint16_t etherType, ByteSpan payload) const {
    const MacAddress& src = Side(fromA).mac;
    const MacAddress& dst = Side(!fromA).mac;
    Bytes frame;
    switch (m_link.type) {
        case Link::Ethernet:
            frame = EthernetFrame(dst, src, etherType, payload);
            break;
        case Link::Vlan:
            frame = VlanFrame(dst, src, m_link.vlanTci, etherType, payload);
            break;
        case Link::Pppoe: {
            const uint16_t ppp = etherType == kEtherTypeIpv6 ? kPppIpv6 : kPppIpv4;
            frame = EthernetFrame(dst, src, kEtherTypePppoeSession,
                                  PppoeSession(m_link.pppoeSession, ppp, payload));
            break;
        }
    }
    PadFrame(frame);
    return frame;
}

FrameClass Conversation::ClassFor(uint8_t protocol) const {
    if (m_link.type == Link::Vlan) return FrameClass::Vlan;
    if (m_link.type == Link::Pppoe) return FrameClass::PppoeSession;
    if (m_family == Family::V6) {
        if (protocol == kIpProtoTcp) return FrameClass::Tcp6;
        if (protocol == kIpProtoUdp) return FrameClass::Udp6;
        return FrameClass::Icmp6;
    }
    if (protocol == kIpProtoTcp) return FrameClass::Tcp4;
    if (protocol == kIpProtoUdp) return FrameClass::Udp4;
    if (protocol == kIpProtoIgmp) return FrameClass::Igmp4;
    return FrameClass::Icmp4;
}

TcpFlow::TcpFlow(Conversation& conversation, uint16_t clientPort, uint16_t serverPort, Rng& rng)
    : m_conv(conversation),
      m_clientPort(clientPort),
      m_serverPort(serverPort),
      m_seq{rng.Next32(), rng.Next32()},
      m_window{static_cast<uint16_t>(rng.Range(501, 64240)),
               static_cast<uint16_t>(rng.Range(227, 65160))} {}

PendingFrame TcpFlow::Segment(bool fromClient, uint8_t flags, ByteSpan payload,
                              const Bytes& options) {
    const int me = fromClient ? 0 : 1;
    TcpHeader h;
    h.srcPort = fromClient ? m_clientPort : m_serverPort;
    h.dstPort = fromClient ? m_serverPort : m_clientPort;
    h.seq = m_seq[me];
    h.ack = (flags & kTcpAck) != 0 ? m_seq[1 - me] : 0;
    h.flags = flags;
    h.window = (flags & kTcpSyn) != 0 ? (fromClient ? 64240 : 65160) : m_window[me];
    h.options = options;
    const Bytes segment = m_conv.Tcp(fromClient, h, payload);
    m_seq[me] += static_cast<uint32_t>(payload.size());
    if ((flags & (kTcpSyn | kTcpFin)) != 0) ++m_seq[me];
    return m_conv.Frame(fromClient, kIpProtoTcp, segment);
}

void TcpFlow::Handshake(Script& out) {
    const uint16_t mss = m_conv.GetFamily() == Family::V4 ? 1460 : 1440;
    const Bytes synOptions = {0x02,
                              0x04,
                              static_cast<uint8_t>(mss >> 8),
                              static_cast<uint8_t>(mss),
                              0x01,
                              0x01,
                              0x04,
                              0x02,
                              0x01,
                              0x03,
                              0x03,
                              0x07};
    const Bytes synAckOptions = {
        0x02, 0x04, static_cast<uint8_t>(mss >> 8), static_cast<uint8_t>(mss), 0x01, 0x01,
        0x04, 0x02};
    out.push_back(Segment(true, kTcpSyn, {}, synOptions));
    out.push_back(Segment(false, kTcpSyn | kTcpAck, {}, synAckOptions));
    out.push_back(Segment(true, kTcpAck, {}));
}

void TcpFlow::Send(Script& out, bool fromClient, ByteSpan data, size_t mss) {
    size_t sent = 0;
    int unacked = 0;
    while (sent < data.size()) {
        const size_t n = std::min(mss, data.size() - sent);
        const bool last = sent + n == data.size();
        out.push_back(
            Segment(fromClient, last ? kTcpAck | kTcpPsh : kTcpAck, data.subspan(sent, n)));
        sent += n;
        if (++unacked == 2 || last) {
            PureAck(out, !fromClient);
            unacked = 0;
        }
    }
}

void TcpFlow::PureAck(Script& out, bool fromClient) {
    out.push_back(Segment(fromClient, kTcpAck, {}));
}

void TcpFlow::Close(Script& out, bool clientFirst) {
    out.push_back(Segment(clientFirst, kTcpFin | kTcpAck, {}));
    out.push_back(Segment(!clientFirst, kTcpFin | kTcpAck, {}));
    out.push_back(Segment(clientFirst, kTcpAck, {}));
}

void TcpFlow::Reset(Script& out, bool fromClient) {
    out.push_back(Segment(fromClient, kTcpRst | kTcpAck, {}));
}

Bytes HttpRequest(Rng& rng, std::string_view hostName) {
    std::string text = rng.Chance(4, 5) ? "GET " : "POST ";
    text += rng.Pick(kPaths);
    if (rng.Chance(2, 3)) {
        text += "?id=" + std::to_string(rng.Below(100000));
        text += "&sort=";
        text += rng.Pick(kWords);
        text += "&q=a%20b%3Cc%3E&lang=en";
    }
    text += " HTTP/1.1\r\nHost: ";
    text += hostName;
    text += "\r\nAccept: text/html,application/xml;q=0.9,*/*;q=0.8\r\n";
    text += "User-Agent: synthetic-client/2.0\r\n";
    text += "Cookie: sid=" + std::to_string(rng.Next32()) + "; theme=\"dark\"\r\n";
    if (text.starts_with("POST")) {
        const std::string body = "name=" + std::string(rng.Pick(kWords)) + "&count=%d&fmt=%s";
        text += "Content-Type: application/x-www-form-urlencoded\r\n";
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    } else {
        text += "\r\n";
    }
    Bytes out;
    AppendText(out, text);
    return out;
}

Bytes HttpReply(Rng& rng) {
    const bool binary = rng.Chance(1, 5);
    const size_t bodyLen = binary ? rng.Range(300, 9000) : rng.Range(120, 6000);
    const Bytes body = binary ? RandomPayload(rng, bodyLen) : SpicyText(rng, bodyLen);
    std::string head = rng.Chance(9, 10) ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
    head += "Date: Tue, 05 Mar 2024 10:00:00 GMT\r\n";
    head += binary ? "Content-Type: image/png\r\n" : "Content-Type: text/html; charset=utf-8\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += "Connection: keep-alive\r\n\r\n";
    Bytes out;
    out.reserve(head.size() + body.size());
    AppendText(out, head);
    Append(out, body);
    return out;
}

Bytes SpicyText(Rng& rng, size_t length) {
    std::string text = "<html><body><p class=\"note\">";
    while (text.size() < length) {
        const uint32_t r = rng.Below(10);
        if (r < 6) {
            text += rng.Pick(kWords);
            text += ' ';
        } else if (r < 9) {
            text += rng.Pick(kSpecials);
        } else {
            text += "\r\n";
        }
    }
    text.resize(length);
    Bytes out;
    AppendText(out, text);
    return out;
}

Bytes RandomPayload(Rng& rng, size_t length) {
    Bytes out(length);
    for (size_t i = 0; i < length; i += 8) {
        uint64_t r = rng.Next64();
        for (size_t j = i; j < std::min(length, i + 8); ++j, r >>= 8)
            out[j] = static_cast<uint8_t>(r);
    }
    for (size_t i = 0; i + 2 < length; i += rng.Range(8, 64)) {
        const std::string_view s = rng.Pick(kSpecials);
        std::copy(s.begin(), s.begin() + std::min(s.size(), length - i), out.begin() + i);
    }
    return out;
}

Bytes DnsQuery(uint16_t id, std::string_view name, uint16_t type) {
    Bytes out;
    AppendBe16(out, id);
    AppendBe16(out, 0x0100);  // standard query, recursion desired
    AppendBe16(out, 1);
    AppendBe16(out, 0);
    AppendBe16(out, 0);
    AppendBe16(out, 0);
    size_t start = 0;
    while (start < name.size()) {
        size_t dot = name.find('.', start);
        if (dot == std::string_view::npos) dot = name.size();
        out.push_back(static_cast<uint8_t>(dot - start));
        AppendText(out, name.substr(start, dot - start));
        start = dot + 1;
    }
    out.push_back(0);
    AppendBe16(out, type);
    AppendBe16(out, 1);  // class IN
    return out;
}

Bytes DnsResponse(ByteSpan query, uint16_t type, ByteSpan address) {
    Bytes out(query.begin(), query.end());
    PutBe16(out, 2, address.empty() ? 0x8183 : 0x8180);
    PutBe16(out, 6, address.empty() ? 0 : 1);
    if (!address.empty()) {
        AppendBe16(out, 0xC00C);  // the name of the question
        AppendBe16(out, type);
        AppendBe16(out, 1);
        AppendBe32(out, 300);
        AppendBe16(out, static_cast<uint16_t>(address.size()));
        Append(out, address);
    }
    return out;
}

}  // namespace capture_gen
