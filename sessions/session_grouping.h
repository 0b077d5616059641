// TCP packets grouped into hosts and sessions one packet at a time: the one
// pass the session table is built in, apart so that a reader can group a
// capture as it goes by and let every frame go (tapwatch-log --sessions holds
// this and no frame). A session's rows need only its first packet's two
// endpoints and its packet count; and as every packet of a session has the
// session's two addresses, a host first appears in the first packet of some
// session, so hosts are added only there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocols/layer.h"
#include "sessions/tcp_packet.h"

// A session's endpoints as its first packet names them: its source is the
// session's first side.
struct SessionEnds {
    HostAddress source;
    HostAddress destination;
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;

    static SessionEnds Of(const TcpPacketView& packet);
    // Whether `packet` is of this session, in either direction.
    bool Holds(const TcpPacketView& packet) const;
};

// The session list's row text of a session under `host`: the host's own port
// first, then the peer's address and port, "1042 -> 192.168.1.1[80]".
std::string SessionRowText(const HostAddress& host, const SessionEnds& ends);

// Distinct addresses of TCP packets, of both families, in order of first
// appearance, the source of a packet before its destination.
class CHostList {
  public:
    // Adds the packet's source, then its destination address when new (TCP
    // packets only).
    void CollectHosts(const CProtocolLayer* packet);
    const std::vector<HostAddress>& Hosts() const { return m_hosts; }
    // The index of `address`, -1 when it is not listed.
    int IndexOf(const HostAddress& address) const;
    // Memory held, near enough to bound it by.
    uint64_t Bytes() const;

  private:
    friend class CSessionGrouping;
    struct Key {
        uint64_t high = 0;
        uint64_t low = 0;
        bool ipv6 = false;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    static Key KeyOf(const HostAddress& address);
    uint32_t Add(const HostAddress& address);

    std::vector<HostAddress> m_hosts;
    std::unordered_map<Key, uint32_t, KeyHash> m_index;
};

class CSessionGrouping {
  public:
    struct Placed {
        uint32_t session = 0;  // numbered in first-packet order
        bool first = false;    // the packet began the session
    };
    // The session of `packet`, begun (with its hosts) when its endpoint pair
    // is new; none for a packet that is not TCP.
    std::optional<Placed> Add(const CProtocolLayer* packet);
    // Once nothing more is added: lets go of the index of endpoint pairs.
    void StopAdding();

    const CHostList& HostList() const { return m_hosts; }
    const std::vector<HostAddress>& Hosts() const { return m_hosts.Hosts(); }
    size_t SessionCount() const { return m_ends.size(); }
    const SessionEnds& Ends(uint32_t session) const { return m_ends[session]; }
    uint32_t PacketCount(uint32_t session) const { return m_counts[session]; }
    // The sessions of host `host` (an index into Hosts()), ascending, which is
    // the order of their first packets: a session is listed under both of its
    // addresses.
    const std::vector<uint32_t>& HostSessions(size_t host) const { return m_hostSessions[host]; }
    // Memory held, near enough to bound it by; without a walk.
    uint64_t Bytes() const;

  private:
    struct EndpointKey {
        uint64_t high = 0;
        uint64_t low = 0;
        uint32_t portFamily = 0;
        auto operator<=>(const EndpointKey&) const = default;
    };
    // The unordered endpoint pair that names a session.
    struct PairKey {
        EndpointKey low;
        EndpointKey high;
        bool operator==(const PairKey&) const = default;
    };
    struct PairHash {
        size_t operator()(const PairKey& k) const;
    };
    static EndpointKey KeyOf(const unsigned char* address, bool ipv6, uint16_t port);

    CHostList m_hosts;
    std::unordered_map<PairKey, uint32_t, PairHash> m_sessionByPair;
    std::vector<SessionEnds> m_ends;
    std::vector<uint32_t> m_counts;
    std::vector<std::vector<uint32_t>> m_hostSessions;
};
