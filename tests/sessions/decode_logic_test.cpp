#include "sessions/decode_logic.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/sessions/fake_decode_view.h"
#include "tests/sessions/packet_builder.h"

namespace {

using namespace test_packets;

const HostAddress kA{10, 0, 0, 5};
const HostAddress kB{192, 168, 1, 1};
const HostAddress kC{172, 16, 0, 9};

PacketRef Seg(HostAddress src, uint16_t sport, HostAddress dst, uint16_t dport, uint32_t seq = 0,
              std::string payload = {}) {
    Tcp t;
    t.src = src;
    t.dst = dst;
    t.sport = sport;
    t.dport = dport;
    t.seq = seq;
    t.payload = std::move(payload);
    return TcpPacket(t);
}

// 0: A:1042 -> B:80, 1: UDP from C, 2: B:80 -> A:1042, 3: C:443 -> A:2000,
// 4: UDP from an address in no TCP packet, 5: ARP, 6: A:2000 -> C:443.
PacketSnapshot Capture() {
    return {Seg(kA, 1042, kB, 80, 10, "one"),  UdpPacket(kC, kA, 53, 53),
            Seg(kB, 80, kA, 1042, 5, "two"),   Seg(kC, 443, kA, 2000, 7),
            UdpPacket({9, 9, 9, 9}, kA, 1, 2), ArpPacket(kA, kB),
            Seg(kA, 2000, kC, 443, 1)};
}

struct Fixture {
    explicit Fixture(PacketSnapshot packets = Capture(),
                     std::map<std::string, std::string> names = {})
        : resolver(std::make_shared<FakeResolver>(std::move(names))),
          logic(view, std::move(packets), resolver) {}
    FakeDecodeView view;
    std::shared_ptr<FakeResolver> resolver;
    CDecodeLogic logic;
};

TEST(DecodeWindowStart, FirstHostsFirstSessionIsShown) {
    Fixture f;
    f.logic.Initialise(-1);
    EXPECT_EQ(f.view.TakeLog(),
              (std::vector<std::string>{"host 0 10.0.0.5 0/1",
                                        "host 1 192.168.1.1 0/1",
                                        "host 2 172.16.0.9 0/1",
                                        "current host 0",
                                        "clear rows",
                                        "row 0 1042 -> 192.168.1.1[80] 2",
                                        "row 1 2000 -> 172.16.0.9[443] 2",
                                        "select 0",
                                        "stream clear",
                                        "stream +1",
                                        "repaint",  // Loading...
                                        "upper=Resolving...",
                                        "lower=Resolving...",
                                        "repaint",
                                        "upper=",
                                        "upper+10.0.0.5 : 1042",
                                        "repaint",
                                        "lower=",
                                        "lower+192.168.1.1 : 80",
                                        "repaint",
                                        "caption Reassembled TCP session (2 packets)",
                                        "stream clear",
                                        "stream +20"}));
    EXPECT_EQ(f.logic.CurrentSession(), 0);
    EXPECT_EQ(f.view.upper.runs,
              (std::vector<StyledRun>{{"10.0.0.5 : 1042", FirstSideColour, true}}));
    EXPECT_EQ(f.view.lower.runs,
              (std::vector<StyledRun>{{"192.168.1.1 : 80", SecondSideColour, true}}));
    // Capture order, whatever the sequence numbers say (the reply's are lower).
    ASSERT_EQ(f.logic.StreamPackets().size(), 2u);
    EXPECT_EQ(f.logic.StreamPackets()[0], f.logic.Table().AllPackets()[0].get());
    EXPECT_EQ(f.logic.StreamPackets()[1], f.logic.Table().AllPackets()[2].get());
    EXPECT_EQ(f.view.stream[8], (StyledRun{"one\r\n", FirstSideColour, false}));
    EXPECT_EQ(f.view.stream[18], (StyledRun{"two\r\n", SecondSideColour, false}));
}

TEST(DecodeWindowStart, HostChangeListsThatHostsSessionsAndShowsTheFirst) {
    Fixture f;
    f.logic.Initialise(-1);
    f.view.currentHost = 2;
    f.logic.OnHostChanged();
    EXPECT_EQ(f.view.rows, (std::vector<std::string>{"443 -> 10.0.0.5[2000]"}));
    EXPECT_EQ(f.view.selectedRow, 0);
    EXPECT_EQ(f.view.Text(EndpointBox::Upper), "172.16.0.9 : 443");  // the first packet's source
    EXPECT_EQ(f.view.caption, "Reassembled TCP session (2 packets)");
}

TEST(Preselection, SelectsTheSendersHostAndTheSessionFromEitherSide) {
    {
        Fixture f;
        f.logic.Initialise(6);  // A -> C, the second session of host A
        EXPECT_EQ(f.view.currentHost, 0);
        EXPECT_EQ(f.view.selectedRow, 1);
        EXPECT_EQ(f.logic.CurrentSession(), 1);
        EXPECT_EQ(f.view.Text(EndpointBox::Lower), "10.0.0.5 : 2000");
    }
    {
        Fixture f;
        f.logic.Initialise(2);  // sent by the session's second side, B
        EXPECT_EQ(f.view.currentHost, 1);
        EXPECT_EQ(f.view.rows, (std::vector<std::string>{"80 -> 10.0.0.5[1042]"}));
        EXPECT_EQ(f.view.selectedRow, 0);
        EXPECT_EQ(f.view.Text(EndpointBox::Upper), "10.0.0.5 : 1042");
    }
}

TEST(Preselection, PacketsWithoutTcp) {
    {
        Fixture f;
        f.logic.Initialise(1);  // UDP from C, a TCP host: row 0 stays
        EXPECT_EQ(f.view.currentHost, 2);
        EXPECT_EQ(f.view.selectedRow, 0);
        EXPECT_EQ(f.logic.CurrentSession(), 0);
    }
    {
        Fixture f;
        f.logic.FillHostList();
        EXPECT_EQ(f.logic.PreselectPacket(4), 0);  // its source is in no TCP packet
        EXPECT_EQ(f.view.currentHost, -1);
        EXPECT_TRUE(f.view.rows.empty());
        EXPECT_EQ(f.logic.CurrentSession(), -1);
        EXPECT_TRUE(f.view.stream.empty());
        EXPECT_EQ(f.view.caption, "Decode mode");
        f.logic.OnDataFormat(1);  // nothing to render
        EXPECT_TRUE(f.view.stream.empty());
        EXPECT_FALSE(f.logic.Ascii());
    }
    for (int index : {5, 7, 1000, -2}) {
        Fixture f;
        f.logic.FillHostList();
        f.view.TakeLog();
        EXPECT_EQ(f.logic.PreselectPacket(index), index == 5 ? -1 : 0);  // ARP has no IPv4
        EXPECT_TRUE(f.view.TakeLog().empty()) << index;
    }
}

TEST(Endpoints, ResolvedNamesArriveSourceFirstAndLateAnswersAreDropped) {
    Fixture f(Capture(), {{"10.0.0.5", "alpha.lan"}, {"172.16.0.9", "gamma.lan"}});
    f.view.resolveDns = true;
    f.logic.Initialise(-1);
    ASSERT_EQ(f.view.lookups.size(), 1u);
    EXPECT_EQ(f.view.Text(EndpointBox::Upper), "Resolving...");
    EXPECT_EQ(f.view.Text(EndpointBox::Lower), "Resolving...");
    EXPECT_EQ(f.resolver->calls, 0);       // nothing blocks the window's thread
    EXPECT_EQ(f.view.stream.size(), 20u);  // the stream does not wait for names

    // The user moves on before the first lookup answers.
    f.view.currentHost = 2;
    f.logic.OnHostChanged();
    ASSERT_EQ(f.view.lookups.size(), 2u);
    f.view.lookups[0].Run([&f](EndpointAnswer a) { f.logic.OnEndpointResolved(a); });
    EXPECT_EQ(f.view.Text(EndpointBox::Upper), "Resolving...");

    f.view.TakeLog();
    std::vector<std::string> seen;
    f.view.lookups[1].Run([&](EndpointAnswer a) {
        f.logic.OnEndpointResolved(a);
        seen.push_back(f.view.Text(EndpointBox::Upper) + " / " + f.view.Text(EndpointBox::Lower));
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"gamma.lan : 443 / Resolving...",
                                              "gamma.lan : 443 / alpha.lan : 2000"}));
    EXPECT_EQ(f.view.TakeLog(),
              (std::vector<std::string>{"upper=", "upper+gamma.lan : 443", "repaint",
                                        "lower=", "lower+alpha.lan : 2000"}));

