// The statistics of a store that grows: all its entries, and those a display
// filter matches, counted as they arrive. Each call counts at most a budget of
// new entries, so a window that follows a flood stays responsive and catches
// up over its next ticks; a filter changed recounts only the filtered counts,
// from the first entry. An emptied store (a new capture) starts both over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "intake/packet_store.h"
#include "stats/traffic_stats.h"
#include "view/display_filter.h"

class StatsFollower {
  public:
    // Counts up to `budget` entries; true when the counts changed.
    bool Follow(const PacketStore& store, size_t budget);
    // The filter whose matches Shown() counts; an empty one shows every entry.
    void SetFilter(const DisplayFilter& filter);
    const std::string& FilterExpression() const { return m_filter.Expression(); }
    int FilterLinkType() const { return m_filter.LinkType(); }

    const TrafficStats& All() const { return m_all; }
    // The counts of the rows shown: All() without a filter.
    const TrafficStats& Shown() const { return m_filter.Empty() ? m_all : m_shown; }
    bool Filtered() const { return !m_filter.Empty(); }
    // Every entry of the store is counted.
    bool CaughtUp(const PacketStore& store) const;

    // The store index of the first entry counted (among those shown when
    // `shownOnly`) whose time is at least `offsetNs` after the origin of All().
    std::optional<size_t> FirstAt(const PacketStore& store, int64_t offsetNs, bool shownOnly) const;

  private:
    void Restart(uint64_t generation);

    uint64_t m_generation = 0;
    size_t m_nNext = 0;       // the next entry for All()
    size_t m_nShownNext = 0;  // the next entry for the filtered counts; at most m_nNext
    DisplayFilter m_filter;
    TrafficStats m_all;
    TrafficStats m_shown;
};

// The display filter of one conversation of `kind`, both ways: the
// expression "Filter on this conversation" gives its frames.
std::string ConversationExpression(ConversationKind kind, const Conversation& conversation);
