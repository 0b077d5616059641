#include "protocols/data.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/protocols/frames.h"

using namespace frames;

namespace {

const char kEmpty[] = "<Data><Hexa desc=\"Hex data\"></Hexa><Raw desc=\"Raw data\"></Raw></Data>";

std::string PayloadXml(const Bytes& payload) {
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(17), Udp(8), payload}));
    return Xml(FindLayer(root.get(), LAYER_DATA));
}

TEST(DataXml, HexAndPrintableText) {
    EXPECT_EQ(PayloadXml(Text("PING a b\r\n")),
              "<Data><Hexa desc=\"Hex data\">50494E47206120620D0A</Hexa>"
              "<Raw desc=\"Raw data\">PING.a.b..</Raw></Data>");
    EXPECT_EQ(
        PayloadXml({0x00, 0xE9, 0x7F, 0x7E, 0x21}),
        "<Data><Hexa desc=\"Hex data\">00E97F7E21</Hexa><Raw desc=\"Raw data\">...~!</Raw></Data>");
}

TEST(DataXml, MarkupCharactersNeverBreakTheDocument) {
    // The ampersand is written as an entity; <, " and > are already full stops.
    const std::string xml = PayloadXml(Text("<a>&\"'"));
    EXPECT_EQ(xml,
              "<Data><Hexa desc=\"Hex data\">3C613E262227</Hexa>"
              "<Raw desc=\"Raw data\">.a.&amp;.'</Raw></Data>");
    EXPECT_NE(PayloadXml(Text("&&x&")).find("<Raw desc=\"Raw data\">&amp;&amp;x&amp;</Raw>"),
              std::string::npos);
}

TEST(DataXml, EmptyPayload) {
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(47)}));
    const auto& data = Layer<CDataLayer>(root);
    EXPECT_EQ(data.m_pData, nullptr);
    EXPECT_EQ(data.m_nLength, 0);
    EXPECT_EQ(Xml(FindLayer(root.get(), LAYER_DATA)), kEmpty);
}

TEST(DataXml, LongPayloadIsNotCut) {
    Bytes payload(1460);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<unsigned char>('A' + i % 26);
    const std::string xml = PayloadXml(payload);
    const size_t hex = xml.find("\">") + 2;
    EXPECT_EQ(xml.find("</Hexa>") - hex, 2920u);
    const size_t raw = xml.find("<Raw desc=\"Raw data\">") + 21;
    EXPECT_EQ(xml.find("</Raw>") - raw, 1460u);
    EXPECT_EQ(xml.substr(xml.find("</Raw>") - 3, 3), std::string(payload.end() - 3, payload.end()));
}

TEST(DataDecode, CopiesThePayloadIntoTheChain) {
    // frames::Decode frees its frame copy before returning.
    const auto root = Decode(Cat({Ethernet(0x0800), Ipv4(2), Text("kept")}));
    const auto& data = Layer<CDataLayer>(root);
    ASSERT_EQ(data.m_nLength, 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.m_pData), 4), "kept");
}

TEST(DataDecode, NoRoomGivesAnEmptyPayload) {
    const unsigned char bytes[] = {1, 2, 3};
    CDataLayer outside;  // no decode in progress
    outside.Decode(bytes, 3);
    EXPECT_EQ(outside.m_nLength, 0);
    EXPECT_EQ(outside.m_pData, nullptr);

    ChainSlab slab(2);
    ChainBuilder builder(slab);
    CDataLayer full;
    full.Decode(bytes, 3);
    EXPECT_EQ(full.m_nLength, 0);
    EXPECT_EQ(full.m_pData, nullptr);
    full.Decode(nullptr, 3);
    EXPECT_EQ(full.m_nLength, 0);
}

TEST(DataXml, RandomPayloadsParseAsXml) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> size(0, 300);
    const uint8_t protocols[] = {1, 6, 17, 47};
    for (int i = 0; i < 400; ++i) {
        Bytes payload(static_cast<size_t>(size(rng)));
        for (auto& b : payload) b = static_cast<unsigned char>(byte(rng));
        const Bytes frame = i % 5 == 0 ? Cat({Ethernet(0x86DD), Ipv6(59), payload})
                                       : Cat({Ethernet(0x0800), Ipv4(protocols[i % 4]), payload});
        const std::string doc = "<Packet>" + ChainXml(Decode(frame).get()) + "</Packet>";
        ASSERT_EQ(XmlError(doc), "") << doc;
    }
    // Every byte value at once, in both orders.
    Bytes all(256);
    for (int b = 0; b < 256; ++b) all[static_cast<size_t>(b)] = static_cast<unsigned char>(b);
    EXPECT_EQ(XmlError("<Packet>" + PayloadXml(all) + "</Packet>"), "");
    std::reverse(all.begin(), all.end());
    EXPECT_EQ(XmlError("<Packet>" + PayloadXml(all) + "</Packet>"), "");
}

}  // namespace
