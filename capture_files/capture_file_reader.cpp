#include "capture_files/capture_file_reader.h"

#include <fcntl.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "capture/capture_state.h"
#include "protocols/decode.h"

struct CaptureFileReader::Input {
    CaptureFileReader* reader;
    int fd;
    bool ownsFd;
    std::function<void()> onIdle;
};

namespace {

struct PcapCloser {
    void operator()(pcap_t* p) const { pcap_close(p); }
};

// A compiled filter, freed with its owner.
struct Program {
    bpf_program code{};
    bool compiled = false;
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (compiled) pcap_freecode(&code);
    }
};

}  // namespace

int CaptureFileReader::CloseInput(void* cookie) {
    auto* input = static_cast<Input*>(cookie);
    int result = 0;
    if (input->ownsFd) {
        result = close(input->fd);
    } else {
        // Standard input goes as a FIFO does, so that its writer ends on
        // EPIPE; /dev/null takes descriptor 0, which the next open() would
        // otherwise be given.
        const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null >= 0) {
            dup2(null, input->fd);
            close(null);
        }
    }
    delete input;
    return result;
}

bool IsCaptureStream(const std::string& path) {
    if (path == "-") return true;
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

CaptureFileReader::CaptureFileReader() : m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CaptureFileReader::~CaptureFileReader() {
    if (m_wakeFd >= 0) close(m_wakeFd);
}

void CaptureFileReader::Stop() {
    m_bStopped.store(true);
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
    }
}

long CaptureFileReader::ReadInput(void* cookie, char* buffer, size_t size) {
    auto* input = static_cast<Input*>(cookie);
    CaptureFileReader& reader = *input->reader;
    pollfd fds[2] = {{input->fd, POLLIN, 0}, {reader.m_wakeFd, POLLIN, 0}};
    bool idleTold = false;
    for (;;) {
        // A stop reads as the end of the input.
        if (reader.m_bStopped.load()) return 0;
        int ready = poll(fds, 2, 0);
        if (ready == 0) {
            if (!idleTold && input->onIdle) input->onIdle();
            idleTold = true;
            ready = poll(fds, 2, -1);
        }
        if (ready < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (fds[1].revents != 0 || reader.m_bStopped.load()) return 0;
        const ssize_t n = read(input->fd, buffer, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n > 0)
            reader.m_nBytesRead.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
        return n;
    }
}

CaptureFileResult CaptureFileReader::Read(const std::string& path, const std::string& filter,
                                          PacketIntake& intake, uint64_t memoryLimit,
                                          std::function<void()> onIdle,
                                          std::function<void()> onAccepted) {
    CaptureFileResult result;
    int fd = STDIN_FILENO;
    if (path != "-") {
        // Opening a FIFO does not wait for its writer here: the first read does,
        // where a Stop can end the wait.
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            result.end = CaptureFileEnd::CannotOpen;
            result.detail = std::string("cannot open ") + path;
            return result;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    auto* input = new Input{this, fd, path != "-", std::move(onIdle)};
    cookie_io_functions_t functions{};
    functions.read = [](void* cookie, char* buffer, size_t size) -> ssize_t {
        return ReadInput(cookie, buffer, size);
    };
    functions.close = CloseInput;
    FILE* stream = fopencookie(input, "r", functions);
    if (stream == nullptr) {
        CloseInput(input);
        result.end = CaptureFileEnd::CannotOpen;
        return result;
    }
    // Large reads from a file; a pipe's read still returns what has arrived.
    std::setvbuf(stream, nullptr, _IOFBF, size_t{1} << 18);

    char errbuf[PCAP_ERRBUF_SIZE] = {};
    // On success libpcap owns the stream and closes it with the handle.
    std::unique_ptr<pcap_t, PcapCloser> pcap(
        pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, errbuf));
    if (pcap == nullptr) {
        std::fclose(stream);
        result.end = m_bStopped.load() ? CaptureFileEnd::Stopped : CaptureFileEnd::CannotOpen;
        result.detail = errbuf;
        return result;
    }
    const int linkType = pcap_datalink(pcap.get());
    if (!DecodesLinkType(linkType)) {
        result.end = CaptureFileEnd::NotEthernet;
        result.detail = NotDecodedMessage(kNotEthernetCaptureMessage, linkType);
        return result;
    }
    // The filter is applied here rather than installed in the handle, so that
    // the frames it leaves out are counted as read too.
    Program program;
    if (!filter.empty()) {
        if (pcap_compile(pcap.get(), &program.code, filter.c_str(), kFilterOptimise,
                         kFilterNetmask) < 0) {
            result.end = CaptureFileEnd::FilterFailed;
            result.detail = pcap_geterr(pcap.get());
            return result;
        }
        program.compiled = true;
    }

    intake.Store().ClearPackets();
    intake.Restart(std::nullopt, memoryLimit, {}, linkType);
    if (onAccepted) onAccepted();
    PacketIntake::Reader reader(intake);
    for (;;) {
        if (intake.Full()) {
            result.end = CaptureFileEnd::MemoryFull;
            break;
        }
        pcap_pkthdr* header = nullptr;
        const u_char* bytes = nullptr;
        const int rc = pcap_next_ex(pcap.get(), &header, &bytes);
        if (rc == 1) {
            ++result.framesRead;
            if (!program.compiled || pcap_offline_filter(&program.code, header, bytes) != 0)
                reader.ProcessPacket(FrameInfoOf(*header, true), bytes);
            continue;
        }
        if (rc == 0) continue;
        if (m_bStopped.load()) {
            // Also a frame cut short by the stop: what came before it is whole.
            result.end = CaptureFileEnd::Stopped;
        } else if (rc == PCAP_ERROR_BREAK) {
            result.end = CaptureFileEnd::Finished;
        } else {
            result.end = CaptureFileEnd::CutShort;
            result.detail = pcap_geterr(pcap.get());
        }
        break;
    }
    return result;
}
