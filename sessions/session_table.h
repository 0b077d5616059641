// Grouping of a capture snapshot into hosts and TCP sessions for the Decode
// window. A TCP packet is one whose chain has TCP over IPv4 or over IPv6
// (sessions/tcp_packet.h); every other packet is ignored. A session is every
// TCP packet whose two endpoints (address, port) form the same unordered pair,
// whatever SYN or FIN says: connections that reuse both endpoints are one
// session. The two address families never share a host or a session.
//
// The table is built in one pass over the snapshot with hashed indexes
// (sessions/session_grouping.h), so its lists come out exactly as the linear
// scans that define them (first appearance order everywhere) without work that
// grows with hosts x packets.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocols/layer.h"
#include "sessions/session_grouping.h"
#include "sessions/tcp_packet.h"

// One packet: the root of its chain. The shared_ptr keeps the chain alive.
using PacketRef = std::shared_ptr<const CProtocolLayer>;
// The packets of the store in store order; an index is a packet list row.
using PacketSnapshot = std::vector<PacketRef>;

// A session, held by its representative: its first packet in snapshot order.
// The representative's source endpoint is the session's first side.
struct TcpSession {
    const CProtocolLayer* packet = nullptr;
    uint32_t id = 0;  // the session's number in its table, in first-packet order
    friend bool operator==(const TcpSession&, const TcpSession&) = default;
};

// 1 when both are TCP packets of the same session, 0 when both are TCP packets
// of different sessions, -1 when either is no TCP packet.
int IsSameSession(const CProtocolLayer* a, const CProtocolLayer* b);

// The first non-zero IsSameSession of `packet` against the representatives in
// order; 0 when none is non-zero or the list is empty; -1 when either is null.
int FindSession(const CProtocolLayer* packet, const std::vector<TcpSession>* sessions);

class CSessionTable {
  public:
    // Takes the snapshot by value: the table keeps every chain alive.
    explicit CSessionTable(PacketSnapshot snapshot);

    const PacketSnapshot& AllPackets() const { return m_allPackets; }
    const std::vector<HostAddress>& Hosts() const { return m_grouping.Hosts(); }
    int HostIndex(const HostAddress& address) const {
        return m_grouping.HostList().IndexOf(address);
    }
    size_t SessionCount() const { return m_firstPacket.size(); }

    // The sessions in which host `host` (an index into Hosts()) is one of the
    // two addresses, in the order of their first packets; empty for an index
    // outside Hosts().
    std::vector<TcpSession> ListSessions(int host) const;

    // The session list's row text of `session` under host `host`: the host's
    // own port first, then the peer's address and port, "1042 -> 192.168.1.1[80]",
    // "1042 -> 2001:db8::1[80]".
    std::string SessionRowText(int host, const TcpSession& session) const;

    // The session of packet number `index`; none for a packet that is not a
    // TCP packet or an index past the snapshot.
    std::optional<TcpSession> SessionOfPacket(size_t index) const;

    // Where `session` stands in ListSessions(host), -1 when it is not listed.
    int RowOfSession(int host, const TcpSession& session) const;

    // Every packet of the session, in snapshot order, and how many there are.
    std::vector<const CProtocolLayer*> SessionPackets(const TcpSession& session) const;
    size_t SessionPacketCount(const TcpSession& session) const;

  private:
    TcpSession Session(uint32_t id) const;

    PacketSnapshot m_allPackets;
    CSessionGrouping m_grouping;
    // Per snapshot packet: its session, or -1 for a packet that is not TCP.
    std::vector<int32_t> m_sessionOfPacket;
    // Per session: the index of its first packet.
    std::vector<uint32_t> m_firstPacket;
    // The packet indexes of session s are m_members[m_memberStart[s] ..
    // m_memberStart[s + 1]), in snapshot order.
    std::vector<uint32_t> m_memberStart;
    std::vector<uint32_t> m_members;
};
