#include "capture/capture_state.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

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

CaptureState::CaptureState() = default;

CaptureState::~CaptureState() {
    Release();
}

StartFailure CaptureState::Open(const std::string& interfaceName, const std::string& filter) {
    if (interfaceName.empty()) return StartFailure::OpenAdapter;
    const std::string path = LocateCaptureHelper(m_helperLine);
    if (path.empty()) return StartFailure::OpenAdapter;
    if (!m_helper.Start(path, {"-i", interfaceName, "-f", filter})) {
        m_helperLine = path + ": " + std::strerror(errno);
        return StartFailure::OpenAdapter;
    }
    // A stop that came before the helper was there ends it now.
    if (StopRequested()) m_helper.Signal(SIGTERM);

    FILE* stream = fdopen(m_helper.TakeStream(), "r");
    if (stream != nullptr) {
        // A pipe's read returns what has arrived: a large buffer only saves calls.
        std::setvbuf(stream, nullptr, _IOFBF, size_t{1} << 18);
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        // Reading the header waits for the helper to open the interface, or to
        // say why it could not and end.
        m_hCapture =
            pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, errbuf);
        if (m_hCapture == nullptr) std::fclose(stream);
    }
    StartFailure failure = StartFailure::None;
    if (m_hCapture == nullptr) {
        const int status = m_helper.Wait(std::chrono::seconds(1));
        m_helperLine = m_helper.MessageLine();
        failure =
            status == kHelperFilterFailed ? StartFailure::CompileFilter : StartFailure::OpenAdapter;
    } else {
        m_bNanoseconds = true;
        m_nLinkType = pcap_datalink(m_hCapture);
        if (!DecodesLinkType(m_nLinkType)) failure = StartFailure::NotEthernet;
    }
    if (failure != StartFailure::None) Release();
    return failure;
}

std::string CaptureState::FailureMessage(StartFailure failure) const {
    if (failure == StartFailure::CompileFilter) return FilterFailedMessage(m_helperLine);
    if (failure == StartFailure::NotEthernet)
        return NotDecodedMessage(StartFailureMessage(failure), m_nLinkType);
    std::string message = StartFailureMessage(failure);
    if (!m_helperLine.empty()) message += "\n" + m_helperLine;
    return message;
}

bool CaptureState::SetRunning() {
    Run expected = Run::Starting;
    return m_run.compare_exchange_strong(expected, Run::Running);
}

void CaptureState::RequestStop() {
    m_run.store(Run::Stopped);
    m_helper.Signal(SIGTERM);
}

void CaptureState::StopForMemory() {
    Run expected = Run::Running;
    if (m_run.compare_exchange_strong(expected, Run::Stopped)) m_bMemoryFull.store(true);
    m_helper.Signal(SIGTERM);
}

void CaptureState::OnStreamEnd() {
    Run expected = Run::Running;
    if (m_run.compare_exchange_strong(expected, Run::Stopped)) m_bHelperGone.store(true);
}

void CaptureState::KillHelper() {
    m_helper.Signal(SIGKILL);
}

int CaptureState::NextFrame(pcap_pkthdr** header, const u_char** data) {
    if (m_bStreamEnded) return PCAP_ERROR_BREAK;
    // Waits in the stream's read while the helper has nothing to hand over.
    const int result = pcap_next_ex(m_hCapture, header, data);
    if (result != 1) {
        m_bStreamEnded = true;
        OnStreamEnd();
    }
    return result;
}

CaptureStats CaptureState::Stats() {
    CaptureStats stats;
    HelperCounters counters;
    if (m_helper.Counters(counters)) {
        stats.valid = true;
        stats.received = counters.received;
        stats.dropped = counters.dropped;
        stats.ifDropped = counters.ifDropped;
    }
    return stats;
}

CaptureStats CaptureState::Finish(std::chrono::milliseconds grace) {
    const int status = m_helper.Wait(grace);
    if (status == kHelperReadFailed) m_bReadError.store(true);
    // Counters written at its end are in the pipe by now.
    return Stats();
}

void CaptureState::Release() {
    if (m_hCapture != nullptr) {
        pcap_close(m_hCapture);
        m_hCapture = nullptr;
    }
}
