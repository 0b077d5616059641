// The statistics against tshark's on the same generated captures: the
// conversation tables of tapwatch-log --stats against -z conv (packets each
// way) and the sum of frame.len over each direction's frames, the protocol
// hierarchy against -z io,phs where both name the same layers, and the I/O
// series against -z io,stat,0.01.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture_files/capture_file_reader.h"
#include "common/shared_text.h"
#include "intake/packet_intake.h"
#include "stats/traffic_stats.h"

namespace {

// We do not reassemble fragments: a first fragment is counted by its own headers.
const std::string kTshark = "tshark -n -o ip.defragment:FALSE -o ipv6.defragment:FALSE -r ";

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> cells;
    std::istringstream in(line);
    for (std::string cell; std::getline(in, cell, separator);) cells.push_back(cell);
    return cells;
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// Section name to its rows (the header line left out).
std::map<std::string, std::vector<std::vector<std::string>>> Sections(const std::string& text) {
    std::map<std::string, std::vector<std::vector<std::string>>> sections;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("# ", 0) != 0) continue;
        auto& rows = sections[line.substr(2)];
        std::getline(in, line);
        while (std::getline(in, line) && !line.empty()) rows.push_back(Split(line, '\t'));
    }
    return sections;
}

// A directed pair of endpoints ("10.0.0.1 80") to packets and bytes.
using Directed = std::map<std::pair<std::string, std::string>, std::pair<uint64_t, uint64_t>>;

struct Table {
    const char* ours;    // section
    const char* conv;    // tshark's conv name
    const char* filter;  // tshark's frames of the table, for their lengths
    const char* fields;  // source and destination fields, innermost last
    bool ports;
};

const Table kTables[] = {
    {"IPv4", "ip", "ip", "-e ip.src -e ip.dst", false},
    {"IPv6", "ipv6", "ipv6", "-e ipv6.src -e ipv6.dst", false},
    {"TCP", "tcp", "tcp && !icmp && !icmpv6",
     "-e ip.src -e ipv6.src -e tcp.srcport -e ip.dst -e ipv6.dst -e tcp.dstport", true},
    {"UDP", "udp", "udp && !icmp && !icmpv6",
     "-e ip.src -e ipv6.src -e udp.srcport -e ip.dst -e ipv6.dst -e udp.dstport", true},
};

// tshark's "A <-> B  rxF rxB unit  txF txB unit ..." as packets each way.
Directed TsharkConversations(const std::string& file, const Table& table) {
    Directed directed;
    std::istringstream in(Shell(kTshark + file + " -q -z conv," + table.conv + " 2>/dev/null"));
    for (std::string line; std::getline(in, line);) {
        const auto w = Words(line);
        if (w.size() < 9 || w[1] != "<->") continue;
        auto endpoint = [&](std::string text) {
            if (table.ports) text[text.rfind(':')] = ' ';
            return text;
        };
        directed[{endpoint(w[0]), endpoint(w[2])}].first = std::stoull(w[6]);
        directed[{endpoint(w[2]), endpoint(w[0])}].first = std::stoull(w[3]);
    }
    return directed;
}

// The sum of frame.len each way, from tshark's fields (the outer of a repeated field: an ICMP error
// quotes its frame's headers reversed).
void AddTsharkBytes(const std::string& file, const Table& table, Directed& directed) {
    std::istringstream in(Shell(kTshark + file + " -Y '" + table.filter +
                                "' -T fields -E occurrence=f -e frame.len " + table.fields +
                                " 2>/dev/null"));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f = Split(line, '\t');
        f.resize(7);
        const std::string src = table.ports ? f[1] + f[2] + ' ' + f[3] : f[1];
        const std::string dst = table.ports ? f[4] + f[5] + ' ' + f[6] : f[2];
        directed[{src, dst}].second += std::stoull(f[0]);
    }
}

Directed OurConversations(const std::vector<std::vector<std::string>>& rows, bool ports) {
    Directed directed;
    for (const auto& r : rows) {
        const std::string a = ports ? r[0] + ' ' + r[1] : r[0];
        const std::string b = ports ? r[2] + ' ' + r[3] : r[1];
        const size_t n = ports ? 4 : 2;
        directed[{a, b}] = {std::stoull(r[n]), std::stoull(r[n + 1])};
        directed[{b, a}] = {std::stoull(r[n + 2]), std::stoull(r[n + 3])};
    }
    // A conversation one way only lists no frames the other way.
    std::erase_if(directed, [](const auto& e) { return e.second.first == 0; });
    return directed;
}

