#include "sessions/stream_render.h"

#include <gtest/gtest.h>

#include <random>

#include "protocols/ipv4.h"
#include "protocols/tcp.h"
#include "tests/sessions/packet_builder.h"

namespace {

using namespace test_packets;

StyledRun K(std::string t) {
    return {std::move(t), BlackColour, true};
}
StyledRun Num(std::string t) {
    return {std::move(t), NumberColour, true};
}
StyledRun Side1(std::string t) {
    return {std::move(t), FirstSideColour, false};
}
StyledRun Side2(std::string t) {
    return {std::move(t), SecondSideColour, false};
}

std::vector<StyledRun> RunsOf(const PacketRef& packet, const PacketRef& rep, int style, bool ascii,
                              int number = 0) {
    std::vector<StyledRun> out;
    AppendPacketRuns(out, packet.get(), number, rep.get(), *HeaderStyleForItem(style), ascii);
    return out;
}

TEST(StreamText, KeepsPrintablesSpaceAndLineBreaksOnly) {
    const unsigned char bytes[] = {'G',  ' ',  '~',  '\r', '\n', 0x09,
                                   0x00, 0xE9, 0x7F, 0x1F, 0x80, '!'};
    EXPECT_EQ(StreamText(bytes, sizeof bytes), "G ~\r\n......!");
    EXPECT_EQ(StreamText(bytes, 3), "G ~");
    EXPECT_EQ(StreamText(bytes, 0), "");
    EXPECT_EQ(StreamText(bytes, -4), "");
    EXPECT_EQ(StreamText(nullptr, 4), "");
}

TEST(HeaderStyles, FourItemsSetTheThreeSwitches) {
    EXPECT_EQ(HeaderStyleForItem(0), (HeaderStyle{true, true, false}));
    EXPECT_EQ(HeaderStyleForItem(1), (HeaderStyle{true, true, true}));
    EXPECT_EQ(HeaderStyleForItem(2), (HeaderStyle{true, false, false}));
    EXPECT_EQ(HeaderStyleForItem(3), (HeaderStyle{false, false, false}));
    EXPECT_FALSE(HeaderStyleForItem(4).has_value());
    EXPECT_FALSE(HeaderStyleForItem(-1).has_value());
    EXPECT_EQ(SessionCaption(1), "Reassembled TCP session (1 packets)");
    EXPECT_EQ(SessionCaption(1234), "Reassembled TCP session (1234 packets)");
    EXPECT_EQ(LoadingRun(), K("Loading..."));
}

TEST(PacketRuns, FlagsFollowTheNumbersWithOneSpaceAfterEachName) {
    Tcp t;
    t.seq = 4294967295u;
    t.ack = 7;
    t.flags = FIN | ACK;
    const auto fin = TcpPacket(t);
    EXPECT_EQ(RunsOf(fin, fin, 1, true, 12),
              (std::vector<StyledRun>{K("[12] "), K("Source 10.0.0.5 :1042"), K(" (SYN:"),
                                      Num("4294967295"), K(" ACK:"), Num("7"), K(")"),
                                      K(" [ FIN ACK ]"), K("\r\n"), K("\r\n")}));
    t.flags = 0x3F;
    EXPECT_EQ(RunsOf(TcpPacket(t), fin, 1, true)[7], K(" [ FIN SYN RST PSH ACK URG ]"));
    t.flags = 0;
    EXPECT_EQ(RunsOf(TcpPacket(t), fin, 1, true)[7], K(" [ ]"));
}

TEST(PacketRuns, NoHeaderShowsPayloadOnlyAndSegmentsWithoutDataNothing) {
    Tcp t;
    const auto bare = TcpPacket(t);
    EXPECT_TRUE(RunsOf(bare, bare, 3, true).empty());
    EXPECT_TRUE(RunsOf(bare, bare, 3, false).empty());
    t.payload = "hi";
    EXPECT_EQ(RunsOf(TcpPacket(t), bare, 3, true), (std::vector<StyledRun>{Side1("hi\r\n")}));
    EXPECT_EQ(RunsOf(TcpPacket(t), bare, 3, false), (std::vector<StyledRun>{Side1("6869\r\n")}));
}

TEST(PacketRuns, ColourFollowsTheSendingEndpointNotJustTheAddress) {
    Tcp t;
    t.payload = "x";
    const auto first = TcpPacket(t);
    t.sport = 1043;  // same address, other port: not the first side
    EXPECT_EQ(RunsOf(TcpPacket(t), first, 3, true), (std::vector<StyledRun>{Side2("x\r\n")}));
    t.sport = 1042;
    t.src = {10, 0, 0, 6};
    EXPECT_EQ(RunsOf(TcpPacket(t), first, 3, true), (std::vector<StyledRun>{Side2("x\r\n")}));
}

TEST(PacketRuns, AsciiUsesTheDatagramLengthAndHexEveryCapturedByte) {
    // A pure acknowledgement padded to a minimum Ethernet frame.
    Tcp t;
    t.padding = 6;
    const auto ack = TcpPacket(t);
    EXPECT_EQ(RunsOf(ack, ack, 3, true), (std::vector<StyledRun>{Side1("\r\n")}));
    EXPECT_EQ(RunsOf(ack, ack, 3, false), (std::vector<StyledRun>{Side1("000000000000\r\n")}));

    t.padding = 3;
    t.payload = "ab";
    EXPECT_EQ(RunsOf(TcpPacket(t), ack, 3, true), (std::vector<StyledRun>{Side1("ab\r\n")}));
    // A total length below the two headers wraps: the whole payload shows.
    t.totalLenDelta = -41;
    EXPECT_EQ(RunsOf(TcpPacket(t), ack, 3, true), (std::vector<StyledRun>{Side1("ab...\r\n")}));
    // A total length past the capture cannot reach beyond the payload either.
    t.totalLenDelta = 500;
    EXPECT_EQ(RunsOf(TcpPacket(t), ack, 3, true), (std::vector<StyledRun>{Side1("ab...\r\n")}));
    // One byte short of the payload.
    t.totalLenDelta = -1;
    EXPECT_EQ(RunsOf(TcpPacket(t), ack, 3, true), (std::vector<StyledRun>{Side1("a\r\n")}));
}

TEST(PacketRuns, LongPayloadIsNeverCut) {
    Tcp t;
    t.payload = std::string(1460, 'z');
    const auto p = TcpPacket(t);
    EXPECT_EQ(RunsOf(p, p, 3, true)[0].text.size(), 1462u);
    EXPECT_EQ(RunsOf(p, p, 3, false)[0].text.size(), 2922u);
}

// The sort as first defined: n full passes of adjacent exchanges.
void BubbleSort(std::vector<const CProtocolLayer*>& list) {
    const size_t n = list.size();
    for (size_t pass = 0; pass < n; ++pass)
        for (size_t j = 0; j + 1 < n; ++j) {
            const CProtocolLayer* a = list[j];
            const CProtocolLayer* b = list[j + 1];
            const auto* ta = static_cast<const CTcpLayer*>(FindLayer(a, LAYER_TCP));
            const auto* tb = static_cast<const CTcpLayer*>(FindLayer(b, LAYER_TCP));
            if (ta == nullptr || tb == nullptr) continue;
            const uint32_t ka = ta->m_nSeqNum + ta->m_nAckNum;
            const uint32_t kb = tb->m_nSeqNum + tb->m_nAckNum;
            const auto* ia = static_cast<const CIpv4Layer*>(FindLayer(a, LAYER_IPV4));
            const auto* ib = static_cast<const CIpv4Layer*>(FindLayer(b, LAYER_IPV4));
            if (ka > kb || (ka == kb && ia != nullptr && ib != nullptr && ia->m_nId > ib->m_nId))
                std::swap(list[j], list[j + 1]);
        }
}

TEST(SortStream, OrdersBySumThenIdentificationKeepingCaptureOrderForEquals) {
    Tcp t;
    PacketSnapshot p;
    for (auto [seq, ack, id] : {std::tuple{100u, 5u, 9},
                                {100u, 0u, 1},
                                {0xFFFFFFF0u, 0x20u, 3},
                                {50u, 55u, 2},
                                {105u, 0u, 2}}) {
        t.seq = seq;
        t.ack = ack;
        t.id = static_cast<uint16_t>(id);
        p.push_back(TcpPacket(t));
    }
    auto list = Raw(p);
    SortStream(list);
    // 0xFFFFFFF0 + 0x20 wraps to 0x10 and comes first; 105 ties thrice, by id 2, 2, 9.
    EXPECT_EQ(list, (std::vector<const CProtocolLayer*>{p[2].get(), p[1].get(), p[3].get(),
                                                        p[4].get(), p[0].get()}));
}

TEST(SortStream, SameOrderAsTheBubbleSortOnRandomSessions) {
    std::mt19937 rng(77);
    const uint32_t bases[] = {0u, 1000u, 0xFFFFFF00u, 0x7FFFFFFFu};
    for (int round = 0; round < 200; ++round) {
        PacketSnapshot packets;
        const int n = 1 + static_cast<int>(rng() % 60);
        const uint32_t base = bases[rng() % std::size(bases)];
        for (int i = 0; i < n; ++i) {
            // Every fifth round holds packets without TCP, which nothing passes.
            if (round % 5 == 0 && rng() % 8 == 0) {
                packets.push_back(UdpPacket({1, 2, 3, 4}, {5, 6, 7, 8}, 1, 2));
                continue;
            }
            Tcp t;
            t.seq = base + static_cast<uint32_t>(rng() % 300);  // near the wrap for some bases
            t.ack = static_cast<uint32_t>(rng() % 3) * 0x80u;
            t.id = static_cast<uint16_t>(rng() % 4);  // many ties, many equal packets
            packets.push_back(TcpPacket(t));
        }
        auto expected = Raw(packets);
        BubbleSort(expected);
        auto sorted = Raw(packets);
        SortStream(sorted);
        ASSERT_EQ(sorted, expected) << "round " << round;
    }
}

}  // namespace
