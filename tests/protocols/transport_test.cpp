#include <gtest/gtest.h>

#include "protocols/data.h"
#include "protocols/icmp.h"
#include "protocols/tcp.h"
#include "protocols/udp.h"
#include "tests/protocols/frames.h"

using namespace frames;

namespace {

Bytes OverIpv4(uint8_t protocol, const Bytes& segment) {
    return Cat({Ethernet(0x0800), Ipv4(protocol), segment});
}

std::string Flags(uint8_t byte13) {
    const std::string xml = Xml(FindLayer(Decode(OverIpv4(6, Tcp(byte13))).get(), LAYER_TCP));
    const size_t start = xml.find("<Flags>");
    return start == std::string::npos ? xml : xml.substr(start);
}

TEST(Icmp, EchoRequest) {
    const Bytes echo = Cat({Bytes{0x08, 0x00, 0xF7, 0xFF, 0x12, 0x34, 0x00, 0x01}, Fill(56, 0x61)});
    const auto root = Decode(OverIpv4(1, echo));
    EXPECT_EQ(Xml(FindLayer(root.get(), LAYER_ICMP)),
              "<ICMP><Code>0</Code><Type>8</Type><Checksum>63487</Checksum></ICMP>");
    const auto& data = Layer<CDataLayer>(root);
    ASSERT_EQ(data.m_nLength, 60);
    EXPECT_EQ(data.m_pData[0], 0x12);  // identifier and sequence open the payload
    EXPECT_EQ(data.m_pData[3], 0x01);
}

TEST(Icmp, HeaderOnly) {
    const auto root = Decode(OverIpv4(1, {0x03, 0x01, 0x12, 0x34}));
    EXPECT_EQ(Types(root.get()), (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4, LAYER_ICMP}));
    EXPECT_EQ(Xml(root->m_pNext->m_pNext),
              "<ICMP><Code>1</Code><Type>3</Type><Checksum>4660</Checksum></ICMP>");
    EXPECT_EQ(Types(Decode(OverIpv4(1, {0x03, 0x01, 0x12})).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4}));
}

TEST(Tcp, SynFragment) {
    const auto root = Decode(OverIpv4(6, Tcp()));
    EXPECT_EQ(Xml(FindLayer(root.get(), LAYER_TCP)),
              "<TCP><SourcePort desc=\"Source Port\">1025</SourcePort>"
              "<DestPort desc=\"Destination Port\">80</DestPort>"
              "<SeqNum desc=\"Sequence Number\">1</SeqNum>"
              "<AckNum desc=\"Acknowledgement Number\">0</AckNum><Urgent>0</Urgent>"
              "<DataOffset desc=\"Data offset\">20</DataOffset>"
              "<WinSize desc=\"Window Size\">8192</WinSize><Checksum>43981</Checksum>"
              "<Flags>SYN </Flags></TCP>");
    const auto& tcp = Layer<CTcpLayer>(root);
    EXPECT_EQ(tcp.m_nHeaderUsed, 20);
    EXPECT_EQ(tcp.m_bSyn, 1);
    EXPECT_EQ(tcp.m_bAck, 0);
}

TEST(Tcp, FlagWordsInFixedOrder) {
    EXPECT_EQ(Flags(0x12), "<Flags>ACK SYN </Flags></TCP>");
    EXPECT_EQ(Flags(0x18), "<Flags>ACK PSH </Flags></TCP>");
    EXPECT_EQ(Flags(0x25), "<Flags>FIN RST URG </Flags></TCP>");
    EXPECT_EQ(Flags(0x3F), "<Flags>ACK FIN PSH RST SYN URG </Flags></TCP>");
    EXPECT_EQ(Flags(0xC0), "<Flags></Flags></TCP>");
    EXPECT_EQ(Flags(0x00), "<Flags></Flags></TCP>");
}

TEST(Tcp, OptionsOpenThePayload) {
    const Bytes options = {0x02, 0x04, 0x05, 0xB4, 0x01, 0x03, 0x03, 0x07, 0x04, 0x02, 0x00, 0x00};
    const auto root = Decode(OverIpv4(6, Cat({Tcp(0x02, 0x80), options, Text("hi")})));
    EXPECT_NE(Xml(FindLayer(root.get(), LAYER_TCP)).find(">32</DataOffset>"), std::string::npos);
    EXPECT_EQ(Layer<CTcpLayer>(root).m_nHeaderUsed, 20);
    const auto& data = Layer<CDataLayer>(root);
    ASSERT_EQ(data.m_nLength, 14);
    EXPECT_EQ(Bytes(data.m_pData, data.m_pData + 12), options);
}

TEST(Tcp, LargestNumbers) {
    Bytes segment = Tcp();
    std::fill(segment.begin() + 4, segment.begin() + 8, 0xFF);
    std::fill(segment.begin() + 14, segment.end(), 0xFF);
    const std::string xml = Xml(FindLayer(Decode(OverIpv4(6, segment)).get(), LAYER_TCP));
    EXPECT_NE(xml.find(">4294967295</SeqNum>"), std::string::npos);
    EXPECT_NE(xml.find("<Urgent>65535</Urgent>"), std::string::npos);
    EXPECT_NE(xml.find(">65535</WinSize><Checksum>65535</Checksum>"), std::string::npos);
}

TEST(Udp, LengthFieldShownPayloadUncut) {
    const auto root = Decode(OverIpv4(17, Cat({Udp(20), Text("twelve bytes")})));
    EXPECT_EQ(Xml(FindLayer(root.get(), LAYER_UDP)),
              "<UDP><SourcePort desc=\"Source Port\">53</SourcePort>"
              "<DestPort desc=\"Destination Port\">33000</DestPort>"
              "<HeaderLen desc=\"Header Length\">20</HeaderLen><Checksum>4660</Checksum></UDP>");
    const auto& data = Layer<CDataLayer>(root);
    ASSERT_EQ(data.m_nLength, 12);
    EXPECT_EQ(data.m_pData[0], 't');

    // The length field does not cut off what trails the datagram.
    EXPECT_EQ(Layer<CDataLayer>(Decode(OverIpv4(17, Cat({Udp(8), Fill(5, 0)})))).m_nLength, 5);
    EXPECT_EQ(Layer<CDataLayer>(Decode(OverIpv4(17, Cat({Udp(9), Text("&")})))).m_nLength, 1);
}

TEST(HeaderOnly, NoPayloadLayerAfterAnExactHeader) {
    EXPECT_EQ(Types(Decode(OverIpv4(6, Tcp())).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4, LAYER_TCP}));
    EXPECT_EQ(Types(Decode(OverIpv4(17, Udp(8))).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4, LAYER_UDP}));
    // One byte short of either header: the chain ends at IPv4.
    const Bytes tcp = OverIpv4(6, Tcp());
    EXPECT_EQ(Types(Decode(tcp, tcp.size() - 1).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4}));
    const Bytes udp = OverIpv4(17, Udp(8));
    EXPECT_EQ(Types(Decode(udp, udp.size() - 1).get()),
              (std::vector<int>{LAYER_ETHERNET, LAYER_IPV4}));
}

}  // namespace
