// tapwatch-capture: the one program of Tapwatch that holds the capture
// rights. It opens an interface, gives every right up, and writes what it
// captures to standard output as a pcap stream with nanosecond timestamps, for
// the window or tapwatch-log (or `tapwatch -` on another machine) to decode
// without any right of their own: the decoders never run with privileges.
//
//   tapwatch-capture --list
//   tapwatch-capture -i IFACE [-f FILTER] [-s SNAPLEN] [--buffer MIB] [--stats-fd N]
//
// It links libpcap and libcap-ng only, and never reads its input.
#include <cap-ng.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture_helper_protocol.h"

namespace {

constexpr char kUsage[] =
    "usage: tapwatch-capture --list\n"
    "       tapwatch-capture -i IFACE [-f FILTER] [-s SNAPLEN] [--buffer MIB] [--stats-fd N]\n";
constexpr uint32_t kNanosecondMagic = 0xa1b23c4d;
// A batch is written once it holds this much, so a burst needs no more memory.
constexpr size_t kFlushBytes = size_t{1} << 20;
constexpr auto kCountersInterval = std::chrono::seconds(1);

struct Options {
    bool list = false;
    std::string interface;
    std::string filter;
    int snapLength = kSnapLength;
    int bufferBytes = kKernelBufferBytes;
    int countersFd = STDERR_FILENO;
};

// libpcap's words, on one line.
void Complain(const char* text) {
    std::string line = text != nullptr ? text : "";
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

bool ParseNumber(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--list") {
            options.list = true;
        } else if (arg == "-i" && hasValue) {
            options.interface = argv[++i];
        } else if (arg == "-f" && hasValue) {
            options.filter = argv[++i];
        } else if (arg == "-s" && hasValue) {
            if (!ParseNumber(argv[++i], 1, 262144, options.snapLength)) return false;
        } else if (arg == "--buffer" && hasValue) {
            int mib = 0;
            if (!ParseNumber(argv[++i], 1, 1024, mib)) return false;
            options.bufferBytes = mib << 20;
        } else if (arg == "--stats-fd" && hasValue) {
            if (!ParseNumber(argv[++i], 0, 1 << 20, options.countersFd)) return false;
        } else {
            return false;
        }
    }
    return options.list != !options.interface.empty();
}

int List() {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* all = nullptr;
    if (pcap_findalldevs(&all, errbuf) != 0) {
        Complain(errbuf);
        return kHelperOpenFailed;
    }
    for (const pcap_if_t* d = all; d != nullptr; d = d->next) {
        std::string flags;
        const auto add = [&](bpf_u_int32 flag, const char* name) {
            if ((d->flags & flag) == 0) return;
            if (!flags.empty()) flags += ',';
            flags += name;
        };
        add(PCAP_IF_UP, "up");
        add(PCAP_IF_RUNNING, "running");
        add(PCAP_IF_LOOPBACK, "loopback");
        std::printf("%s\t%s\t%s\n", d->name, d->description != nullptr ? d->description : "",
                    flags.c_str());
    }
    pcap_freealldevs(all);
    return std::fflush(stdout) == 0 ? kHelperEnded : kHelperOutputFailed;
}

// The pcap stream on standard output: frames gather in one batch, written
// whole with as few system calls as the pipe allows.
class StreamWriter {
  public:
    explicit StreamWriter(bool nanoseconds) : m_bNanoseconds(nanoseconds) {
        m_batch.reserve(kFlushBytes + kSnapLength + 16);
    }

    void Header(int snapLength, int linkType) {
        Put32(kNanosecondMagic);
        Put16(2);
        Put16(4);
        Put32(0);  // time zone
        Put32(0);  // accuracy
        Put32(static_cast<uint32_t>(snapLength));
        Put32(static_cast<uint32_t>(linkType));
    }

    static void OnFrame(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
        auto& self = *reinterpret_cast<StreamWriter*>(user);
        const auto fraction = static_cast<uint32_t>(header->ts.tv_usec);
        self.Put32(static_cast<uint32_t>(header->ts.tv_sec));
        self.Put32(self.m_bNanoseconds ? fraction : fraction * 1000);
        self.Put32(header->caplen);
        self.Put32(header->len);
        self.m_batch.insert(self.m_batch.end(), bytes, bytes + header->caplen);
        if (self.m_batch.size() >= kFlushBytes) self.Flush();
    }

    // False once the stream cannot be written; errno tells why.
    bool Flush() {
        size_t done = 0;
        while (m_bOk && done < m_batch.size()) {
            const ssize_t n = write(STDOUT_FILENO, m_batch.data() + done, m_batch.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno != EINTR) {
                m_bOk = false;
                m_nError = errno;
            }
        }
        m_batch.clear();
        return m_bOk;
    }
    bool Ok() const { return m_bOk; }
    int Error() const { return m_nError; }

  private:
    void Put16(uint16_t v) { Put(&v, sizeof v); }
    void Put32(uint32_t v) { Put(&v, sizeof v); }
    void Put(const void* p, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(p);
        m_batch.insert(m_batch.end(), bytes, bytes + size);
    }

    bool m_bNanoseconds;
    bool m_bOk = true;
    int m_nError = 0;
    std::vector<unsigned char> m_batch;
};

void WriteCounters(pcap_t* handle, int fd) {
    pcap_stat ps{};
    if (pcap_stats(handle, &ps) != 0) return;
    dprintf(fd, kCountersFormat, ps.ps_recv, ps.ps_drop, ps.ps_ifdrop);
}

