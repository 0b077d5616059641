#include "protocols/ethernet.h"

#include <gtest/gtest.h>

#include "protocols/arp.h"
#include "protocols/ipv4.h"
#include "tests/protocols/frames.h"

using namespace frames;

namespace {

TEST(EthernetXml, SourceBeforeDestinationAndLowercaseType) {
    const auto root = Decode(Ethernet(0x0800));
    EXPECT_EQ(Xml(root.get()),
              "<Ethernet><MAC_src desc=\"MAC Source address\">00-50-56-C0-00-08</MAC_src>"
              "<MAC_dst desc=\"MAC Destination address\">00-0C-29-1A-2B-3C</MAC_dst>"
              "<Type>0x0800</Type></Ethernet>");
    EXPECT_NE(Xml(Decode(Cat({Ethernet(0x86DD), Ipv6(59)})).get()).find("<Type>0x86dd</Type>"),
              std::string::npos);
}

TEST(EthernetDispatch, EtherTypeChoosesTheInnerLayer) {
    struct Case {
        uint16_t etherType;
        std::vector<int> chain;
    };
    const Bytes body = Fill(60, 0);  // room for any inner header
    const Case cases[] = {
        {0x0800, {LAYER_ETHERNET, LAYER_IPV4, LAYER_DATA}},
        // Zeros after IPv6 are hop-by-hop headers, the last one cut short.
        {0x86DD,
         {LAYER_ETHERNET, LAYER_IPV6, LAYER_IPV6_OPTIONS, LAYER_IPV6_OPTIONS, LAYER_IPV6_OPTIONS,
          LAYER_DATA}},
        {0x0806, {LAYER_ETHERNET, LAYER_ARP}},
        {0x8035, {LAYER_ETHERNET, LAYER_RARP}},
        {0x8864, {LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP}},
        {0x8100, {LAYER_ETHERNET, LAYER_VLAN}},  // a tag carrying type 0
        {0x88A8, {LAYER_ETHERNET, LAYER_VLAN}},
        {0x8863, {LAYER_ETHERNET}},  // PPPoE discovery stage
        {0x0026, {LAYER_ETHERNET}},  // IEEE 802.3 length field
    };
    for (const Case& c : cases) {
        const auto root = Decode(Cat({Ethernet(c.etherType), body}));
        EXPECT_EQ(Types(root.get()), c.chain) << std::hex << c.etherType;
    }
    EXPECT_NE(Xml(Decode(Cat({Ethernet(0x0026), body})).get()).find("<Type>0x0026</Type>"),
              std::string::npos);
}

TEST(EthernetDispatch, BroadcastArpRequest) {
    Bytes frame = Cat({Ethernet(0x0806), Fill(28, 0)});
    std::fill(frame.begin(), frame.begin() + 6, 0xFF);
    const auto root = Decode(frame);
    EXPECT_NE(Xml(root.get()).find(">FF-FF-FF-FF-FF-FF</MAC_dst>"), std::string::npos);
    EXPECT_NE(Xml(root.get()).find(">00-50-56-C0-00-08</MAC_src>"), std::string::npos);
    EXPECT_NE(FindLayer(root.get(), LAYER_ARP), nullptr);
}

TEST(EthernetTruncation, ShortFrameKeepsCapturedFieldsAndZeroesTheRest) {
    const Bytes frame = Ethernet(0x0800);
    const auto eight = Decode(frame, 8);  // destination and 2 bytes of the source
    ASSERT_NE(eight, nullptr);
    EXPECT_EQ(Types(eight.get()), std::vector<int>{LAYER_ETHERNET});
    const auto& eth = Layer<CEthernetLayer>(eight);
    EXPECT_EQ(eth.m_dstMac[5], 0x3C);
    EXPECT_EQ(eth.m_srcMac[0], 0);
    EXPECT_EQ(eth.m_nEtherType, 0u);

    const auto empty = Decode(frame, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(Xml(empty.get()).find(">00-00-00-00-00-00</MAC_src>"), std::string::npos);
    // An EtherType is there but nothing after it: no inner layer for it.
    EXPECT_EQ(Types(Decode(frame).get()), std::vector<int>{LAYER_ETHERNET});
}

TEST(Pppoe, DataStageCarryingIpv4) {
    const Bytes pppoe = {0x11, 0x00, 0x12, 0x34, 0x00, 0x2A, 0x00, 0x21};
    const auto root = Decode(Cat({Ethernet(0x8864), pppoe, Ipv4(17), Udp(8)}));
    EXPECT_EQ(Types(root.get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP, LAYER_IPV4, LAYER_UDP}));
    const std::string xml = ChainXml(root.get());
    EXPECT_NE(xml.find("</Ethernet><PPPoE><Protocol>0x1100</Protocol></PPPoE>"
                       "<PPP><Protocol>0x0021</Protocol></PPP><IPv4>"),
              std::string::npos);
    // The IPv4 header is read from byte 22 of the frame.
    EXPECT_EQ(Layer<CIpv4Layer>(root).m_srcAddr[3], 99);
}

TEST(Pppoe, PppCarriesIpv6AndNoControlProtocol) {
    const Bytes pppoe = {0x11, 0x00, 0x12, 0x34, 0x00, 0x2A, 0x00, 0x57};
    const auto root = Decode(Cat({Ethernet(0x8864), pppoe, Ipv6(59)}));
    EXPECT_EQ(Types(root.get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP, LAYER_IPV6, LAYER_DATA}));
    EXPECT_EQ(Xml(root->m_pNext->m_pNext), "<PPP><Protocol>0x0057</Protocol></PPP>");
    const Bytes lcp = {0x11, 0x00, 0x12, 0x34, 0x00, 0x2A, 0xC0, 0x21};
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x8864), lcp, Ipv6(59)})).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP}));
}

TEST(Pppoe, ChainEndsWhereTheNextFixedHeaderDoesNotFit) {
    const Bytes frame =
        Cat({Ethernet(0x8864), Bytes{0x11, 0x00, 0, 1, 0, 0, 0x00, 0x21}, Ipv4(47)});
    EXPECT_EQ(Types(Decode(frame, 19).get()), std::vector<int>{LAYER_ETHERNET});
    EXPECT_EQ(Types(Decode(frame, 20).get()), (std::vector<int>{LAYER_ETHERNET, LAYER_PPPOE}));
    EXPECT_EQ(Types(Decode(frame, 22).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP}));
    EXPECT_EQ(Types(Decode(frame, 41).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP}));
    EXPECT_EQ(Types(Decode(frame, 42).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP, LAYER_IPV4, LAYER_DATA}));
}

}  // namespace
