#include "sessions/decode_logic.h"

#include <utility>

#include "protocols/tcp.h"
#include "sessions/tcp_packet.h"

namespace {

constexpr const char* kResolving = "Resolving...";

}  // namespace

CDecodeLogic::CDecodeLogic(IDecodeView& view, PacketSnapshot snapshot,
                           std::shared_ptr<const IHostResolver> resolver)
    : m_view(view), m_table(std::move(snapshot)), m_resolver(std::move(resolver)) {}

void CDecodeLogic::Initialise(int preselect) {
    FillHostList();
    if (preselect < 0)
        ListSessions();
    else
        PreselectPacket(preselect);
}

void CDecodeLogic::FillHostList() {
    const auto& hosts = m_table.Hosts();
    for (size_t i = 0; i < hosts.size(); ++i)
        m_view.InsertHostItem(static_cast<int>(i), hosts[i].Text(), kHostImage, kCurrentHostImage);
    m_view.SetCurrentHost(0);
}

bool CDecodeLogic::HasSession(int index) const {
    return index >= 0 && static_cast<size_t>(index) < m_sessions.size();
}

bool CDecodeLogic::FillSessionRows() {
    m_view.ClearSessionRows();
    const int host = m_view.CurrentHost();
    // An index outside the hosts (no current item) gives an empty list.
    m_sessions = m_table.ListSessions(host);
    for (size_t row = 0; row < m_sessions.size(); ++row)
        m_view.InsertSessionRow(static_cast<int>(row),
                                m_table.SessionRowText(host, m_sessions[row]), kSessionImage);
    if (m_sessions.empty()) {
        // Nothing can be current any more; late answers must not land.
        m_nCurrentSession = -1;
        CancelLookups();
    }
    return !m_sessions.empty();
}

void CDecodeLogic::ListSessions() {
    if (!FillSessionRows()) return;
    m_view.SelectSessionRow(0);
    RenderSession(0);
}

int CDecodeLogic::PreselectPacket(int index) {
    const PacketSnapshot& all = m_table.AllPackets();
    if (index < 0 || static_cast<size_t>(index) >= all.size()) return 0;
    const auto source = SourceAddress(all[index].get());
    if (!source) return -1;

    const int host = m_table.HostIndex(*source);
    m_view.SetCurrentHost(host);
    if (!FillSessionRows()) return 0;
    // The packet's session is listed under its source host; a packet that is
    // not TCP has none and leaves row 0. Only the final row is rendered.
    int row = 0;
    if (const auto session = m_table.SessionOfPacket(static_cast<size_t>(index))) {
        const int found = m_table.RowOfSession(host, *session);
        if (found >= 0) row = found;
    }
    m_view.SelectSessionRow(row);
    RenderSession(row);
    return 0;
}

void CDecodeLogic::ShowEndpoints() {
    if (!HasSession(m_nCurrentSession)) return;
    const auto rep = AsTcpPacket(m_sessions[m_nCurrentSession].packet);
    if (!rep) return;

    EndpointLookup lookup{++m_nEndpointToken,
                          m_resolver,
                          {rep->Source().Text(), rep->tcp->m_nSrcPort},
                          {rep->Destination().Text(), rep->tcp->m_nDstPort}};
    m_view.SetEndpointText(EndpointBox::Upper, kResolving);
    m_view.SetEndpointText(EndpointBox::Lower, kResolving);
    m_view.RepaintNow();

    if (m_view.IsResolveDnsChecked()) {
        m_view.StartEndpointLookup(std::move(lookup));
        return;
    }
    ShowAnswer({lookup.token, EndpointSide::First,
                EndpointText({}, lookup.first.address, lookup.first.port)});
    ShowAnswer({lookup.token, EndpointSide::Second,
                EndpointText({}, lookup.second.address, lookup.second.port)});
}

void CDecodeLogic::OnEndpointResolved(const EndpointAnswer& answer) {
    if (answer.token != m_nEndpointToken) return;
    ShowAnswer(answer);
}

void CDecodeLogic::ShowAnswer(const EndpointAnswer& answer) {
    const bool first = answer.side == EndpointSide::First;
    const EndpointBox box = first ? EndpointBox::Upper : EndpointBox::Lower;
    m_view.SetEndpointText(box, "");
    m_view.AppendEndpointRun(
        box, StyledRun(answer.text, first ? FirstSideColour : SecondSideColour, true));
    if (first) m_view.RepaintNow();
}

void CDecodeLogic::RenderSession(int index) {
    if (!HasSession(index)) return;
    m_view.ClearStream();
    m_view.AppendStreamRuns({LoadingRun()});
    m_view.RepaintNow();

    m_streamPackets.clear();
    m_nCurrentSession = index;
    ShowEndpoints();
    m_view.RepaintNow();

    const TcpSession& session = m_sessions[index];
    m_streamPackets = m_table.SessionPackets(session);
    m_view.SetCaption(SessionCaption(m_streamPackets.size()));
    m_view.ClearStream();
    m_view.AppendStreamRuns(RenderStream(m_streamPackets, session.packet, m_style, m_bAscii));
}

void CDecodeLogic::OnDataFormat(int item) {
    if (item != 0 && item != 1) return;
    m_bAscii = item == 0;
    RenderSession(m_nCurrentSession);
}

void CDecodeLogic::OnHeaderStyle(int item) {
    const auto style = HeaderStyleForItem(item);
    if (!style) return;
    m_style = *style;
    RenderSession(m_nCurrentSession);
}
