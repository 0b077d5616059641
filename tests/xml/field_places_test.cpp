// Where the Details items' bytes lie, held against the positions tshark gives
// the same fields and layers in a generated capture.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocols/decode.h"
#include "tools/capture_gen/generator.h"
#include "xml/detail_items.h"

// gtest names places by this in its messages.
void PrintTo(const BytePlace& place, std::ostream* out) {
    *out << "at " << place.offset << ", " << place.length << " bytes";
}

namespace {

// A layer element, a field label ("" for the layer itself) and tshark's name
// for the same field (or protocol).
struct Reference {
    std::string layer;
    std::string label;
    std::string tshark;
};

const Reference kReferences[] = {
    {"Ethernet", "", "eth"},
    {"Ethernet", "MAC Source address", "eth.src"},
    {"Ethernet", "MAC Destination address", "eth.dst"},
    {"Ethernet", "Type", "eth.type"},
    {"PPPoE", "", "pppoes"},
    {"PPP", "", "ppp"},
    {"PPP", "Protocol", "ppp.protocol"},
    {"IPv4", "", "ip"},
    {"IPv4", "Version", "ip.version"},
    {"IPv4", "HeaderLen", "ip.hdr_len"},
    {"IPv4", "TOS (Type of Service)", "ip.dsfield"},
    {"IPv4", "Total Length", "ip.len"},
    {"IPv4", "ID", "ip.id"},
    {"IPv4", "FragmentOffset", "ip.frag_offset"},
    {"IPv4", "TTL", "ip.ttl"},
    {"IPv4", "Protocol", "ip.proto"},
    {"IPv4", "Checksum", "ip.checksum"},
    {"IPv4", "Source IP", "ip.src"},
    {"IPv4", "Destination IP", "ip.dst"},
    {"IPv6", "Version", "ipv6.version"},
    {"IPv6", "Flow Label", "ipv6.flow"},
    {"IPv6", "Payload Length", "ipv6.plen"},
    {"IPv6", "Next Header", "ipv6.nxt"},
    {"IPv6", "Hop Limit", "ipv6.hlim"},
    {"IPv6", "Source IP", "ipv6.src"},
    {"IPv6", "Destination IP", "ipv6.dst"},
    {"ICMP", "Type", "icmp.type"},
    {"ICMP", "Code", "icmp.code"},
    {"ICMP", "Checksum", "icmp.checksum"},
    {"TCP", "Source Port", "tcp.srcport"},
    {"TCP", "Destination Port", "tcp.dstport"},
    {"TCP", "Sequence Number", "tcp.seq"},
    {"TCP", "Acknowledgement Number", "tcp.ack"},
    {"TCP", "Data offset", "tcp.hdr_len"},
    {"TCP", "Flags", "tcp.flags"},
    {"TCP", "Window Size", "tcp.window_size_value"},
    {"TCP", "Checksum", "tcp.checksum"},
    {"TCP", "Urgent", "tcp.urgent_pointer"},
    {"UDP", "", "udp"},
    {"UDP", "Source Port", "udp.srcport"},
    {"UDP", "Destination Port", "udp.dstport"},
    {"UDP", "Header Length", "udp.length"},
    {"UDP", "Checksum", "udp.checksum"},
    {"ARP", "Hardware Type", "arp.hw.type"},
    {"ARP", "Protocol Type", "arp.proto.type"},
    {"ARP", "Hardware Address Length", "arp.hw.size"},
    {"ARP", "Protocol Address Length", "arp.proto.size"},
    {"ARP", "Operation code", "arp.opcode"},
    {"ARP", "Hardware Source address", "arp.src.hw_mac"},
    {"ARP", "ProtocolSource", "arp.src.proto_ipv4"},
    {"ARP", "Hardware Destination address", "arp.dst.hw_mac"},
    {"ARP", "ProtocolDest", "arp.dst.proto_ipv4"},
    {"RARP", "Operation code", "arp.opcode"},
    {"RARP", "ProtocolDest", "arp.dst.proto_ipv4"},
};

std::string Attribute(const std::string& line, const std::string& name) {
    const size_t at = line.find(" " + name + "=\"");
    if (at == std::string::npos) return {};
    const size_t begin = at + name.size() + 3;
    return line.substr(begin, line.find('"', begin) - begin);
}

// Per packet, the place tshark gives the first field or protocol of each name.
std::vector<std::map<std::string, BytePlace>> TsharkPlaces(const std::string& file) {
    std::vector<std::map<std::string, BytePlace>> packets;
    FILE* pipe = popen(("tshark -n -r " + file + " -T pdml 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return packets;
    char buffer[65536];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
        const std::string line(buffer);
        if (line.find("<packet>") != std::string::npos) packets.emplace_back();
        if (packets.empty() || line.find(" pos=\"") == std::string::npos) continue;
        packets.back().try_emplace(
            Attribute(line, "name"),
            BytePlace{static_cast<uint32_t>(std::stoul(Attribute(line, "pos"))),
                      static_cast<uint32_t>(std::stoul(Attribute(line, "size")))});
    }
    pclose(pipe);
    return packets;
}

// The place of the first item of the reference's layer, or of its field. The
// TCP layer leaves its options to the payload, so it is held against no layer.
std::optional<BytePlace> OurPlace(const std::vector<DetailItem>& items, const Reference& ref) {
    for (const DetailItem& item : items) {
        if (item.text != ref.layer) continue;
        // The last layer runs to the captured end, beyond its header.
        if (ref.label.empty())
            return &item != &items.back() ? std::optional(item.place) : std::nullopt;
        for (size_t f = 0; f < item.fields.size() && f < item.fieldPlaces.size(); ++f)
            if (item.fields[f].starts_with(ref.label + " = ")) return item.fieldPlaces[f];
        return std::nullopt;
    }
    return std::nullopt;
}

TEST(FieldPlaces, ItemsLieWhereTsharkFindsTheirFields) {
    if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tshark";
    const std::string file = std::filesystem::temp_directory_path() /
                             ("tapwatch-places-" + std::to_string(getpid()) + ".pcap");
    constexpr size_t kCount = 1500;
    ASSERT_TRUE(capture_gen::WriteCapture(file, capture_gen::CaptureKind::Mix, kCount, 11));
    const auto frames = capture_gen::GenerateFrames(capture_gen::CaptureKind::Mix, kCount, 11);
    const auto tshark = TsharkPlaces(file);
    std::filesystem::remove(file);
    ASSERT_EQ(tshark.size(), kCount);

    std::map<const Reference*, int> compared;
    for (size_t i = 0; i < kCount; ++i) {
        const capture_gen::Bytes& frame = frames[i].data;
        const auto root = DecodeFrame(frame.data(), static_cast<int>(frame.size()));
        std::vector<DetailItem> items;
        ASSERT_TRUE(DetailItemsOf(root.get(), frame, items));
        for (const Reference& ref : kReferences) {
            const auto expected = tshark[i].find(ref.tshark);
            const std::optional<BytePlace> ours = OurPlace(items, ref);
            if (expected == tshark[i].end() || !ours) continue;
            EXPECT_EQ(*ours, expected->second) << "frame " << i + 1 << ": " << ref.tshark;
            ++compared[&ref];
        }
    }
    // Every line of the table met in the capture.
    for (const Reference& ref : kReferences) EXPECT_GT(compared[&ref], 0) << ref.tshark;
}

}  // namespace
