// Where the Details items' bytes lie, held against the positions tshark gives
// the same fields and layers in generated captures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocols/decode.h"
#include "tools/capture_gen/generator.h"
#include "xml/detail_items.h"

namespace {

// One line per layer element: "Layer=tshark protocol" (none where tshark's
// protocol covers more or less than the layer), then "label=tshark field" for
// its fields. The TCP layer leaves its options to the payload.
const char* const kTable[] = {
    "Ethernet=eth, MAC Source address=eth.src, MAC Destination address=eth.dst, Type=eth.type",
    "VLAN=, VLAN ID=vlan.id, Type=vlan.etype",
    "SLL2=sll, Protocol=sll.etype, Interface index=sll.ifindex, Link-layer address type=sll.hatype,"
    " Packet type=sll.pkttype, Link-layer address length=sll.halen, Link-layer address=sll.src.eth",
    "PPPoE=pppoes",
    "PPP=ppp, Protocol=ppp.protocol",
    "IPv4=ip, Version=ip.version, HeaderLen=ip.hdr_len, TOS (Type of Service)=ip.dsfield,"
    " Total Length=ip.len, ID=ip.id, FragmentOffset=ip.frag_offset, TTL=ip.ttl,"
    " Protocol=ip.proto, Checksum=ip.checksum, Source IP=ip.src, Destination IP=ip.dst",
    "IPv6=, Version=ipv6.version, Flow Label=ipv6.flow, Payload Length=ipv6.plen,"
    " Next Header=ipv6.nxt, Hop Limit=ipv6.hlim, Source IP=ipv6.src, Destination IP=ipv6.dst",
    "ICMP=, Type=icmp.type, Code=icmp.code, Checksum=icmp.checksum",
    "TCP=, Source Port=tcp.srcport, Destination Port=tcp.dstport, Sequence Number=tcp.seq,"
    " Acknowledgement Number=tcp.ack, Data offset=tcp.hdr_len, Flags=tcp.flags,"
    " Window Size=tcp.window_size_value, Checksum=tcp.checksum, Urgent=tcp.urgent_pointer",
    "UDP=udp, Source Port=udp.srcport, Destination Port=udp.dstport, Header Length=udp.length,"
    " Checksum=udp.checksum",
    "ARP=, Hardware Type=arp.hw.type, Protocol Type=arp.proto.type, Hardware Address "
    "Length=arp.hw.size, Protocol Address Length=arp.proto.size, Operation code=arp.opcode,"
    " Hardware Source address=arp.src.hw_mac, ProtocolSource=arp.src.proto_ipv4,"
    " Hardware Destination address=arp.dst.hw_mac, ProtocolDest=arp.dst.proto_ipv4",
    "RARP=, Operation code=arp.opcode, ProtocolDest=arp.dst.proto_ipv4"};

struct Reference {
    std::string layer, label, tshark;  // label "" for the layer itself
};

std::vector<Reference> References() {
    std::vector<Reference> refs;
    for (const std::string line : kTable) {
        std::string layer;
        for (size_t at = 0; at < line.size();) {
            const size_t end = std::min(line.find(", ", at), line.size());
            const size_t equals = line.find('=', at);
            std::string label = line.substr(at, equals - at);
            const std::string tshark = line.substr(equals + 1, end - equals - 1);
            if (layer.empty()) std::swap(layer, label);
            if (!tshark.empty()) refs.push_back({layer, label, tshark});
            at = end + 2;
        }
    }
    return refs;
}

// Per packet, the places tshark gives the fields and protocols of each name.
using TsharkPacket = std::map<std::string, std::vector<BytePlace>>;
std::vector<TsharkPacket> TsharkPlaces(const std::string& file) {
    const auto attribute = [](const std::string& line, const std::string& name) {
        const size_t begin = line.find(" " + name + "=\"") + name.size() + 3;
        return line.substr(begin, line.find('"', begin) - begin);
    };
    std::vector<TsharkPacket> packets;
    FILE* pipe = popen(("tshark -n -r " + file + " -T pdml 2>/dev/null").c_str(), "r");
    char buffer[65536];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr) {
        const std::string line(buffer);
        if (line.find("<packet>") != std::string::npos) packets.emplace_back();
        if (packets.empty() || line.find(" pos=\"") == std::string::npos) continue;
        std::string name = attribute(line, "name");
        // An 802.1ad tag is a VLAN layer here as an 802.1Q tag is.
        if (name == "ieee8021ad.id" || name == "ieee8021ah.etype")
            name = name.ends_with("id") ? "vlan.id" : "vlan.etype";
        packets.back()[name].push_back({uint32_t(std::stoul(attribute(line, "pos"))),
                                        uint32_t(std::stoul(attribute(line, "size")))});
    }
    if (pipe != nullptr) pclose(pipe);
    return packets;
}

// The place of the item (a layer) or of its field the reference names.
std::optional<BytePlace> OurPlace(const DetailItem& item, bool last, const Reference& ref) {
    if (item.text != ref.layer) return std::nullopt;
    // The last layer runs to the captured end, beyond its header.
    if (ref.label.empty()) return last ? std::nullopt : std::optional(item.place);
    for (size_t f = 0; f < item.fields.size() && f < item.fieldPlaces.size(); ++f)
        if (item.fields[f].starts_with(ref.label + " = ")) return item.fieldPlaces[f];
    return std::nullopt;
}

TEST(FieldPlaces, ItemsLieWhereTsharkFindsTheirFields) {
    if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tshark";
    using capture_gen::CaptureKind;
    const std::vector<Reference> refs = References();
    std::map<std::string, int> compared;
    for (const CaptureKind kind : {CaptureKind::Mix, CaptureKind::Vlan, CaptureKind::Sll2}) {
        const std::string file = std::filesystem::temp_directory_path() /
                                 ("tapwatch-places-" + std::to_string(getpid()) + ".pcap");
        constexpr size_t kCount = 1500;
        ASSERT_TRUE(capture_gen::WriteCapture(file, kind, kCount, 11));
        const auto frames = capture_gen::GenerateFrames(kind, kCount, 11);
        const auto tshark = TsharkPlaces(file);
        std::filesystem::remove(file);
        ASSERT_EQ(tshark.size(), kCount);
        for (size_t i = 0; i < kCount; ++i) {
            const capture_gen::Bytes& frame = frames[i].data;
            const auto root = DecodeFrame(frame.data(), static_cast<int>(frame.size()),
                                          capture_gen::CaptureLinkType(kind));
            std::vector<DetailItem> items;
            ASSERT_TRUE(DetailItemsOf(root.get(), frame, items));
            for (const Reference& ref : refs) {
                const auto expected = tshark[i].find(ref.tshark);
                if (expected == tshark[i].end()) continue;
                for (const DetailItem& item : items) {
                    const std::optional<BytePlace> ours =
                        OurPlace(item, &item == &items.back(), ref);
                    if (!ours) continue;
                    EXPECT_THAT(expected->second, testing::Contains(*ours))
                        << capture_gen::CaptureKindName(kind) << " frame " << i + 1 << ": "
                        << ref.layer << " " << ref.tshark;
                    ++compared[ref.layer + " " + ref.tshark];
                }
            }
        }
    }
    // Every line of the table met in the captures.
    for (const Reference& ref : refs)
        EXPECT_GT(compared[ref.layer + " " + ref.tshark], 0) << ref.layer << " " << ref.tshark;
}

}  // namespace
