#include "sessions/session_table.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/tcp.h"
#include "sessions/tcp_packet.h"
#include "tests/sessions/packet_builder.h"

namespace {

using namespace test_packets;

const HostAddress kA{10, 0, 0, 5};
const HostAddress kB{192, 168, 1, 1};
const HostAddress kC{172, 16, 0, 9};
// 2001:db8::5, 2001:db8:0:1::1 and ::ffff:10.0.0.5 (kA mapped into IPv6).
const HostAddress kA6{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
const HostAddress kB6{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
const HostAddress kMappedA{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 0, 0, 5};

PacketRef Seg(HostAddress src, uint16_t sport, HostAddress dst, uint16_t dport) {
    Tcp t;
    t.src = src;
    t.dst = dst;
    t.sport = sport;
    t.dport = dport;
    return TcpPacket(t);
}

std::vector<std::string> Rows(const CSessionTable& table, int host) {
    std::vector<std::string> rows;
    for (const TcpSession& s : table.ListSessions(host))
        rows.push_back(table.SessionRowText(host, s));
    return rows;
}

TEST(SessionMembership, EitherDirectionOfTheSameEndpointsIsOneSession) {
    const auto out = Seg(kA, 1042, kB, 80);
    const auto back = Seg(kB, 80, kA, 1042);
    EXPECT_EQ(IsSameSession(out.get(), out.get()), 1);
    EXPECT_EQ(IsSameSession(out.get(), back.get()), 1);
    EXPECT_EQ(IsSameSession(out.get(), Seg(kA, 1043, kB, 80).get()), 0);
    EXPECT_EQ(IsSameSession(out.get(), Seg(kA, 80, kB, 1042).get()),
              0);  // ports swapped, addresses not
    EXPECT_EQ(IsSameSession(out.get(), Seg(kC, 1042, kB, 80).get()), 0);
    EXPECT_EQ(IsSameSession(out.get(), UdpPacket(kA, kB, 1042, 80).get()), -1);
    EXPECT_EQ(IsSameSession(nullptr, out.get()), -1);
}

TEST(SessionMembership, TcpOverIpv6FormsSessionsThatNeverMixWithIpv4) {
    const auto out = Seg(kA6, 1042, kB6, 80);
    EXPECT_EQ(IsSameSession(out.get(), Seg(kB6, 80, kA6, 1042).get()), 1);
    EXPECT_EQ(IsSameSession(out.get(), Seg(kA6, 1043, kB6, 80).get()), 0);
    EXPECT_EQ(IsSameSession(out.get(), Seg(kA, 1042, kB, 80).get()), 0);
    // An IPv4-mapped address is not its IPv4 address.
    EXPECT_EQ(IsSameSession(Seg(kMappedA, 1, kMappedA, 2).get(), Seg(kA, 1, kA, 2).get()), 0);
    // TCP after an extension header is the same conversation, and its data
    // begins after both headers: the payload length counts the extension.
    Tcp t;
    t.src = kA6;
    t.dst = kB6;
    t.payload = "hello";
    const auto hopByHop = Ipv6HopByHopTcpPacket(t);
    EXPECT_EQ(IsSameSession(hopByHop.get(), out.get()), 1);
    const auto view = AsTcpPacket(hopByHop.get());
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->Data().length, 5u);
    EXPECT_EQ(view->Data().missing, 0u);
}

TEST(HostAddressText, DottedIpv4AndCompressedIpv6) {
    EXPECT_EQ(kA.Text(), "10.0.0.5");
    EXPECT_EQ(kA6.Text(), "2001:db8::5");
    EXPECT_EQ(kB6.Text(), "2001:db8:0:1::1");  // a lone zero group is not compressed
    EXPECT_EQ(kMappedA.Text(), "::ffff:10.0.0.5");
    EXPECT_EQ(kLinkLocal1.Text(), "fe80::1");
    EXPECT_EQ((HostAddress{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}).Text(), "::1");
    EXPECT_EQ((HostAddress{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}).Text(),
              "2001:db8::1:0:0:1");  // the first of two equal zero runs
    EXPECT_FALSE(kA.IsIpv6());
    EXPECT_TRUE(kA6.IsIpv6());
    EXPECT_NE(kMappedA, kA);
}

TEST(SessionMembership, FindSessionReportsTheFirstNonZeroResult) {
    const auto p = Seg(kB, 80, kA, 1042);
    const auto other = Seg(kC, 1, kA, 2);
    std::vector<TcpSession> list;
    EXPECT_EQ(FindSession(p.get(), &list), 0);
    EXPECT_EQ(FindSession(p.get(), nullptr), -1);
    EXPECT_EQ(FindSession(nullptr, &list), -1);
    list.push_back({other.get(), 0});
    EXPECT_EQ(FindSession(p.get(), &list), 0);
    const auto rep = Seg(kA, 1042, kB, 80);
    list.push_back({rep.get(), 1});
    EXPECT_EQ(FindSession(p.get(), &list), 1);
    EXPECT_EQ(FindSession(UdpPacket(kA, kB, 1, 2).get(), &list), -1);
}

TEST(HostList, AddressesInFirstAppearanceSourceBeforeDestination) {
    CHostList hosts;
    hosts.CollectHosts(UdpPacket(kC, kC, 1, 2).get());
    hosts.CollectHosts(ArpPacket(kC, kA).get());
    EXPECT_TRUE(hosts.Hosts().empty());
    hosts.CollectHosts(Seg(kB, 80, kA, 1042).get());
    hosts.CollectHosts(Seg(kA, 1042, kB, 80).get());
    hosts.CollectHosts(Seg(kC, 5, kC, 6).get());  // equal and new: listed once
    hosts.CollectHosts(Seg(kA, 7, kC, 8).get());
    EXPECT_EQ(hosts.Hosts(), (std::vector<HostAddress>{kB, kA, kC}));
    EXPECT_EQ(hosts.IndexOf(kC), 2);
    EXPECT_EQ(hosts.IndexOf({1, 2, 3, 4}), -1);
}

TEST(SessionTable, RowsShowTheHostsOwnPortFirstWhicheverWayTheFirstPacketWent) {
    CSessionTable table({
        Seg(kA, 1042, kB, 80),      // host A sends first
        UdpPacket(kA, kC, 53, 53),  // ignored
        Seg(kB, 80, kA, 1042),      // same session back
        Seg(kC, 443, kA, 2000),     // host A receives first
        Seg(kA, 1042, kB, 80),      // a second connection on the same endpoints
        Seg(kA, 3000, kB, 22),
    });
    ASSERT_EQ(table.Hosts(), (std::vector<HostAddress>{kA, kB, kC}));
    EXPECT_EQ(table.SessionCount(), 3u);
    EXPECT_EQ(Rows(table, 0),
              (std::vector<std::string>{"1042 -> 192.168.1.1[80]", "2000 -> 172.16.0.9[443]",
                                        "3000 -> 192.168.1.1[22]"}));
    // The same sessions under the peer start with the peer's own port.
    EXPECT_EQ(Rows(table, 1),
              (std::vector<std::string>{"80 -> 10.0.0.5[1042]", "22 -> 10.0.0.5[3000]"}));
    EXPECT_EQ(Rows(table, 2), (std::vector<std::string>{"443 -> 10.0.0.5[2000]"}));
    EXPECT_TRUE(table.ListSessions(3).empty());
    EXPECT_TRUE(table.ListSessions(-1).empty());

    const auto sessions = table.ListSessions(0);
    EXPECT_EQ(sessions[0].packet, table.AllPackets()[0].get());  // the first packet represents
    EXPECT_EQ(sessions[1].packet, table.AllPackets()[3].get());
    const auto& all = table.AllPackets();
    EXPECT_EQ(table.SessionPackets(sessions[0]),
              (std::vector<const CProtocolLayer*>{all[0].get(), all[2].get(), all[4].get()}));
}

TEST(SessionTable, PacketsMapToTheirSessionAndRow) {
    CSessionTable table(
        {Seg(kA, 1, kB, 2), ArpPacket(kA, kB), Seg(kC, 3, kB, 4), Seg(kB, 4, kC, 3)});
    EXPECT_FALSE(table.SessionOfPacket(1).has_value());
    EXPECT_FALSE(table.SessionOfPacket(4).has_value());
    const auto s = table.SessionOfPacket(3);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->packet, table.AllPackets()[2].get());
    const int b = table.HostIndex(kB);
    const int c = table.HostIndex(kC);
    EXPECT_EQ(table.RowOfSession(b, *s), 1);
    EXPECT_EQ(table.RowOfSession(c, *s), 0);
    EXPECT_EQ(table.RowOfSession(table.HostIndex(kA), *s), -1);
}

TEST(HostList, BothFamiliesInFirstSeenOrder) {
    CHostList hosts;
    hosts.CollectHosts(Seg(kB6, 80, kA6, 1042).get());
    hosts.CollectHosts(Seg(kA, 1042, kB, 80).get());
    hosts.CollectHosts(Seg(kMappedA, 1, kA6, 2).get());
    hosts.CollectHosts(Ipv6TcpPacket(1, 2).get());
    EXPECT_EQ(hosts.Hosts(),
              (std::vector<HostAddress>{kB6, kA6, kA, kB, kMappedA, kLinkLocal1, kLinkLocal2}));
    EXPECT_EQ(hosts.IndexOf(kMappedA), 4);
    EXPECT_EQ(hosts.IndexOf(HostAddress{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 5}), -1);
}

TEST(SessionTable, Ipv6RowsWriteTheCompressedAddress) {
    CSessionTable table({
        Seg(kA, 1042, kB, 80),
        Seg(kA6, 1042, kB6, 80),  // the same ports over IPv6: another session
        Seg(kB6, 80, kA6, 1042),
        Seg(kB6, 443, kA6, 2000),
    });
    ASSERT_EQ(table.Hosts(), (std::vector<HostAddress>{kA, kB, kA6, kB6}));
    EXPECT_EQ(table.SessionCount(), 3u);
    EXPECT_EQ(Rows(table, 0), (std::vector<std::string>{"1042 -> 192.168.1.1[80]"}));
    EXPECT_EQ(Rows(table, 2), (std::vector<std::string>{"1042 -> 2001:db8:0:1::1[80]",
                                                        "2000 -> 2001:db8:0:1::1[443]"}));
    EXPECT_EQ(Rows(table, 3),
              (std::vector<std::string>{"80 -> 2001:db8::5[1042]", "443 -> 2001:db8::5[2000]"}));
    const auto sessions = table.ListSessions(2);
    EXPECT_EQ(table.SessionPacketCount(sessions[0]), 2u);
    EXPECT_EQ(table.SessionPackets(sessions[0]),
              (std::vector<const CProtocolLayer*>{table.AllPackets()[1].get(),
                                                  table.AllPackets()[2].get()}));
    EXPECT_EQ(table.SessionPacketCount(sessions[1]), 1u);
    EXPECT_EQ(table.SessionPacketCount(TcpSession{nullptr, 99}), 0u);
}

TEST(SessionTable, SelfConnectionIsListedOnceUnderItsHost) {
    CSessionTable table({Seg(kA, 5000, kA, 6000), Seg(kA, 6000, kA, 5000)});
    ASSERT_EQ(table.Hosts().size(), 1u);
    EXPECT_EQ(Rows(table, 0), (std::vector<std::string>{"5000 -> 10.0.0.5[6000]"}));
}

// The operations as first defined: linear scans over plain lists.
namespace reference {

// An address as its family's size and bytes.
using Address = std::vector<unsigned char>;

struct Fields {
    Address src, dst;
    const CTcpLayer* tcp;
};

bool Get(const CProtocolLayer* p, Fields& f) {
    f.tcp = static_cast<const CTcpLayer*>(FindLayer(p, LAYER_TCP));
    if (f.tcp == nullptr) return false;
    if (const auto* ip = static_cast<const CIpv4Layer*>(FindLayer(p, LAYER_IPV4))) {
        f.src.assign(ip->m_srcAddr, ip->m_srcAddr + 4);
        f.dst.assign(ip->m_dstAddr, ip->m_dstAddr + 4);
        return true;
    }
    if (const auto* ip = static_cast<const CIpv6Layer*>(FindLayer(p, LAYER_IPV6))) {
        f.src.assign(ip->m_srcAddr, ip->m_srcAddr + 16);
        f.dst.assign(ip->m_dstAddr, ip->m_dstAddr + 16);
        return true;
    }
    return false;
}

std::string Text(const Address& a) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(a.size() == 4 ? AF_INET : AF_INET6, a.data(), text, sizeof text);
    return text;
}

HostAddress AsHost(const Address& a) {
    return a.size() == 4 ? HostAddress::Ipv4(a.data()) : HostAddress::Ipv6(a.data());
}

int Same(const CProtocolLayer* a, const CProtocolLayer* b) {
    Fields x, y;
    if (!Get(a, x) || !Get(b, y)) return -1;
    if (x.src == y.src && x.tcp->m_nSrcPort == y.tcp->m_nSrcPort && x.dst == y.dst &&
        x.tcp->m_nDstPort == y.tcp->m_nDstPort)
        return 1;
    if (x.src == y.dst && x.tcp->m_nSrcPort == y.tcp->m_nDstPort && x.dst == y.src &&
        x.tcp->m_nDstPort == y.tcp->m_nSrcPort)
        return 1;
    return 0;
}

std::vector<HostAddress> Hosts(const PacketSnapshot& all) {
    std::vector<HostAddress> hosts;
    for (const auto& p : all) {
        Fields f;
        if (!Get(p.get(), f)) continue;
        const HostAddress src = AsHost(f.src);
        const HostAddress dst = AsHost(f.dst);
        bool haveSrc = false, haveDst = false;
        for (const auto& h : hosts) {
            haveSrc |= h == src;
            haveDst |= h == dst;
        }
        if (!haveSrc) hosts.push_back(src);
        if (!haveDst && dst != src) hosts.push_back(dst);
    }
    return hosts;
}

struct Listed {
    std::vector<const CProtocolLayer*> sessions;
    std::vector<std::string> rows;
};

Listed ListSessions(const PacketSnapshot& all, const HostAddress& h) {
    Listed out;
    auto find = [&out](const CProtocolLayer* p) {
        for (const auto* s : out.sessions)
            if (int r = Same(p, s); r != 0) return r;
        return 0;
    };
    char row[128];
    for (const auto& p : all) {
        Fields f;
        if (!Get(p.get(), f)) continue;
        if (AsHost(f.src) == h && find(p.get()) == 0) {
            out.sessions.push_back(p.get());
            std::snprintf(row, sizeof row, "%u -> %s[%u]", f.tcp->m_nSrcPort, Text(f.dst).c_str(),
                          f.tcp->m_nDstPort);
            out.rows.push_back(row);
        }
        if (AsHost(f.dst) == h && find(p.get()) == 0) {
            out.sessions.push_back(p.get());
            std::snprintf(row, sizeof row, "%u -> %s[%u]", f.tcp->m_nDstPort, Text(f.src).c_str(),
                          f.tcp->m_nSrcPort);
            out.rows.push_back(row);
        }
    }
    return out;
}

}  // namespace reference

