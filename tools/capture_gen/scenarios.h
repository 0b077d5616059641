// The scenarios of the mixed capture: each builds the frames of one short
// exchange (a TCP session, a DNS lookup, an ARP resolution, ...) on a small
// simulated network, a home or office LAN behind one router.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/capture_gen/flows.h"

namespace capture_gen {

class MixNetwork {
  public:
    explicit MixNetwork(Rng& rng);

    // One scenario chosen by weight; never empty.
    Script NextScenario(Rng& rng);

    // The individual scenarios.
    Script HttpSession(Rng& rng, Family family);
    Script DnsLookup(Rng& rng, Family family);
    Script IcmpEcho(Rng& rng);
    Script IcmpUnreachable(Rng& rng);
    Script Icmpv6Exchange(Rng& rng);
    Script ArpResolution(Rng& rng);
    Script RarpExchange(Rng& rng);
    Script FragmentedDatagram(Rng& rng);
    Script IgmpReport(Rng& rng);
    Script UdpWithOptions(Rng& rng);
    Script PppoeTraffic(Rng& rng);
    Script PppoeDiscoveryExchange(Rng& rng);
    Script VlanTraffic(Rng& rng);
    Script SpanningTree(Rng& rng);
    Script RandomUdp(Rng& rng);
    Script TruncatedFrames(Rng& rng);

  private:
    const Host& Client(Rng& rng) const;
    const Host& RemoteServer(Rng& rng) const;
    uint16_t NextPort(size_t clientIndex);

    MacAddress m_routerMac{};
    Host m_router;
    std::vector<Host> m_clients;
    std::vector<uint16_t> m_nextPort;  // per client, the next ephemeral port
    std::vector<Host> m_localServers;
    std::vector<Host> m_remoteServers;
    Host m_accessConcentrator;
    Host m_pppoeSubscriber;
    Host m_pppoeRemote;
    uint16_t m_pppoeSessionId;
    uint16_t m_pppoeNextPort;
    MacAddress m_bridgeMac{};
    uint16_t m_echoId;
};

}  // namespace capture_gen
