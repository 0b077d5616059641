// tapwatch-log's conversations without keeping the capture. The store passes
// every frame through a session grouping, which is all --sessions needs; and
// only the frames of the session to follow are copied out of the intake's
// slabs (a frame kept where it was read would hold its whole slab). A file is
// read twice for --follow: once to find the session of the line asked for,
// then for that session's frames. A stream can be read once only and its
// listing is known only at its end, so there every session that may still be
// that line keeps its frames.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "intake/packet_store.h"
#include "sessions/session_grouping.h"
#include "sessions/session_table.h"

class SessionPass {
  public:
    // Keeps no frame, only the grouping.
    SessionPass() = default;
    // Keeps the frames of the session `ends` names, among the first
    // `packets` entries only (what the first read took in); the entry after
    // them calls `onDone`, which ends the read. No grouping.
    void KeepSession(const SessionEnds& ends, size_t packets, std::function<void()> onDone);
    // Keeps the frames of every session that may still be line `line` of the
    // listing once the input ends.
    void KeepLine(unsigned long line);

    // The store's PacketSink. Returns the memory held.
    uint64_t Add(size_t index, const StoredPacket& packet);

    const CSessionGrouping& Grouping() const { return m_grouping; }
    // Entries passed so far.
    size_t Entries() const { return m_nEntries; }
    // The session on line `line` of the listing; none past its end, with
    // `lines` the listing's length.
    static std::optional<uint32_t> SessionOnLine(const CSessionGrouping& grouping,
                                                 unsigned long line, size_t& lines);
    // The kept frames of `session` (KeepLine) or of the one session
    // (KeepSession), decoded again in capture order for frames of `linkType`;
    // the copies kept are let go.
    PacketSnapshot TakeFrames(uint32_t session, int linkType);

  private:
    enum class Keep { None, Session, Line };
    // Whether `session` can still turn out to be line m_nLine.
    bool MayBeLine(uint32_t session) const;
    // The fewest lines that can come before host `host`'s: lines only grow.
    uint64_t LowestOffset(size_t host) const;
    // Counts the lines again and lets go of the sessions past m_nLine.
    void Sweep();
    void Copy(std::string& frames, const KeptFrame& frame);

    Keep m_keep = Keep::None;
    size_t m_nEntries = 0;
    CSessionGrouping m_grouping;
    SessionEnds m_ends;
    size_t m_nPackets = 0;
    std::function<void()> m_onDone;
    unsigned long m_nLine = 0;
    // Per session kept: its frames, each a KeptFrame header and its bytes.
    std::unordered_map<uint32_t, std::string> m_frames;
    uint64_t m_nKeptBytes = 0;
    // KeepLine: the lines before each host at the last sweep, then all of
    // them; the sessions begun since.
    std::vector<uint64_t> m_offsets{0};
    size_t m_nSinceSweep = 0;
    size_t m_nKeptAtSweep = 0;
};
