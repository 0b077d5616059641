#include "sessions/session_grouping.h"

#include <algorithm>
#include <utility>

#include "protocols/tcp.h"
#include "protocols/text_format.h"

namespace {

uint64_t Load64(const unsigned char* a) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | a[i];
    return v;
}

uint64_t Mix(uint64_t x) {
    // splitmix64 finaliser: addresses of one capture share most of their
    // bits, so the plain values would cluster.
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return x;
}

// An address as two numbers: IPv4 in the low one.
std::pair<uint64_t, uint64_t> AddressBits(const unsigned char* address, bool ipv6) {
    if (!ipv6) {
        return {0, (uint64_t{address[0]} << 24) | (uint64_t{address[1]} << 16) |
                       (uint64_t{address[2]} << 8) | address[3]};
    }
    return {Load64(address), Load64(address + 8)};
}

// What a node of an unordered_map costs beside its value: the next pointer,
// the cached hash and the allocator's own header.
constexpr uint64_t kNodeOverhead = 32;

template <typename Map>
uint64_t MapBytes(const Map& map) {
    return map.bucket_count() * sizeof(void*) +
           map.size() * (sizeof(typename Map::value_type) + kNodeOverhead);
}

}  // namespace

SessionEnds SessionEnds::Of(const TcpPacketView& packet) {
    return {packet.Source(), packet.Destination(), packet.tcp->m_nSrcPort, packet.tcp->m_nDstPort};
}

bool SessionEnds::Holds(const TcpPacketView& packet) const {
    const HostAddress src = packet.Source();
    const HostAddress dst = packet.Destination();
    const uint16_t srcPort = packet.tcp->m_nSrcPort;
    const uint16_t dstPort = packet.tcp->m_nDstPort;
    return (src == source && srcPort == sourcePort && dst == destination &&
            dstPort == destinationPort) ||
           (src == destination && srcPort == destinationPort && dst == source &&
            dstPort == sourcePort);
}

std::string SessionRowText(const HostAddress& host, const SessionEnds& ends) {
    constexpr const char* kRow = "%u -> %s[%u]";
    if (ends.source == host)
        return Format(kRow, {ends.sourcePort, ends.destination.Text(), ends.destinationPort});
    return Format(kRow, {ends.destinationPort, ends.source.Text(), ends.sourcePort});
}

size_t CHostList::KeyHash::operator()(const Key& k) const {
    return static_cast<size_t>(Mix(k.high ^ Mix(k.low + (k.ipv6 ? 0x9E3779B97F4A7C15ULL : 0))));
}

CHostList::Key CHostList::KeyOf(const HostAddress& address) {
    const auto [high, low] = AddressBits(address.data(), address.IsIpv6());
    return {high, low, address.IsIpv6()};
}

uint32_t CHostList::Add(const HostAddress& address) {
    const auto [it, added] =
        m_index.try_emplace(KeyOf(address), static_cast<uint32_t>(m_hosts.size()));
    if (added) m_hosts.push_back(address);
    return it->second;
}

void CHostList::CollectHosts(const CProtocolLayer* packet) {
    const auto p = AsTcpPacket(packet);
    if (!p) return;
    // Adding the destination after the source also covers a destination
    // equal to the source: it is found, not added twice.
    Add(p->Source());
    Add(p->Destination());
}

int CHostList::IndexOf(const HostAddress& address) const {
    const auto it = m_index.find(KeyOf(address));
    return it == m_index.end() ? -1 : static_cast<int>(it->second);
}

uint64_t CHostList::Bytes() const {
    return m_hosts.capacity() * sizeof(HostAddress) + MapBytes(m_index);
}

size_t CSessionGrouping::PairHash::operator()(const PairKey& k) const {
    uint64_t x = Mix(k.low.high ^ (k.low.low * 0x9E3779B97F4A7C15ULL) ^ k.low.portFamily);
    x = Mix(x ^ k.high.high ^ (k.high.low + 0x632BE59BD9B4E019ULL) ^
            (uint64_t{k.high.portFamily} << 32));
    return static_cast<size_t>(x);
}

// An endpoint as numbers: the address (IPv4 in the low word), then the port
// with the family above it, so that the families never meet.
CSessionGrouping::EndpointKey CSessionGrouping::KeyOf(const unsigned char* address, bool ipv6,
                                                      uint16_t port) {
    const auto [high, low] = AddressBits(address, ipv6);
    return {high, low, (uint32_t{ipv6} << 16) | port};
}

std::optional<CSessionGrouping::Placed> CSessionGrouping::Add(const CProtocolLayer* packet) {
    const auto p = AsTcpPacket(packet);
    if (!p) return std::nullopt;
    const EndpointKey src = KeyOf(p->src, p->ipv6, p->tcp->m_nSrcPort);
    const EndpointKey dst = KeyOf(p->dst, p->ipv6, p->tcp->m_nDstPort);
    const auto [it, added] = m_sessionByPair.try_emplace(
        PairKey{std::min(src, dst), std::max(src, dst)}, static_cast<uint32_t>(m_ends.size()));
    const uint32_t session = it->second;
    if (added) {
        const uint32_t a = m_hosts.Add(p->Source());
        const uint32_t b = m_hosts.Add(p->Destination());
        m_hostSessions.resize(m_hosts.Hosts().size());
        m_hostSessions[a].push_back(session);
        if (b != a) m_hostSessions[b].push_back(session);
        m_ends.push_back(SessionEnds::Of(*p));
        m_counts.push_back(0);
    }
    ++m_counts[session];
    return Placed{session, added};
}

void CSessionGrouping::StopAdding() {
    std::unordered_map<PairKey, uint32_t, PairHash>().swap(m_sessionByPair);
}

uint64_t CSessionGrouping::Bytes() const {
    // Two host lists' entries per session at most; a host's list is a vector
    // header of its own.
    return m_hosts.Bytes() + MapBytes(m_sessionByPair) + m_ends.capacity() * sizeof(SessionEnds) +
           m_counts.capacity() * sizeof(uint32_t) +
           m_hostSessions.capacity() * sizeof(std::vector<uint32_t>) +
           m_ends.size() * 2 * sizeof(uint32_t);
}
