// Packets and bytes per interval of capture time, kept at a base interval
// that doubles (each pair of neighbours merged) whenever the count of
// intervals would pass a bound: a capture of any length costs bounded memory,
// and each frame adds to one interval in constant time (amortised over the
// rare merges).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct IoBin {
    uint64_t packets = 0;
    uint64_t bytes = 0;
};

class IoSeries {
  public:
    // Intervals never outnumber `bound` (even, at least 2); the base starts at
    // `baseNs` nanoseconds.
    explicit IoSeries(size_t bound = size_t{1} << 18, uint64_t baseNs = 1'000'000);

    // A frame `offsetNs` after the series' origin (earlier frames count in the first).
    void Add(int64_t offsetNs, uint64_t bytes);
    void Clear();

    uint64_t BaseNs() const { return m_nBaseNs; }
    const std::vector<IoBin>& Bins() const { return m_bins; }
    // The series at `factor` times the base: each interval the sum of `factor`
    // base intervals, the last one possibly partial.
    std::vector<IoBin> Regrouped(size_t factor) const;

  private:
    void Double();

    size_t m_nBound;
    uint64_t m_nFirstBaseNs;
    uint64_t m_nBaseNs;
    std::vector<IoBin> m_bins;
};