// Few addresses of both families and few ports, so that sessions recur,
// reverse, and share hosts; some packets are not TCP and some go from a host
// to itself. A packet never mixes the families.
PacketSnapshot RandomCapture(std::mt19937& rng, int count) {
    const HostAddress pool[] = {kA, kB, kC, {10, 0, 0, 6}, {8, 8, 8, 8}, {10, 0, 0, 7}};
    const HostAddress pool6[] = {kA6, kB6, kMappedA, kLinkLocal1};
    const uint16_t ports[] = {80, 1042, 443, 5000};
    auto pick = [&rng](auto& arr) { return arr[rng() % std::size(arr)]; };
    PacketSnapshot out;
    for (int i = 0; i < count; ++i) {
        const unsigned kind = rng() % 10;
        if (kind == 0)
            out.push_back(UdpPacket(pick(pool), pick(pool), pick(ports), pick(ports)));
        else if (kind == 1)
            out.push_back(ArpPacket(pick(pool), pick(pool)));
        else if (kind == 2)
            out.push_back(Seg(pick(pool6), pick(ports), pick(pool6), pick(ports)));
        else
            out.push_back(Seg(pick(pool), pick(ports), pick(pool), pick(ports)));
    }
    return out;
}

TEST(SessionTableProperty, SameListsInTheSameOrderAsTheLinearScans) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 40; ++round) {
        const PacketSnapshot capture = RandomCapture(rng, 50 + round * 10);
        const CSessionTable table(capture);
        const auto hosts = reference::Hosts(capture);
        ASSERT_EQ(table.Hosts(), hosts) << "round " << round;
        for (size_t h = 0; h < hosts.size(); ++h) {
            const auto expected = reference::ListSessions(capture, hosts[h]);
            const auto listed = table.ListSessions(static_cast<int>(h));
            ASSERT_EQ(listed.size(), expected.sessions.size())
                << "round " << round << " host " << h;
            for (size_t j = 0; j < listed.size(); ++j) {
                ASSERT_EQ(listed[j].packet, expected.sessions[j]);
                ASSERT_EQ(table.SessionRowText(static_cast<int>(h), listed[j]), expected.rows[j]);
                std::vector<const CProtocolLayer*> members;
                for (const auto& p : capture)
                    if (reference::Same(p.get(), expected.sessions[j]) == 1)
                        members.push_back(p.get());
                ASSERT_EQ(table.SessionPackets(listed[j]), members);
            }
        }
    }
}

}  // namespace
