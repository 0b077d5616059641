#include "tools/tapwatch_log/session_pass.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "protocols/chain_pool.h"
#include "protocols/kept_frame.h"
#include "sessions/tcp_packet.h"

namespace {

// What a kept session's entry in m_frames costs beside its frames.
constexpr uint64_t kSessionEntryBytes = 64;

}  // namespace

void SessionPass::KeepSession(const SessionEnds& ends, size_t packets,
                              std::function<void()> onDone) {
    m_keep = Keep::Session;
    m_ends = ends;
    m_nPackets = packets;
    m_onDone = std::move(onDone);
}

void SessionPass::KeepLine(unsigned long line) {
    m_keep = Keep::Line;
    m_nLine = line;
}

uint64_t SessionPass::LowestOffset(size_t host) const {
    // A host listed since has at least its one session's line, after all
    // the lines counted then.
    const size_t counted = m_offsets.size() - 1;
    return host < counted ? m_offsets[host] : m_offsets.back() + (host - counted);
}

bool SessionPass::MayBeLine(uint32_t session) const {
    // A session's line under a host is the lines of the hosts before it plus
    // its row there.
    const SessionEnds& ends = m_grouping.Ends(session);
    for (const HostAddress& address : {ends.source, ends.destination}) {
        const auto host = static_cast<size_t>(m_grouping.HostList().IndexOf(address));
        const std::vector<uint32_t>& sessions = m_grouping.HostSessions(host);
        const auto row = static_cast<uint64_t>(
            std::lower_bound(sessions.begin(), sessions.end(), session) - sessions.begin());
        if (LowestOffset(host) + row <= m_nLine) return true;
    }
    return false;
}

void SessionPass::Sweep() {
    const size_t hosts = m_grouping.Hosts().size();
    m_offsets.assign(hosts + 1, 0);
    for (size_t h = 0; h < hosts; ++h)
        m_offsets[h + 1] = m_offsets[h] + m_grouping.HostSessions(h).size();
    for (auto it = m_frames.begin(); it != m_frames.end();) {
        if (MayBeLine(it->first)) {
            ++it;
            continue;
        }
        m_nKeptBytes -= it->second.capacity() + kSessionEntryBytes;
        it = m_frames.erase(it);
    }
    m_nSinceSweep = 0;
    m_nKeptAtSweep = m_frames.size();
}

void SessionPass::Copy(std::string& frames, const KeptFrame& frame) {
    const size_t before = frames.capacity();
    frames.append(reinterpret_cast<const char*>(&frame), sizeof frame);
    frames.append(reinterpret_cast<const char*>(frame.Bytes()), frame.capturedLength);
    m_nKeptBytes += frames.capacity() - before;
}

uint64_t SessionPass::Add(size_t index, const StoredPacket& packet) {
    m_nEntries = index + 1;
    switch (m_keep) {
        case Keep::Session: {
            if (index >= m_nPackets) {
                if (index == m_nPackets && m_onDone) m_onDone();
                break;
            }
            const auto p = AsTcpPacket(packet.root.get());
            if (p && packet.frame != nullptr && m_ends.Holds(*p)) Copy(m_frames[0], *packet.frame);
            break;
        }
        case Keep::None:
            m_grouping.Add(packet.root.get());
            break;
        case Keep::Line: {
            const auto placed = m_grouping.Add(packet.root.get());
            if (!placed || packet.frame == nullptr) break;
            if (placed->first && MayBeLine(placed->session)) {
                m_frames[placed->session];
                m_nKeptBytes += kSessionEntryBytes;
            }
            // The sweep walks every host and every session kept: now and then.
            if (placed->first &&
                ++m_nSinceSweep >=
                    std::max({size_t{256}, m_grouping.Hosts().size() / 4, m_nKeptAtSweep}))
                Sweep();
            if (const auto kept = m_frames.find(placed->session); kept != m_frames.end())
                Copy(kept->second, *packet.frame);
            break;
        }
    }
    return m_grouping.Bytes() + m_nKeptBytes;
}

std::optional<uint32_t> SessionPass::SessionOnLine(const CSessionGrouping& grouping,
                                                   unsigned long line, size_t& lines) {
    lines = 0;
    std::optional<uint32_t> found;
    for (size_t h = 0; h < grouping.Hosts().size(); ++h) {
        const std::vector<uint32_t>& sessions = grouping.HostSessions(h);
        if (!found && line >= lines && line < lines + sessions.size())
            found = sessions[line - lines];
        lines += sessions.size();
    }
    return found;
}

PacketSnapshot SessionPass::TakeFrames(uint32_t session, int linkType) {
    PacketSnapshot out;
    const auto kept = m_frames.find(m_keep == Keep::Session ? 0 : session);
    if (kept == m_frames.end()) return out;
    const std::string frames = std::move(kept->second);
    m_frames.erase(kept);
    std::shared_ptr<ChainSlab> slab;
    for (size_t at = 0; at + sizeof(KeptFrame) <= frames.size();) {
        KeptFrame header;
        std::memcpy(&header, frames.data() + at, sizeof header);
        const auto* bytes =
            reinterpret_cast<const unsigned char*>(frames.data() + at + sizeof header);
        at += sizeof header + header.capturedLength;
        // Slabs as the intake's, each chain beside its frame.
        const size_t need = KeptFrameBytesBound(header.capturedLength);
        if (slab == nullptr || slab->Remaining() < need)
            slab = std::make_shared<ChainSlab>(std::max(ChainSlab::kDefaultCapacity, need));
        const KeptFrame* frame =
            ::KeepFrame(*slab, {header.time, header.capturedLength, header.wireLength}, bytes);
        const CProtocolLayer* root =
            frame != nullptr ? DecodeKeptFrame(*slab, *frame, linkType) : nullptr;
        if (root != nullptr) out.emplace_back(slab, root);
    }
    return out;
}
