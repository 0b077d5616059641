// The display filter: a pcap filter expression compiled once for the capture's
// link type and tested against kept frames with libpcap's own matcher. The
// frames are already in memory, so a filter over a view is one
// pcap_offline_filter call per frame, given both its captured and its wire
// length (`greater 1000` reads the latter).
#pragma once

#include <pcap/pcap.h>

#include <string>

#include "protocols/kept_frame.h"

class DisplayFilter {
  public:
    DisplayFilter() = default;
    DisplayFilter(const DisplayFilter& other);
    DisplayFilter& operator=(const DisplayFilter& other);
    DisplayFilter(DisplayFilter&& other) noexcept;
    DisplayFilter& operator=(DisplayFilter&& other) noexcept;
    ~DisplayFilter();

    // Compiles `expression` (pcap filter language) for frames of `linkType`
    // (libpcap DLT_ value) with `snapLength`; false with Error() set (libpcap's
    // own message) when it does not compile, the filter then as it was. An
    // empty expression matches every frame. libpcap's "expression rejects all
    // packets" compiles: it matches nothing.
    bool Compile(const std::string& expression, int linkType, int snapLength = 262144);
    bool Empty() const { return m_expression.empty(); }
    const std::string& Error() const { return m_error; }
    const std::string& Expression() const { return m_expression; }
    int LinkType() const { return m_nLinkType; }
    int SnapLength() const { return m_nSnapLength; }
    // pcap_offline_filter over the frame's captured bytes, with its captured and wire lengths.
    bool Matches(const KeptFrame& frame) const;

  private:
    void Release();

    std::string m_expression;
    std::string m_error;
    int m_nLinkType = 1;
    int m_nSnapLength = 262144;
    bpf_program m_program{};
    // An expression libpcap proves matches nothing; the program is not kept.
    bool m_bRejectsAll = false;
};
