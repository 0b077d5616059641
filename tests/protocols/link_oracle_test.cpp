// Every link type and layer beyond plain Ethernet, decoded from captures that
// scapy writes and compared field by field with what tshark reads in them.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/protocols/frames.h"

namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        pclose(pipe);
    }
    return out;
}

// Each occurrence of <element>...<child ...>TEXT</child> in a packet's XML,
// joined with commas; only the last one with `last`. "SLL" stands for both
// versions of the cooked header, whose fields tshark names alike.
std::string Ours(const std::string& xml, std::string element, const std::string& child, bool last) {
    if (element == "SLL" && xml.find("<SLL2>") != std::string::npos) element = "SLL2";
    std::string joined, one;
    for (size_t at = xml.find("<" + element + ">"); at != std::string::npos;
         at = xml.find("<" + element + ">", at + 1)) {
        const size_t end = xml.find("</" + element + ">", at);
        size_t open = xml.find("<" + child + ">", at);
        if (open > end) open = xml.find("<" + child + " ", at);
        if (open > end) continue;
        const size_t text = xml.find('>', open) + 1;
        one = xml.substr(text, xml.find('<', text) - text);
        joined += (joined.empty() ? "" : ",") + one;
    }
    return last ? one : joined;
}

// Numbers compare as numbers whatever their base; addresses without separators.
std::string Normal(std::string text) {
    std::string out;
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        char* end = nullptr;
        const unsigned long long n = std::strtoull(item.c_str(), &end, 0);
        if (!item.empty() && *end == '\0') item = std::to_string(n);
        std::string kept;
        for (const char c : item)
            if (c != ':' && c != '-') kept += static_cast<char>(std::tolower(c));
        out += (out.empty() ? "" : ",") + kept;
    }
    return out;
}

struct Field {
    const char* element;
    const char* child;
    const char* theirs;  // tshark fields whose occurrences follow one another
    bool last = false;
};

const Field kFields[] = {
    {"VLAN", "ID", "ieee8021ad.id vlan.id"},
    {"VLAN", "Priority", "ieee8021ad.priority vlan.priority"},
    {"VLAN", "DropEligible", "ieee8021ad.dei vlan.dei"},
    {"VLAN", "Type", "vlan.etype", true},
    {"SLL", "PacketType", "sll.pkttype"},
    {"SLL", "AddressType", "sll.hatype"},
    {"SLL", "AddressLength", "sll.halen"},
    {"SLL", "Address", "sll.src.eth"},
    {"SLL", "Protocol", "sll.etype"},
    {"SLL2", "Interface", "sll.ifindex"},
    {"Loopback", "Family", "null.family"},
    {"PPP", "Protocol", "ppp.protocol"},
    {"ICMPv6", "Type", "icmpv6.type"},
    {"ICMPv6", "Code", "icmpv6.code"},
    {"ICMPv6", "Checksum", "icmpv6.checksum"},
    {"ICMPv6", "Identifier", "icmpv6.echo.identifier"},
    {"ICMPv6", "Sequence", "icmpv6.echo.sequence_number"},
    {"IPv6HopByHop", "NextHeader", "ipv6.hopopts.nxt"},
    {"IPv6HopByHop", "Length", "ipv6.hopopts.len_oct"},
    {"IPv6Routing", "Length", "ipv6.routing.len_oct"},
    {"IPv6DestOptions", "NextHeader", "ipv6.dstopts.nxt"},
    {"IPv6Fragment", "NextHeader", "ipv6.fraghdr.nxt"},
    {"IPv6Fragment", "Offset", "ipv6.fraghdr.offset"},
    {"IPv6Fragment", "MoreFragments", "ipv6.fraghdr.more"},
    {"IPv6Fragment", "Identification", "ipv6.fraghdr.ident"},
    {"TCP", "SourcePort", "tcp.srcport"},
    {"UDP", "DestPort", "udp.dstport"},
};

TEST(LinkTypes, EveryFieldIsWhatTsharkReads) {
    if (std::system("command -v tshark > /dev/null && /usr/bin/python3 -c 'import scapy'"
                    " 2> /dev/null") != 0)
        GTEST_SKIP() << "needs tshark and python3-scapy";
    const fs::path dir = fs::temp_directory_path() / ("tw-links-" + std::to_string(getpid()));
    fs::create_directories(dir);
    ASSERT_EQ(
        std::system(("/usr/bin/python3 " TAPWATCH_SOURCE_DIR "/tests/protocols/link_frames.py '" +
                     dir.string() + "' 2> /dev/null")
                        .c_str()),
        0);
    std::string fields;
    std::map<std::string, size_t> columnOf;
    for (const Field& f : kFields) {
        std::istringstream names(f.theirs);
        for (std::string name; names >> name;) {
            if (columnOf.emplace(name, columnOf.size()).second) fields += " -e " + name;
        }
    }
    size_t compared = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string path = entry.path().string();
        std::istringstream tshark(
            Shell("tshark -n -o ip.defragment:FALSE -o ipv6.defragment:FALSE"
                  " -r '" +
                  path +
                  "' -T fields -E occurrence=a"
                  " -E aggregator=, -E separator=/t" +
                  fields + " 2> /dev/null"));
        char error[PCAP_ERRBUF_SIZE];
        pcap_t* pcap = pcap_open_offline(path.c_str(), error);
        ASSERT_NE(pcap, nullptr) << error;
        pcap_pkthdr* header;
        const u_char* bytes;
        for (int n = 0; pcap_next_ex(pcap, &header, &bytes) == 1; ++n) {
            const std::string xml = frames::ChainXml(
                DecodeFrame(bytes, static_cast<int>(header->caplen), pcap_datalink(pcap)).get());
            std::string line;
            ASSERT_TRUE(std::getline(tshark, line)) << path;
            std::vector<std::string> columns;
            std::istringstream cells(line + "\t");
            for (std::string cell; std::getline(cells, cell, '\t');) columns.push_back(cell);
            for (const Field& f : kFields) {
                std::string theirs;
                std::istringstream names(f.theirs);
                for (std::string name; names >> name;) {
                    const size_t column = columnOf.at(name);
                    if (column < columns.size() && !columns[column].empty())
                        theirs += (theirs.empty() ? "" : ",") + columns[column];
                }
                if (f.last && theirs.find(',') != std::string::npos)
                    theirs = theirs.substr(theirs.rfind(',') + 1);
                EXPECT_EQ(Normal(Ours(xml, f.element, f.child, f.last)), Normal(theirs))
                    << entry.path().filename() << " frame " << n << " " << f.element << "/"
                    << f.child << "\n"
                    << xml;
                compared += !theirs.empty();
            }
        }
        pcap_close(pcap);
    }
    fs::remove_all(dir);
    EXPECT_GT(compared, 150u);
}

}  // namespace
