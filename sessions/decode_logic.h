// The Decode window's behaviour without the window: the host selector and the
// session list built from the session table, the endpoint boxes with optional
// name resolution, and the rendering of the chosen session into the stream
// area. The window forwards its events here and implements IDecodeView.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sessions/decode_view.h"
#include "sessions/host_resolver.h"
#include "sessions/session_table.h"
#include "sessions/stream_render.h"

class CDecodeLogic {
  public:
    // Builds the session table from `snapshot` (taken by value: the chains stay
    // alive as long as this object). `resolver` serves the Resolve DNS box.
    CDecodeLogic(IDecodeView& view, PacketSnapshot snapshot,
                 std::shared_ptr<const IHostResolver> resolver);

    // Fills the host selector, then lists the first host's sessions, or,
    // with `preselect` of 0 or more, the host and session of that packet.
    void Initialise(int preselect);

    // Inserts one host selector item per host, in first-appearance order, and
    // makes item 0 current.
    void FillHostList();
    // Lists the sessions of the current host, selects row 0 and renders it;
    // with no current host the list stays empty.
    void ListSessions();
    // Selects the source host of packet `index` and the session that holds the
    // packet (row 0 when the packet is not TCP). 0, or -1 when the packet has
    // neither an IPv4 nor an IPv6 layer; an index outside the snapshot changes
    // nothing.
    int PreselectPacket(int index);
    // Shows session `index` of the list: endpoints, caption and stream, its
    // packets in capture order.
    void RenderSession(int index);
    // Shows "Resolving..." in both endpoint boxes, then each side's text:
    // at once when Resolve DNS is unchecked, else through the view's lookup.
    void ShowEndpoints();

    // Window events.
    void OnHostChanged() { ListSessions(); }
    void OnSessionSelected(int row) { RenderSession(row); }
    // Item 0 "ASCII", item 1 "Hexadecimal".
    void OnDataFormat(int item);
    // Items of HeaderStyleForItem.
    void OnHeaderStyle(int item);
    void OnResolveDns() { ShowEndpoints(); }
    // An answer of the last lookup started; answers of earlier ones are dropped.
    void OnEndpointResolved(const EndpointAnswer& answer);
    // Drops the answers of every lookup started so far (the window is closing).
    void CancelLookups() { ++m_nEndpointToken; }

    const CSessionTable& Table() const { return m_table; }
    const std::vector<TcpSession>& Sessions() const { return m_sessions; }
    // -1 until a session is shown.
    int CurrentSession() const { return m_nCurrentSession; }
    const std::vector<const CProtocolLayer*>& StreamPackets() const { return m_streamPackets; }
    bool Ascii() const { return m_bAscii; }
    const HeaderStyle& Style() const { return m_style; }

  private:
    bool HasSession(int index) const;
    // Rebuilds m_sessions and the rows; false when the list is empty.
    bool FillSessionRows();
    void ShowAnswer(const EndpointAnswer& answer);

    IDecodeView& m_view;
    CSessionTable m_table;
    std::shared_ptr<const IHostResolver> m_resolver;
    std::vector<TcpSession> m_sessions;
    int m_nCurrentSession = -1;
    std::vector<const CProtocolLayer*> m_streamPackets;
    bool m_bAscii = true;
    HeaderStyle m_style;  // "SYN/ACK"
    uint64_t m_nEndpointToken = 0;
};
