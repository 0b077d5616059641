#include "capture/capture_state.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <limits>
#include <mutex>

#include "protocols/decode.h"

FrameTime WallClock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return {int64_t{now.tv_sec}, static_cast<uint32_t>(now.tv_nsec)};
}

FrameInfo FrameInfoOf(const pcap_pkthdr& header, bool nanoseconds) {
    constexpr uint64_t kNanosecondsPerSecond = 1'000'000'000;
    // A damaged file can put any 32-bit value in the fraction: whole seconds
    // in it are carried over, so the time stays what the header says.
    const uint64_t fraction = static_cast<uint32_t>(header.ts.tv_usec);
    const uint64_t ns = nanoseconds ? fraction : fraction * 1000;
    FrameInfo info;
    info.time.seconds = int64_t{header.ts.tv_sec};
    const auto carry = static_cast<int64_t>(ns / kNanosecondsPerSecond);
    if (__builtin_add_overflow(info.time.seconds, carry, &info.time.seconds)) {
        info.time.seconds = std::numeric_limits<int64_t>::max();
    }
    info.time.nanoseconds = static_cast<uint32_t>(ns % kNanosecondsPerSecond);
    info.capturedLength = header.caplen;
    info.wireLength = header.len;
    return info;
}

std::string FilterFailedMessage(const std::string& libpcapLine) {
    std::string message = StartFailureMessage(StartFailure::CompileFilter);
    if (!libpcapLine.empty()) message += "\n" + libpcapLine;
    return message;
}

std::string NotDecodedMessage(const char* message, int linkType) {
    const char* name = pcap_datalink_val_to_name(linkType);
    return std::string(message) + "\n" +
           (name != nullptr ? std::string(name) : "link type " + std::to_string(linkType));
}

const char* StartFailureMessage(StartFailure failure) {
    switch (failure) {
        case StartFailure::None:
            return "";
        case StartFailure::OpenAdapter:
            return "Unable to open live adapter";
        case StartFailure::NotEthernet:
            return "This interface does not deliver Ethernet frames";
        case StartFailure::CompileFilter:
            return "Unable to compile the packet filter. Check the syntax";
        case StartFailure::SetFilter:
            return "Error setting the filter";
    }
    return "";
}

CaptureState::CaptureState() : m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CaptureState::~CaptureState() {
    Release();
    if (m_wakeFd >= 0) close(m_wakeFd);
}

StartFailure CaptureState::Open(const std::string& interfaceName, const std::string& filter) {
    if (interfaceName.empty()) return StartFailure::OpenAdapter;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    // The parameters of a plain live open, with timestamps in nanoseconds
    // where the interface gives them.
    m_hCapture = pcap_create(interfaceName.c_str(), errbuf);
    if (m_hCapture == nullptr) return StartFailure::OpenAdapter;
    pcap_set_snaplen(m_hCapture, kSnapLength);
    pcap_set_promisc(m_hCapture, kPromiscuous);
    pcap_set_timeout(m_hCapture, kReadTimeoutMs);
    pcap_set_tstamp_precision(m_hCapture, PCAP_TSTAMP_PRECISION_NANO);
    // Room in the kernel for the bursts a reader meets while it maps and
    // fills fresh memory for the frames it keeps.
    pcap_set_buffer_size(m_hCapture, kKernelBufferBytes);
    if (pcap_activate(m_hCapture) < 0) {
        Release();
        return StartFailure::OpenAdapter;
    }
    m_bNanoseconds = pcap_get_tstamp_precision(m_hCapture) == PCAP_TSTAMP_PRECISION_NANO;

    StartFailure failure = StartFailure::None;
    // "any" offers the cooked header's second version, which names each
    // frame's interface, beside the first.
    if (interfaceName == "any") {
        int* offered = nullptr;
        const int count = pcap_list_datalinks(m_hCapture, &offered);
        for (int i = 0; i < count; ++i) {
            if (offered[i] == DLT_LINUX_SLL2) pcap_set_datalink(m_hCapture, DLT_LINUX_SLL2);
        }
        if (count >= 0) pcap_free_datalinks(offered);
    }
    m_nLinkType = pcap_datalink(m_hCapture);
    if (!DecodesLinkType(m_nLinkType)) {
        failure = StartFailure::NotEthernet;
    } else if (pcap_compile(m_hCapture, &m_filter, filter.c_str(), kFilterOptimise,
                            kFilterNetmask) < 0) {
        failure = StartFailure::CompileFilter;
        m_filterError = pcap_geterr(m_hCapture);
    } else {
        m_bFilterCompiled = true;
        if (pcap_setfilter(m_hCapture, &m_filter) < 0) {
            failure = StartFailure::SetFilter;
        } else if (pcap_setnonblock(m_hCapture, 1, errbuf) < 0 || m_wakeFd < 0 ||
                   (m_captureFd = pcap_get_selectable_fd(m_hCapture)) < 0) {
            failure = StartFailure::OpenAdapter;
        }
    }
    if (failure != StartFailure::None) Release();
    return failure;
}

std::string CaptureState::FailureMessage(StartFailure failure) const {
    if (failure == StartFailure::CompileFilter) return FilterFailedMessage(m_filterError);
    if (failure == StartFailure::NotEthernet)
        return NotDecodedMessage(StartFailureMessage(failure), m_nLinkType);
    return StartFailureMessage(failure);
}

bool CaptureState::SetRunning() {
    Run expected = Run::Starting;
    return m_run.compare_exchange_strong(expected, Run::Running);
}

void CaptureState::RequestStop() {
    m_run.store(Run::Stopped);
    Wake();
}

void CaptureState::StopForReadError() {
    Run expected = Run::Running;
    if (m_run.compare_exchange_strong(expected, Run::Stopped)) m_bReadError.store(true);
    Wake();
}

void CaptureState::StopForMemory() {
    Run expected = Run::Running;
    if (m_run.compare_exchange_strong(expected, Run::Stopped)) m_bMemoryFull.store(true);
    Wake();
}

void CaptureState::Wake() {
    // The counter stays readable from now on, so every later wait returns at once.
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
    }
}

int CaptureState::NextFrame(pcap_pkthdr** header, const u_char** data) {
    // While frames are waiting in the ring this costs no system call.
    const int result = pcap_next_ex(m_hCapture, header, data);
    if (result != 0) return result;
    pollfd fds[2] = {{m_captureFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    poll(fds, 2, kReadTimeoutMs);
    if (!IsRunning()) return 0;
    // Also after a bare time-out: the non-blocking read is where libpcap notices
    // an interface that went down or away.
    return pcap_next_ex(m_hCapture, header, data);
}

CaptureStats CaptureState::Stats() {
    CaptureStats stats;
    pcap_stat ps{};
    std::scoped_lock lock(m_readLock);
    if (m_hCapture != nullptr && pcap_stats(m_hCapture, &ps) == 0) {
        stats.valid = true;
        stats.received = ps.ps_recv;
        stats.dropped = ps.ps_drop;
        stats.ifDropped = ps.ps_ifdrop;
    }
    return stats;
}

void CaptureState::Release() {
    if (m_bFilterCompiled) {
        pcap_freecode(&m_filter);
        m_bFilterCompiled = false;
    }
    if (m_hCapture != nullptr) {
        pcap_close(m_hCapture);
        m_hCapture = nullptr;
        m_captureFd = -1;
    }
}
