#include "sessions/session_table.h"

#include <algorithm>
#include <cstring>
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

// An endpoint as numbers: the address (IPv4 in the low word), then the port
// with the family above it, so that the families never meet.
struct EndpointKey {
    uint64_t high = 0;
    uint64_t low = 0;
    uint32_t portFamily = 0;
    auto operator<=>(const EndpointKey&) const = default;
};

// An address as two numbers: IPv4 in the low one.
std::pair<uint64_t, uint64_t> AddressBits(const unsigned char* address, bool ipv6) {
    if (!ipv6) {
        return {0, (uint64_t{address[0]} << 24) | (uint64_t{address[1]} << 16) |
                       (uint64_t{address[2]} << 8) | address[3]};
    }
    return {Load64(address), Load64(address + 8)};
}

EndpointKey KeyOf(const unsigned char* address, bool ipv6, uint16_t port) {
    const auto [high, low] = AddressBits(address, ipv6);
    return {high, low, (uint32_t{ipv6} << 16) | port};
}

// The unordered endpoint pair that names a session.
struct PairKey {
    EndpointKey low;
    EndpointKey high;
    bool operator==(const PairKey&) const = default;
};

struct PairHash {
    size_t operator()(const PairKey& k) const {
        uint64_t x = Mix(k.low.high ^ (k.low.low * 0x9E3779B97F4A7C15ULL) ^ k.low.portFamily);
        x = Mix(x ^ k.high.high ^ (k.high.low + 0x632BE59BD9B4E019ULL) ^
                (uint64_t{k.high.portFamily} << 32));
        return static_cast<size_t>(x);
    }
};

bool SameAddress(const TcpPacketView& x, const unsigned char* a, const TcpPacketView& y,
                 const unsigned char* b) {
    return x.ipv6 == y.ipv6 && std::memcmp(a, b, x.AddressSize()) == 0;
}

}  // namespace

int IsSameSession(const CProtocolLayer* a, const CProtocolLayer* b) {
    const auto x = AsTcpPacket(a);
    const auto y = AsTcpPacket(b);
    if (!x || !y) return -1;
    const bool same =
        SameAddress(*x, x->src, *y, y->src) && x->tcp->m_nSrcPort == y->tcp->m_nSrcPort &&
        SameAddress(*x, x->dst, *y, y->dst) && x->tcp->m_nDstPort == y->tcp->m_nDstPort;
    const bool opposite =
        SameAddress(*x, x->src, *y, y->dst) && x->tcp->m_nSrcPort == y->tcp->m_nDstPort &&
        SameAddress(*x, x->dst, *y, y->src) && x->tcp->m_nDstPort == y->tcp->m_nSrcPort;
    return same || opposite ? 1 : 0;
}

