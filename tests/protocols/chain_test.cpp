#include <gtest/gtest.h>

#include "protocols/data.h"
#include "protocols/ethernet.h"
#include "protocols/ipv4.h"
#include "tests/protocols/frames.h"

using namespace frames;

namespace {

const Bytes kPppoeIpv4 = {0x11, 0x00, 0x00, 0x07, 0x00, 0x2E, 0x00, 0x21};

TEST(FindLayer, WalksFromTheRoot) {
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(6), Tcp(), Text("x")}));
    EXPECT_EQ(FindLayer(root.get(), LAYER_ETHERNET), root.get());
    const CProtocolLayer* data = FindLayer(root.get(), LAYER_DATA);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data->m_szName, "Data");
    EXPECT_EQ(FindLayer(root.get(), LAYER_IPV6), nullptr);
    EXPECT_EQ(FindLayer(nullptr, LAYER_ETHERNET), nullptr);
    EXPECT_EQ(FindLayer(root->m_pNext, LAYER_ETHERNET), nullptr);
}

TEST(ChainXml, LongestChainAsSiblingsAndDepthLimit) {
    const auto root = Decode(Cat({Ethernet(0x8864), kPppoeIpv4, Ipv4(6), Tcp(0x18), Text("ab")}));
    EXPECT_EQ(Types(root.get()), (std::vector<int>{LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP,
                                                   LAYER_IPV4, LAYER_TCP, LAYER_DATA}));
    std::string expected;
    for (const CProtocolLayer* l = root.get(); l != nullptr; l = l->m_pNext) expected += Xml(l);
    EXPECT_EQ(ChainXml(root.get()), expected);
    EXPECT_TRUE(expected.ends_with(
        "<Data><Hexa desc=\"Hex data\">6162</Hexa><Raw desc=\"Raw data\">ab</Raw></Data>"));

    std::string two;
    root->AppendXml(two, 1);
    EXPECT_EQ(two, Xml(root.get()) + Xml(root->m_pNext));
    EXPECT_TRUE(Xml(root.get()).ends_with("</Ethernet>"));
}

TEST(ChainBuild, LayersNeedADecodeInProgressAndRoom) {
    const Bytes frame = Cat({Ethernet(0x0800), Ipv4(17), Udp(8), Text("payload")});
    CEthernetLayer alone;  // no builder: the chain ends at the layer decoded
    alone.Decode(frame.data(), static_cast<int>(frame.size()));
    EXPECT_EQ(alone.m_pNext, nullptr);
    EXPECT_EQ(alone.m_nEtherType, 0x0800u);

    // Room for the first two layers only.
    ChainSlab small(sizeof(CEthernetLayer) + sizeof(CIpv4Layer) + 8);
    const CProtocolLayer* root =
        DecodeFrameInto(small, frame.data(), static_cast<int>(frame.size()));
    EXPECT_EQ(Types(root), (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4}));

    ChainSlab none(4);
    EXPECT_EQ(DecodeFrameInto(none, frame.data(), static_cast<int>(frame.size())), nullptr);
    CIpv4Layer untouched;
    untouched.Decode(nullptr, 20);
    EXPECT_EQ(untouched.m_nVersion, 0);
}

TEST(ChainBuild, SlabHoldsManyChains) {
    const Bytes frame = Cat({Ethernet(0x0806), Fill(28, 0x06), Fill(18, 0)});
    ChainSlab slab;
    const CProtocolLayer* first =
        DecodeFrameInto(slab, frame.data(), static_cast<int>(frame.size()));
    const CProtocolLayer* second = DecodeFrameInto(slab, frame.data(), 30);
    EXPECT_EQ(Types(first), (std::vector<int>{LAYER_ETHERNET, LAYER_ARP}));
    EXPECT_EQ(Types(second), (std::vector<int>{LAYER_ETHERNET, LAYER_ARP}));
    EXPECT_NE(ChainXml(first), ChainXml(second));  // second is too short for its addresses
    EXPECT_LE(slab.Used(), ChainBytesBound(static_cast<int>(frame.size())) + ChainBytesBound(30));
}

// A truncated capture can only shorten the chain: every layer is made only once
// its whole fixed header is there, so its selector fields were captured.
TEST(ChainTruncation, EveryPrefixGivesAPrefixOfTheFullChain) {
    Bytes withOptions = Ipv4(1, 0x47);
    withOptions.resize(28, 0x01);
    const Bytes arp = {0, 1, 8, 0, 6, 4, 0, 1};
    const Bytes kinds[] = {
        Cat({Ethernet(0x0800), Ipv4(6), Tcp(), Fill(6, 0)}),
        Cat({Ethernet(0x0800), withOptions, Bytes{8, 0, 0, 0}, Text("ping")}),
        Cat({Ethernet(0x86DD), Ipv6(17), Udp(12), Text("dns!")}),
        Cat({Ethernet(0x8864), kPppoeIpv4, Ipv4(17), Udp(9), Text("&")}),
        Cat({Ethernet(0x0806), arp, Fill(20, 0xC0)}),
        Cat({Ethernet(0x8035), arp, Fill(20, 0xC0)}),
        Cat({Ethernet(0x0800), Ipv4(47, 0x4F), Fill(8, 0)}),
    };
    for (const Bytes& frame : kinds) {
        const std::vector<int> full = Types(Decode(frame).get());
        for (size_t caplen = 0; caplen <= frame.size(); ++caplen) {
            const auto root = Decode(frame, caplen);
            ASSERT_NE(root, nullptr);
            const std::vector<int> chain = Types(root.get());
            ASSERT_LE(chain.size(), full.size());
            EXPECT_TRUE(std::equal(chain.begin(), chain.end(), full.begin()))
                << "frame type " << full[1] << " caplen " << caplen;
            const auto* data = FindLayerAs<CDataLayer>(root.get());
            if (data != nullptr) {
                EXPECT_LE(data->m_nLength, static_cast<int>(caplen));
            }
            EXPECT_EQ(XmlError("<Packet>" + ChainXml(root.get()) + "</Packet>"), "");
        }
    }
}

TEST(ChainTruncation, LayerBoundariesOfATcpFrame) {
    const Bytes frame = Cat({Ethernet(0x0800), Ipv4(6), Tcp(), Fill(6, 0)});
    const std::vector<int> eth = {LAYER_ETHERNET};
    const std::vector<int> ip = {LAYER_ETHERNET, LAYER_IPV4};
    const std::vector<int> tcp = {LAYER_ETHERNET, LAYER_IPV4, LAYER_TCP};
    const std::vector<int> data = {LAYER_ETHERNET, LAYER_IPV4, LAYER_TCP, LAYER_DATA};
    EXPECT_EQ(Types(Decode(frame, 33).get()), eth);
    EXPECT_EQ(Types(Decode(frame, 34).get()), ip);
    EXPECT_EQ(Types(Decode(frame, 53).get()), ip);
    EXPECT_EQ(Types(Decode(frame, 54).get()), tcp);
    EXPECT_EQ(Types(Decode(frame, 55).get()), data);
}

}  // namespace
