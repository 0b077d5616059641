#include "intake/packet_row.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "protocols/arp.h"
#include "protocols/icmp.h"
#include "protocols/ipv4.h"
#include "protocols/ipv6.h"
#include "protocols/tcp.h"
#include "protocols/udp.h"

const std::array<const char*, COL_COUNT> kPacketColumnHeadings = {
    "Num", "Frame", "Proto", "Src IP", "Dest IP", "Src Port", "Dest Port", "Time"};

void PacketRow::Set(int column, std::string_view text) {
    m_lengths[column] = 0;
    Append(column, text);
}

void PacketRow::Append(int column, std::string_view text) {
    const size_t used = m_lengths[column];
    const size_t n = std::min(text.size(), kLimits[column] - used);
    std::memcpy(m_cells[column].data() + used, text.data(), n);
    m_lengths[column] = used + n;
}

void PacketRow::AppendNumber(int column, unsigned long value) {
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    Append(column, {p, static_cast<size_t>(end - p)});
}

namespace {

// Dotted decimal of `count` bytes, as the list shows network addresses.
void AppendDotted(PacketRow& row, int column, const unsigned char* bytes, unsigned count) {
    if (bytes == nullptr) return;
    for (unsigned i = 0; i < count; ++i) {
        if (i > 0) row.Append(column, ".");
        row.AppendNumber(column, bytes[i]);
    }
}

// An IPv6 address in its standard text form (RFC 5952): at most 39 characters,
// the size of the cell.
void AppendIpv6(PacketRow& row, int column, const unsigned char* bytes) {
    char text[INET6_ADDRSTRLEN];
    if (inet_ntop(AF_INET6, bytes, text, sizeof text) != nullptr) row.Append(column, text);
}

template <class Arp>
void ArpAddresses(PacketRow& row, const Arp* arp) {
    AppendDotted(row, COL_SRC_IP, arp->m_pSenderProto, arp->m_nProtocolLen);
    AppendDotted(row, COL_DEST_IP, arp->m_pTargetProto, arp->m_nProtocolLen);
    row.Set(COL_FRAME, arp->m_szName);
}

}  // namespace

void BuildRow(const StoredPacket& packet, size_t index, PacketRow& row) {
    row.Clear();
    const CProtocolLayer* root = packet.root.get();
    row.AppendNumber(COL_NUM, index);

    if (const auto* ip = FindLayerAs<CIpv4Layer>(root)) {
        AppendDotted(row, COL_SRC_IP, ip->m_srcAddr, 4);
        AppendDotted(row, COL_DEST_IP, ip->m_dstAddr, 4);
        row.Set(COL_FRAME, ip->m_szName);
    } else if (const auto* ip6 = FindLayerAs<CIpv6Layer>(root)) {
        AppendIpv6(row, COL_SRC_IP, ip6->m_srcAddr);
        AppendIpv6(row, COL_DEST_IP, ip6->m_dstAddr);
        row.Set(COL_FRAME, ip6->m_szName);
    } else if (const auto* arp = FindLayerAs<CArpLayer>(root)) {
        ArpAddresses(row, arp);
    } else if (const auto* rarp = FindLayerAs<CRarpLayer>(root)) {
        ArpAddresses(row, rarp);
    } else {
        row.Set(COL_FRAME, "---");
    }

    if (const auto* tcp = FindLayerAs<CTcpLayer>(root)) {
        row.AppendNumber(COL_SRC_PORT, tcp->m_nSrcPort);
        row.AppendNumber(COL_DEST_PORT, tcp->m_nDstPort);
        row.Set(COL_PROTO, tcp->m_szName);
    } else if (const auto* udp = FindLayerAs<CUdpLayer>(root)) {
        row.AppendNumber(COL_SRC_PORT, udp->m_nSrcPort);
        row.AppendNumber(COL_DEST_PORT, udp->m_nDstPort);
        row.Set(COL_PROTO, udp->m_szName);
    } else {
        row.Set(COL_SRC_PORT, "---");
        row.Set(COL_DEST_PORT, "---");
        const CProtocolLayer* icmp = FindLayer(root, LAYER_ICMP);
        if (icmp == nullptr) icmp = FindLayer(root, LAYER_ICMPV6);
        row.Set(COL_PROTO, icmp != nullptr ? icmp->m_szName : "---");
    }

    row.AppendNumber(COL_TIME, packet.elapsedMs);
}
