#include "sessions/decode_logic.h"

#include <gtest/gtest.h>

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
    // The reply (sum 5) sorts before the request (sum 10).
    ASSERT_EQ(f.logic.StreamPackets().size(), 2u);
    EXPECT_EQ(f.logic.StreamPackets()[0], f.logic.Table().AllPackets()[2].get());
    EXPECT_EQ(f.view.stream[8], (StyledRun{"two\r\n", SecondSideColour, false}));
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
    EXPECT_EQ(f.view.stream[8].text, "74776F\r\n");
    f.logic.OnHeaderStyle(3);
    EXPECT_EQ(f.view.stream, (std::vector<StyledRun>{{"74776F\r\n", SecondSideColour, false},
                                                     {"6F6E65\r\n", FirstSideColour, false}}));
    f.logic.OnHeaderStyle(0);
    f.logic.OnDataFormat(0);
    EXPECT_EQ(f.view.stream, ascii);
    EXPECT_EQ(f.view.selectedRow, 0);
    f.logic.OnSessionSelected(5);  // no such row: nothing changes
    EXPECT_EQ(f.view.stream, ascii);
}

}  // namespace
