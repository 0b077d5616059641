#include "stats/traffic_stats.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "protocols/data.h"
#include "protocols/ethernet.h"
#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/tcp.h"
#include "protocols/udp.h"

namespace {

template <size_t N>
EndpointAddress Address(const unsigned char (&bytes)[N], uint16_t port = 0) {
    EndpointAddress address;
    address.length = N;
    std::memcpy(address.bytes.data(), bytes, N);
    address.port = port;
    return address;
}

int64_t NanosecondsBetween(const FrameTime& from, const FrameTime& to) {
    const int64_t seconds = to.seconds - from.seconds;
    // Beyond about 292 years the offset saturates rather than wraps.
    if (seconds > int64_t{9'000'000'000}) return INT64_MAX;
    if (seconds < -int64_t{9'000'000'000}) return INT64_MIN;
    return seconds * 1'000'000'000 + (int64_t{to.nanoseconds} - int64_t{from.nanoseconds});
}

}  // namespace

const char* ConversationKindName(ConversationKind kind) {
    static constexpr const char* kNames[] = {"Ethernet", "IPv4", "IPv6", "TCP", "UDP"};
    return kNames[static_cast<int>(kind)];
}

double SecondsBetween(const FrameTime& from, const FrameTime& to) {
    return static_cast<double>(to.seconds - from.seconds) +
           (static_cast<double>(to.nanoseconds) - static_cast<double>(from.nanoseconds)) / 1e9;
}

double StatsSummary::DurationSeconds() const {
    return packets == 0 ? 0 : SecondsBetween(first, last);
}

std::string AddressText(const EndpointAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.length == 4 || address.length == 16) {
        inet_ntop(address.length == 4 ? AF_INET : AF_INET6, address.bytes.data(), text,
                  sizeof text);
        return text;
    }
    std::string mac;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < address.length; ++i) {
        if (i > 0) mac += ':';
        mac += kDigits[address.bytes[i] >> 4];
        mac += kDigits[address.bytes[i] & 15];
    }
    return mac;
}

size_t TrafficStats::KeyHash::operator()(
    const std::pair<EndpointAddress, EndpointAddress>& key) const {
    uint64_t h = 1469598103934665603ULL;
    const auto mix = [&h](const EndpointAddress& a) {
        for (size_t i = 0; i < a.length; ++i) h = (h ^ a.bytes[i]) * 1099511628211ULL;
        h = (h ^ a.port) * 1099511628211ULL;
        h = (h ^ a.length) * 1099511628211ULL;
    };
    mix(key.first);
    mix(key.second);
    return static_cast<size_t>(h);
}

TrafficStats::TrafficStats() {
    Clear();
}

void TrafficStats::Clear() {
    m_summary = {};
    m_origin = {};
    m_bOriginSet = false;
    m_io.Clear();
    m_hierarchy.assign(1, HierarchyNode{});
    for (auto& table : m_tables) {
        table.list.clear();
        table.index.clear();
    }
}

void TrafficStats::Add(const StoredPacket& packet, size_t position) {
    if (packet.frame == nullptr) return;
    Add(packet.frame->time, packet.frame->capturedLength, packet.frame->wireLength,
        packet.root.get(), position);
}

void TrafficStats::Add(const FrameTime& time, uint32_t capturedLength, uint32_t wireLength,
                       const CProtocolLayer* root, size_t position) {
    if (m_summary.packets == 0) {
        if (!m_bOriginSet) m_origin = time;
        m_summary.first = time;
        m_summary.last = time;
    }
    m_summary.packets += 1;
    m_summary.bytes += wireLength;
    m_summary.first = std::min(m_summary.first, time);
    m_summary.last = std::max(m_summary.last, time);
    m_io.Add(NanosecondsBetween(m_origin, time), wireLength);
    if (root == nullptr) return;
    CountHierarchy(root, wireLength);
    m_bTagged = FindLayer(root, LAYER_VLAN) != nullptr;

    if (root->m_nType == LAYER_ETHERNET) {
        const auto* eth = static_cast<const CEthernetLayer*>(root);
        Count(ConversationKind::Ethernet, Address(eth->m_srcMac), Address(eth->m_dstMac), time,
              wireLength, position);
    }
    EndpointAddress src;
    EndpointAddress dst;
    const CProtocolLayer* ip = nullptr;
    for (const CProtocolLayer* layer = root; layer != nullptr; layer = layer->m_pNext) {
        if (layer->m_nType == LAYER_IPV4) {
            const auto* v4 = static_cast<const CIpv4Layer*>(layer);
            Count(ConversationKind::Ipv4, Address(v4->m_srcAddr), Address(v4->m_dstAddr), time,
                  wireLength, position);
            src = Address(v4->m_srcAddr);
            dst = Address(v4->m_dstAddr);
            ip = layer;
        } else if (layer->m_nType == LAYER_IPV6) {
            const auto* v6 = static_cast<const CIpv6Layer*>(layer);
            Count(ConversationKind::Ipv6, Address(v6->m_srcAddr), Address(v6->m_dstAddr), time,
                  wireLength, position);
            src = Address(v6->m_srcAddr);
            dst = Address(v6->m_dstAddr);
            ip = layer;
        } else if (layer->m_nType == LAYER_TCP && ip != nullptr) {
            // Only a frame that holds its whole TCP header, options too.
            const auto* tcp = static_cast<const CTcpLayer*>(layer);
            const uint32_t captured = layer->m_nOffset + std::max<uint32_t>(20, tcp->m_nDataOffset);
            if (captured > capturedLength) break;
            src.port = tcp->m_nSrcPort;
            dst.port = tcp->m_nDstPort;
            Count(ConversationKind::Tcp, src, dst, time, wireLength, position);
            break;
        } else if (layer->m_nType == LAYER_UDP && ip != nullptr) {
            const auto* udp = static_cast<const CUdpLayer*>(layer);
            src.port = udp->m_nSrcPort;
            dst.port = udp->m_nDstPort;
            Count(ConversationKind::Udp, src, dst, time, wireLength, position);
            break;
        }
    }
}

void TrafficStats::Count(ConversationKind kind, const EndpointAddress& src,
                         const EndpointAddress& dst, const FrameTime& time, uint32_t bytes,
                         size_t position) {
    Table& table = m_tables[static_cast<int>(kind)];
    auto found = table.index.find({src, dst});
    bool forward = true;
    if (found == table.index.end()) {
        found = table.index.find({dst, src});
        forward = false;
    }
    if (found == table.index.end()) {
        Conversation c;
        c.a = src;
        c.b = dst;
        c.first = time;
        c.last = time;
        c.firstRow = position;
        c.tagged = m_bTagged;
        table.list.push_back(c);
        found = table.index.emplace(std::pair{src, dst}, table.list.size() - 1).first;
        forward = true;
    }
    Conversation& c = table.list[found->second];
    if (forward) {
        c.packetsAB += 1;
        c.bytesAB += bytes;
    } else {
        c.packetsBA += 1;
        c.bytesBA += bytes;
    }
    c.first = std::min(c.first, time);
    c.last = std::max(c.last, time);
}

void TrafficStats::CountHierarchy(const CProtocolLayer* root, uint32_t bytes) {
    size_t node = 0;
    m_hierarchy[0].packets += 1;
    m_hierarchy[0].bytes += bytes;
    for (const CProtocolLayer* layer = root; layer != nullptr; layer = layer->m_pNext) {
        // A payload layer with no bytes is no protocol the frame carries.
        if (layer->m_nType == LAYER_DATA && static_cast<const CDataLayer*>(layer)->m_nLength <= 0)
            break;
        size_t child = 0;
        for (const size_t c : m_hierarchy[node].children) {
            if (m_hierarchy[c].type == layer->m_nType) child = c;
        }
        if (child == 0) {
            child = m_hierarchy.size();
            m_hierarchy.push_back({layer->m_nType, layer->m_szName, 0, 0, {}});
            m_hierarchy[node].children.push_back(child);
        }
        m_hierarchy[child].packets += 1;
        m_hierarchy[child].bytes += bytes;
        node = child;
    }
}

StatsTable TrafficStats::SummaryTable() const {
    StatsTable t{"Summary",
                 {"First", "Last", "Duration", "Packets", "Bytes", "Packets/s", "Bits/s", "Drops"},
                 {}};
    const auto epoch = [](const FrameTime& time) {
        return SecondsCell(static_cast<double>(time.seconds) + time.nanoseconds / 1e9);
    };
    const double duration = m_summary.DurationSeconds();
    const double packetsPerSecond = duration > 0 ? m_summary.packets / duration : 0;
    const double bitsPerSecond = duration > 0 ? m_summary.bytes * 8.0 / duration : 0;
    StatsCell pps = SecondsCell(packetsPerSecond);
    StatsCell bps = SecondsCell(bitsPerSecond);
    pps.text = std::to_string(static_cast<uint64_t>(packetsPerSecond + 0.5));
    bps.text = std::to_string(static_cast<uint64_t>(bitsPerSecond + 0.5));
    t.rows.push_back({epoch(m_summary.first), epoch(m_summary.last), SecondsCell(duration),
                      CountCell(m_summary.packets), CountCell(m_summary.bytes), pps, bps,
                      CountCell(m_summary.drops)});
    return t;
}

StatsTable TrafficStats::HierarchyTable() const {
    StatsTable t{
        "Protocol hierarchy", {"Protocol", "Packets", "Packets %", "Bytes", "Bytes %"}, {}};
    const HierarchyNode& root = m_hierarchy[0];
    const auto percent = [](uint64_t part, uint64_t whole) {
        return PercentCell(whole == 0 ? 0 : 100.0 * static_cast<double>(part) / whole);
    };
    // Depth first, each node named by its whole chain, so a flat table is still the tree.
    std::vector<std::pair<size_t, std::string>> stack;
    for (auto it = root.children.rbegin(); it != root.children.rend(); ++it)
        stack.emplace_back(*it, "");
    while (!stack.empty()) {
        auto [index, prefix] = stack.back();
        stack.pop_back();
        const HierarchyNode& n = m_hierarchy[index];
        const std::string path = prefix.empty() ? n.name : prefix + " › " + n.name;
        t.rows.push_back({TextCell(path), CountCell(n.packets), percent(n.packets, root.packets),
                          CountCell(n.bytes), percent(n.bytes, root.bytes)});
        for (auto it = n.children.rbegin(); it != n.children.rend(); ++it)
            stack.emplace_back(*it, path);
    }
    return t;
}

StatsTable TrafficStats::ConversationTable(ConversationKind kind) const {
    const bool ports = kind == ConversationKind::Tcp || kind == ConversationKind::Udp;
    StatsTable t;
    t.name = std::string("Conversations ") + ConversationKindName(kind);
    t.columns = ports ? std::vector<std::string>{"Address A", "Port A", "Address B", "Port B"}
                      : std::vector<std::string>{"Address A", "Address B"};
    for (const char* c : {"Packets A→B", "Bytes A→B", "Packets B→A", "Bytes B→A", "Packets",
                          "Bytes", "Rel Start", "Duration"})
        t.columns.emplace_back(c);
    for (const Conversation& c : Conversations(kind)) {
        std::vector<StatsCell> row;
        row.push_back(TextCell(AddressText(c.a)));
        if (ports) row.push_back(CountCell(c.a.port));
        row.push_back(TextCell(AddressText(c.b)));
        if (ports) row.push_back(CountCell(c.b.port));
        for (const uint64_t n : {c.packetsAB, c.bytesAB, c.packetsBA, c.bytesBA,
                                 c.packetsAB + c.packetsBA, c.bytesAB + c.bytesBA})
            row.push_back(CountCell(n));
        row.push_back(SecondsCell(SecondsBetween(m_origin, c.first)));
        row.push_back(SecondsCell(SecondsBetween(c.first, c.last)));
        t.rows.push_back(std::move(row));
    }
    return t;
}

StatsTable TrafficStats::EndpointTable(ConversationKind kind) const {
    const bool ports = kind == ConversationKind::Tcp || kind == ConversationKind::Udp;
    StatsTable t;
    t.name = std::string("Endpoints ") + ConversationKindName(kind);
    t.columns =
        ports ? std::vector<std::string>{"Address", "Port"} : std::vector<std::string>{"Address"};
    for (const char* c :
         {"Packets", "Bytes", "Packets sent", "Bytes sent", "Packets received", "Bytes received"})
        t.columns.emplace_back(c);
    struct Counts {
        EndpointAddress address;
        uint64_t sent = 0, sentBytes = 0, received = 0, receivedBytes = 0;
    };
    std::vector<Counts> endpoints;
    std::unordered_map<std::pair<EndpointAddress, EndpointAddress>, size_t, KeyHash> index;
    const auto at = [&](const EndpointAddress& address) -> Counts& {
        const auto [it, added] =
            index.emplace(std::pair{address, EndpointAddress{}}, endpoints.size());
        if (added) endpoints.push_back({address});
        return endpoints[it->second];
    };
    for (const Conversation& c : Conversations(kind)) {
        Counts& a = at(c.a);
        a.sent += c.packetsAB;
        a.sentBytes += c.bytesAB;
        a.received += c.packetsBA;
        a.receivedBytes += c.bytesBA;
        Counts& b = at(c.b);
        b.sent += c.packetsBA;
        b.sentBytes += c.bytesBA;
        b.received += c.packetsAB;
        b.receivedBytes += c.bytesAB;
    }
    for (const Counts& e : endpoints) {
        std::vector<StatsCell> row;
        row.push_back(TextCell(AddressText(e.address)));
        if (ports) row.push_back(CountCell(e.address.port));
        for (const uint64_t n : {e.sent + e.received, e.sentBytes + e.receivedBytes, e.sent,
                                 e.sentBytes, e.received, e.receivedBytes})
            row.push_back(CountCell(n));
        t.rows.push_back(std::move(row));
    }
    return t;
}

std::string StatsText(const TrafficStats& stats) {
    std::string out;
    AppendTabText(out, stats.SummaryTable());
    AppendTabText(out, stats.HierarchyTable());
    for (int k = 0; k < kConversationKinds; ++k)
        AppendTabText(out, stats.ConversationTable(static_cast<ConversationKind>(k)));
    for (int k = 0; k < kConversationKinds; ++k)
        AppendTabText(out, stats.EndpointTable(static_cast<ConversationKind>(k)));
    return out;
}
