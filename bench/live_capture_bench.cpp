// live-capture-bench [SECONDS]: the same bounded loopback UDP flood sent twice,
// once captured by the capture session (controller and four readers, filter,
// store) and once by tcpdump writing to /dev/null, one after the other, with
// the same filter. Prints for each: datagrams sent, frames stored or written,
// and libpcap's kernel counters. Needs root (it captures on lo).
//
// SECONDS is the length of each flood, at most 10 (default 10).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_session.h"
#include "common/shared_text.h"
#include "protocols/data.h"
#include "tools/tapwatch_log/console_window.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr size_t kPayloadBytes = 64;
constexpr unsigned kBatch = 64;

struct Flood {
    uint64_t sent = 0;
    double seconds = 0;
};

// A receiver bound to 127.0.0.1 so that the datagrams are not refused; it
// never reads, the kernel drops what overflows its buffer after the capture
// point.
int BindReceiver(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::perror("live-capture-bench: receiver");
        std::exit(1);
    }
    port = ntohs(addr.sin_port);
    return fd;
}

// Sends as fast as one thread can, in batches, for `seconds`; counts the
// datagrams the kernel accepted.
Flood SendFlood(uint16_t port, double seconds) {
    Flood flood;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        std::perror("live-capture-bench: sender");
        std::exit(1);
    }
    std::vector<unsigned char> payload(kPayloadBytes * kBatch, 'b');
    std::vector<iovec> iov(kBatch);
    std::vector<mmsghdr> messages(kBatch);
    for (unsigned i = 0; i < kBatch; ++i) {
        iov[i] = {payload.data() + i * kPayloadBytes, kPayloadBytes};
        messages[i] = {};
        messages[i].msg_hdr.msg_iov = &iov[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const auto started = Clock::now();
    const auto until = started + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(seconds));
    uint64_t sequence = 0;
    while (Clock::now() < until) {
        for (unsigned i = 0; i < kBatch; ++i) {
            const uint64_t n = sequence + i;
            std::memcpy(payload.data() + i * kPayloadBytes, &n, sizeof n);
        }
        const int sent = sendmmsg(fd, messages.data(), kBatch, 0);
        if (sent > 0) {
            flood.sent += static_cast<uint64_t>(sent);
            sequence += static_cast<uint64_t>(sent);
        }
    }
    flood.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    close(fd);
    return flood;
}

