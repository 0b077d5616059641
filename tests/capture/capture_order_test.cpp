// The capture session against tcpdump on the same loopback traffic: rows keep
// the order in which the frames crossed the wire within every flow, causes
// come before their effects, Time cells come from the frames' own timestamps,
// and the counts add up. Needs root; skips otherwise.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_session.h"
#include "capture_files/capture_file_reader.h"
#include "capture_files/pcap_save.h"
#include "protocols/data.h"
#include "protocols/icmp.h"
#include "protocols/ipv4.h"
#include "protocols/tcp.h"
#include "protocols/udp.h"
#include "tests/capture/capture_test_support.h"

namespace {

// Times of a live capture, in nanoseconds since the epoch.
int64_t NsOf(const FrameTime& time) {
    return time.seconds * 1'000'000'000 + time.nanoseconds;
}

int64_t NowNs() {
    return NsOf(WallClock());
}

sockaddr_in Loopback(uint16_t port = 0) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// Binds `fd` to a free loopback port and returns the port.
uint16_t BindLoopback(int fd) {
    sockaddr_in a = Loopback();
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// A UDP socket bound to a free loopback port.
struct UdpSocket {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    uint16_t port = BindLoopback(fd);
    ~UdpSocket() { close(fd); }
    void SendTo(uint16_t to, const std::string& text) const {
        const sockaddr_in a = Loopback(to);
        sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    }
};

// A TCP connection on loopback whose two ends both send.
struct TcpPair {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int client = socket(AF_INET, SOCK_STREAM, 0);
    int server = -1;
    uint16_t port = 0;
    TcpPair() {
        port = BindLoopback(listener);
        listen(listener, 1);
    }
    void Connect() {
        const sockaddr_in a = Loopback(port);
        connect(client, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        server = accept(listener, nullptr, nullptr);
    }
    ~TcpPair() {
        close(client);
        if (server >= 0) close(server);
        close(listener);
    }
};

// tcpdump writing the same interface and filter to a file.
class Tcpdump {
  public:
    Tcpdump(const std::string& file, const std::string& filter) {
        m_pid = fork();
        if (m_pid == 0) {
            execlp("tcpdump", "tcpdump", "-i", "lo", "-U", "--immediate-mode", "-B", "32768", "-s",
                   "65535", "--time-stamp-precision=nano", "-w", file.c_str(), filter.c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        // tcpdump has no ready signal a test can wait on; it is listening
        // well within this.
        std::this_thread::sleep_for(1s);
    }
    // Ends it; true when it wrote its file and exited normally.
    bool Finish() {
        std::this_thread::sleep_for(300ms);
        kill(m_pid, SIGINT);
        int status = 0;
        waitpid(m_pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    pid_t m_pid = -1;
};

// What identifies a frame within its flow, and the flow.
struct FrameKey {
    std::string flow;  // "udp 1234>5678", "tcp 1234>80", "icmp echo", ...
    std::string item;  // payload, sequence number, echo id/sequence

    bool operator==(const FrameKey&) const = default;
};

FrameKey KeyOf(const CProtocolLayer* root) {
    FrameKey key;
    const auto* data = FindLayerAs<CDataLayer>(root);
    const std::string payload = data != nullptr && data->m_pData != nullptr
                                    ? std::string(reinterpret_cast<const char*>(data->m_pData),
                                                  static_cast<size_t>(data->m_nLength))
                                    : std::string();
    if (const auto* udp = FindLayerAs<CUdpLayer>(root)) {
        key.flow = "udp " + std::to_string(udp->m_nSrcPort) + ">" + std::to_string(udp->m_nDstPort);
        key.item = payload;
    } else if (const auto* tcp = FindLayerAs<CTcpLayer>(root)) {
        key.flow = "tcp " + std::to_string(tcp->m_nSrcPort) + ">" + std::to_string(tcp->m_nDstPort);
        key.item = std::to_string(tcp->m_nSeqNum) + (tcp->m_bSyn ? " syn" : "") +
                   (tcp->m_bAck ? " ack" + std::to_string(tcp->m_nAckNum) : "") + " +" +
                   std::to_string(payload.size());
    } else if (const auto* icmp = FindLayerAs<CIcmpLayer>(root)) {
        key.flow = "icmp " + std::to_string(icmp->m_nIcmpType);
        // Echo: identifier and sequence; an error: the datagram it quotes.
        key.item = payload.substr(0, icmp->m_nIcmpType == 3 ? 28 : 4);
    }
    return key;
}

struct Row {
    FrameKey key;
    int64_t timestampNs;
    uint64_t elapsedMs;
};

std::vector<Row> RowsOf(const std::vector<StoredPacket>& packets) {
    std::vector<Row> rows;
    for (const StoredPacket& p : packets) {
        rows.push_back({KeyOf(p.root.get()), NsOf(p.frame->time), p.elapsedMs});
    }
    return rows;
}

// The items of one flow, in row order, that `other` holds too: tcpdump may
// lose frames when the machine is busy, and its losses say nothing of order.
std::vector<std::string> Flow(const std::vector<Row>& rows, const std::string& flow,
                              const std::vector<Row>& other) {
    std::set<std::string> common;
    for (const Row& r : other) {
        if (r.key.flow == flow) common.insert(r.key.item);
    }
    std::vector<std::string> items;
    for (const Row& r : rows) {
        if (r.key.flow == flow && common.count(r.key.item) != 0) items.push_back(r.key.item);
    }
    return items;
}

// Index of the first row whose key satisfies `match`; -1 when none.
template <class Match>
long IndexOf(const std::vector<Row>& rows, Match match) {
    const auto it = std::find_if(rows.begin(), rows.end(), match);
    return it == rows.end() ? -1 : it - rows.begin();
}

struct Traffic {
    UdpSocket receiver;
    UdpSocket sender1, sender2, unreachableFrom;
    uint16_t closedPort = 0;
    TcpPair tcp;

    Traffic() {
        UdpSocket closed;  // a port that is free once the socket is gone
        closedPort = closed.port;
    }
    std::string Filter() const {
        return "udp port " + std::to_string(receiver.port) + " or tcp port " +
               std::to_string(tcp.port) + " or icmp or udp port " + std::to_string(closedPort);
    }
    // Bursts from two senders at once, a connection talking both ways, a ping
    // and a datagram to a closed port. Payloads start with "keep" or "skip".
    void Run() {
        tcp.Connect();
        std::thread a([&] { Burst(sender1, "s1"); });
        std::thread b([&] { Burst(sender2, "s2"); });
        for (int i = 0; i < 60; ++i) {
            const std::string c = Tag(i) + "-c" + std::to_string(i) + "\n";
            const std::string s = Tag(i) + "-s" + std::to_string(i) + "\n";
            [[maybe_unused]] ssize_t w = write(tcp.client, c.data(), c.size());
            w = write(tcp.server, s.data(), s.size());
            std::this_thread::sleep_for(200us);
        }
        a.join();
        b.join();
        unreachableFrom.SendTo(closedPort, "keep-unreachable");
        Sh("ping -c 3 -i 0.05 -p 6b656570 127.0.0.1 > /dev/null");  // "keep" in every echo
        std::this_thread::sleep_for(100ms);
    }
    static std::string Tag(int i) { return i % 2 == 0 ? "keep" : "skip"; }
    void Burst(const UdpSocket& from, const std::string& name) const {
        for (int i = 0; i < 400; ++i) {
            from.SendTo(receiver.port, Tag(i) + "-" + name + "-" + std::to_string(i));
            if (i % 50 == 49) std::this_thread::sleep_for(2ms);
        }
    }
};

class CaptureOrderTest : public ::testing::TestWithParam<bool> {};

TEST_P(CaptureOrderTest, RowsKeepTheWireOrderWithinEachFlowAndCausesComeFirst) {
    SKIP_UNLESS_ROOT();
    const bool withDataContains = GetParam();
    const std::string dumpFile = "/tmp/tapwatch-order-" + std::to_string(getpid()) +
                                 (withDataContains ? "-dc" : "") + ".pcap";
    Traffic traffic;

    PacketStore store;
    SharedText filter(traffic.Filter());
    SharedText dataContains(withDataContains ? "keep" : "");
    FakeWindow window(store);
    CaptureSession session(window, store, filter, dataContains);
    ASSERT_EQ(session.FillDeviceList(), 0);
    window.SelectInterface(InterfaceIndex(session, "lo"));

    Tcpdump tcpdump(dumpFile, traffic.Filter());
    const int64_t beforeStart = NowNs();
    session.OnCapture();
    ASSERT_TRUE(window.PumpUntil([&] { return session.Phase() == CapturePhase::Running; }));
    const int64_t afterStart = NowNs();
    std::thread sending([&] { traffic.Run(); });
    window.PumpUntil([] { return false; }, 1500ms);
    sending.join();
    window.PumpFor(300ms);
    session.OnCapture();
    ASSERT_TRUE(window.PumpUntil([&] { return session.Phase() == CapturePhase::Idle; }));
    ASSERT_TRUE(tcpdump.Finish());
    EXPECT_TRUE(window.messages.empty());

    // tcpdump's file, read through the same intake (with the same test).
    PacketStore dumped;
    PacketIntake dumpIntake(dumped, dataContains);
    CaptureFileReader reader;
    ASSERT_EQ(reader.Read(dumpFile, "", dumpIntake).end, CaptureFileEnd::Finished);
    std::remove(dumpFile.c_str());

    const std::vector<Row> ours = RowsOf(store.Snapshot());
    const std::vector<Row> theirs = RowsOf(dumped.Snapshot());
    ASSERT_GT(ours.size(), 400u);
    // Every flow direction in tcpdump's order.
    std::map<std::string, int> flows;
    for (const Row& r : theirs) ++flows[r.key.flow];
    ASSERT_GE(flows.size(), 6u) << "two senders, two TCP directions, echo request and reply";
    for (const auto& [flow, count] : flows) {
        const std::vector<std::string> common = Flow(ours, flow, theirs);
        EXPECT_EQ(common, Flow(theirs, flow, ours)) << flow;
        EXPECT_GT(common.size(), static_cast<size_t>(count) / 2) << flow;
    }

    // Causes first.
    const std::string tcpOut = "tcp " + std::to_string(traffic.tcp.port);
    const std::string toClosed = ">" + std::to_string(traffic.closedPort);
    const std::string toServer = ">" + std::to_string(traffic.tcp.port);
    const long request = IndexOf(ours, [](const Row& r) { return r.key.flow == "icmp 8"; });
    const long reply = IndexOf(ours, [](const Row& r) { return r.key.flow == "icmp 0"; });
    ASSERT_GE(request, 0);
    EXPECT_LT(request, reply);
    for (const Row& r : ours) {
        if (r.key.flow != "icmp 0") continue;
        const long req = IndexOf(
            ours, [&](const Row& q) { return q.key.flow == "icmp 8" && q.key.item == r.key.item; });
        EXPECT_GE(req, 0);
        EXPECT_LT(req, &r - ours.data()) << "an echo reply before its request";
    }
    const long datagram =
        IndexOf(ours, [&](const Row& r) { return r.key.flow.ends_with(toClosed); });
    const long error = IndexOf(ours, [](const Row& r) { return r.key.flow == "icmp 3"; });
    ASSERT_GE(datagram, 0);
    ASSERT_GE(error, 0);
    EXPECT_LT(datagram, error);
    if (!withDataContains) {  // the handshake carries no payload to keep
        const long syn = IndexOf(ours, [&](const Row& r) {
            return r.key.flow.ends_with(toServer) && r.key.item.find(" syn") != std::string::npos;
        });
        const long synAck = IndexOf(ours, [&](const Row& r) {
            return r.key.flow.starts_with(tcpOut + ">") &&
                   r.key.item.find(" syn") != std::string::npos;
        });
        ASSERT_GE(syn, 0);
        EXPECT_LT(syn, synAck);
    }

    // Time: whole milliseconds from the start to the frame's own timestamp,
    // which is tcpdump's for the same frame within a millisecond.
    std::map<std::pair<std::string, std::string>, int64_t> stamps;
    for (const Row& r : theirs)
        stamps.emplace(std::make_pair(r.key.flow, r.key.item), r.timestampNs);
    size_t matched = 0;
    for (const Row& r : ours) {
        const auto latest =
            r.timestampNs > beforeStart ? (r.timestampNs - beforeStart) / 1000000 : 0;
        const auto earliest =
            r.timestampNs > afterStart ? (r.timestampNs - afterStart) / 1000000 : 0;
        EXPECT_GE(r.elapsedMs, static_cast<uint64_t>(earliest));
        EXPECT_LE(r.elapsedMs, static_cast<uint64_t>(latest));
        const auto it = stamps.find({r.key.flow, r.key.item});
        if (it == stamps.end()) continue;
        EXPECT_LE(std::llabs(it->second - r.timestampNs), 1000000)
            << r.key.flow << " " << r.key.item;
        ++matched;
    }
    EXPECT_GT(matched, theirs.size() / 2);

    // Saved as pcap, the frames read back as they were taken: by tcpdump, and
    // by the intake with the same bytes, lengths and timestamps.
    const std::string saved = dumpFile + ".saved";
    const std::vector<StoredPacket> packets = store.Snapshot();
    ASSERT_EQ(SaveCapturePcap(saved, packets, kEthernetLinkType), SAVE_OK);
    PacketStore reread;
    PacketIntake rereadIntake(reread, dataContains);
    CaptureFileReader savedReader;
    ASSERT_EQ(savedReader.Read(saved, "", rereadIntake).end, CaptureFileEnd::Finished);
    const std::vector<StoredPacket> back = reread.Snapshot();
    ASSERT_EQ(back.size(), packets.size());
    for (size_t i = 0; i < back.size(); ++i) {
        const KeptFrame& a = *packets[i].frame;
        const KeptFrame& b = *back[i].frame;
        ASSERT_EQ(b.time, a.time) << i;
        ASSERT_EQ(b.wireLength, a.wireLength) << i;
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(b.Bytes()), b.capturedLength),
                  std::string(reinterpret_cast<const char*>(a.Bytes()), a.capturedLength))
            << i;
    }
    FILE* lines = popen(("tcpdump -r '" + saved + "' -n 2>/dev/null | wc -l").c_str(), "r");
    ASSERT_NE(lines, nullptr);
    unsigned long tcpdumpCount = 0;
    EXPECT_EQ(std::fscanf(lines, "%lu", &tcpdumpCount), 1);
    pclose(lines);
    EXPECT_EQ(tcpdumpCount, packets.size());
    std::remove(saved.c_str());

    // The counts add up, and a slow sender loses nothing.
    const CaptureStatistics statistics = session.Statistics();
    EXPECT_EQ(statistics.rows, ours.size());
    EXPECT_EQ(statistics.received, statistics.rows + statistics.leftOut);
    EXPECT_EQ(withDataContains, statistics.leftOut > 0);
    EXPECT_EQ(statistics.dropped, 0u);
    EXPECT_GE(statistics.storeBytes, ChainSlab::kDefaultCapacity);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutDataContains, CaptureOrderTest, ::testing::Bool());

}  // namespace
