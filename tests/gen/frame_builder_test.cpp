#include "tools/capture_gen/frame_builder.h"

#include <gtest/gtest.h>

#include "tests/gen/frame_view.h"

using namespace capture_gen;
using gen_test::Be16;
using gen_test::OnesSum;

namespace {

const Ipv4Address kA4 = {172, 16, 10, 99};
const Ipv4Address kB4 = {172, 16, 10, 12};
const Ipv6Address kA6 = MakeIpv6({0x2001, 0xDB8, 0, 0, 0, 0, 0, 1});
const Ipv6Address kB6 = MakeIpv6({0xFE80, 0, 0, 0, 0x20C, 0x29FF, 0xFE1A, 0x2B3C});

uint32_t Pseudo4(const Ipv4Address& s, const Ipv4Address& d, uint8_t proto, size_t len) {
    return (s[0] << 8 | s[1]) + (s[2] << 8 | s[3]) + (d[0] << 8 | d[1]) + (d[2] << 8 | d[3]) +
           proto + static_cast<uint32_t>(len);
}

uint32_t Pseudo6(const Ipv6Address& s, const Ipv6Address& d, uint8_t next, size_t len) {
    uint32_t sum = next + static_cast<uint32_t>(len);
    for (size_t i = 0; i < 16; i += 2) sum += (s[i] << 8 | s[i + 1]) + (d[i] << 8 | d[i + 1]);
    return sum;
}

}  // namespace

TEST(FrameBuilderChecksum, MatchesKnownValues) {
    // RFC 1071's worked example: the sum is 0xDDF2, its complement 0x220D.
    const Bytes rfc = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(InternetChecksum(rfc), 0x220D);
    // An odd length pads the last byte with a zero on the right.
    EXPECT_EQ(InternetChecksum(Bytes{0x12}), static_cast<uint16_t>(~0x1200));
    EXPECT_EQ(InternetChecksum(Bytes{}), 0xFFFF);
}

TEST(FrameBuilderIpv4, ReproducesAWellKnownHeaderByteForByte) {
    Ipv4Header h;
    h.src = kA4;
    h.dst = kB4;
    h.protocol = 6;
    h.ttl = 64;
    h.id = 0x1C46;
    h.dontFragment = true;
    const Bytes payload(40, 0);
    const Bytes ip = Ipv4Datagram(h, payload);
    const Bytes expected = {0x45, 0x00, 0x00, 0x3C, 0x1C, 0x46, 0x40, 0x00, 0x40, 0x06,
                            0xB1, 0xE6, 0xAC, 0x10, 0x0A, 0x63, 0xAC, 0x10, 0x0A, 0x0C};
    ASSERT_EQ(ip.size(), 60u);
    EXPECT_EQ(Bytes(ip.begin(), ip.begin() + 20), expected);
}

TEST(FrameBuilderIpv4, OptionsGrowTheHeaderAndAreCoveredByTheChecksum) {
    Ipv4Header h;
    h.src = kA4;
    h.dst = kB4;
    h.protocol = 2;
    h.options = {0x94, 0x04};  // padded to four bytes
    const Bytes ip = Ipv4Datagram(h, Bytes(8, 0xAA));
    ASSERT_EQ(ip.size(), 32u);
    EXPECT_EQ(ip[0], 0x46);
    EXPECT_EQ(Be16(ip, 2), 32);
    EXPECT_EQ(ip[20], 0x94);
    EXPECT_EQ(ip[22], 0x00);
    EXPECT_EQ(ip[24], 0xAA);
    EXPECT_EQ(OnesSum(ip, 0, 24), 0xFFFF);
}