int FindSession(const CProtocolLayer* packet, const std::vector<TcpSession>* sessions) {
    if (packet == nullptr || sessions == nullptr) return -1;
    for (const TcpSession& s : *sessions) {
        const int r = IsSameSession(packet, s.packet);
        if (r != 0) return r;
    }
    return 0;
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

CSessionTable::CSessionTable(PacketSnapshot snapshot) : m_allPackets(std::move(snapshot)) {
    const size_t n = m_allPackets.size();
    m_sessionOfPacket.assign(n, -1);
    std::unordered_map<PairKey, uint32_t, PairHash> sessionByPair;
    std::vector<uint32_t> counts;
    std::vector<std::pair<uint32_t, uint32_t>> sessionHosts;  // source's, destination's

    for (size_t i = 0; i < n; ++i) {
        const auto p = AsTcpPacket(m_allPackets[i].get());
        if (!p) continue;
        const EndpointKey src = KeyOf(p->src, p->ipv6, p->tcp->m_nSrcPort);
        const EndpointKey dst = KeyOf(p->dst, p->ipv6, p->tcp->m_nDstPort);
        const PairKey key{std::min(src, dst), std::max(src, dst)};
        const auto [it, added] =
            sessionByPair.try_emplace(key, static_cast<uint32_t>(m_firstPacket.size()));
        if (added) {
            // Every packet of a session has the session's two addresses, so a
            // host first appears in the first packet of some session: adding
            // hosts only there keeps first-appearance order.
            const uint32_t a = m_hosts.Add(p->Source());
            sessionHosts.emplace_back(a, m_hosts.Add(p->Destination()));
            m_firstPacket.push_back(static_cast<uint32_t>(i));
            counts.push_back(0);
        }
        m_sessionOfPacket[i] = static_cast<int32_t>(it->second);
        ++counts[it->second];
    }

    const size_t sessions = m_firstPacket.size();
    m_memberStart.assign(sessions + 1, 0);
    for (size_t s = 0; s < sessions; ++s) m_memberStart[s + 1] = m_memberStart[s] + counts[s];
    m_members.resize(m_memberStart[sessions]);
    std::vector<uint32_t> fill(m_memberStart.begin(), m_memberStart.end() - 1);
    for (size_t i = 0; i < n; ++i)
        if (m_sessionOfPacket[i] >= 0)
            m_members[fill[m_sessionOfPacket[i]]++] = static_cast<uint32_t>(i);

    // Every packet of a session has the same two addresses, so a session is
    // listed under both, in the order of its first packet.
    m_hostSessions.resize(m_hosts.Hosts().size());
    for (uint32_t s = 0; s < sessions; ++s) {
        const auto [a, b] = sessionHosts[s];
        m_hostSessions[a].push_back(s);
        if (b != a) m_hostSessions[b].push_back(s);
    }
}

TcpSession CSessionTable::Session(uint32_t id) const {
    return {m_allPackets[m_firstPacket[id]].get(), id};
}

std::vector<TcpSession> CSessionTable::ListSessions(int host) const {
    std::vector<TcpSession> out;
    if (host < 0 || static_cast<size_t>(host) >= m_hostSessions.size()) return out;
    const auto& ids = m_hostSessions[host];
    out.reserve(ids.size());
    for (uint32_t id : ids) out.push_back(Session(id));
    return out;
}

std::string CSessionTable::SessionRowText(int host, const TcpSession& session) const {
    const auto p = AsTcpPacket(session.packet);
    if (!p || host < 0 || static_cast<size_t>(host) >= Hosts().size()) return {};
    constexpr const char* kRow = "%u -> %s[%u]";
    if (p->Source() == Hosts()[host])
        return Format(kRow, {p->tcp->m_nSrcPort, p->Destination().Text(), p->tcp->m_nDstPort});
    return Format(kRow, {p->tcp->m_nDstPort, p->Source().Text(), p->tcp->m_nSrcPort});
}

std::optional<TcpSession> CSessionTable::SessionOfPacket(size_t index) const {
    if (index >= m_sessionOfPacket.size() || m_sessionOfPacket[index] < 0) return std::nullopt;
    return Session(static_cast<uint32_t>(m_sessionOfPacket[index]));
}

int CSessionTable::RowOfSession(int host, const TcpSession& session) const {
    if (host < 0 || static_cast<size_t>(host) >= m_hostSessions.size()) return -1;
    const auto& ids = m_hostSessions[host];
    const auto it = std::lower_bound(ids.begin(), ids.end(), session.id);
    return it != ids.end() && *it == session.id ? static_cast<int>(it - ids.begin()) : -1;
}

std::vector<const CProtocolLayer*> CSessionTable::SessionPackets(const TcpSession& session) const {
    std::vector<const CProtocolLayer*> out;
    if (session.id >= m_firstPacket.size()) return out;
    const uint32_t begin = m_memberStart[session.id];
    const uint32_t end = m_memberStart[session.id + 1];
    out.reserve(end - begin);
    for (uint32_t k = begin; k < end; ++k) out.push_back(m_allPackets[m_members[k]].get());
    return out;
}

size_t CSessionTable::SessionPacketCount(const TcpSession& session) const {
    if (session.id >= m_firstPacket.size()) return 0;
    return m_memberStart[session.id + 1] - m_memberStart[session.id];
}
