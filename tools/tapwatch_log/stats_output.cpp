#include "tools/tapwatch_log/stats_output.h"

#include <unistd.h>

#include "common/replacing_file.h"

StatsOutput::StatsOutput(std::string path, std::string displayFilter, const PacketStore& store)
    : m_path(std::move(path)), m_expression(std::move(displayFilter)), m_store(store) {}

uint64_t StatsOutput::Add(size_t index, const StoredPacket& packet) {
    if (!m_bCompiled) {
        // The link type is known once the first frame arrives.
        m_bCompiled = true;
        if (!m_filter.Compile(m_expression, m_store.LinkType())) m_error = m_filter.Error();
    }
    if (!m_error.empty()) return 0;
    if (packet.frame != nullptr && !m_filter.Matches(*packet.frame)) return 0;
    m_stats.Add(packet, index);
    return 0;
}

bool StatsOutput::Finish(uint64_t drops) {
    if (!m_bCompiled && !m_filter.Compile(m_expression, m_store.LinkType()))
        m_error = m_filter.Error();
    if (!m_error.empty()) {
        m_error = "-Y " + m_expression + ": " + m_error;
        return false;
    }
    m_stats.SetDrops(drops);
    ReplacingFile file;
    if (m_path == "-") {
        file.Attach(STDOUT_FILENO);
    } else if (!file.Open(m_path)) {
        m_error = "cannot write " + m_path;
        return false;
    }
    if (!file.Write(StatsText(m_stats)) || !file.Commit()) {
        m_error = "cannot write " + (m_path == "-" ? std::string("standard output") : m_path);
        return false;
    }
    return true;
}
