// tapwatch-log --stats: the store's sink counts every frame (those the display
// filter matches) into the statistics and lets it go, so a capture of any
// size is counted in the memory of its counts; at the end every table is
// written as tab-separated sections.
#pragma once

#include <cstdint>
#include <string>

#include "intake/packet_store.h"
#include "stats/traffic_stats.h"
#include "view/display_filter.h"

class StatsOutput {
  public:
    // `store` names the frames' link type for the display filter.
    StatsOutput(std::string path, std::string displayFilter, const PacketStore& store);

    // The store's PacketSink, called in order under the store's lock.
    uint64_t Add(size_t index, const StoredPacket& packet);
    // Writes the tables with `drops` in the summary; false with Error() set
    // when the display filter does not compile or the output fails.
    bool Finish(uint64_t drops);
    const std::string& Error() const { return m_error; }

  private:
    const std::string m_path;
    const std::string m_expression;
    const PacketStore& m_store;
    DisplayFilter m_filter;
    bool m_bCompiled = false;
    TrafficStats m_stats;
    std::string m_error;
};
