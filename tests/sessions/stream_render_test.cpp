#include "sessions/stream_render.h"

#include <gtest/gtest.h>

#include "protocols/text_format.h"
#include "tests/sessions/packet_builder.h"
#include "xml/detail_items.h"
#include "xml/packet_document.h"

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

TEST(PacketRuns, BothFormatsUseTheDatagramLength) {
    // A pure acknowledgement padded to a minimum Ethernet frame carries no
    // data: no payload line in either format, only its header.
    Tcp t;
    t.padding = 6;
    const auto ack = TcpPacket(t);
    EXPECT_TRUE(RunsOf(ack, ack, 3, true).empty());
    EXPECT_TRUE(RunsOf(ack, ack, 3, false).empty());
    EXPECT_EQ(
        RunsOf(ack, ack, 2, false),
        (std::vector<StyledRun>{K("[0] "), K("Source 10.0.0.5 :1042"), K("\r\n"), K("\r\n")}));

    t.padding = 3;
    t.payload = "ab";
    EXPECT_EQ(RunsOf(TcpPacket(t), ack, 3, true), (std::vector<StyledRun>{Side1("ab\r\n")}));
    EXPECT_EQ(RunsOf(TcpPacket(t), ack, 3, false), (std::vector<StyledRun>{Side1("6162\r\n")}));
    // A total length that leaves no data: nothing to show, padding or not.
    t.totalLenDelta = -2;
    EXPECT_TRUE(RunsOf(TcpPacket(t), ack, 3, true).empty());
    EXPECT_TRUE(RunsOf(TcpPacket(t), ack, 3, false).empty());
    // A total length below the two headers wraps: the whole payload shows.
    t.totalLenDelta = -41;
    EXPECT_EQ(RunsOf(TcpPacket(t), ack, 3, true), (std::vector<StyledRun>{Side1("ab...\r\n")}));
    // A total length past the capture: what was captured, and the rest counted.
    t.totalLenDelta = 500;
    EXPECT_EQ(RunsOf(TcpPacket(t), ack, 3, true),
              (std::vector<StyledRun>{Side1("ab... [497 bytes missing]\r\n")}));
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

std::string Hex(const std::string& bytes) {
    std::string out;
    HexText(out, reinterpret_cast<const unsigned char*>(bytes.data()),
            static_cast<int>(bytes.size()));
    return out;
}

TEST(SegmentData, StartsAfterTheTcpOptionsInBothFormats) {
    Tcp t;
    t.flags = PSH | ACK;
    t.payload = "GET / HTTP/1.1\r\n";
    const auto plain = TcpPacket(t);
    t.options = Timestamps(0x5F2E0A01, 0x00C0FFEE);
    const auto stamped = TcpPacket(t);
    for (const auto& p : {plain, stamped}) {
        EXPECT_EQ(RunsOf(p, p, 3, true), (std::vector<StyledRun>{Side1(t.payload + "\r\n")}));
        EXPECT_EQ(RunsOf(p, p, 3, false), (std::vector<StyledRun>{Side1(Hex(t.payload) + "\r\n")}));
    }
    // Under a header the payload run follows the header line as before.
    const auto runs = RunsOf(stamped, stamped, 0, true, 4);
    ASSERT_EQ(runs.size(), 10u);
    EXPECT_EQ(runs[8], Side1(t.payload + "\r\n"));

    // A longer option block (MSS, SACK permitted, window scale, NOPs: 20 bytes).
    t.options = {0x02, 0x04, 0x05, 0xB4, 0x04, 0x02, 0x08, 0x0A, 1,    2,
                 3,    4,    5,    6,    7,    8,    0x01, 0x03, 0x03, 0x07};
    EXPECT_EQ(RunsOf(TcpPacket(t), plain, 3, true),
              (std::vector<StyledRun>{Side1(t.payload + "\r\n")}));
}

TEST(SegmentData, SegmentWithOnlyOptionsAddsNoPayloadRun) {
    Tcp t;
    t.options = Timestamps(1, 2);  // a pure acknowledgement as Linux sends it
    const auto ack = TcpPacket(t);
    EXPECT_TRUE(RunsOf(ack, ack, 3, true).empty());
    EXPECT_TRUE(RunsOf(ack, ack, 3, false).empty());
    EXPECT_EQ(
        RunsOf(ack, ack, 2, true),
        (std::vector<StyledRun>{K("[0] "), K("Source 10.0.0.5 :1042"), K("\r\n"), K("\r\n")}));
    // Fill bytes after the options are no data either.
    t.options = {0x01, 0x01, 0x01, 0x01};
    t.padding = 2;
    const auto padded = TcpPacket(t);
    EXPECT_TRUE(RunsOf(padded, ack, 3, true).empty());
    EXPECT_TRUE(RunsOf(padded, ack, 3, false).empty());
    // A segment without options whose bytes run out with its header has none.
    EXPECT_TRUE(RunsOf(TcpPacket(Tcp{}), ack, 3, false).empty());
}

TEST(SegmentData, LengthCountsFromTheDataOffsetAndStopsAtTheCapture) {
    Tcp t;
    t.options = Timestamps(1, 2);
    t.payload = "abc";
    t.padding = 3;
    const auto p = TcpPacket(t);
    EXPECT_EQ(RunsOf(p, p, 3, true), (std::vector<StyledRun>{Side1("abc\r\n")}));
    EXPECT_EQ(RunsOf(p, p, 3, false), (std::vector<StyledRun>{Side1("616263\r\n")}));
    t.totalLenDelta = -1;
    EXPECT_EQ(RunsOf(TcpPacket(t), p, 3, true), (std::vector<StyledRun>{Side1("ab\r\n")}));
    // Lengths below the headers wrap, and past the capture: what was captured
    // after the options shows, in the second case with the rest counted.
    t.totalLenDelta = -20;
    EXPECT_EQ(RunsOf(TcpPacket(t), p, 3, true), (std::vector<StyledRun>{Side1("abc...\r\n")}));
    t.totalLenDelta = 500;
    EXPECT_EQ(RunsOf(TcpPacket(t), p, 3, true),
              (std::vector<StyledRun>{Side1("abc... [497 bytes missing]\r\n")}));
}

TEST(SegmentData, OptionsPastTheCaptureHideTheDataAndAShortOffsetShowsAll) {
    Tcp t;
    t.options = Timestamps(0x41424344, 0x45464748);  // "ABCD" "EFGH" in the stamps
    t.payload = "hi";
    t.dataOffset = 60;  // claims 40 bytes of options; 12 and the data were captured
    const auto longer = TcpPacket(t);
    const std::string all =
        "\x01\x01\x08\x0A"
        "ABCDEFGHhi";
    // Where the data would begin was not captured: no option byte is data.
    EXPECT_TRUE(RunsOf(longer, longer, 3, true).empty());
    EXPECT_TRUE(RunsOf(longer, longer, 3, false).empty());
    t.dataOffset = 16;  // below the fixed header: all after it is data
    EXPECT_EQ(RunsOf(TcpPacket(t), longer, 3, true),
              (std::vector<StyledRun>{Side1("...\nABCDEFGHhi\r\n")}));
    EXPECT_EQ(RunsOf(TcpPacket(t), longer, 3, false),
              (std::vector<StyledRun>{Side1(Hex(all) + "\r\n")}));
    // Options up to the captured end: nothing after them, no payload run; one
    // byte more than captured: none either.
    t.payload = "hi!!";
    t.dataOffset = 36;
    EXPECT_TRUE(RunsOf(TcpPacket(t), longer, 3, true).empty());
    EXPECT_TRUE(RunsOf(TcpPacket(t), longer, 3, false).empty());
    t.dataOffset = 40;
    EXPECT_TRUE(RunsOf(TcpPacket(t), longer, 3, true).empty());
}

TEST(SegmentData, TcpOverIpv6WritesTheCompressedSourceAndUsesThePayloadLength) {
    const HostAddress client{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
    const HostAddress server{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    Tcp t;
    t.src = client;
    t.dst = server;
    t.seq = 7;
    t.ack = 9;
    t.flags = PSH | ACK;
    t.options = Timestamps(1, 2);
    t.payload = "ab";
    t.padding = 4;
    const auto request = TcpPacket(t);
    EXPECT_EQ(RunsOf(request, request, 1, true, 2),
              (std::vector<StyledRun>{K("[2] "), K("Source 2001:db8::5 :1042"), K(" (SYN:"),
                                      Num("7"), K(" ACK:"), Num("9"), K(")"), K(" [ PSH ACK ]"),
                                      K("\r\n"), Side1("ab\r\n"), K("\r\n")}));
    EXPECT_EQ(RunsOf(request, request, 3, false), (std::vector<StyledRun>{Side1("6162\r\n")}));
    t.totalLenDelta = -1;
    EXPECT_EQ(RunsOf(TcpPacket(t), request, 3, true), (std::vector<StyledRun>{Side1("a\r\n")}));

    std::swap(t.src, t.dst);
    t.sport = 80;
    t.dport = 1042;
    t.totalLenDelta = 0;
    const auto reply = TcpPacket(t);
    EXPECT_EQ(RunsOf(reply, request, 2, true)[1], K("Source 2001:db8:0:1::1 :80"));
    EXPECT_EQ(RunsOf(reply, request, 3, true), (std::vector<StyledRun>{Side2("ab\r\n")}));
    // The same address and port over IPv4 is not the IPv6 first side.
    Tcp v4;
    v4.payload = "x";
    EXPECT_EQ(RunsOf(TcpPacket(v4), request, 3, true), (std::vector<StyledRun>{Side2("x\r\n")}));
}

TEST(SegmentData, EndsWithTheDatagramAndCountsWhatTheSnapshotLengthCut) {
    // Frames of 14 + 40 (or 20) + 32 + 16 bytes, padded or cut as a snapshot
    // length cuts them (0: whole); "" for no payload run.
    const struct {
        bool ipv6;
        int padding, snaplen;
        std::string ascii, hex;
    } cases[] = {
        {true, 0, 80, "", ""},  // cut inside the options
        {false, 0, 60, "", ""},
        {false, 4, 0, "GET / HTTP/1.1\r\n", "474554202F20485454502F312E310D0A"},
        {false, 0, 69, "GET [13 bytes missing]", "474554 [13 bytes missing]"},
        {true, 0, 86, " [16 bytes missing]", " [16 bytes missing]"},  // cut at the data
    };
    for (const auto& c : cases) {
        Tcp t;
        if (c.ipv6) {
            t.src = kLinkLocal1;
            t.dst = kLinkLocal2;
        }
        t.options = Timestamps(0x41424344, 0x45464748);
        t.payload = "GET / HTTP/1.1\r\n";
        t.padding = c.padding;
        auto frame = TcpFrame(t);
        if (c.snaplen != 0) frame.resize(static_cast<size_t>(c.snaplen));
        const auto p = Decode(frame);
        for (const auto& [ascii, text] : {std::pair{true, c.ascii}, std::pair{false, c.hex}}) {
            EXPECT_EQ(RunsOf(p, p, 3, ascii), text.empty()
                                                  ? std::vector<StyledRun>{}
                                                  : std::vector<StyledRun>{Side1(text + "\r\n")})
                << c.snaplen << (ascii ? " ascii" : " hex");
        }
    }
}

TEST(SegmentData, StoredTextsStillHoldTheOptionsAsPayload) {
    // Only the Decode window skips options: the XML and the Details tree of
    // the same segment keep them in the Data layer, as stored logs always had.
    Tcp t;
    t.flags = PSH | ACK;
    t.options = Timestamps(0x5F2E0A01, 0x00C0FFEE);
    t.payload = "GET / HTTP/1.1\r\n";
    const auto p = TcpPacket(t);
    const std::string xml = PacketDocument(p.get());
    EXPECT_NE(xml.find("<TCP><SourcePort desc=\"Source Port\">1042</SourcePort>"
                       "<DestPort desc=\"Destination Port\">80</DestPort>"
                       "<SeqNum desc=\"Sequence Number\">0</SeqNum>"
                       "<AckNum desc=\"Acknowledgement Number\">0</AckNum><Urgent>0</Urgent>"
                       "<DataOffset desc=\"Data offset\">32</DataOffset>"
                       "<WinSize desc=\"Window Size\">8192</WinSize><Checksum>0</Checksum>"
                       "<Flags>ACK PSH </Flags></TCP>"
                       "<Data><Hexa desc=\"Hex data\">0101080A5F2E0A0100C0FFEE474554202F20485454"
                       "502F312E310D0A</Hexa><Raw desc=\"Raw data\">...._.......GET./.HTTP/1.1.."
                       "</Raw></Data></Packet>"),
              std::string::npos)
        << xml;
    std::vector<DetailItem> items;
    ASSERT_TRUE(DetailItemsOf(p.get(), items));
    ASSERT_EQ(items.back().text, "Data");
    EXPECT_EQ(items.back().fields,
              (std::vector<std::string>{
                  "Hex data = 0101080A5F2E0A0100C0FFEE474554202F20485454502F312E310D0A",
                  "Raw data = ...._.......GET./.HTTP/1.1.."}));
}

TEST(ShownText, EachLineBreakBecomesOneNewline) {
    std::string out;
    bool pendingCr = false;
    AppendShownText(out, "a\r\nb\rc\nd\n\re\r", pendingCr);
    EXPECT_EQ(out, "a\nb\nc\nd\n\ne\n");
    EXPECT_TRUE(pendingCr);
    // The LF of a pair split between two runs is part of the same break.
    AppendShownText(out, "\nf", pendingCr);
    EXPECT_EQ(out, "a\nb\nc\nd\n\ne\nf");
    EXPECT_FALSE(pendingCr);
    AppendShownText(out, "", pendingCr);
    EXPECT_EQ(out, "a\nb\nc\nd\n\ne\nf");
}

}  // namespace