    // Unchecking shows the addresses at once; the pending answers no longer land.
    f.view.resolveDns = false;
    f.logic.OnResolveDns();
    f.view.resolveDns = true;
    f.logic.OnResolveDns();
    const EndpointLookup pending = f.view.lookups.back();
    f.logic.CancelLookups();
    pending.Run([&f](EndpointAnswer a) { f.logic.OnEndpointResolved(a); });
    EXPECT_EQ(f.view.Text(EndpointBox::Upper), "Resolving...");
}

TEST(Endpoints, FailedLookupShowsTheAddress) {
    Fixture f;
    f.view.resolveDns = true;
    f.logic.Initialise(-1);
    f.view.lookups.back().Run([&f](EndpointAnswer a) { f.logic.OnEndpointResolved(a); });
    EXPECT_EQ(f.view.Text(EndpointBox::Upper), "10.0.0.5 : 1042");
    EXPECT_EQ(f.view.Text(EndpointBox::Lower), "192.168.1.1 : 80");
    EXPECT_EQ(f.resolver->calls, 2);
}

TEST(Rerendering, FormatAndStyleChangesRenderTheSameSessionAgain) {
    Fixture f;
    f.logic.Initialise(-1);
    f.view.currentHost = 1;
    f.logic.OnHostChanged();
    f.logic.OnSessionSelected(0);
    const auto ascii = f.view.stream;
    f.logic.OnDataFormat(1);
    ASSERT_EQ(f.view.stream.size(), ascii.size());
    EXPECT_EQ(f.view.stream[0], ascii[0]);  // same numbering
    EXPECT_EQ(f.view.stream[8].text, "6F6E65\r\n");
    f.logic.OnHeaderStyle(3);
    EXPECT_EQ(f.view.stream, (std::vector<StyledRun>{{"6F6E65\r\n", FirstSideColour, false},
                                                     {"74776F\r\n", SecondSideColour, false}}));
    f.logic.OnHeaderStyle(0);
    f.logic.OnDataFormat(0);
    EXPECT_EQ(f.view.stream, ascii);
    EXPECT_EQ(f.view.selectedRow, 0);
    f.logic.OnSessionSelected(5);  // no such row: nothing changes
    EXPECT_EQ(f.view.stream, ascii);
}

