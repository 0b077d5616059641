#include "sessions/session_table.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "protocols/tcp.h"

namespace {

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

CSessionTable::CSessionTable(PacketSnapshot snapshot) : m_allPackets(std::move(snapshot)) {
    const size_t n = m_allPackets.size();
    m_sessionOfPacket.assign(n, -1);
    for (size_t i = 0; i < n; ++i) {
        const auto placed = m_grouping.Add(m_allPackets[i].get());
        if (!placed) continue;
        if (placed->first) m_firstPacket.push_back(static_cast<uint32_t>(i));
        m_sessionOfPacket[i] = static_cast<int32_t>(placed->session);
    }
    m_grouping.StopAdding();

    const size_t sessions = m_firstPacket.size();
    m_memberStart.assign(sessions + 1, 0);
    for (uint32_t s = 0; s < sessions; ++s)
        m_memberStart[s + 1] = m_memberStart[s] + m_grouping.PacketCount(s);
    m_members.resize(m_memberStart[sessions]);
    std::vector<uint32_t> fill(m_memberStart.begin(), m_memberStart.end() - 1);
    for (size_t i = 0; i < n; ++i)
        if (m_sessionOfPacket[i] >= 0)
            m_members[fill[m_sessionOfPacket[i]]++] = static_cast<uint32_t>(i);
}

TcpSession CSessionTable::Session(uint32_t id) const {
    return {m_allPackets[m_firstPacket[id]].get(), id};
}

std::vector<TcpSession> CSessionTable::ListSessions(int host) const {
    std::vector<TcpSession> out;
    if (host < 0 || static_cast<size_t>(host) >= Hosts().size()) return out;
    const auto& ids = m_grouping.HostSessions(static_cast<size_t>(host));
    out.reserve(ids.size());
    for (uint32_t id : ids) out.push_back(Session(id));
    return out;
}

std::string CSessionTable::SessionRowText(int host, const TcpSession& session) const {
    const auto p = AsTcpPacket(session.packet);
    if (!p || host < 0 || static_cast<size_t>(host) >= Hosts().size()) return {};
    return ::SessionRowText(Hosts()[host], SessionEnds::Of(*p));
}

std::optional<TcpSession> CSessionTable::SessionOfPacket(size_t index) const {
    if (index >= m_sessionOfPacket.size() || m_sessionOfPacket[index] < 0) return std::nullopt;
    return Session(static_cast<uint32_t>(m_sessionOfPacket[index]));
}

int CSessionTable::RowOfSession(int host, const TcpSession& session) const {
    if (host < 0 || static_cast<size_t>(host) >= Hosts().size()) return -1;
    const auto& ids = m_grouping.HostSessions(static_cast<size_t>(host));
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
