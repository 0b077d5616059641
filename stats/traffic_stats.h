// What a capture holds, counted row by row: the summary, packets and bytes
// over time, the hierarchy of layer chains, and the conversations of the
// Ethernet, IPv4, IPv6, TCP and UDP tables (the endpoints are drawn from the
// conversations when asked for). Each row adds in constant work and the
// counts never keep a frame, so the window follows a live capture without
// recounting and tapwatch-log counts a capture of any size in little memory.
// Bytes are always frame lengths on the wire.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "intake/packet_store.h"
#include "protocols/kept_frame.h"
#include "protocols/layer.h"
#include "stats/io_series.h"
#include "stats/stats_table.h"

enum class ConversationKind : int { Ethernet = 0, Ipv4, Ipv6, Tcp, Udp };
inline constexpr int kConversationKinds = 5;
// "Ethernet", "IPv4", "IPv6", "TCP", "UDP".
const char* ConversationKindName(ConversationKind kind);

struct EndpointAddress {
    uint8_t length = 0;  // 6, 4 or 16 bytes
    std::array<unsigned char, 16> bytes{};
    uint16_t port = 0;

    friend bool operator==(const EndpointAddress&, const EndpointAddress&) = default;
};

struct Conversation {
    EndpointAddress a;  // the source of the conversation's first frame
    EndpointAddress b;
    uint64_t packetsAB = 0, bytesAB = 0, packetsBA = 0, bytesBA = 0;
    FrameTime first;
    FrameTime last;
    size_t firstRow = 0;  // the position, among the rows counted, of its first frame
    bool tagged = false;  // its first frame was inside VLAN tags
};

struct HierarchyNode {
    int type = 0;  // a LayerType; 0 for the root, above every chain
    const char* name = "";
    uint64_t packets = 0;
    uint64_t bytes = 0;
    std::vector<size_t> children;  // indices into Hierarchy()
};

struct StatsSummary {
    uint64_t packets = 0;
    uint64_t bytes = 0;
    uint64_t drops = 0;
    FrameTime first;  // the earliest and latest frame times
    FrameTime last;
    double DurationSeconds() const;
};

// Seconds from `from` to `to`, negative when `to` is earlier.
double SecondsBetween(const FrameTime& from, const FrameTime& to);

class TrafficStats {
  public:
    TrafficStats();

    // Counts one row; `position` is its place among the rows counted (for a
    // click back from a table or the graph). Entries without a chain count
    // in the summary and the graph only.
    void Add(const StoredPacket& packet, size_t position);
    void Add(const FrameTime& time, uint32_t capturedLength, uint32_t wireLength,
             const CProtocolLayer* root, size_t position);
    void Clear();
    // Times count from `origin` rather than from the first row (counts of
    // some rows drawn beside those of all); before any Add.
    void SetOrigin(const FrameTime& origin) {
        m_origin = origin;
        m_bOriginSet = true;
    }
    void SetDrops(uint64_t drops) { m_summary.drops = drops; }

    const StatsSummary& Summary() const { return m_summary; }
    // The origin of every relative time: the first row counted.
    const FrameTime& Origin() const { return m_origin; }
    const IoSeries& Io() const { return m_io; }
    // Node 0 is the root.
    const std::vector<HierarchyNode>& Hierarchy() const { return m_hierarchy; }
    const std::vector<Conversation>& Conversations(ConversationKind kind) const {
        return m_tables[static_cast<int>(kind)].list;
    }

    // The tables as shown and written, in the order of their first rows.
    StatsTable SummaryTable() const;
    StatsTable HierarchyTable() const;
    StatsTable ConversationTable(ConversationKind kind) const;
    StatsTable EndpointTable(ConversationKind kind) const;

  private:
    struct KeyHash {
        size_t operator()(const std::pair<EndpointAddress, EndpointAddress>& key) const;
    };
    struct Table {
        std::vector<Conversation> list;
        std::unordered_map<std::pair<EndpointAddress, EndpointAddress>, size_t, KeyHash> index;
    };

    void Count(ConversationKind kind, const EndpointAddress& src, const EndpointAddress& dst,
               const FrameTime& time, uint32_t bytes, size_t position);
    void CountHierarchy(const CProtocolLayer* root, uint32_t bytes);

    StatsSummary m_summary;
    FrameTime m_origin;
    IoSeries m_io;
    std::vector<HierarchyNode> m_hierarchy;
    std::array<Table, kConversationKinds> m_tables;
    bool m_bTagged = false;  // the frame being counted
    bool m_bOriginSet = false;
};

// The text form of an address ("00:11:22:33:44:55", "10.0.0.1", "2001:db8::1").
std::string AddressText(const EndpointAddress& address);
// Every table of `stats` as tapwatch-log --stats writes them.
std::string StatsText(const TrafficStats& stats);
