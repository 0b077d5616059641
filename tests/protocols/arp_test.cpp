#include "protocols/arp.h"

#include <gtest/gtest.h>

#include "tests/protocols/frames.h"

using namespace frames;

namespace {

// Request from 00:0C:29:1A:2B:3C at 192.168.0.10 for 192.168.0.1.
Bytes Request(uint16_t opcode = 1) {
    return {0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, static_cast<unsigned char>(opcode),
            0x00, 0x0C, 0x29, 0x1A, 0x2B, 0x3C, 192,  168,
            0,    10,   0,    0,    0,    0,    0,    0,
            192,  168,  0,    1};
}

const std::string kRequestBody =
    "<HardwareType desc=\"Hardware Type\">0x0001</HardwareType>"
    "<ProtocolType desc=\"Protocol Type\">0x0800</ProtocolType>"
    "<HardwareLength desc=\"Hardware Address Length\">6</HardwareLength>"
    "<ProtocolLength desc=\"Protocol Address Length\">4</ProtocolLength>"
    "<Opcode desc=\"Operation code\">1</Opcode>"
    "<HardwareSource desc=\"Hardware Source address\">00:0C:29:1A:2B:3C</HardwareSource>"
    "<ProtocolSource dest=\"Protocol Source address\">192.168.0.10</ProtocolSource>"
    "<HardwareDest desc=\"Hardware Destination address\">00:00:00:00:00:00</HardwareDest>"
    "<ProtocolDest dest=\"Protocol Destination address\">192.168.0.1</ProtocolDest>";

std::string EmptyAddressBody(uint16_t opcode) {
    return "<HardwareType desc=\"Hardware Type\">0x0001</HardwareType>"
           "<ProtocolType desc=\"Protocol Type\">0x0800</ProtocolType>"
           "<HardwareLength desc=\"Hardware Address Length\">0</HardwareLength>"
           "<ProtocolLength desc=\"Protocol Address Length\">0</ProtocolLength>"
           "<Opcode desc=\"Operation code\">" +
           std::to_string(opcode) +
           "</Opcode>"
           "<HardwareSource desc=\"Hardware Source address\"></HardwareSource>"
           "<ProtocolSource dest=\"Protocol Source address\"></ProtocolSource>"
           "<HardwareDest desc=\"Hardware Destination address\"></HardwareDest>"
           "<ProtocolDest dest=\"Protocol Destination address\"></ProtocolDest>";
}

TEST(ArpXml, RequestInArpAndRarpFrames) {
    const auto arp = Decode(Cat({Ethernet(0x0806), Request()}));
    EXPECT_EQ(Xml(arp->m_pNext), "<ARP>" + kRequestBody + "</ARP>");
    const auto rarp = Decode(Cat({Ethernet(0x8035), Request()}));
    EXPECT_EQ(Xml(rarp->m_pNext), "<RARP>" + kRequestBody + "</RARP>");
    EXPECT_NE(FindLayer(rarp.get(), LAYER_RARP), nullptr);
    EXPECT_EQ(FindLayer(rarp.get(), LAYER_ARP), nullptr);
    // Never forwards, whatever the depth.
    EXPECT_EQ(ChainXml(arp.get()), Xml(arp.get()) + Xml(arp->m_pNext));
}

TEST(ArpDecode, FillBytesAreIgnoredAndAddressesKept) {
    const auto root = Decode(Cat({Ethernet(0x0806), Request(2), Fill(18, 0xEE)}));
    const auto& arp = Layer<CArpLayer>(root);
    EXPECT_EQ(arp.m_nOpcode, 2);
    ASSERT_NE(arp.m_pSenderProto, nullptr);
    ASSERT_NE(arp.m_pTargetProto, nullptr);
    ASSERT_NE(arp.m_pTargetHw, nullptr);
    EXPECT_EQ(arp.m_pSenderProto[3], 10);
    EXPECT_EQ(arp.m_pTargetProto[3], 1);
    EXPECT_EQ(arp.m_pTargetHw[0], 0);
    EXPECT_EQ(arp.m_pSenderHw[5], 0x3C);
}

TEST(ArpDecode, MessageShorterThanItsAddressesKeepsNone) {
    Bytes twenty = Request();
    twenty.resize(20);
    const auto root = Decode(Cat({Ethernet(0x0806), twenty}));
    EXPECT_EQ(Xml(root->m_pNext), "<ARP>" + EmptyAddressBody(1) + "</ARP>");
    const auto& arp = Layer<CArpLayer>(root);
    EXPECT_EQ(arp.m_pSenderProto, nullptr);
    EXPECT_EQ(arp.m_pTargetProto, nullptr);
}

TEST(ArpDecode, ZeroAddressLengths) {
    const Bytes message = {0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x03};
    const auto root = Decode(Cat({Ethernet(0x8035), message, Fill(20, 0x11)}));
    EXPECT_EQ(Xml(root->m_pNext), "<RARP>" + EmptyAddressBody(3) + "</RARP>");
}

TEST(ArpDecode, TooShortForTheFixedPartGivesNoLayer) {
    const Bytes frame = Cat({Ethernet(0x0806), Request()});
    EXPECT_EQ(Types(Decode(frame, 21).get()), std::vector<int>{LAYER_ETHERNET});
    EXPECT_EQ(Xml(Decode(frame, 22)->m_pNext), "<ARP>" + EmptyAddressBody(1) + "</ARP>");
}

TEST(ArpDecode, LengthsOf255) {
    // 8 + 2 * (255 + 255) bytes are needed; one short keeps no address at all.
    Bytes message = {0x00, 0x01, 0x08, 0x00, 0xFF, 0xFF, 0x00, 0x01};
    const Bytes full = Cat({Ethernet(0x0806), message, Fill(1020, 0xAB)});
    const auto shortRoot = Decode(full, full.size() - 1);
    EXPECT_EQ(Layer<CArpLayer>(shortRoot).m_nHardwareLen, 0);
    EXPECT_EQ(Layer<CArpLayer>(shortRoot).m_pTargetProto, nullptr);

    // Complete: each address step stays within 499 characters, cut inside the
    // address texts so that the tags survive.
    const auto root = Decode(full);
    const auto& arp = Layer<CArpLayer>(root);
    EXPECT_EQ(arp.m_nHardwareLen, 255);
    ASSERT_NE(arp.m_pTargetProto, nullptr);
    EXPECT_EQ(arp.m_pTargetProto[254], 0xAB);
    const std::string xml = Xml(root->m_pNext);
    const size_t start = xml.find("<HardwareSource");
    const size_t next = xml.find("<HardwareDest");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(next, std::string::npos);
    EXPECT_EQ(next - start, 499u);
    EXPECT_NE(xml.find("\">AB:AB:"), std::string::npos);
    EXPECT_NE(xml.find("</HardwareSource><ProtocolSource dest=\"Protocol Source address\">"
                       "</ProtocolSource><HardwareDest"),
              std::string::npos);
    EXPECT_TRUE(xml.ends_with("</ProtocolDest></ARP>"));
    EXPECT_EQ(XmlError(xml), "");
}

TEST(ArpXml, LongProtocolAddressIsCutBeforeItsClosingTag) {
    Bytes message = {0x00, 0x01, 0x08, 0x00, 0x06, 0xC8, 0x00, 0x01};
    const auto root = Decode(Cat({Ethernet(0x0806), message, Fill(2 * (6 + 200), 0xC8)}));
    const std::string xml = Xml(root->m_pNext);
    const std::string hwOpen = "<HardwareSource desc=\"Hardware Source address\">";
    const size_t start = xml.find(hwOpen);
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(xml.find("<HardwareDest") - start, 499u);
    EXPECT_EQ(xml.substr(start + hwOpen.size(), 17 + 17), "C8:C8:C8:C8:C8:C8</HardwareSource>");
    const std::string protoOpen = "<ProtocolSource dest=\"Protocol Source address\">";
    const size_t text = xml.find(protoOpen) + protoOpen.size();
    const std::string proto = xml.substr(text, xml.find("</ProtocolSource>") - text);
    EXPECT_TRUE(proto.starts_with("200.200.200.")) << proto;
    EXPECT_LT(proto.size(), 200u * 4 - 1);
    EXPECT_EQ(XmlError(xml), "");
}

}  // namespace
