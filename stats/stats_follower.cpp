#include "stats/stats_follower.h"

#include <algorithm>

#include "view/shown_rows.h"

namespace {

int64_t OffsetNs(const FrameTime& origin, const FrameTime& time) {
    return static_cast<int64_t>(SecondsBetween(origin, time) * 1e9);
}

}  // namespace

void StatsFollower::Restart(uint64_t generation) {
    m_generation = generation;
    m_nNext = 0;
    m_nShownNext = 0;
    m_all.Clear();
    m_shown.Clear();
}

void StatsFollower::SetFilter(const DisplayFilter& filter) {
    m_filter = filter;
    m_shown.Clear();
    m_nShownNext = 0;
}

bool StatsFollower::CaughtUp(const PacketStore& store) const {
    const PacketStore::Extent extent = store.CurrentExtent();
    return extent.generation == m_generation && m_nNext == extent.count &&
           (m_filter.Empty() || m_nShownNext == m_nNext);
}

bool StatsFollower::Follow(const PacketStore& store, size_t budget) {
    const PacketStore::Extent extent = store.CurrentExtent();
    bool changed = false;
    if (extent.generation != m_generation || extent.count < m_nNext) {
        Restart(extent.generation);
        changed = true;
    }
    const auto visit = [&](size_t first, size_t last, auto&& count) {
        if (first >= last) return;
        VisitShown(store, m_generation, ShownRows{nullptr, extent.count}, first, last,
                   [&](size_t position, const StoredPacket& entry) {
                       count(position, entry);
                       return true;
                   });
        changed = true;
    };
    const auto shown = [this](size_t position, const StoredPacket& entry) {
        if (entry.frame == nullptr || !m_filter.Matches(*entry.frame)) return;
        if (m_shown.Summary().packets == 0) m_shown.SetOrigin(m_all.Origin());
        m_shown.Add(entry, position);
    };
    if (!m_filter.Empty() && m_nShownNext < m_nNext) {
        const size_t last = std::min(m_nNext, m_nShownNext + budget);
        visit(m_nShownNext, last, shown);
        budget -= last - m_nShownNext;
        m_nShownNext = last;
    }
    const size_t last = std::min(extent.count, m_nNext + budget);
    visit(m_nNext, last, [&](size_t position, const StoredPacket& entry) {
        m_all.Add(entry, position);
        if (!m_filter.Empty() && m_nShownNext == position) {
            shown(position, entry);
            ++m_nShownNext;
        }
    });
    m_nNext = std::max(m_nNext, last);
    return changed;
}

std::optional<size_t> StatsFollower::FirstAt(const PacketStore& store, int64_t offsetNs,
                                             bool shownOnly) const {
    std::optional<size_t> found;
    const bool filtered = shownOnly && !m_filter.Empty();
    VisitShown(store, m_generation, ShownRows{nullptr, m_nNext}, 0, m_nNext,
               [&](size_t position, const StoredPacket& entry) {
                   if (entry.frame == nullptr) return true;
                   if (OffsetNs(m_all.Origin(), entry.frame->time) < offsetNs) return true;
                   if (filtered && !m_filter.Matches(*entry.frame)) return true;
                   found = position;
                   return false;
               });
    return found;
}

std::string ConversationExpression(ConversationKind kind, const Conversation& c) {
    const std::string prefix = c.tagged ? "vlan and " : "";
    const std::string a = AddressText(c.a);
    const std::string b = AddressText(c.b);
    if (kind == ConversationKind::Ethernet) return "ether host " + a + " and ether host " + b;
    if (kind == ConversationKind::Ipv4 || kind == ConversationKind::Ipv6)
        return prefix + "host " + a + " and host " + b;
    const auto way = [](const std::string& from, unsigned fromPort, const std::string& to,
                        unsigned toPort) {
        return "src host " + from + " and src port " + std::to_string(fromPort) + " and dst host " +
               to + " and dst port " + std::to_string(toPort);
    };
    return prefix + (kind == ConversationKind::Tcp ? "tcp" : "udp") + " and ((" +
           way(a, c.a.port, b, c.b.port) + ") or (" + way(b, c.b.port, a, c.a.port) + "))";
}
