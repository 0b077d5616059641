// Live captures through tapwatch-capture, the only program with capture
// rights: a missing helper, a stop on an idle link, a helper killed during a
// capture, and an unprivileged user capturing with a copy of the helper
// against tcpdump beside it.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "capture/capture_helper_protocol.h"
#include "tests/capture/capture_test_support.h"

namespace {

// This process's children running the helper.
std::vector<pid_t> HelperChildren() {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(tapwatch-captur") == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
            parent == getpid() && state != 'Z') {
            found.push_back(std::stoi(entry.path().filename()));
        }
    }
    return found;
}

struct Rig {
    PacketStore store;
    SharedText filter;
    SharedText dataContains;
    FakeWindow window{store};
    CaptureSession session{window, store, filter, dataContains};

    bool Start(const std::string& name, const std::string& filterText = "") {
        filter.Set(filterText);
        if (session.FillDeviceList() != 0) return false;
        window.SelectInterface(std::max(InterfaceIndex(session, name), 0));
        session.OnCapture();
        return window.PumpUntil([&] { return session.Phase() == CapturePhase::Running; });
    }
    bool WaitIdle(std::chrono::milliseconds timeout) {
        return window.PumpUntil([&] { return session.Phase() == CapturePhase::Idle; }, timeout);
    }
};

// A capture file's frames: nanosecond time and bytes.
std::vector<std::pair<int64_t, std::string>> FramesOf(const std::string& path) {
    std::vector<std::pair<int64_t, std::string>> frames;
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* p =
        pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, errbuf);
    if (p == nullptr) return frames;
    pcap_pkthdr* header = nullptr;
    const u_char* bytes = nullptr;
    while (pcap_next_ex(p, &header, &bytes) == 1) {
        frames.emplace_back(int64_t{header->ts.tv_sec} * 1'000'000'000 + header->ts.tv_usec,
                            std::string(reinterpret_cast<const char*>(bytes), header->caplen));
    }
    pcap_close(p);
    return frames;
}

TEST(CaptureHelperTest, AHelperNotFoundIsNamedInTheOpenMessage) {
    setenv(kCaptureHelperVariable, "/nonexistent/tapwatch-capture", 1);
    Rig rig;
    ASSERT_EQ(rig.session.FillDeviceList(), 0);
    rig.session.OnCapture();
    EXPECT_TRUE(rig.WaitIdle(5s));
    setenv(kCaptureHelperVariable, TAPWATCH_CAPTURE_TOOL, 1);
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_EQ(rig.window.messages[0].text,
              "Unable to open live adapter\n/nonexistent/tapwatch-capture was not found");
    EXPECT_EQ(rig.window.messages[0].caption, "Error");
}

TEST(CaptureHelperTest, AStopOnAnIdleLinkEndsTheHelperAtOnce) {
    SKIP_UNLESS_ROOT();
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok() && ns.Exec("ip link set lo up") == 0);
    EnterNamespace inside(ns);
    Rig rig;
    ASSERT_TRUE(rig.Start("lo"));
    rig.window.PumpFor(300ms);
    ASSERT_EQ(HelperChildren().size(), 1u);
    const auto stopped = std::chrono::steady_clock::now();
    rig.session.OnCapture();
    ASSERT_TRUE(rig.WaitIdle(2s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 500ms);
    EXPECT_TRUE(HelperChildren().empty());
    EXPECT_TRUE(rig.window.messages.empty());
}

TEST(CaptureHelperTest, AHelperKilledDuringACaptureKeepsTheRowsAndSaysSo) {
    SKIP_UNLESS_ROOT();
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok() && ns.Exec("ip link set lo up") == 0);
    EnterNamespace inside(ns);
    UdpReceiver receiver;
    Rig rig;
    ASSERT_TRUE(rig.Start("lo", "udp port " + std::to_string(receiver.Port())));
    ASSERT_EQ(SendUdp(receiver.Port(), "k", 0, 20), 20);
    ASSERT_TRUE(rig.window.PumpUntil([&] { return rig.store.Count() >= 20; }));
    const std::vector<pid_t> helpers = HelperChildren();
    ASSERT_EQ(helpers.size(), 1u);
    kill(helpers[0], SIGKILL);
    ASSERT_TRUE(rig.WaitIdle(5s));
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_EQ(rig.window.messages[0].text,
              "The capture stopped: the capture helper ended unexpectedly");
    EXPECT_EQ(rig.window.messages[0].caption, "Warning");
    EXPECT_EQ(rig.store.Count(), 20u);
    EXPECT_TRUE(rig.window.ShowsIdle());
}

// An unprivileged user whose only right is a copy of the helper with its
// capabilities: tapwatch-log takes the frames tcpdump takes beside it, in
// the same order with the same timestamps.
TEST(CaptureHelperTest, AnUnprivilegedLogCapturesAsTcpdumpDoes) {
    SKIP_UNLESS_ROOT();
    if (Sh("command -v setpriv setcap > /dev/null") != 0) GTEST_SKIP() << "no setpriv or setcap";
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok() && ns.Exec("ip link set lo up") == 0);
    char pattern[] = "/tmp/tapwatch-helper-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    ASSERT_EQ(Sh("chmod 0777 " + dir + " && cp " TAPWATCH_CAPTURE_TOOL " " TAPWATCH_LOG_TOOL " " +
                 dir + " && setcap cap_net_raw,cap_net_admin=eip " + dir + "/tapwatch-capture"),
              0);
    EnterNamespace inside(ns);
    UdpReceiver receiver;
    const std::string filter = "'udp port " + std::to_string(receiver.Port()) + "'";
    ASSERT_EQ(Sh("(ip netns exec " + ns.Name() +
                 " timeout 20 tcpdump -i lo -U --immediate-mode -B 32768 -s 65535 "
                 "--time-stamp-precision=nano -w " +
                 dir + "/ref.pcap " + filter + " & echo $! > " + dir + "/tcpdump.pid)"),
              0);
    std::thread log([&] {
        Sh("ip netns exec " + ns.Name() +
           " setpriv --reuid=nobody --regid=nogroup --clear-groups env TAPWATCH_CAPTURE=" + dir +
           "/tapwatch-capture " + dir + "/tapwatch-log -i lo --duration 2.5 --filter " + filter +
           " -w " + dir + "/ours.pcap");
    });
    // Neither has a ready signal: tcpdump has made its file and the helper
    // runs, then both listen well within a moment.
    const std::string ready =
        "test -e " + dir + "/ref.pcap && pgrep -f " + dir + "/tapwatch-capture";
    for (int i = 0; i < 100 && Sh(ready) != 0; ++i) std::this_thread::sleep_for(50ms);
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(SendUdp(receiver.Port(), "n", 0, 50), 50);
    log.join();
    Sh("t=$(cat " + dir + "/tcpdump.pid); kill -INT $t; while kill -0 $t; do sleep 0.05; done");
    const auto ours = FramesOf(dir + "/ours.pcap");
    const auto reference = FramesOf(dir + "/ref.pcap");
    EXPECT_EQ(ours.size(), 50u);
    EXPECT_TRUE(ours == reference)
        << ours.size() << " frames against tcpdump's " << reference.size();
    for (size_t i = 0; i < ours.size(); ++i) {
        // After the Ethernet, IPv4 and UDP headers: the datagrams in the order sent.
        std::string sent = "n";
        sent += std::to_string(i);
        EXPECT_EQ(ours[i].second.substr(42), sent);
    }
    Sh("rm -rf " + dir);
}

}  // namespace
