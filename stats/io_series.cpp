#include "stats/io_series.h"

#include <algorithm>

IoSeries::IoSeries(size_t bound, uint64_t baseNs)
    : m_nBound(std::max<size_t>(2, bound & ~size_t{1})),
      m_nFirstBaseNs(std::max<uint64_t>(1, baseNs)),
      m_nBaseNs(m_nFirstBaseNs) {}

void IoSeries::Add(int64_t offsetNs, uint64_t bytes) {
    const uint64_t offset = offsetNs > 0 ? static_cast<uint64_t>(offsetNs) : 0;
    uint64_t index = offset / m_nBaseNs;
    while (index >= m_nBound) {
        Double();
        index = offset / m_nBaseNs;
    }
    if (index >= m_bins.size()) m_bins.resize(index + 1);
    m_bins[index].packets += 1;
    m_bins[index].bytes += bytes;
}

void IoSeries::Clear() {
    m_bins.clear();
    m_nBaseNs = m_nFirstBaseNs;
}

void IoSeries::Double() {
    const size_t merged = (m_bins.size() + 1) / 2;
    for (size_t i = 0; i < merged; ++i) {
        IoBin bin = m_bins[2 * i];
        if (2 * i + 1 < m_bins.size()) {
            bin.packets += m_bins[2 * i + 1].packets;
            bin.bytes += m_bins[2 * i + 1].bytes;
        }
        m_bins[i] = bin;
    }
    m_bins.resize(merged);
    m_nBaseNs *= 2;
}

std::vector<IoBin> IoSeries::Regrouped(size_t factor) const {
    factor = std::max<size_t>(1, factor);
    std::vector<IoBin> out((m_bins.size() + factor - 1) / factor);
    for (size_t i = 0; i < m_bins.size(); ++i) {
        out[i / factor].packets += m_bins[i].packets;
        out[i / factor].bytes += m_bins[i].bytes;
    }
    return out;
}