// The session's packets from a capture, in capture order: what the stream
// must list, numbered from 0.
std::vector<const CProtocolLayer*> Members(const PacketSnapshot& capture,
                                           const CProtocolLayer* rep) {
    std::vector<const CProtocolLayer*> out;
    for (const auto& p : capture)
        if (IsSameSession(p.get(), rep) == 1) out.push_back(p.get());
    return out;
}

TEST(StreamOrder, CaptureOrderWhateverSequenceAndAcknowledgementNumbersSay) {
    std::mt19937 rng(77);
    // Initial numbers near the top of the sequence space make their sums wrap.
    const uint32_t bases[] = {0u, 1000u, 0xFFFFFF00u, 0x7FFFFFFFu, 0xC0000000u};
    for (int round = 0; round < 100; ++round) {
        PacketSnapshot capture;
        std::map<const CProtocolLayer*, std::string> payloadOf;
        const uint32_t client = bases[rng() % std::size(bases)] + static_cast<uint32_t>(rng() % 50);
        const uint32_t server = bases[rng() % std::size(bases)] + static_cast<uint32_t>(rng() % 50);
        const int n = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) {
            if (rng() % 6 == 0) {
                capture.push_back(UdpPacket(kA, kB, 1042, 80));
                continue;
            }
            const bool fromClient = rng() % 2 == 0;
            Tcp t;
            if (!fromClient) {
                std::swap(t.src, t.dst);
                std::swap(t.sport, t.dport);
            }
            t.seq = (fromClient ? client : server) + static_cast<uint32_t>(rng() % 300);
            t.ack = (fromClient ? server : client) + static_cast<uint32_t>(rng() % 300);
            t.id = static_cast<uint16_t>(rng() % 4);
            t.payload = std::to_string(i);
            capture.push_back(TcpPacket(t));
            payloadOf[capture.back().get()] = t.payload;
        }
        FakeDecodeView view;
        CDecodeLogic logic(view, capture, nullptr);
        logic.Initialise(-1);
        if (logic.Sessions().empty()) continue;
        const auto expected = Members(capture, logic.Sessions()[0].packet);
        ASSERT_EQ(logic.StreamPackets(), expected) << "round " << round;
        // Under "No Header" the payloads alone, each packet's own number.
        logic.OnHeaderStyle(3);
        ASSERT_EQ(view.stream.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(view.stream[i].text, payloadOf[expected[i]] + "\r\n") << "round " << round;
    }
}

