#include "protocols/ipv6.h"

#include <gtest/gtest.h>

#include "protocols/data.h"
#include "protocols/tcp.h"
#include "tests/protocols/frames.h"

using namespace frames;

namespace {

TEST(Ipv6Xml, HeaderFragment) {
    Bytes header = Ipv6(59);
    header[0] = 0x6A;
    header[1] = 0xB1;
    header[2] = 0x23;
    header[3] = 0x45;
    const auto root = Decode(Cat({Ethernet(0x86DD), header}));
    EXPECT_EQ(
        Xml(root->m_pNext),
        "<IPv6><Version>6</Version><TrafficClass desc=\"Traffic Class\">171</TrafficClass>"
        "<FlowLabel desc=\"Flow Label\">74565</FlowLabel>"
        "<PayloadLen desc=\"Payload Length\">32</PayloadLen>"
        "<NextHeader desc=\"Next Header\">59</NextHeader>"
        "<HopLimit desc=\"Hop Limit\">255</HopLimit>"
        "<SourceIP desc=\"Source IP\">FE:80:00:00:00:00:00:00:02:0C:29:FF:FE:1A:2B:3C</SourceIP>"
        "<DestIP desc=\"Destination IP\">FF:02:00:00:00:00:00:00:00:00:00:00:00:00:00:01</DestIP>"
        "</IPv6>");
}

TEST(Ipv6Dispatch, NextHeaderChoosesTheInnerLayer) {
    const Bytes rest = {0x0B, 0xB8, 0x00, 0x16, 0, 0, 0, 0, 0, 0,
                        0,    0,    0x50, 0x10, 0, 0, 0, 0, 0, 0};
    const auto tcp = Decode(Cat({Ethernet(0x86DD), Ipv6(6), rest}));
    EXPECT_EQ(Types(tcp.get()), (std::vector<int>{LAYER_ETHERNET, LAYER_IPV6, LAYER_TCP}));
    EXPECT_EQ(Layer<CTcpLayer>(tcp).m_nSrcPort, 3000);
    EXPECT_EQ(Layer<CTcpLayer>(tcp).m_nDstPort, 22);

    EXPECT_NE(FindLayer(Decode(Cat({Ethernet(0x86DD), Ipv6(1), rest})).get(), LAYER_ICMP), nullptr);
    EXPECT_NE(FindLayer(Decode(Cat({Ethernet(0x86DD), Ipv6(17), rest})).get(), LAYER_UDP), nullptr);
    // No next header, IPv6 in IPv6, ESP: payload.
    for (const uint8_t next : {59, 41, 50}) {
        const auto root = Decode(Cat({Ethernet(0x86DD), Ipv6(next), rest}));
        EXPECT_EQ(Types(root.get()), (std::vector<int>{LAYER_ETHERNET, LAYER_IPV6, LAYER_DATA}));
        const auto& data = Layer<CDataLayer>(root);
        ASSERT_EQ(data.m_nLength, 20);
        EXPECT_EQ(data.m_pData[0], 0x0B);  // byte 40 of the IPv6 header
    }
}

TEST(Ipv6Bounds, ShortCapture) {
    const Bytes frame = Cat({Ethernet(0x86DD), Ipv6(6), Tcp()});
    EXPECT_EQ(Types(Decode(frame, 53).get()), std::vector<int>{LAYER_ETHERNET});
    // Exactly the fixed header: no room for TCP, while an unknown header gets an empty payload.
    EXPECT_EQ(Types(Decode(frame, 54).get()), (std::vector<int>{LAYER_ETHERNET, LAYER_IPV6}));
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x86DD), Ipv6(59)})).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV6, LAYER_DATA}));
}

}  // namespace