TEST(FrameBuilderFragments, SplitOnEightByteBoundariesAndReassemble) {
    Ipv4Header h;
    h.src = kA4;
    h.dst = kB4;
    h.protocol = 17;
    h.id = 777;
    Bytes payload(3000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
    const auto fragments = Ipv4Fragments(h, payload, 1485);  // rounds down to 1480
    ASSERT_EQ(fragments.size(), 3u);
    const uint16_t offsets[] = {0, 185, 370};
    const bool more[] = {true, true, false};
    Bytes joined;
    for (size_t i = 0; i < 3; ++i) {
        const Bytes& f = fragments[i];
        EXPECT_EQ(Be16(f, 4), 777);
        EXPECT_EQ(Be16(f, 6) & 0x1FFF, offsets[i]);
        EXPECT_EQ((Be16(f, 6) & 0x2000) != 0, more[i]);
        EXPECT_EQ(Be16(f, 2), f.size());
        EXPECT_EQ(OnesSum(f, 0, 20), 0xFFFF);
        joined.insert(joined.end(), f.begin() + 20, f.end());
    }
    EXPECT_EQ(fragments[2].size(), 20u + 40u);
    EXPECT_EQ(joined, payload);
}

TEST(FrameBuilderIpv6, PacksTrafficClassAndFlowLabel) {
    Ipv6Header h;
    h.src = kA6;
    h.dst = kB6;
    h.nextHeader = 58;
    h.hopLimit = 255;
    h.trafficClass = 0xAB;
    h.flowLabel = 0x12345;
    const Bytes p = Ipv6Packet(h, Bytes(12, 1));
    ASSERT_EQ(p.size(), 52u);
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 8), (Bytes{0x6A, 0xB1, 0x23, 0x45, 0, 12, 58, 255}));
    EXPECT_EQ(Bytes(p.begin() + 8, p.begin() + 24), Bytes(kA6.begin(), kA6.end()));
    EXPECT_EQ(Bytes(p.begin() + 24, p.begin() + 40), Bytes(kB6.begin(), kB6.end()));
}

TEST(FrameBuilderTransport, VerifyAgainstThePseudoHeader) {
    TcpHeader t;
    t.srcPort = 1025;
    t.dstPort = 80;
    t.seq = 0xFFFFFFFF;
    t.flags = kTcpSyn;
    t.options = {2, 4, 5, 0xB4, 1, 1, 4, 2, 1, 3, 3, 7};
    const Bytes payload = {'a', 'b', 'c'};  // odd length
    const Bytes tcp4 = TcpSegment(t, payload, kA4, kB4);
    ASSERT_EQ(tcp4.size(), 32u + 3u);
    EXPECT_EQ(tcp4[12], 0x80);  // 32-byte header
    EXPECT_EQ(tcp4[13], kTcpSyn);
    EXPECT_EQ(OnesSum(tcp4, 0, tcp4.size(), Pseudo4(kA4, kB4, 6, tcp4.size())), 0xFFFF);
    const Bytes tcp6 = TcpSegment(t, payload, kA6, kB6);
    EXPECT_EQ(OnesSum(tcp6, 0, tcp6.size(), Pseudo6(kA6, kB6, 6, tcp6.size())), 0xFFFF);

    const Bytes udp4 = UdpDatagram(5353, 53, Bytes(12, 'x'), kA4, kB4);
    EXPECT_EQ(Be16(udp4, 4), 20);
    EXPECT_EQ(OnesSum(udp4, 0, udp4.size(), Pseudo4(kA4, kB4, 17, udp4.size())), 0xFFFF);
    const Bytes udp6 = UdpDatagram(5353, 53, Bytes(5, 'y'), kA6, kB6);
    EXPECT_EQ(OnesSum(udp6, 0, udp6.size(), Pseudo6(kA6, kB6, 17, udp6.size())), 0xFFFF);

    const Bytes echo = IcmpMessage(8, 0, EchoBody(0x1234, 1, Bytes(56, 0x10)));
    EXPECT_EQ(echo.size(), 64u);
    EXPECT_EQ(OnesSum(echo, 0, echo.size()), 0xFFFF);
    const Bytes echo6 = Icmpv6Message(128, 0, EchoBody(1, 2, Bytes(7, 3)), kA6, kB6);
    EXPECT_EQ(OnesSum(echo6, 0, echo6.size(), Pseudo6(kA6, kB6, 58, echo6.size())), 0xFFFF);
}

