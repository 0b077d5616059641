#include "sessions/stream_render.h"

#include <algorithm>

#include "protocols/tcp.h"
#include "protocols/text_format.h"
#include "sessions/tcp_packet.h"

namespace {

constexpr const char* kBreak = "\r\n";

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

std::string SessionCaption(size_t count) {
    return Format("Reassembled TCP session (%d packets)", {static_cast<unsigned long>(count)});
}

StyledRun LoadingRun() {
    return {"Loading...", BlackColour, true};
}

void AppendPacketRuns(std::vector<StyledRun>& out, const CProtocolLayer* packet, int number,
                      const CProtocolLayer* representative, const HeaderStyle& style, bool ascii) {
    const auto p = AsTcpPacket(packet);
    const auto rep = AsTcpPacket(representative);
    if (!p || !rep) return;
    const CTcpLayer* tcp = p->tcp;

    const bool firstSide = p->Source() == rep->Source() && tcp->m_nSrcPort == rep->tcp->m_nSrcPort;
    const RunColour side = firstSide ? FirstSideColour : SecondSideColour;
    auto black = [&out](std::string text) { out.emplace_back(std::move(text), BlackColour, true); };

    if (style.showHeader) {
        black(Format("[%d] ", {number}));
        black(Format("Source %s :%u", {p->Source().Text(), tcp->m_nSrcPort}));
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
    if (const SegmentData data = p->Data(); !data.Empty()) {
        // Built directly, not formatted: a payload is never cut to a field limit.
        const int n = static_cast<int>(data.length);
        std::string text;
        if (ascii)
            text = StreamText(data.bytes, n);
        else
            HexText(text, data.bytes, n);
        if (data.missing != 0) text += Format(" [%u bytes missing]", {data.missing});
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

void AppendShownText(std::string& out, std::string_view text, bool& pendingCr) {
    out.reserve(out.size() + text.size());
    for (const char c : text) {
        if (c == '\r') {
            out += '\n';
            pendingCr = true;
            continue;
        }
        if (c == '\n' && pendingCr) {
            pendingCr = false;
            continue;
        }
        pendingCr = false;
        out += c;
    }
}