// Every capability goes once the handle is open: what follows reads frames
// any host may have chosen, and needs no right to do so.
bool DropCapabilities() {
    capng_clear(CAPNG_SELECT_CAPS);
    if (capng_apply(CAPNG_SELECT_CAPS) != 0) return false;
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

pcap_t* Open(const Options& options, int& status) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_create(options.interface.c_str(), errbuf);
    status = kHelperOpenFailed;
    if (handle == nullptr) {
        Complain(errbuf);
        return nullptr;
    }
    pcap_set_snaplen(handle, options.snapLength);
    pcap_set_promisc(handle, kPromiscuous);
    pcap_set_timeout(handle, kReadTimeoutMs);
    pcap_set_tstamp_precision(handle, PCAP_TSTAMP_PRECISION_NANO);
    pcap_set_buffer_size(handle, options.bufferBytes);
    const int activated = pcap_activate(handle);
    if (activated < 0) {
        const char* why = pcap_geterr(handle);
        Complain(why != nullptr && *why != '\0' ? why : pcap_statustostr(activated));
        pcap_close(handle);
        return nullptr;
    }
    // "any" offers the cooked header's second version, which names each
    // frame's interface, beside the first.
    if (options.interface == "any") {
        int* offered = nullptr;
        const int count = pcap_list_datalinks(handle, &offered);
        for (int i = 0; i < count; ++i) {
            if (offered[i] == DLT_LINUX_SLL2) pcap_set_datalink(handle, DLT_LINUX_SLL2);
        }
        if (count >= 0) pcap_free_datalinks(offered);
    }
    if (!DropCapabilities()) {
        Complain("cannot give up the capture rights");
        pcap_close(handle);
        return nullptr;
    }
    bpf_program program{};
    if (pcap_compile(handle, &program, options.filter.c_str(), kFilterOptimise, kFilterNetmask) <
        0) {
        Complain(pcap_geterr(handle));
        pcap_close(handle);
        status = kHelperFilterFailed;
        return nullptr;
    }
    const bool installed = pcap_setfilter(handle, &program) == 0;
    pcap_freecode(&program);
    if (!installed || pcap_setnonblock(handle, 1, errbuf) < 0 ||
        pcap_get_selectable_fd(handle) < 0) {
        Complain(installed ? errbuf : pcap_geterr(handle));
        pcap_close(handle);
        return nullptr;
    }
    status = kHelperEnded;
    return handle;
}

// Writes what the kernel has handed over, and when `all` what it still holds,
// for at most a moment: under a flood the ring never empties, and a stop must
// end; false on a read error, after its message.
bool Dispatch(pcap_t* handle, StreamWriter& writer, bool all) {
    constexpr auto kMostDrain = std::chrono::milliseconds(200);
    const auto until = std::chrono::steady_clock::now() + kMostDrain;
    int read = 0;
    do {
        read = pcap_dispatch(handle, -1, StreamWriter::OnFrame, reinterpret_cast<u_char*>(&writer));
    } while (read > 0 && all && writer.Ok() && std::chrono::steady_clock::now() < until);
    writer.Flush();
    if (read >= 0) return true;
    Complain(pcap_geterr(handle));
    return false;
}

// Captures until a stop signal, a closed output or a read error.
int Capture(pcap_t* handle, const Options& options, int signals) {
    StreamWriter writer(pcap_get_tstamp_precision(handle) == PCAP_TSTAMP_PRECISION_NANO);
    writer.Header(options.snapLength, pcap_datalink(handle));
    if (!writer.Flush()) return writer.Error() == EPIPE ? kHelperEnded : kHelperOutputFailed;
    const int captureFd = pcap_get_selectable_fd(handle);
    auto nextCounters = std::chrono::steady_clock::now() + kCountersInterval;
    int status = kHelperEnded;
    while (writer.Ok() && status == kHelperEnded) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextCounters) {
            WriteCounters(handle, options.countersFd);
            nextCounters = now + kCountersInterval;
        }
        const int wait = static_cast<int>(
            std::chrono::ceil<std::chrono::milliseconds>(nextCounters - now).count());
        // Standard output polls as an error once its reader has gone.
        pollfd fds[3] = {{captureFd, POLLIN, 0}, {signals, POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
        if (poll(fds, 3, wait) < 0 && errno != EINTR) break;
        if ((fds[2].revents & (POLLERR | POLLHUP)) != 0) break;
        const bool stopping = fds[1].revents != 0;
        // Also after a bare time-out: a non-blocking read is where libpcap
        // notices an interface that went down or away.
        if (!Dispatch(handle, writer, stopping)) status = kHelperReadFailed;
        if (stopping && status == kHelperEnded) {
            // One more block time-out lets the kernel hand over the frames
            // still gathering in its ring.
            pollfd last{captureFd, POLLIN, 0};
            if (poll(&last, 1, kReadTimeoutMs + 5) > 0 && !Dispatch(handle, writer, true))
                status = kHelperReadFailed;
            break;
        }
    }
    if (!writer.Ok() && writer.Error() != EPIPE) status = kHelperOutputFailed;
    WriteCounters(handle, options.countersFd);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return kHelperUsage;
    }
    if (options.list) return List();

    // The stop signals are read from a descriptor, so a stop never cuts a
    // write short; a closed output shows as EPIPE rather than killing.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signals < 0) {
        Complain(std::strerror(errno));
        return kHelperOpenFailed;
    }
    int status = kHelperOpenFailed;
    pcap_t* handle = Open(options, status);
    if (handle == nullptr) return status;
    status = Capture(handle, options, signals);
    pcap_close(handle);
    close(signals);
    return status;
}