TEST(FrameBuilderTransport, UdpNeverSendsAComputedZero) {
    // Choose two payload bytes that make the computed checksum zero: UDP must
    // send 0xFFFF instead, because zero means "no checksum".
    const Bytes probe = UdpDatagram(1, 2, Bytes{0, 0}, kA4, kB4);
    const uint16_t c = Be16(probe, 6);
    const Bytes udp =
        UdpDatagram(1, 2, Bytes{static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)}, kA4, kB4);
    EXPECT_EQ(Be16(udp, 6), 0xFFFF);
}

TEST(FrameBuilderLink, ArpRequestIsPaddedToTheMinimumFrame) {
    const MacAddress sender = {0x00, 0x0C, 0x29, 0x1A, 0x2B, 0x3C};
    const Bytes arp = ArpMessage(1, sender, {192, 168, 0, 10}, {}, {192, 168, 0, 1});
    const Bytes expected = {0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01, 0x00, 0x0C,
                            0x29, 0x1A, 0x2B, 0x3C, 0xC0, 0xA8, 0x00, 0x0A, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0xC0, 0xA8, 0x00, 0x01};
    EXPECT_EQ(arp, expected);
    Bytes frame = EthernetFrame(kBroadcastMac, sender, kEtherTypeArp, arp);
    EXPECT_EQ(frame.size(), 42u);
    PadFrame(frame);
    ASSERT_EQ(frame.size(), 60u);
    EXPECT_EQ(Be16(frame, 12), 0x0806);
    EXPECT_EQ(Bytes(frame.begin() + 42, frame.end()), Bytes(18, 0));
    Bytes big(100, 7);
    PadFrame(big);
    EXPECT_EQ(big.size(), 100u);
}

TEST(FrameBuilderLink, VlanPppoeAnd8023PlaceTheInnerHeaderCorrectly) {
    const MacAddress a = {2, 0, 0, 0, 0, 1};
    const MacAddress b = {2, 0, 0, 0, 0, 2};
    const Bytes vlan = VlanFrame(a, b, 0x2064, kEtherTypeIpv4, Bytes{0x45});
    EXPECT_EQ(Be16(vlan, 12), 0x8100);
    EXPECT_EQ(Be16(vlan, 14), 0x2064);
    EXPECT_EQ(Be16(vlan, 16), 0x0800);
    EXPECT_EQ(vlan[18], 0x45);

    Ipv4Header h;
    h.src = kA4;
    h.dst = kB4;
    h.protocol = 1;
    const Bytes ip = Ipv4Datagram(h, IcmpMessage(8, 0, EchoBody(1, 1, {})));
    const Bytes pppoe =
        EthernetFrame(a, b, kEtherTypePppoeSession, PppoeSession(0x1234, kPppIpv4, ip));
    EXPECT_EQ(Be16(pppoe, 12), 0x8864);
    EXPECT_EQ(Be16(pppoe, 14), 0x1100);  // version/type 1/1, code 0
    EXPECT_EQ(Be16(pppoe, 16), 0x1234);
    EXPECT_EQ(Be16(pppoe, 18), 2 + ip.size());
    EXPECT_EQ(Be16(pppoe, 20), 0x0021);
    EXPECT_EQ(Bytes(pppoe.begin() + 22, pppoe.end()), ip);

    Bytes tags;
    AppendPppoeTag(tags, 0x0101, {});
    const Bytes padi = PppoeDiscovery(0x09, 0, tags);
    EXPECT_EQ(padi, (Bytes{0x11, 0x09, 0, 0, 0, 4, 0x01, 0x01, 0, 0}));

    const Bytes llc = Ieee8023Frame(a, b, Bytes(38, 0x42));
    EXPECT_EQ(Be16(llc, 12), 0x0026);
    EXPECT_EQ(llc.size(), 52u);
}
