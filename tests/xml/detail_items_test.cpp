#include "xml/detail_items.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/xml/xml_test_frames.h"
#include "xml/packet_document.h"

namespace {

using xml_test::Bytes;

std::vector<DetailItem> ItemsOf(const Bytes& frame) {
    const StoredPacket packet = xml_test::Stored(frame);
    std::vector<DetailItem> items;
    EXPECT_TRUE(DetailItemsOf(packet.root.get(), items));
    return items;
}

std::vector<std::string> LayerNames(const std::vector<DetailItem>& items) {
    std::vector<std::string> names;
    for (const DetailItem& item : items) names.push_back(item.text);
    return names;
}

const DetailItem* Layer(const std::vector<DetailItem>& items, const std::string& name) {
    for (const DetailItem& item : items)
        if (item.text == name) return &item;
    return nullptr;
}

TEST(DetailItems, TcpPacketShowsEveryLayerWithLabelledFields) {
    const Bytes frame = xml_test::TcpFrame("hello", 1025, 80);
    const std::vector<DetailItem> items = ItemsOf(frame);
    EXPECT_EQ(LayerNames(items), (std::vector<std::string>{"Ethernet", "IPv4", "TCP", "Data"}));

    const DetailItem* tcp = Layer(items, "TCP");
    ASSERT_NE(tcp, nullptr);
    // The checksum as it travels in the frame: after the Ethernet and IPv4
    // headers, 16 bytes into the TCP header.
    const size_t at = 14 + 20 + 16;
    const unsigned checksum = (unsigned{frame[at]} << 8) | frame[at + 1];
    EXPECT_EQ(tcp->fields, (std::vector<std::string>{
                               "Source Port = 1025", "Destination Port = 80",
                               "Sequence Number = 1000", "Acknowledgement Number = 2000",
                               "Urgent = 0", "Data offset = 20", "Window Size = 65535",
                               "Checksum = " + std::to_string(checksum), "Flags = ACK PSH "}));

    const DetailItem* ip = Layer(items, "IPv4");
    ASSERT_NE(ip, nullptr);
    ASSERT_GE(ip->fields.size(), 3u);
    EXPECT_EQ(ip->fields[0], "Version = 4");
    EXPECT_EQ(ip->fields[1], "Source IP = 192.0.2.1");
    EXPECT_EQ(ip->fields[2], "Destination IP = 192.0.2.2");
}

TEST(DetailItems, UndecodedEtherTypeGivesTheEthernetItemAlone) {
    const std::vector<DetailItem> items = ItemsOf(xml_test::OpaqueFrame(0x01, 0x88B5));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "Ethernet");
    EXPECT_EQ(
        items[0].fields,
        (std::vector<std::string>{"MAC Source address = 02-00-00-00-00-01",
                                  "MAC Destination address = 02-00-00-00-00-02", "Type = 0x88b5"}));
}

TEST(DetailItems, PayloadGivesHexAndRawItems) {
    const std::vector<DetailItem> items = ItemsOf(xml_test::TcpFrame("AB C"));
    const DetailItem* data = Layer(items, "Data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->fields, (std::vector<std::string>{"Hex data = 41422043", "Raw data = AB.C"}));
}

TEST(DetailItems, AmpersandsInThePayloadShowAsSentAndStayEscapedOnTheClipboard) {
    const Bytes frame = xml_test::TcpFrame("a&amp;b&c");
    const std::vector<DetailItem> items = ItemsOf(frame);
    const DetailItem* data = Layer(items, "Data");
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->fields.size(), 2u);
    EXPECT_EQ(data->fields[1], "Raw data = a&amp;b&c");

    const StoredPacket packet = xml_test::Stored(frame);
    const std::string clip = ClipboardText(packet.root.get());
    EXPECT_NE(clip.find("<Raw desc=\"Raw data\">a&amp;amp;b&amp;c</Raw>"), std::string::npos)
        << clip;
}

TEST(DetailItems, MarkupCharactersInThePayloadDoNotBreakTheTree) {
    const std::vector<DetailItem> items = ItemsOf(xml_test::TcpFrame("<x>\"'"));
    const DetailItem* data = Layer(items, "Data");
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->fields.size(), 2u);
    EXPECT_EQ(data->fields[1], "Raw data = .x..'");
}

TEST(DetailItems, FieldWithoutDescIsLabelledByItsElementName) {
    std::vector<DetailItem> items;
    ASSERT_TRUE(BuildDetailItems(
        "<?xml version=\"1.0\"?><Packet><ARP><SenderIP addr=\"Sender\">10.0.0.1</SenderIP>"
        "<Op desc=\"\">1</Op><Empty/></ARP><Other></Other></Packet>",
        items));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, "ARP");
    EXPECT_EQ(items[0].fields,
              (std::vector<std::string>{"SenderIP = 10.0.0.1", "Op = 1", "Empty = "}));
    EXPECT_EQ(items[1].text, "Other");
    EXPECT_TRUE(items[1].fields.empty());
}

TEST(DetailItems, DocumentThatDoesNotParseGivesNothing) {
    std::vector<DetailItem> items{DetailItem{"stale", {}, {}, {}}};
    EXPECT_FALSE(BuildDetailItems("<Packet><Ethernet><Type>1</Type></Packet>", items));
    EXPECT_TRUE(items.empty());
    EXPECT_FALSE(BuildDetailItems("", items));
    EXPECT_TRUE(items.empty());
}

TEST(DetailItems, PacketWithoutLayersGivesAnEmptyList) {
    std::vector<DetailItem> items;
    EXPECT_TRUE(DetailItemsOf(nullptr, items));
    EXPECT_TRUE(items.empty());
}

}  // namespace
