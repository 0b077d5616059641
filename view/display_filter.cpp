#include "view/display_filter.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace {

struct DeadHandleCloser {
    void operator()(pcap_t* handle) const { pcap_close(handle); }
};

// A compiled program's instructions, copied so that a filter can be copied:
// pcap_freecode frees what pcap_compile allocated with malloc.
bpf_program CopyProgram(const bpf_program& from) {
    bpf_program copy{};
    if (from.bf_len == 0 || from.bf_insns == nullptr) return copy;
    const size_t bytes = from.bf_len * sizeof(bpf_insn);
    copy.bf_insns = static_cast<bpf_insn*>(std::malloc(bytes));
    if (copy.bf_insns == nullptr) return copy;
    std::memcpy(copy.bf_insns, from.bf_insns, bytes);
    copy.bf_len = from.bf_len;
    return copy;
}

}  // namespace

DisplayFilter::DisplayFilter(const DisplayFilter& other)
    : m_expression(other.m_expression),
      m_error(other.m_error),
      m_nLinkType(other.m_nLinkType),
      m_nSnapLength(other.m_nSnapLength),
      m_program(CopyProgram(other.m_program)),
      m_bRejectsAll(other.m_bRejectsAll) {}

DisplayFilter& DisplayFilter::operator=(const DisplayFilter& other) {
    if (this != &other) {
        DisplayFilter copy(other);
        *this = std::move(copy);
    }
    return *this;
}

DisplayFilter::DisplayFilter(DisplayFilter&& other) noexcept
    : m_expression(std::move(other.m_expression)),
      m_error(std::move(other.m_error)),
      m_nLinkType(other.m_nLinkType),
      m_nSnapLength(other.m_nSnapLength),
      m_program(std::exchange(other.m_program, bpf_program{})),
      m_bRejectsAll(other.m_bRejectsAll) {
    other.m_expression.clear();
}

DisplayFilter& DisplayFilter::operator=(DisplayFilter&& other) noexcept {
    if (this != &other) {
        Release();
        m_expression = std::move(other.m_expression);
        other.m_expression.clear();
        m_error = std::move(other.m_error);
        m_nLinkType = other.m_nLinkType;
        m_nSnapLength = other.m_nSnapLength;
        m_program = std::exchange(other.m_program, bpf_program{});
        m_bRejectsAll = other.m_bRejectsAll;
    }
    return *this;
}

DisplayFilter::~DisplayFilter() {
    Release();
}

void DisplayFilter::Release() {
    if (m_program.bf_insns != nullptr) pcap_freecode(&m_program);
    m_program = bpf_program{};
}

bool DisplayFilter::Compile(const std::string& expression, int linkType, int snapLength) {
    m_error.clear();
    if (expression.find_first_not_of(" \t\r\n") == std::string::npos) {
        Release();
        m_expression.clear();
        m_bRejectsAll = false;
        m_nLinkType = linkType;
        m_nSnapLength = snapLength;
        return true;
    }
    const std::unique_ptr<pcap_t, DeadHandleCloser> dead(pcap_open_dead(linkType, snapLength));
    if (!dead) {
        m_error = "cannot open a filter handle for link type " + std::to_string(linkType);
        return false;
    }
    bpf_program program{};
    bool rejectsAll = false;
    if (pcap_compile(dead.get(), &program, expression.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        const std::string message = pcap_geterr(dead.get());
        // libpcap proves some expressions (e.g. `ip and arp`) match nothing and
        // reports that as a failure; it is a valid filter that shows no rows.
        if (message.find("expression rejects all packets") == std::string::npos) {
            m_error = message;
            return false;
        }
        rejectsAll = true;
        program = bpf_program{};
    }
    Release();
    m_program = program;
    m_bRejectsAll = rejectsAll;
    m_expression = expression;
    m_nLinkType = linkType;
    m_nSnapLength = snapLength;
    return true;
}

bool DisplayFilter::Matches(const KeptFrame& frame) const {
    if (m_expression.empty()) return true;
    if (m_bRejectsAll || m_program.bf_insns == nullptr) return false;
    pcap_pkthdr header{};
    header.caplen = frame.capturedLength;
    header.len = frame.wireLength;
    return pcap_offline_filter(&m_program, &header, frame.Bytes()) != 0;
}
