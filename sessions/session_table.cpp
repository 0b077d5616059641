#include "sessions/session_table.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "protocols/ipv4.h"
#include "protocols/tcp.h"
#include "protocols/text_format.h"

namespace {

uint32_t AddressKey(const unsigned char* a) {
    return (uint32_t{a[0]} << 24) | (uint32_t{a[1]} << 16) | (uint32_t{a[2]} << 8) | a[3];
}

// An endpoint as one number: address in the high bits, port in the low 16.
uint64_t EndpointKey(const unsigned char* address, uint16_t port) {
    return (uint64_t{AddressKey(address)} << 16) | port;
}

// The unordered endpoint pair that names a session.
struct PairKey {
    uint64_t low;
    uint64_t high;
    bool operator==(const PairKey&) const = default;
};

struct PairHash {
    size_t operator()(const PairKey& k) const {
        // splitmix64 finaliser over both halves: endpoints of one capture share
        // most of their bits, so the plain values would cluster.
        uint64_t x = k.low * 0x9E3779B97F4A7C15ULL ^ (k.high + 0x632BE59BD9B4E019ULL);
        x ^= x >> 30;
        x *= 0xBF58476D1CE4E5B9ULL;
        x ^= x >> 27;
        x *= 0x94D049BB133111EBULL;
        x ^= x >> 31;
        return static_cast<size_t>(x);
    }
};

struct TcpView {
    const CIpv4Layer* ip;
    const CTcpLayer* tcp;
};

// The first IPv4 and the first TCP layer along the chain, as FindLayer finds
// them, in one walk: the table's build is bound by touching the chains.
std::optional<TcpView> AsTcp(const CProtocolLayer* packet) {
    const CProtocolLayer* ip = nullptr;
    const CProtocolLayer* tcp = nullptr;
    for (const CProtocolLayer* layer = packet; layer != nullptr; layer = layer->m_pNext) {
        if (ip == nullptr && layer->m_nType == LAYER_IPV4) ip = layer;
        if (tcp == nullptr && layer->m_nType == LAYER_TCP) tcp = layer;
        if (ip != nullptr && tcp != nullptr)
            return TcpView{static_cast<const CIpv4Layer*>(ip), static_cast<const CTcpLayer*>(tcp)};
    }
    return std::nullopt;
}

bool SameAddress(const unsigned char* a, const unsigned char* b) {
    return std::memcmp(a, b, 4) == 0;
}

}  // namespace

int IsSameSession(const CProtocolLayer* a, const CProtocolLayer* b) {
    const auto x = AsTcp(a);
    const auto y = AsTcp(b);
    if (!x || !y) return -1;
    const bool same = SameAddress(x->ip->m_srcAddr, y->ip->m_srcAddr) &&
                      x->tcp->m_nSrcPort == y->tcp->m_nSrcPort &&
                      SameAddress(x->ip->m_dstAddr, y->ip->m_dstAddr) &&
                      x->tcp->m_nDstPort == y->tcp->m_nDstPort;
    const bool opposite = SameAddress(x->ip->m_srcAddr, y->ip->m_dstAddr) &&
                          x->tcp->m_nSrcPort == y->tcp->m_nDstPort &&
                          SameAddress(x->ip->m_dstAddr, y->ip->m_srcAddr) &&
                          x->tcp->m_nDstPort == y->tcp->m_nSrcPort;
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

uint32_t CHostList::Add(const unsigned char* address) {
    const auto [it, added] =
        m_index.try_emplace(AddressKey(address), static_cast<uint32_t>(m_hosts.size()));
    if (added) m_hosts.push_back({address[0], address[1], address[2], address[3]});
    return it->second;
}

void CHostList::CollectHosts(const CProtocolLayer* packet) {
    const auto p = AsTcp(packet);
    if (!p) return;
    // Adding the destination after the source also covers a destination
    // equal to the source: it is found, not added twice.
    Add(p->ip->m_srcAddr);
    Add(p->ip->m_dstAddr);
}

int CHostList::IndexOf(const HostAddress& address) const {
    const auto it = m_index.find(AddressKey(address.data()));
    return it == m_index.end() ? -1 : static_cast<int>(it->second);
}

CSessionTable::CSessionTable(PacketSnapshot snapshot) : m_allPackets(std::move(snapshot)) {
    const size_t n = m_allPackets.size();
    m_sessionOfPacket.assign(n, -1);
    std::unordered_map<PairKey, uint32_t, PairHash> sessionByPair;
    std::vector<uint32_t> counts;
    std::vector<std::pair<uint32_t, uint32_t>> sessionHosts;  // source's, destination's

    for (size_t i = 0; i < n; ++i) {
        const auto p = AsTcp(m_allPackets[i].get());
        if (!p) continue;
        const uint64_t src = EndpointKey(p->ip->m_srcAddr, p->tcp->m_nSrcPort);
        const uint64_t dst = EndpointKey(p->ip->m_dstAddr, p->tcp->m_nDstPort);
        const PairKey key{std::min(src, dst), std::max(src, dst)};
        const auto [it, added] =
            sessionByPair.try_emplace(key, static_cast<uint32_t>(m_firstPacket.size()));
        if (added) {
            // Every packet of a session has the session's two addresses, so a
            // host first appears in the first packet of some session: adding
            // hosts only there keeps first-appearance order.
            const uint32_t a = m_hosts.Add(p->ip->m_srcAddr);
            sessionHosts.emplace_back(a, m_hosts.Add(p->ip->m_dstAddr));
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
    const auto p = AsTcp(session.packet);
    if (!p || host < 0 || static_cast<size_t>(host) >= Hosts().size()) return {};
    const HostAddress& h = Hosts()[host];
    constexpr const char* kRow = "%u -> %u.%u.%u.%u[%u]";
    if (SameAddress(p->ip->m_srcAddr, h.data())) {
        const unsigned char* d = p->ip->m_dstAddr;
        return Format(kRow, {p->tcp->m_nSrcPort, d[0], d[1], d[2], d[3], p->tcp->m_nDstPort});
    }
    const unsigned char* s = p->ip->m_srcAddr;
    return Format(kRow, {p->tcp->m_nDstPort, s[0], s[1], s[2], s[3], p->tcp->m_nSrcPort});
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
