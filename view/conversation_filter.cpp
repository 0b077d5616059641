#include "view/conversation_filter.h"

#include <arpa/inet.h>

#include "protocols/arp.h"
#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/tcp.h"
#include "protocols/udp.h"

namespace {

std::string AddressText(int family, const unsigned char* bytes) {
    char text[INET6_ADDRSTRLEN] = {};
    if (bytes == nullptr || inet_ntop(family, bytes, text, sizeof text) == nullptr) return {};
    return text;
}

template <class Arp>
bool ArpHosts(const Arp* arp, std::string& a, std::string& b) {
    if (arp == nullptr || arp->m_nProtocolLen != 4) return false;
    a = AddressText(AF_INET, arp->m_pSenderProto);
    b = AddressText(AF_INET, arp->m_pTargetProto);
    return true;
}

}  // namespace

std::string ConversationFilter(const CProtocolLayer* root) {
    std::string a;
    std::string b;
    if (const auto* ip = FindLayerAs<CIpv4Layer>(root)) {
        a = AddressText(AF_INET, ip->m_srcAddr);
        b = AddressText(AF_INET, ip->m_dstAddr);
    } else if (const auto* ip6 = FindLayerAs<CIpv6Layer>(root)) {
        a = AddressText(AF_INET6, ip6->m_srcAddr);
        b = AddressText(AF_INET6, ip6->m_dstAddr);
    } else if (!ArpHosts(FindLayerAs<CArpLayer>(root), a, b)) {
        ArpHosts(FindLayerAs<CRarpLayer>(root), a, b);
    }
    if (a.empty() || b.empty()) return {};

    // libpcap's "vlan" steps over one tag and "pppoes" over the PPPoE and PPP
    // headers: without them the addresses are looked for in the wrong place.
    std::string expression;
    for (const CProtocolLayer* layer = root; layer != nullptr; layer = layer->m_pNext) {
        if (layer->m_nType == LAYER_VLAN) expression += "vlan and ";
        if (layer->m_nType == LAYER_PPPOE) expression += "pppoes and ";
    }
    const char* proto = nullptr;
    unsigned p = 0;
    unsigned q = 0;
    if (const auto* tcp = FindLayerAs<CTcpLayer>(root)) {
        proto = "tcp";
        p = tcp->m_nSrcPort;
        q = tcp->m_nDstPort;
    } else if (const auto* udp = FindLayerAs<CUdpLayer>(root)) {
        proto = "udp";
        p = udp->m_nSrcPort;
        q = udp->m_nDstPort;
    }
    if (proto == nullptr) return expression + "host " + a + " and host " + b;
    const auto way = [](const std::string& from, unsigned fromPort, const std::string& to,
                        unsigned toPort) {
        return "src host " + from + " and src port " + std::to_string(fromPort) + " and dst host " +
               to + " and dst port " + std::to_string(toPort);
    };
    return expression + proto + " and ((" + way(a, p, b, q) + ") or (" + way(b, q, a, p) + "))";
}
