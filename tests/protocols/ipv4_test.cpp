#include "protocols/ipv4.h"

#include <gtest/gtest.h>

#include "protocols/data.h"
#include "protocols/tcp.h"
#include "protocols/udp.h"
#include "tests/protocols/frames.h"

using namespace frames;

namespace {

const std::vector<int> kEthIp = {LAYER_ETHERNET, LAYER_IPV4};
const std::vector<int> kEthIpData = {LAYER_ETHERNET, LAYER_IPV4, LAYER_DATA};
const std::vector<int> kEthIpTcp = {LAYER_ETHERNET, LAYER_IPV4, LAYER_TCP};

TEST(Ipv4Xml, HeaderFragment) {
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(6), Tcp()}));
    EXPECT_EQ(
        Xml(root->m_pNext),
        "<IPv4><Version>4</Version><SourceIP desc=\"Source IP\">172.16.10.99</SourceIP>"
        "<DestIP desc=\"Destination IP\">172.16.10.12</DestIP><Protocol>6</Protocol>"
        "<HeaderLen>20</HeaderLen><TotalLen desc=\"Total Length\">60</TotalLen>"
        "<Checksum>45542</Checksum><TTL>64</TTL><ID>7238</ID>"
        "<TOS desc=\"TOS (Type of Service)\">0</TOS><FragmentOffset>0</FragmentOffset></IPv4>");
}

TEST(Ipv4Dispatch, ProtocolChoosesTheTransportLayer) {
    const Bytes rest = Fill(20, 0);
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x0800), Ipv4(1), rest})).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4, LAYER_ICMP, LAYER_DATA}));
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x0800), Ipv4(6), rest})).get()), kEthIpTcp);
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x0800), Ipv4(17), rest})).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4, LAYER_UDP, LAYER_DATA}));
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x0800), Ipv4(2), rest})).get()), kEthIpData);
    // Nothing after the header still gives a (empty) payload layer for other protocols.
    const auto gre = Decode(Cat({Ethernet(0x0800), Ipv4(47)}));
    EXPECT_EQ(Types(gre.get()), kEthIpData);
    EXPECT_EQ(Layer<CDataLayer>(gre).m_nLength, 0);
}

TEST(Ipv4Dispatch, OptionsMoveTheTransportHeader) {
    Bytes header = Ipv4(17, 0x46);
    header.insert(header.end(), {0x94, 0x04, 0x00, 0x00});  // router alert
    const auto root = Decode(Cat({Ethernet(0x0800), header, Udp(8)}));
    EXPECT_NE(Xml(root->m_pNext).find("<HeaderLen>24</HeaderLen>"), std::string::npos);
    EXPECT_EQ(Layer<CUdpLayer>(root).m_nSrcPort, 53);
}

TEST(Ipv4Fragments, LaterFragmentIsPayloadOnly) {
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(6, 0x45, 0x00, 0xB9), Tcp()}));
    EXPECT_EQ(Types(root.get()), kEthIpData);
    EXPECT_EQ(Layer<CDataLayer>(root).m_nLength, 20);
    EXPECT_NE(Xml(root->m_pNext).find("<FragmentOffset>185</FragmentOffset>"), std::string::npos);
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x0800), Ipv4(6, 0x45, 0x00, 0xB9)})).get()), kEthIp);
}

TEST(Ipv4Fragments, FirstFragmentDecodesAsUsual) {
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(17, 0x45, 0x20, 0x00), Udp(8)}));
    EXPECT_EQ(Types(root.get()), (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4, LAYER_UDP}));
    EXPECT_NE(Xml(root->m_pNext).find("<FragmentOffset>0</FragmentOffset>"), std::string::npos);
}

TEST(Ipv4Rest, TrailingFillReachesThePayload) {
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x0800), Ipv4(6), Tcp()})).get()), kEthIpTcp);
    // A 60-byte frame with a 40-byte datagram: the 6 fill bytes follow TCP.
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(6), Tcp(0x10), Fill(6, 0)}));
    EXPECT_EQ(Types(root.get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4, LAYER_TCP, LAYER_DATA}));
    EXPECT_EQ(Layer<CDataLayer>(root).m_nLength, 6);
}

TEST(Ipv4Bounds, HeaderLengthZeroReadsTheTransportFromByteZero) {
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(6, 0x40)}));
    EXPECT_EQ(Types(root.get()), kEthIpTcp);
    EXPECT_NE(Xml(root->m_pNext).find("<HeaderLen>0</HeaderLen>"), std::string::npos);
    EXPECT_EQ(Layer<CTcpLayer>(root).m_nSrcPort, 0x4000);
}

TEST(Ipv4Bounds, HeaderLengthBeyondTheCapture) {
    // IHL 15 claims 60 bytes; only the 20-byte header and 20 more were captured.
    const Bytes more = Fill(20, 0x77);
    EXPECT_EQ(Types(Decode(Cat({Ethernet(0x0800), Ipv4(6, 0x4F), more})).get()), kEthIp);
    const auto other = Decode(Cat({Ethernet(0x0800), Ipv4(47, 0x4F), more}));
    EXPECT_EQ(Types(other.get()), kEthIpData);
    EXPECT_EQ(Layer<CDataLayer>(other).m_nLength, 0);
    const auto fragment = Decode(Cat({Ethernet(0x0800), Ipv4(6, 0x4F, 0x00, 0x01), more}));
    EXPECT_EQ(Types(fragment.get()), kEthIpData);
    EXPECT_EQ(Layer<CDataLayer>(fragment).m_nLength, 0);
    EXPECT_NE(Xml(other->m_pNext).find("<HeaderLen>60</HeaderLen>"), std::string::npos);
}

TEST(Ipv4Bounds, VersionIsShownAsRead) {
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(17, 0x65), Udp(8)}));
    EXPECT_NE(Xml(root->m_pNext).find("<Version>6</Version>"), std::string::npos);
    EXPECT_NE(FindLayer(root.get(), LAYER_UDP), nullptr);
}

}  // namespace
