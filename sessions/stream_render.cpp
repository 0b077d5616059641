#include "sessions/stream_render.h"

#include <algorithm>
#include <cstring>

#include "protocols/data.h"
#include "protocols/ipv4.h"
#include "protocols/tcp.h"
#include "protocols/text_format.h"

namespace {

constexpr const char* kBreak = "\r\n";

uint32_t SortKey(const CTcpLayer* tcp) {
    return tcp->m_nSeqNum + tcp->m_nAckNum;
}

// Ascending key, then ascending IPv4 identification. A packet with TCP but no
// IPv4 layer (never part of a session) ties on identification 0.
bool ComesBefore(const CProtocolLayer* a, const CProtocolLayer* b) {
    const uint32_t ka = SortKey(FindLayerAs<CTcpLayer>(a));
    const uint32_t kb = SortKey(FindLayerAs<CTcpLayer>(b));
    if (ka != kb) return ka < kb;
    const CIpv4Layer* ia = FindLayerAs<CIpv4Layer>(a);
    const CIpv4Layer* ib = FindLayerAs<CIpv4Layer>(b);
    const uint16_t ida = ia != nullptr ? ia->m_nId : 0;
    const uint16_t idb = ib != nullptr ? ib->m_nId : 0;
    return ida < idb;
}

}  // namespace

std::optional<HeaderStyle> HeaderStyleForItem(int item) {
    switch (item) {
        case 0:
            return HeaderStyle{true, true, false};
        case 1:
            return HeaderStyle{true, true, true};
        case 2:
            return HeaderStyle{true, false, false};
        case 3:
            return HeaderStyle{false, false, false};
        default:
            return std::nullopt;
    }
}

std::string StreamText(const unsigned char* bytes, int count) {
    std::string out;
    if (bytes == nullptr || count <= 0) return out;
    out.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const unsigned char c = bytes[i];
        const bool keep = (c >= 0x20 && c <= 0x7E) || c == '\r' || c == '\n';
        out[i] = keep ? static_cast<char>(c) : '.';
    }
    return out;
}

void SortStream(std::vector<const CProtocolLayer*>& packets) {
    // An exchange needs both packets to have a TCP layer, so a packet without
    // one is a fixed wall: sort each stretch between walls on its own.
    auto begin = packets.begin();
    while (begin != packets.end()) {
        auto end = std::find_if(begin, packets.end(), [](const CProtocolLayer* p) {
            return FindLayer(p, LAYER_TCP) == nullptr;
        });
        std::stable_sort(begin, end, ComesBefore);
        begin = end == packets.end() ? end : end + 1;
    }
}

std::string SessionCaption(size_t count) {
    return Format("Reassembled TCP session (%d packets)", {static_cast<unsigned long>(count)});
}

StyledRun LoadingRun() {
    return {"Loading...", BlackColour, true};
}

void AppendPacketRuns(std::vector<StyledRun>& out, const CProtocolLayer* packet, int number,
                      const CProtocolLayer* representative, const HeaderStyle& style, bool ascii) {
    const CIpv4Layer* ip = FindLayerAs<CIpv4Layer>(packet);
    const CTcpLayer* tcp = FindLayerAs<CTcpLayer>(packet);
    const CIpv4Layer* repIp = FindLayerAs<CIpv4Layer>(representative);
    const CTcpLayer* repTcp = FindLayerAs<CTcpLayer>(representative);
    if (ip == nullptr || tcp == nullptr || repIp == nullptr || repTcp == nullptr) return;

    const bool firstSide = std::memcmp(ip->m_srcAddr, repIp->m_srcAddr, 4) == 0 &&
                           tcp->m_nSrcPort == repTcp->m_nSrcPort;
    const RunColour side = firstSide ? FirstSideColour : SecondSideColour;
    auto black = [&out](std::string text) { out.emplace_back(std::move(text), BlackColour, true); };

    if (style.showHeader) {
        black(Format("[%d] ", {number}));
        const unsigned char* s = ip->m_srcAddr;
        black(Format("Source %u.%u.%u.%u :%u", {s[0], s[1], s[2], s[3], tcp->m_nSrcPort}));
        if (!style.showSeqAck) black(kBreak);
    }
    if (style.showSeqAck) {
        black(" (SYN:");
        out.emplace_back(Format("%u", {tcp->m_nSeqNum}), NumberColour, true);
        black(" ACK:");
        out.emplace_back(Format("%u", {tcp->m_nAckNum}), NumberColour, true);
        black(")");
        if (!style.showFlags) black(kBreak);
    }
    if (style.showFlags) {
        black(Format(" [ %s%s%s%s%s%s]", {tcp->m_bFin ? "FIN " : "", tcp->m_bSyn ? "SYN " : "",
                                          tcp->m_bRst ? "RST " : "", tcp->m_bPsh ? "PSH " : "",
                                          tcp->m_bAck ? "ACK " : "", tcp->m_bUrg ? "URG " : ""}));
        black(kBreak);
    }
    if (const CDataLayer* data = FindLayerAs<CDataLayer>(packet)) {
        std::string text;
        const int length = data->m_pData != nullptr ? data->m_nLength : 0;
        if (ascii) {
            // The datagram's own length drops link-layer padding; when the
            // lengths are inconsistent (the difference wraps) the whole payload shows.
            uint32_t n =
                static_cast<uint32_t>(ip->m_nTotalLen) - tcp->m_nHeaderUsed - ip->m_nHeaderLen;
            if (n > static_cast<uint32_t>(std::max(length, 0)))
                n = static_cast<uint32_t>(std::max(length, 0));
            text = StreamText(data->m_pData, static_cast<int>(n));
        } else {
            HexText(text, data->m_pData, length);
        }
        // Built directly, not formatted: a payload is never cut to a field limit.
        text += kBreak;
        out.emplace_back(std::move(text), side, false);
    }
    if (style.showHeader) black(kBreak);
}

std::vector<StyledRun> RenderStream(const std::vector<const CProtocolLayer*>& packets,
                                    const CProtocolLayer* representative, const HeaderStyle& style,
                                    bool ascii) {
    std::vector<StyledRun> out;
    out.reserve(packets.size() * 8);
    for (size_t i = 0; i < packets.size(); ++i)
        AppendPacketRuns(out, packets[i], static_cast<int>(i), representative, style, ascii);
    return out;
}
