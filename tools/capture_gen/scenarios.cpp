#include "tools/capture_gen/scenarios.h"

#include <algorithm>
#include <string>

namespace capture_gen {

namespace {

// Organisationally unique identifiers of common network card makers.
const std::array<uint8_t, 3> kOuis[] = {{0x00, 0x0C, 0x29}, {0x00, 0x50, 0x56}, {0x3C, 0x52, 0x82},
                                        {0xF0, 0x18, 0x98}, {0x00, 0x1B, 0x21}, {0xB8, 0x27, 0xEB},
                                        {0xDC, 0xA6, 0x32}, {0x00, 0x15, 0x5D}};

// First octets of public unicast ranges (nothing private, multicast or reserved).
const uint8_t kPublicFirstOctets[] = {23, 31, 45, 52, 64, 93, 104, 142, 151, 185, 199, 203};

const char* const kDomains[] = {"www.example.com",  "mail.example.net", "cdn.example.org",
                                "api.example.com",  "news.example.net", "files.example.org",
                                "intranet.example", "shop.example.com"};

MacAddress RandomMac(Rng& rng) {
    const auto& oui = rng.Pick(kOuis);
    return {oui[0], oui[1], oui[2], rng.Next8(), rng.Next8(), rng.Next8()};
}

Ipv6Address InterfaceAddress(uint16_t g0, uint16_t g1, uint16_t g2, const MacAddress& mac) {
    // Modified EUI-64 interface identifier from the MAC.
    return MakeIpv6({g0, g1, g2, 0x0000, static_cast<uint16_t>(((mac[0] ^ 0x02) << 8) | mac[1]),
                     static_cast<uint16_t>((mac[2] << 8) | 0xFF),
                     static_cast<uint16_t>(0xFE00 | mac[3]),
                     static_cast<uint16_t>((mac[4] << 8) | mac[5])});
}

ByteSpan Text(std::string_view s) {
    return ByteSpan(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// The standard echo data: an 8-byte time stamp, then the bytes 0x10, 0x11, ...
Bytes PingData(Rng& rng) {
    Bytes data;
    AppendBe32(data, kCaptureStartSec + rng.Below(3600));
    AppendBe32(data, rng.Below(1000000));
    for (uint8_t b = 0x10; b < 0x40; ++b) data.push_back(b);
    return data;
}

}  // namespace

MixNetwork::MixNetwork(Rng& rng)
    : m_pppoeSessionId(static_cast<uint16_t>(rng.Range(1, 0xFFFE))),
      m_pppoeNextPort(static_cast<uint16_t>(rng.Range(32768, 40000))),
      m_echoId(rng.Next16()) {
    m_routerMac = RandomMac(rng);
    m_router = {m_routerMac, {192, 168, 1, 1}, MakeIpv6({0x2001, 0xDB8, 0x100, 0, 0, 0, 0, 1}), 64};
    const size_t clients = 150;
    for (size_t i = 0; i < clients; ++i) {
        Host h;
        h.mac = RandomMac(rng);
        h.ip4 = {192, 168, 1, static_cast<uint8_t>(20 + i)};
        h.ip6 = InterfaceAddress(0x2001, 0xDB8, 0x100, h.mac);
        h.ttl = rng.Chance(2, 3) ? 64 : 128;
        m_clients.push_back(h);
        m_nextPort.push_back(static_cast<uint16_t>(rng.Range(32768, 60999)));
    }
    for (uint8_t i = 0; i < 2; ++i) {
        Host h;
        h.mac = RandomMac(rng);
        h.ip4 = {192, 168, 1, static_cast<uint8_t>(10 + i)};
        h.ip6 = InterfaceAddress(0x2001, 0xDB8, 0x100, h.mac);
        m_localServers.push_back(h);
    }
    for (size_t i = 0; i < 80; ++i) {
        Host h;
        h.mac = m_routerMac;
        h.ip4 = {rng.Pick(kPublicFirstOctets), static_cast<uint8_t>(rng.Below(256)),
                 static_cast<uint8_t>(rng.Below(256)), static_cast<uint8_t>(rng.Range(1, 254))};
        h.ip6 = MakeIpv6({0x2001, 0xDB8, static_cast<uint16_t>(0xF000 | rng.Below(0x1000)), 0, 0, 0,
                          0, static_cast<uint16_t>(rng.Range(1, 0xFFFF))});
        h.ttl = static_cast<uint8_t>((rng.Chance(1, 2) ? 64 : 128) - rng.Range(4, 20));
        m_remoteServers.push_back(h);
    }
    m_accessConcentrator = {RandomMac(rng), {100, 64, 0, 1}, {}, 64};
    m_pppoeSubscriber = {
        RandomMac(rng),
        {100, 64, static_cast<uint8_t>(rng.Below(256)), static_cast<uint8_t>(rng.Range(2, 254))},
        MakeIpv6({0x2001, 0xDB8, 0x200, 0, 0, 0, 0, 2}),
        64};
    m_pppoeRemote = m_remoteServers[0];
    m_pppoeRemote.mac = m_accessConcentrator.mac;
    m_bridgeMac = RandomMac(rng);
}

const Host& MixNetwork::Client(Rng& rng) const {
    return m_clients[rng.Below(static_cast<uint32_t>(m_clients.size()))];
}

const Host& MixNetwork::RemoteServer(Rng& rng) const {
    return m_remoteServers[rng.Below(static_cast<uint32_t>(m_remoteServers.size()))];
}

uint16_t MixNetwork::NextPort(size_t clientIndex) {
    uint16_t& next = m_nextPort[clientIndex];
    const uint16_t port = next;
    next = next >= 65530 ? 32768 : static_cast<uint16_t>(next + 1 + (next % 3));
    return port;
}

Script MixNetwork::NextScenario(Rng& rng) {
    // Weights per scenario start; TCP sessions are long, so they dominate the frames.
    const uint32_t r = rng.Below(100);
    if (r < 38) return HttpSession(rng, Family::V4);
    if (r < 50) return DnsLookup(rng, Family::V4);
    if (r < 55) return IcmpEcho(rng);
    if (r < 56) return IcmpUnreachable(rng);
    if (r < 62) return ArpResolution(rng);
    if (r < 63) return RarpExchange(rng);
    if (r < 66) return HttpSession(rng, Family::V6);
    if (r < 69) return DnsLookup(rng, Family::V6);
    if (r < 71) return Icmpv6Exchange(rng);
    if (r < 74) return FragmentedDatagram(rng);
    if (r < 75) return IgmpReport(rng);
    if (r < 76) return UdpWithOptions(rng);
    if (r < 80) return PppoeTraffic(rng);
    if (r < 81) return PppoeDiscoveryExchange(rng);
    if (r < 85) return VlanTraffic(rng);
    if (r < 87) return SpanningTree(rng);
    if (r < 93) return RandomUdp(rng);
    return TruncatedFrames(rng);
}

Script MixNetwork::HttpSession(Rng& rng, Family family) {
    const size_t ci = rng.Below(static_cast<uint32_t>(m_clients.size()));
    const bool local = rng.Chance(1, 5);
    const Host& server = local ? m_localServers[rng.Below(2)] : RemoteServer(rng);
    Conversation conv(m_clients[ci], server, family, {}, rng);
    const uint16_t serverPort = rng.Chance(4, 5) ? 80 : (rng.Chance(1, 2) ? 8080 : 8000);
    TcpFlow tcp(conv, NextPort(ci), serverPort, rng);
    const size_t mss = family == Family::V4 ? 1460 : 1440;
    Script out;
    tcp.Handshake(out);
    const uint32_t exchanges = rng.Chance(3, 4) ? 1 : rng.Range(2, 3);
    const std::string_view host = rng.Pick(kDomains);
    for (uint32_t i = 0; i < exchanges; ++i) {
        tcp.Send(out, true, HttpRequest(rng, host), mss);
        tcp.Send(out, false, HttpReply(rng), mss);
    }
    const uint32_t end = rng.Below(20);
    if (end == 0) {
        tcp.Reset(out, rng.Chance(1, 2));
    } else {
        tcp.Close(out, end < 12);
    }
    return out;
}

Script MixNetwork::DnsLookup(Rng& rng, Family family) {
    const size_t ci = rng.Below(static_cast<uint32_t>(m_clients.size()));
    Conversation conv(m_clients[ci], m_router, family, {}, rng);
    const uint16_t port = NextPort(ci);
    const uint16_t type = family == Family::V6 || rng.Chance(1, 4) ? 28 : 1;
    const Bytes query = DnsQuery(rng.Next16(), rng.Pick(kDomains), type);
    Bytes address;
    if (!rng.Chance(1, 10)) {
        const Host& target = RemoteServer(rng);
        if (type == 1) {
            address.assign(target.ip4.begin(), target.ip4.end());
        } else {
            address.assign(target.ip6.begin(), target.ip6.end());
        }
    }
    Script out;
    out.push_back(conv.Frame(true, kIpProtoUdp, conv.Udp(true, port, 53, query)));
    const Bytes reply = DnsResponse(query, type, address);
    out.push_back(conv.Frame(false, kIpProtoUdp, conv.Udp(false, 53, port, reply)));
    return out;
}

Script MixNetwork::IcmpEcho(Rng& rng) {
    Conversation conv(Client(rng), RemoteServer(rng), Family::V4, {}, rng);
    const uint16_t id = m_echoId++;
    Script out;
    const uint32_t pings = rng.Range(1, 4);
    for (uint16_t seq = 1; seq <= pings; ++seq) {
        const Bytes body = EchoBody(id, seq, PingData(rng));
        out.push_back(conv.Frame(true, kIpProtoIcmp, conv.Icmp(true, 8, 0, body)));
        if (!rng.Chance(1, 8)) {
            out.push_back(conv.Frame(false, kIpProtoIcmp, conv.Icmp(false, 0, 0, body)));
        }
    }
    return out;
}

Script MixNetwork::IcmpUnreachable(Rng& rng) {
    // A datagram to a closed port and the router's answer quoting its header.
    const Host& client = Client(rng);
    Conversation conv(client, m_router, Family::V4, {}, rng);
    const Bytes udp = conv.Udp(true, static_cast<uint16_t>(rng.Range(32768, 60999)),
                               static_cast<uint16_t>(rng.Range(33434, 33534)), PingData(rng));
    const Bytes original = Ipv4Datagram(conv.Ipv4For(true, kIpProtoUdp), udp);
    Script out;
    out.push_back({FrameClass::Udp4, conv.LinkFrame(true, kEtherTypeIpv4, original), 0});
    Bytes body = {0, 0, 0, 0};
    body.insert(body.end(), original.begin(), original.begin() + 28);
    out.push_back(conv.Frame(false, kIpProtoIcmp, conv.Icmp(false, 3, 3, body)));
    return out;
}

Script MixNetwork::Icmpv6Exchange(Rng& rng) {
    Script out;
    if (rng.Chance(1, 5)) {
        // MLDv2 report: a hop-by-hop options header (next header 0) with
        // Router Alert comes before the ICMPv6 message.
        Host client = Client(rng);
        client.ip6 = InterfaceAddress(0xFE80, 0, 0, client.mac);
        client.ttl = 1;
        Host routers;
        routers.ip6 = MakeIpv6({0xFF02, 0, 0, 0, 0, 0, 0, 0x16});
        routers.mac = {0x33, 0x33, 0x00, 0x00, 0x00, 0x16};
        Conversation conv(client, routers, Family::V6, {}, rng);
        Bytes body = {0, 0, 0, 1, 4, 0, 0, 0};  // one record: change to exclude, no sources
        Append(body, MakeIpv6({0xFF02, 0, 0, 0, 0, 0, 0, 0xFB}));
        Bytes payload = {kIpProtoIcmpv6, 0, 0x05, 0x02, 0x00, 0x00, 0x01, 0x00};
        Append(payload, conv.Icmp(true, 143, 0, body));
        Ipv6Header h;
        h.src = client.ip6;
        h.dst = routers.ip6;
        h.nextHeader = 0;
        h.hopLimit = 1;
        out.push_back(
            {FrameClass::Icmp6, conv.LinkFrame(true, kEtherTypeIpv6, Ipv6Packet(h, payload)), 0});
        return out;
    }
    if (rng.Chance(1, 3)) {
        // Neighbour solicitation to the solicited-node multicast group.
        Host client = Client(rng);
        const Host& target = m_clients[rng.Below(static_cast<uint32_t>(m_clients.size()))];
        Host group;
        group.ip6 = MakeIpv6({0xFF02, 0, 0, 0, 0, 1, static_cast<uint16_t>(0xFF00 | target.ip6[13]),
                              static_cast<uint16_t>((target.ip6[14] << 8) | target.ip6[15])});
        group.mac = {0x33, 0x33, 0xFF, target.ip6[13], target.ip6[14], target.ip6[15]};
        client.ttl = 255;
        Conversation conv(client, group, Family::V6, {}, rng);
        Bytes body = {0, 0, 0, 0};
        Append(body, target.ip6);
        Append(body, Bytes{1, 1});  // source link-layer address option
        Append(body, client.mac);
        out.push_back(conv.Frame(true, kIpProtoIcmpv6, conv.Icmp(true, 135, 0, body)));
        return out;
    }
    Conversation conv(Client(rng), RemoteServer(rng), Family::V6, {}, rng);
    const uint16_t id = m_echoId++;
    const uint32_t pings = rng.Range(1, 3);
    for (uint16_t seq = 1; seq <= pings; ++seq) {
        const Bytes body = EchoBody(id, seq, PingData(rng));
        out.push_back(conv.Frame(true, kIpProtoIcmpv6, conv.Icmp(true, 128, 0, body)));
        out.push_back(conv.Frame(false, kIpProtoIcmpv6, conv.Icmp(false, 129, 0, body)));
    }
    return out;
}

Script MixNetwork::ArpResolution(Rng& rng) {
    const Host& asker = Client(rng);
    const Host& target = rng.Chance(1, 2) ? m_router : Client(rng);
    Script out;
    Bytes request = EthernetFrame(kBroadcastMac, asker.mac, kEtherTypeArp,
                                  ArpMessage(1, asker.mac, asker.ip4, {}, target.ip4));
    PadFrame(request);
    out.push_back({FrameClass::Arp, std::move(request), 0});
    if (target.ip4 != asker.ip4) {
        Bytes reply = EthernetFrame(asker.mac, target.mac, kEtherTypeArp,
                                    ArpMessage(2, target.mac, target.ip4, asker.mac, asker.ip4));
        PadFrame(reply);
        out.push_back({FrameClass::Arp, std::move(reply), 0});
    }
    return out;
}

Script MixNetwork::RarpExchange(Rng& rng) {
    const Host& client = Client(rng);
    Script out;
    Bytes request = EthernetFrame(kBroadcastMac, client.mac, kEtherTypeRarp,
                                  ArpMessage(3, client.mac, {}, client.mac, {}));
    PadFrame(request);
    out.push_back({FrameClass::Rarp, std::move(request), 0});
    const Host& server = m_localServers[1];
    Bytes reply = EthernetFrame(client.mac, server.mac, kEtherTypeRarp,
                                ArpMessage(4, server.mac, server.ip4, client.mac, client.ip4));
    PadFrame(reply);
    out.push_back({FrameClass::Rarp, std::move(reply), 0});
    return out;
}

Script MixNetwork::FragmentedDatagram(Rng& rng) {
    // A UDP datagram or an echo request too large for one 1500-byte frame.
    Conversation conv(Client(rng), RemoteServer(rng), Family::V4, {}, rng);
    const bool udp = rng.Chance(2, 3);
    const size_t size = rng.Range(1600, 4400);
    const Bytes message =
        udp ? conv.Udp(true, static_cast<uint16_t>(rng.Range(32768, 60999)), 5001,
                       RandomPayload(rng, size))
            : conv.Icmp(true, 8, 0, EchoBody(m_echoId++, 1, RandomPayload(rng, size)));
    const Ipv4Header h = conv.Ipv4For(true, udp ? kIpProtoUdp : kIpProtoIcmp);
    Script out;
    for (Bytes& fragment : Ipv4Fragments(h, message, 1480)) {
        Bytes frame = conv.LinkFrame(true, kEtherTypeIpv4, fragment);
        out.push_back({FrameClass::Ipv4Fragment, std::move(frame), 0});
    }
    return out;
}

Script MixNetwork::IgmpReport(Rng& rng) {
    // IGMPv2 membership report: TTL 1 and the Router Alert option make IHL 6.
    Host client = Client(rng);
    client.ttl = 1;
    Host group;
    group.ip4 = {239, 255, static_cast<uint8_t>(rng.Below(256)),
                 static_cast<uint8_t>(rng.Range(1, 250))};
    group.mac = {0x01,         0x00,        0x5E, static_cast<uint8_t>(group.ip4[1] & 0x7F),
                 group.ip4[2], group.ip4[3]};
    Conversation conv(client, group, Family::V4, {}, rng);
    Ipv4Header h = conv.Ipv4For(true, kIpProtoIgmp);
    h.options = {0x94, 0x04, 0x00, 0x00};
    Bytes igmp = {0x16, 0x00, 0x00, 0x00};
    Append(igmp, group.ip4);
    PutBe16(igmp, 2, InternetChecksum(igmp));
    Script out;
    out.push_back(
        {FrameClass::Igmp4, conv.LinkFrame(true, kEtherTypeIpv4, Ipv4Datagram(h, igmp)), 0});
    return out;
}

Script MixNetwork::UdpWithOptions(Rng& rng) {
    // A UDP datagram whose IPv4 header carries four option bytes (IHL 6).
    Conversation conv(Client(rng), RemoteServer(rng), Family::V4, {}, rng);
    Ipv4Header h = conv.Ipv4For(true, kIpProtoUdp);
    h.options = rng.Chance(1, 2) ? Bytes{0x94, 0x04, 0x00, 0x00} : Bytes{0x01, 0x01, 0x01, 0x00};
    const Bytes udp = conv.Udp(true, static_cast<uint16_t>(rng.Range(32768, 60999)), 9999,
                               SpicyText(rng, rng.Range(10, 200)));
    Script out;
    out.push_back(
        {FrameClass::Udp4, conv.LinkFrame(true, kEtherTypeIpv4, Ipv4Datagram(h, udp)), 0});
    return out;
}

Script MixNetwork::PppoeTraffic(Rng& rng) {
    Link link{Link::Pppoe, 0, m_pppoeSessionId};
    Conversation conv(m_pppoeSubscriber, m_pppoeRemote, Family::V4, link, rng);
    Script out;
    const uint32_t what = rng.Below(5);
    if (what == 0) {
        // LCP echo request and reply keep the PPP link alive.
        for (uint8_t code = 9; code <= 10; ++code) {
            const bool fromSubscriber = code == 9;
            Bytes lcp = {code, static_cast<uint8_t>(rng.Next8()), 0x00, 0x08};
            AppendBe32(lcp, rng.Next32());  // magic number
            Bytes frame =
                EthernetFrame(fromSubscriber ? m_accessConcentrator.mac : m_pppoeSubscriber.mac,
                              fromSubscriber ? m_pppoeSubscriber.mac : m_accessConcentrator.mac,
                              kEtherTypePppoeSession, PppoeSession(m_pppoeSessionId, kPppLcp, lcp));
            PadFrame(frame);
            out.push_back({FrameClass::PppoeSession, std::move(frame), 0});
        }
    } else if (what == 1) {
        Conversation conv6(m_pppoeSubscriber, m_pppoeRemote, Family::V6, link, rng);
        const Bytes body = EchoBody(m_echoId++, 1, PingData(rng));
        out.push_back(conv6.Frame(true, kIpProtoIcmpv6, conv6.Icmp(true, 128, 0, body)));
        out.push_back(conv6.Frame(false, kIpProtoIcmpv6, conv6.Icmp(false, 129, 0, body)));
    } else if (what == 2) {
        const Bytes body = EchoBody(m_echoId++, 1, PingData(rng));
        out.push_back(conv.Frame(true, kIpProtoIcmp, conv.Icmp(true, 8, 0, body)));
        out.push_back(conv.Frame(false, kIpProtoIcmp, conv.Icmp(false, 0, 0, body)));
    } else {
        // Ports count up so that no two sessions share their endpoints.
        m_pppoeNextPort =
            static_cast<uint16_t>(m_pppoeNextPort >= 65535 ? 32768 : m_pppoeNextPort + 1);
        TcpFlow tcp(conv, m_pppoeNextPort, 80, rng);
        tcp.Handshake(out);
        tcp.Send(out, true, HttpRequest(rng, rng.Pick(kDomains)), 1452);
        tcp.Send(out, false, HttpReply(rng), 1452);
        tcp.Close(out, false);
    }
    return out;
}

Script MixNetwork::PppoeDiscoveryExchange(Rng& rng) {
    // PADI (broadcast), PADO, PADR, PADS.
    const MacAddress& host = m_pppoeSubscriber.mac;
    const MacAddress& ac = m_accessConcentrator.mac;
    Bytes hostUniq;
    AppendBe32(hostUniq, rng.Next32());
    Bytes cookie = RandomPayload(rng, 16);
    Bytes request;
    AppendPppoeTag(request, 0x0101, {});
    AppendPppoeTag(request, 0x0103, hostUniq);
    Bytes offer = request;
    AppendPppoeTag(offer, 0x0102, Text("access-1"));
    AppendPppoeTag(offer, 0x0104, cookie);
    Bytes withCookie = request;
    AppendPppoeTag(withCookie, 0x0104, cookie);
    const struct {
        uint8_t code;
        bool fromHost;
        const Bytes& tags;
        uint16_t session;
    } steps[] = {{0x09, true, request, 0},
                 {0x07, false, offer, 0},
                 {0x19, true, withCookie, 0},
                 {0x65, false, request, m_pppoeSessionId}};
    Script out;
    for (const auto& s : steps) {
        const MacAddress& dst = s.code == 0x09 ? kBroadcastMac : (s.fromHost ? ac : host);
        Bytes frame = EthernetFrame(dst, s.fromHost ? host : ac, kEtherTypePppoeDiscovery,
                                    PppoeDiscovery(s.code, s.session, s.tags));
        PadFrame(frame);
        out.push_back({FrameClass::PppoeDiscovery, std::move(frame), 0});
    }
    return out;
}

Script MixNetwork::VlanTraffic(Rng& rng) {
    const uint16_t vlanIds[] = {10, 20, 100, 4001};
    Link link{Link::Vlan, static_cast<uint16_t>((rng.Below(8) << 13) | rng.Pick(vlanIds)), 0};
    const Host& client = Client(rng);
    const Host& collector = m_localServers[0];
    Conversation conv(client, collector, Family::V4, link, rng);
    Script out;
    if (rng.Chance(1, 4)) {
        Bytes arp = conv.LinkFrame(true, kEtherTypeArp,
                                   ArpMessage(1, client.mac, client.ip4, {}, collector.ip4));
        std::copy(kBroadcastMac.begin(), kBroadcastMac.end(), arp.begin());
        out.push_back({FrameClass::Vlan, std::move(arp), 0});
        return out;
    }
    // Syslog lines: "<PRI>" followed by text with format characters.
    const uint32_t lines = rng.Range(1, 3);
    for (uint32_t i = 0; i < lines; ++i) {
        std::string msg = "<";
        msg += std::to_string(rng.Range(0, 191));
        msg += ">Mar  5 10:00:00 host app[";
        msg += std::to_string(rng.Range(100, 30000)) + "]: ";
        Bytes payload(msg.begin(), msg.end());
        Append(payload, SpicyText(rng, rng.Range(20, 300)));
        out.push_back(conv.Frame(true, kIpProtoUdp, conv.Udp(true, 514, 514, payload)));
    }
    return out;
}

Script MixNetwork::SpanningTree(Rng& rng) {
    // An 802.3 frame with LLC (DSAP 0x42, SSAP 0x42, UI) carrying a 35-byte
    // configuration BPDU: its length field reads 0x0026.
    const MacAddress stpGroup = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x00};
    Bytes llc = {0x42, 0x42, 0x03, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00};
    Append(llc, m_bridgeMac);
    AppendBe32(llc, 0);  // root path cost
    Append(llc, Bytes{0x80, 0x00});
    Append(llc, m_bridgeMac);
    AppendBe16(llc, static_cast<uint16_t>(0x8000 | rng.Range(1, 24)));  // port id
    AppendBe16(llc, 0);                                                 // message age
    AppendBe16(llc, 20 * 256);                                          // max age
    AppendBe16(llc, 2 * 256);                                           // hello time
    AppendBe16(llc, 15 * 256);                                          // forward delay
    MacAddress portMac = m_bridgeMac;
    portMac[5] = static_cast<uint8_t>(portMac[5] + 1);
    Bytes frame = Ieee8023Frame(stpGroup, portMac, llc);
    PadFrame(frame);
    Script out;
    out.push_back({FrameClass::Ieee8023, std::move(frame), 0});
    return out;
}

Script MixNetwork::RandomUdp(Rng& rng) {
    // A game-like flow of binary datagrams in both directions.
    const size_t ci = rng.Below(static_cast<uint32_t>(m_clients.size()));
    Conversation conv(m_clients[ci], RemoteServer(rng), Family::V4, {}, rng);
    const uint16_t port = NextPort(ci);
    const uint16_t serverPort = static_cast<uint16_t>(rng.Range(27000, 27100));
    Script out;
    const uint32_t n = rng.Range(2, 12);
    for (uint32_t i = 0; i < n; ++i) {
        const bool up = rng.Chance(1, 2);
        const Bytes payload = RandomPayload(rng, rng.Range(1, 1200));
        out.push_back(
            conv.Frame(up, kIpProtoUdp,
                       conv.Udp(up, up ? port : serverPort, up ? serverPort : port, payload)));
    }
    return out;
}

Script MixNetwork::TruncatedFrames(Rng& rng) {
    // A frame captured with too small a snapshot length: the headers claim
    // more bytes than were captured; some are cut inside the Ethernet header.
    Script source;
    const uint32_t what = rng.Below(4);
    if (what == 0) {
        source = DnsLookup(rng, Family::V4);
    } else if (what == 1) {
        source = ArpResolution(rng);
    } else if (what == 2) {
        source = DnsLookup(rng, Family::V6);
    } else {
        const size_t ci = rng.Below(static_cast<uint32_t>(m_clients.size()));
        Conversation conv(m_clients[ci], RemoteServer(rng), Family::V4, {}, rng);
        TcpFlow tcp(conv, NextPort(ci), 80, rng);
        tcp.Send(source, false, HttpReply(rng), 1460);
    }
    PendingFrame f = std::move(source[rng.Below(static_cast<uint32_t>(source.size()))]);
    const size_t full = f.data.size();
    const size_t cut =
        rng.Chance(1, 3) ? rng.Range(1, 13) : rng.Range(14, static_cast<uint32_t>(full - 1));
    f.origLen = static_cast<uint32_t>(full);
    f.data.resize(cut);
    f.frameClass = FrameClass::Truncated;
    Script out;
    out.push_back(std::move(f));
    return out;
}

}  // namespace capture_gen
