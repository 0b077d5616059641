#include "sessions/tcp_packet.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "protocols/byte_reader.h"
#include "protocols/data.h"
#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/tcp.h"
#include "protocols/text_format.h"

HostAddress::HostAddress(std::initializer_list<unsigned char> bytes) {
    m_nSize = bytes.size() == 16 ? 16 : 4;
    std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), m_nSize), m_bytes.begin());
}

HostAddress HostAddress::Ipv4(const unsigned char* bytes) {
    HostAddress a;
    std::memcpy(a.m_bytes.data(), bytes, 4);
    return a;
}

HostAddress HostAddress::Ipv6(const unsigned char* bytes) {
    HostAddress a;
    a.m_nSize = 16;
    std::memcpy(a.m_bytes.data(), bytes, 16);
    return a;
}

std::string HostAddress::Text() const {
    if (!IsIpv6()) return Format("%u.%u.%u.%u", {m_bytes[0], m_bytes[1], m_bytes[2], m_bytes[3]});
    char text[INET6_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET6, m_bytes.data(), text, sizeof text) == nullptr) return {};
    return text;
}

uint32_t TcpPacketView::DatagramLength() const {
    if (ipv6) return uint32_t{static_cast<const CIpv6Layer*>(ip)->m_nPayloadLen} + 40;
    return static_cast<const CIpv4Layer*>(ip)->m_nTotalLen;
}

uint32_t TcpPacketView::IpHeaderLength() const {
    // IPv6's payload length counts its extension headers, which lie between
    // the fixed header and TCP.
    if (ipv6 && tcp->m_nOffset > ip->m_nOffset) return tcp->m_nOffset - ip->m_nOffset;
    if (ipv6) return CIpv6Layer::kHeaderSize;
    return static_cast<const CIpv4Layer*>(ip)->m_nHeaderLen;
}

SegmentData TcpPacketView::Data() const {
    // The TCP decoder leaves the options to its payload layer, which is
    // missing when nothing was captured after the fixed header.
    const CProtocolLayer* inner = tcp->m_pNext;
    const auto* payload = inner != nullptr && inner->m_nType == LAYER_DATA
                              ? static_cast<const CDataLayer*>(inner)
                              : nullptr;
    ByteReader captured(payload != nullptr ? payload->m_pData : nullptr,
                        payload != nullptr ? payload->m_nLength : 0);
    uint32_t headerLength = CTcpLayer::kHeaderSize;
    if (tcp->m_nDataOffset >= CTcpLayer::kHeaderSize) {
        headerLength = tcp->m_nDataOffset;
        if (!captured.Skip(headerLength - size_t{CTcpLayer::kHeaderSize})) return {};
    }
    SegmentData data;
    data.bytes = captured.Current();
    data.length = static_cast<uint32_t>(captured.Remaining());
    const int64_t stated =
        int64_t{DatagramLength()} - int64_t{IpHeaderLength()} - int64_t{headerLength};
    if (stated < 0) return data;
    if (stated < data.length) data.length = static_cast<uint32_t>(stated);
    data.missing = static_cast<uint32_t>(stated - data.length);
    return data;
}

std::optional<TcpPacketView> AsTcpPacket(const CProtocolLayer* packet) {
    // One walk: the session table's build is bound by touching the chains.
    // The decoders never put both families in one chain; the first IP layer
    // met is the packet's.
    const CProtocolLayer* ip = nullptr;
    const CProtocolLayer* tcp = nullptr;
    for (const CProtocolLayer* layer = packet; layer != nullptr; layer = layer->m_pNext) {
        if (ip == nullptr && (layer->m_nType == LAYER_IPV4 || layer->m_nType == LAYER_IPV6))
            ip = layer;
        if (tcp == nullptr && layer->m_nType == LAYER_TCP) tcp = layer;
        if (ip == nullptr || tcp == nullptr) continue;
        TcpPacketView view;
        view.ip = ip;
        view.tcp = static_cast<const CTcpLayer*>(tcp);
        if (ip->m_nType == LAYER_IPV6) {
            const auto* v6 = static_cast<const CIpv6Layer*>(ip);
            view.ipv6 = true;
            view.src = v6->m_srcAddr;
            view.dst = v6->m_dstAddr;
        } else {
            const auto* v4 = static_cast<const CIpv4Layer*>(ip);
            view.src = v4->m_srcAddr;
            view.dst = v4->m_dstAddr;
        }
        return view;
    }
    return std::nullopt;
}

std::optional<HostAddress> SourceAddress(const CProtocolLayer* packet) {
    for (const CProtocolLayer* layer = packet; layer != nullptr; layer = layer->m_pNext) {
        if (layer->m_nType == LAYER_IPV4)
            return HostAddress::Ipv4(static_cast<const CIpv4Layer*>(layer)->m_srcAddr);
        if (layer->m_nType == LAYER_IPV6)
            return HostAddress::Ipv6(static_cast<const CIpv6Layer*>(layer)->m_srcAddr);
    }
    return std::nullopt;
}