// tshark's protocol hierarchy as "eth:ip:tcp" to frames, for the layers we name.
std::map<std::string, uint64_t> TsharkHierarchy(const std::string& file) {
    static const std::map<std::string, std::string> kNames = {
        {"eth", "Ethernet"},  {"vlan", "VLAN"}, {"ieee8021ad", "VLAN"}, {"ip", "IPv4"},
        {"ipv6", "IPv6"},     {"tcp", "TCP"},   {"udp", "UDP"},         {"icmp", "ICMP"},
        {"icmpv6", "ICMPv6"}, {"arp", "ARP"},   {"sll", "SLL2"},
    };
    std::map<std::string, uint64_t> frames;
    std::vector<std::string> path;  // ours, by indent; empty where a layer is not ours
    std::istringstream in(Shell(kTshark + file + " -q -z io,phs 2>/dev/null"));
    for (std::string line; std::getline(in, line);) {
        const auto w = Words(line);
        if (w.size() != 3 || w[1].rfind("frames:", 0) != 0) continue;
        const size_t depth = line.find_first_not_of(' ') / 2;
        path.resize(depth + 1);
        const auto name = kNames.find(w[0]);
        const bool known = name != kNames.end() && (depth == 0 || !path[depth - 1].empty());
        path[depth] = known ? (depth == 0 ? "" : path[depth - 1] + " › ") + name->second : "";
        if (known) frames[path[depth]] += std::stoull(w[1].substr(7));
    }
    return frames;
}

TrafficStats ReadStats(const std::string& file) {
    TrafficStats stats;
    PacketStore store;
    store.PassThrough([&stats](size_t index, const StoredPacket& packet) {
        stats.Add(packet, index);
        return uint64_t{0};
    });
    SharedText none{std::string()};
    PacketIntake intake(store, none);
    CaptureFileReader().Read(file, "", intake);
    return stats;
}

TEST(StatsOracle, TablesHierarchyAndGraphMatchTshark) {
    if (std::system("command -v tshark > /dev/null") != 0) GTEST_SKIP() << "needs tshark";
    const std::string dir = testing::TempDir() + "stats_oracle";
    std::filesystem::create_directories(dir);
    for (const char* kind : {"mix", "vlan", "sll2", "http6", "tcp742"}) {
        SCOPED_TRACE(kind);
        const std::string file = dir + "/" + kind + ".pcap";
        ASSERT_EQ(0, std::system((std::string(TAPWATCH_GEN_TOOL) + " --kind " + kind +
                                  " --count 4000 -o " + file)
                                     .c_str()));
        const auto ours = Sections(Shell(std::string(TAPWATCH_LOG_TOOL) + " --stats " + file));

        for (const Table& table : kTables) {
            SCOPED_TRACE(table.ours);
            Directed theirs = TsharkConversations(file, table);
            AddTsharkBytes(file, table, theirs);
            std::erase_if(theirs, [](const auto& e) { return e.second.first == 0; });
            Directed mine =
                OurConversations(ours.at(std::string("Conversations ") + table.ours), table.ports);
            for (const auto& [way, counts] : theirs) {
                EXPECT_EQ(counts, mine[way]) << way.first << " to " << way.second;
                mine.erase(way);
            }
            for (const auto& [way, counts] : mine)
                ADD_FAILURE() << way.first << " to " << way.second << ": not tshark's";
        }

        // Frames tshark reads whole, so that neither counts a layer cut short.
        const std::string whole = dir + "/" + kind + "-whole.pcap";
        Shell(kTshark + file + " -Y 'frame.cap_len == frame.len' -F pcap -w " + whole);
        std::map<std::string, uint64_t> hierarchy;
        const auto wholeSections =
            Sections(Shell(std::string(TAPWATCH_LOG_TOOL) + " --stats " + whole));
        for (const auto& row : wholeSections.at("Protocol hierarchy")) {
            // tshark reads IPv6 extension headers inside IPv6, and RARP as ARP.
            const auto extension = [](const std::string& l) {
                return l.rfind("IPv6", 0) == 0 && l != "IPv6";
            };
            const auto layers = Split(row[0], ' ');
            if (extension(layers.back())) continue;
            std::string path;
            for (const std::string& layer : layers) {
                if (layer == "›" || extension(layer)) continue;
                path += (path.empty() ? "" : " › ") + (layer == "RARP" ? "ARP" : layer);
            }
            hierarchy[path] += std::stoull(row[1]);
        }
        const auto theirs = TsharkHierarchy(whole);
        ASSERT_FALSE(theirs.empty());
        for (const auto& [path, frames] : theirs) EXPECT_EQ(frames, hierarchy[path]) << path;

        const TrafficStats stats = ReadStats(file);
        ASSERT_EQ(10'000'000 % stats.Io().BaseNs(), 0u);
        const auto bins = stats.Io().Regrouped(10'000'000 / stats.Io().BaseNs());
        std::istringstream io(Shell(kTshark + file + " -q -z io,stat,0.01 2>/dev/null"));
        size_t i = 0;
        for (std::string line; std::getline(io, line);) {
            const auto w = Words(line);
            if (w.size() != 9 || w[2] != "<>") continue;
            const IoBin bin = i < bins.size() ? bins[i] : IoBin{};
            EXPECT_EQ(std::stoull(w[5]), bin.packets) << "interval " << i;
            EXPECT_EQ(std::stoull(w[7]), bin.bytes) << "interval " << i;
            ++i;
        }
        EXPECT_GT(i, 0u);
        EXPECT_GE(i, bins.size());
    }
}

}  // namespace