// CPU seconds, user and system, of `who`.
double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakRssKiB(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

struct Round {
    Flood flood;
    uint64_t kept = 0;        // stored, or written
    uint64_t outOfOrder = 0;  // stored rows whose datagram was sent before the previous row's
    bool haveStats = false;
    uint64_t received = 0;
    uint64_t dropped = 0;
    double cpuSelf = 0;     // the session's threads
    double cpuHelper = 0;   // tapwatch-capture, its only child by then
    double idleStopMs = 0;  // Stop to the helper's end with no traffic
};

void PrintRound(const char* name, const char* keptLabel, const Round& round) {
    const double rate = round.flood.seconds > 0 ? round.flood.sent / round.flood.seconds : 0;
    std::printf("%-8s datagrams sent    %12llu  (%.0f per second)\n", name,
                static_cast<unsigned long long>(round.flood.sent), rate);
    std::printf("%-8s frames %-10s %12llu  (%.2f%% of sent)\n", name, keptLabel,
                static_cast<unsigned long long>(round.kept),
                round.flood.sent ? 100.0 * round.kept / round.flood.sent : 0.0);
    if (round.haveStats) {
        std::printf("%-8s pcap_stats recv   %12llu  drop %llu\n", name,
                    static_cast<unsigned long long>(round.received),
                    static_cast<unsigned long long>(round.dropped));
    } else {
        std::printf("%-8s pcap_stats        (not available)\n", name);
    }
}

// The session as the window runs it, with the console window; the calling
// thread is the window's thread.
Round SessionRound(uint16_t port, const std::string& filterText, double seconds) {
    Round round;
    PacketStore store;
    SharedText filter(filterText);
    const SharedText dataContains;
    ConsoleWindow window(store, "live-capture-bench");
    CaptureSession session(window, store, filter, dataContains);
    if (session.FillDeviceList() != 0) std::exit(1);
    int lo = -1;
    for (size_t i = 0; i < session.Interfaces().size(); ++i) {
        if (session.Interfaces()[i].name == "lo") lo = static_cast<int>(i);
    }
    if (lo < 0) {
        std::fprintf(stderr, "live-capture-bench: no lo interface listed\n");
        std::exit(1);
    }
    window.SelectInterface(lo);
    TaskQueue& queue = window.Queue();
    const double self = CpuSeconds(RUSAGE_SELF);
    const double children = CpuSeconds(RUSAGE_CHILDREN);
    session.OnCapture();
    if (!queue.RunUntil([&] { return session.Phase() != CapturePhase::Starting; }, 10s) ||
        session.Phase() != CapturePhase::Running) {
        std::exit(1);
    }
    std::atomic<bool> done{false};
    std::thread sender([&] {
        round.flood = SendFlood(port, seconds);
        done = true;
    });
    queue.RunUntil([&] { return done.load(); }, std::chrono::hours{1}, 50ms);
    sender.join();
    // Let the readers take in what is still in the ring: until the store
    // stops growing for 300 ms.
    size_t last = store.Count();
    auto stable = Clock::now();
    while (Clock::now() - stable < 300ms) {
        queue.RunPending(20ms);
        const size_t now = store.Count();
        if (now != last) {
            last = now;
            stable = Clock::now();
        }
    }
    session.OnCapture();
    queue.RunUntil([&] { return session.Phase() == CapturePhase::Idle; }, 10s);
    round.cpuSelf = CpuSeconds(RUSAGE_SELF) - self;
    round.cpuHelper = CpuSeconds(RUSAGE_CHILDREN) - children;
    round.kept = store.Count();
    // Each datagram carries its sequence number first: rows in wire order
    // carry rising numbers.
    round.outOfOrder = 0;
    uint64_t previous = 0;
    bool first = true;
    for (const StoredPacket& p : store.Snapshot()) {
        const auto* data = FindLayerAs<CDataLayer>(p.root.get());
        if (data == nullptr || data->m_nLength < 8) continue;
        uint64_t n = 0;
        std::memcpy(&n, data->m_pData, sizeof n);
        if (!first && n < previous) ++round.outOfOrder;
        previous = n;
        first = false;
    }
    const CaptureStats stats = session.LastCaptureStats();
    round.haveStats = stats.valid;
    round.received = stats.received;
    round.dropped = stats.dropped;
    // Stop on an idle link: a filter nothing matches, the helper waiting.
    filter.Set("udp dst port 9");
    session.OnCapture();
    if (queue.RunUntil([&] { return session.Phase() == CapturePhase::Running; }, 10s)) {
        queue.RunUntil([] { return false; }, 300ms);
        const auto stop = Clock::now();
        session.OnCapture();
        queue.RunUntil([&] { return session.Phase() == CapturePhase::Idle; }, 10s);
        round.idleStopMs = std::chrono::duration<double, std::milli>(Clock::now() - stop).count();
    }
    return round;
}

// Parses "<n> <label>" from tcpdump's closing lines.
uint64_t CountBefore(const std::string& text, const std::string& label, bool& found) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return 0;
    size_t start = text.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    found = true;
    return std::strtoull(text.c_str() + start, nullptr, 10);
}

// VmHWM of a running process, from /proc (getrusage would count the spawning
// parent's pages that a child shares until it executes).
long ProcessPeakRssKiB(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    long kib = -1;
    if (std::FILE* status = std::fopen(path.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
        }
        std::fclose(status);
    }
    return kib;
}

