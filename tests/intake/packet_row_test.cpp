// The eight cells of a packet-list row, built from what intake stores.
#include "intake/packet_row.h"

#include <gtest/gtest.h>

#include <string>

#include "protocols/decode.h"
#include "tests/intake/intake_test_frames.h"

namespace {

using namespace intake_test;

std::vector<std::string> Cells(const Bytes& frame, size_t index = 0, uint32_t ms = 0) {
    StoredPacket packet{DecodeFrame(frame.data(), static_cast<int>(frame.size())), ms};
    PacketRow row;
    BuildRow(packet, index, row);
    std::vector<std::string> cells;
    for (int c = 0; c < COL_COUNT; ++c) cells.emplace_back(row.Cell(c));
    return cells;
}

using Row = std::vector<std::string>;

TEST(PacketRowTest, TransportRows) {
    EXPECT_EQ(Cells(UdpFrame("q"), 0, 17),
              (Row{"0", "IPv4", "UDP", "192.168.0.10", "192.168.0.1", "1025", "53", "17"}));
    EXPECT_EQ(
        Cells(TcpFrame("GET /"), 41, 4000000000u),
        (Row{"41", "IPv4", "TCP", "192.168.0.10", "192.168.0.1", "1042", "80", "4000000000"}));
}

TEST(PacketRowTest, IcmpEchoHasNoPorts) {
    Ipv4Header ip;
    ip.src = kIpA;
    ip.dst = kIpB;
    ip.protocol = kIpProtoIcmp;
    const Bytes frame =
        EthernetFrame(kMacB, kMacA, kEtherTypeIpv4,
                      Ipv4Datagram(ip, IcmpMessage(8, 0, EchoBody(1, 1, Text("ping")))));
    EXPECT_EQ(Cells(frame),
              (Row{"0", "IPv4", "ICMP", "192.168.0.10", "192.168.0.1", "---", "---", "0"}));
}

TEST(PacketRowTest, OtherIpProtocolHasDashes) {
    Ipv4Header ip;
    ip.src = kIpA;
    ip.dst = kIpB;
    ip.protocol = 47;
    const Bytes frame = EthernetFrame(kMacB, kMacA, kEtherTypeIpv4, Ipv4Datagram(ip, Text("gre!")));
    EXPECT_EQ(Cells(frame),
              (Row{"0", "IPv4", "---", "192.168.0.10", "192.168.0.1", "---", "---", "0"}));
}

TEST(PacketRowTest, ArpShowsProtocolAddresses) {
    EXPECT_EQ(Cells(ArpRequestFrame()),
              (Row{"0", "ARP", "---", "192.168.0.10", "192.168.0.1", "---", "---", "0"}));
    Bytes rarp = EthernetFrame(kBroadcastMac, kMacA, kEtherTypeRarp,
                               ArpMessage(3, kMacA, kIpA, kMacA, Ipv4Address{}));
    EXPECT_EQ(Cells(rarp), (Row{"0", "RARP", "---", "192.168.0.10", "0.0.0.0", "---", "---", "0"}));
}

TEST(PacketRowTest, ShortArpMessageShowsEmptyAddresses) {
    Bytes frame = EthernetFrame(kBroadcastMac, kMacA, kEtherTypeArp,
                                ArpMessage(1, kMacA, kIpA, MacAddress{}, kIpB));
    frame.resize(14 + 20);  // claims h = 6 and p = 4 but holds only 20 bytes
    EXPECT_EQ(Cells(frame), (Row{"0", "ARP", "---", "", "", "---", "---", "0"}));
}

TEST(PacketRowTest, UndecodedFrameTypes) {
    const Bytes discovery =
        EthernetFrame(kBroadcastMac, kMacA, kEtherTypePppoeDiscovery, PppoeDiscovery(0x09, 0, {}));
    EXPECT_EQ(Cells(discovery), (Row{"0", "---", "---", "", "", "---", "---", "0"}));
    const Bytes tiny = {0x01, 0x02, 0x03};
    EXPECT_EQ(Cells(tiny), (Row{"0", "---", "---", "", "", "---", "---", "0"}));
}

TEST(PacketRowTest, Ipv6AddressesInTheirStandardTextForm) {
    Ipv6Header ip6;
    ip6.src = MakeIpv6({0xfe80, 0, 0, 0, 0x020c, 0x29ff, 0xfe1a, 0x2b3c});
    ip6.dst = MakeIpv6({0x2001, 0xdb8, 0, 1, 0, 0, 0, 1});  // the longer zero run goes
    ip6.nextHeader = kIpProtoUdp;
    const Bytes frame =
        EthernetFrame(kBroadcastMac, kMacA, kEtherTypeIpv6,
                      Ipv6Packet(ip6, UdpDatagram(546, 547, Text("x"), ip6.src, ip6.dst)));
    const Row cells = Cells(frame);
    EXPECT_EQ(cells[COL_FRAME], "IPv6");
    // Two hosts of one link no longer look alike: the interface identifier shows.
    EXPECT_EQ(cells[COL_SRC_IP], "fe80::20c:29ff:fe1a:2b3c");
    EXPECT_EQ(cells[COL_DEST_IP], "2001:db8:0:1::1");
    EXPECT_EQ(cells[COL_PROTO], "UDP");
}

TEST(PacketRowTest, NumberCellHoldsLargeRowNumbers) {
    // A six-character field would show row 1000000 as "100000", the same as an
    // earlier row; the cell holds any row number in full.
    EXPECT_EQ(Cells(UdpFrame("x"), 1000000)[COL_NUM], "1000000");
    EXPECT_EQ(Cells(UdpFrame("x"), 4294967295u)[COL_NUM], "4294967295");
}

TEST(PacketRowTest, HeadingsInColumnOrder) {
    const std::vector<std::string> headings(kPacketColumnHeadings.begin(),
                                            kPacketColumnHeadings.end());
    EXPECT_EQ(headings,
              (Row{"Num", "Frame", "Proto", "Src IP", "Dest IP", "Src Port", "Dest Port", "Time"}));
}

}  // namespace