const HostAddress kA6{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
const HostAddress kB6{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};

TEST(Ipv6Sessions, HostsRowsEndpointsAndNamesBesideIpv4) {
    // IPv4 first, then IPv6: the hosts in first-seen order, families apart.
    PacketSnapshot capture = {Seg(kA, 1042, kB, 80, 10, "one"), Seg(kA6, 1042, kB6, 80, 3, "six"),
                              Seg(kB6, 80, kA6, 1042, 4, "xis")};
    Fixture f(capture, {{"2001:db8::5", "six.example"}});
    f.logic.Initialise(-1);
    EXPECT_EQ(f.view.hosts, (std::vector<std::string>{"10.0.0.5", "192.168.1.1", "2001:db8::5",
                                                      "2001:db8:0:1::1"}));
    f.view.currentHost = 3;
    f.logic.OnHostChanged();
    EXPECT_EQ(f.view.rows, (std::vector<std::string>{"80 -> 2001:db8::5[1042]"}));
    EXPECT_EQ(f.view.caption, "Reassembled TCP session (2 packets)");
    EXPECT_EQ(f.view.Text(EndpointBox::Upper), "2001:db8::5 : 1042");
    EXPECT_EQ(f.view.Text(EndpointBox::Lower), "2001:db8:0:1::1 : 80");
    EXPECT_EQ(f.view.stream[1], (StyledRun{"Source 2001:db8::5 :1042", BlackColour, true}));
    EXPECT_EQ(f.view.stream[8], (StyledRun{"six\r\n", FirstSideColour, false}));
    EXPECT_EQ(f.view.stream[18], (StyledRun{"xis\r\n", SecondSideColour, false}));

    f.view.resolveDns = true;
    f.logic.OnResolveDns();
    ASSERT_FALSE(f.view.lookups.empty());
    EXPECT_EQ(f.view.lookups.back().first.address, "2001:db8::5");
    f.view.lookups.back().Run([&f](EndpointAnswer a) { f.logic.OnEndpointResolved(a); });
    EXPECT_EQ(f.view.Text(EndpointBox::Upper), "six.example : 1042");
    EXPECT_EQ(f.view.Text(EndpointBox::Lower), "2001:db8:0:1::1 : 80");

    // Preselecting the IPv6 reply selects its source host, 2001:db8:0:1::1.
    Fixture g(capture);
    g.logic.Initialise(2);
    EXPECT_EQ(g.view.currentHost, 3);
    EXPECT_EQ(g.view.selectedRow, 0);
    EXPECT_EQ(g.logic.CurrentSession(), 0);
}

}  // namespace