bool TcpdumpRound(uint16_t port, const std::string& filterText, double seconds, Round& round,
                  long& peakRssKiB) {
    int err[2];
    if (pipe2(err, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"tcpdump", "-i", "lo", "-n", "-w", "/dev/null", filterText};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "tcpdump", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(err[1]);
    if (spawned != 0) {
        close(err[0]);
        return false;
    }
    // tcpdump says "listening on lo" once its capture is open.
    std::string text;
    char buffer[4096];
    while (text.find("listening on") == std::string::npos) {
        const ssize_t n = read(err[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    round.flood = SendFlood(port, seconds);
    // tcpdump reads with a 1 s time-out: give its last ring block time to be
    // handed over before it is told to stop.
    std::this_thread::sleep_for(1500ms);
    peakRssKiB = ProcessPeakRssKiB(pid);
    kill(pid, SIGINT);
    for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(n));
    }
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    bool found = false;
    round.kept = CountBefore(text, "packets captured", found);
    bool recv = false;
    bool drop = false;
    round.received = CountBefore(text, "packets received by filter", recv);
    round.dropped = CountBefore(text, "packets dropped by kernel", drop);
    round.haveStats = recv && drop;
    if (!found) std::fprintf(stderr, "live-capture-bench: tcpdump said:\n%s\n", text.c_str());
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    seconds = std::clamp(seconds, 0.1, 10.0);
    if (geteuid() != 0) {
        std::printf("live-capture-bench: skipped, capturing on lo needs root\n");
        return 0;
    }
    uint16_t port = 0;
    const int receiver = BindReceiver(port);
    const std::string filter = "udp dst port " + std::to_string(port);
    std::printf("flood: %.1f s of %zu-byte UDP datagrams to 127.0.0.1:%u, filter \"%s\"\n", seconds,
                kPayloadBytes, port, filter.c_str());
    std::printf(
        "note: on lo the kernel's counters (pcap_stats recv/drop) see every frame twice,\n"
        "      once leaving and once arriving; libpcap hands on only the arriving one\n");

    const Round session = SessionRound(port, filter, seconds);
    const long sessionRss = PeakRssKiB(RUSAGE_SELF);
    PrintRound("session", "stored", session);
    std::printf("session  frames out of order %8llu\n",
                static_cast<unsigned long long>(session.outOfOrder));
    std::printf("session  peak RSS          %12.1f MiB\n", sessionRss / 1024.0);
    const double millions = session.kept / 1e6;
    if (millions > 0) {
        std::printf("session  CPU per million frames: window %.2f s, helper %.2f s\n",
                    session.cpuSelf / millions, session.cpuHelper / millions);
    }
    std::printf("session  Stop to the helper's end, idle link: %.1f ms (aim: under 100)\n",
                session.idleStopMs);

    Round tcpdump;
    long tcpdumpRss = -1;
    const bool haveTcpdump = TcpdumpRound(port, filter, seconds, tcpdump, tcpdumpRss);
    if (haveTcpdump) {
        PrintRound("tcpdump", "written", tcpdump);
        std::printf("tcpdump  peak RSS          %12.1f MiB\n", tcpdumpRss / 1024.0);
        const double sessionShare =
            session.flood.sent ? 1.0 * session.kept / session.flood.sent : 0;
        const double tcpdumpShare =
            tcpdump.flood.sent ? 1.0 * tcpdump.kept / tcpdump.flood.sent : 0;
        std::printf("share kept: session %.2f%%, tcpdump %.2f%% -> %s\n", 100 * sessionShare,
                    100 * tcpdumpShare,
                    sessionShare >= tcpdumpShare ? "session keeps at least as many"
                                                 : "session keeps fewer");
    } else {
        std::printf("tcpdump  not available: comparison skipped\n");
    }
    std::printf("peak RSS within 1 GiB: %s\n", sessionRss <= 1024L * 1024L ? "yes" : "no");
    close(receiver);
    return 0;
}
