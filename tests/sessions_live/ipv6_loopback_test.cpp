// An HTTP-like exchange over 127.0.0.1 and then over ::1, captured with real
// libpcap on the loopback of a network namespace the test creates (with its
// own hosts file, which names ::1) and removes. The test runs itself again
// inside the namespace; the outer run only prepares, waits and cleans up.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "protocols/decode.h"
#include "sessions/decode_logic.h"
#include "sessions/host_resolver.h"
#include "tests/sessions/fake_decode_view.h"

namespace fs = std::filesystem;

namespace {

constexpr char kInsideVariable[] = "TAPWATCH_IPV6_LOOPBACK_NETNS";
constexpr char kLoopName[] = "tapwatch-v6-loop.test";
const std::string kRequest = "GET /six HTTP/1.1\r\nHost: loop\r\n\r\n";
const std::string kReply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

std::string Shell(const std::string& command, int* status = nullptr) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::string out;
    if (pipe == nullptr) return out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int raw = pclose(pipe);
    if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// The official name getent gives `address`, empty when none.
std::string GetentName(const std::string& address) {
    int status = 0;
    std::istringstream fields(Shell("getent hosts " + address, &status));
    std::string shown, name;
    if (status != 0 || !(fields >> shown >> name)) return {};
    return name;
}

// One request and one reply over a fresh connection to `loopback`, then both
// sides close.
void Exchange(int family) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&address);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        length = sizeof *a;
    }
    const int server = socket(family, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(server, 1), 0);
    ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int client = socket(family, SOCK_STREAM, 0);
    ASSERT_GE(client, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), length), 0);
    const int accepted = accept(server, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    ASSERT_EQ(send(client, kRequest.data(), kRequest.size(), 0),
              static_cast<ssize_t>(kRequest.size()));
    std::string got(kRequest.size(), '\0');
    ASSERT_EQ(recv(accepted, got.data(), got.size(), MSG_WAITALL),
              static_cast<ssize_t>(got.size()));
    ASSERT_EQ(send(accepted, kReply.data(), kReply.size(), 0), static_cast<ssize_t>(kReply.size()));
    got.assign(kReply.size(), '\0');
    ASSERT_EQ(recv(client, got.data(), got.size(), MSG_WAITALL), static_cast<ssize_t>(got.size()));
    close(client);
    char end = 0;
    EXPECT_EQ(recv(accepted, &end, 1, 0), 0);  // the client's FIN
    close(accepted);
    close(server);
}

// The frames pcap delivers until none came for a while or the time is up:
// never waits on traffic that may not come.
PacketSnapshot Drain(pcap_t* pcap) {
    PacketSnapshot packets;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    auto lastSeen = Clock::now();
    while (Clock::now() < deadline && Clock::now() - lastSeen < std::chrono::milliseconds(300)) {
        const int n = pcap_dispatch(
            pcap, -1,
            [](u_char* user, const pcap_pkthdr* h, const u_char* bytes) {
                reinterpret_cast<PacketSnapshot*>(user)->push_back(
                    DecodeFrame(bytes, static_cast<int>(h->caplen)));
            },
            reinterpret_cast<u_char*>(&packets));
        if (n > 0)
            lastSeen = Clock::now();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return packets;
}

std::string ShownText(const std::vector<StyledRun>& runs) {
    std::string text;
    bool pendingCr = false;
    for (const StyledRun& run : runs) AppendShownText(text, run.text, pendingCr);
    return text;
}

// Inside the namespace: capture both exchanges and look at them as the
// Decode window does.
void CaptureAndDecode() {
    ASSERT_EQ(std::system("ip link set lo up"), 0);
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* pcap = pcap_create("lo", error);
    ASSERT_NE(pcap, nullptr) << error;
    pcap_set_snaplen(pcap, 65535);
    pcap_set_timeout(pcap, 20);
    pcap_set_immediate_mode(pcap, 1);
    ASSERT_GE(pcap_activate(pcap), 0) << pcap_geterr(pcap);
    ASSERT_EQ(pcap_datalink(pcap), DLT_EN10MB);
    ASSERT_EQ(pcap_setnonblock(pcap, 1, error), 0) << error;

    Exchange(AF_INET);
    Exchange(AF_INET6);
    const PacketSnapshot packets = Drain(pcap);
    pcap_close(pcap);
    if (testing::Test::HasFatalFailure()) return;

    FakeDecodeView view;
    auto resolver = std::make_shared<CSystemHostResolver>();
    CDecodeLogic logic(view, packets, resolver);
    logic.Initialise(-1);
    // First seen: the IPv4 exchange, then the IPv6 one.
    ASSERT_EQ(view.hosts, (std::vector<std::string>{"127.0.0.1", "::1"}));
    ASSERT_EQ(view.rows.size(), 1u);
    logic.OnHeaderStyle(3);
    const std::string v4Payloads = ShownText(view.stream);

    view.currentHost = 1;
    logic.OnHostChanged();
    ASSERT_EQ(view.rows.size(), 1u);
    const std::string& row = view.rows[0];
    EXPECT_TRUE(row.find(" -> ::1[") != std::string::npos) << row;
    // Timestamps ride on every segment; the payloads come without them,
    // exactly as over IPv4, and bare acknowledgements show nothing.
    EXPECT_EQ(ShownText(view.stream), v4Payloads);
    EXPECT_EQ(ShownText(view.stream),
              "GET /six HTTP/1.1\nHost: loop\n\n\n" +
                  std::string("HTTP/1.1 200 OK\nContent-Length: 2\n\nok\n"));
    ASSERT_EQ(view.stream.size(), 2u);
    EXPECT_EQ(view.stream[0].Colour(), FirstSideColour);
    EXPECT_EQ(view.stream[1].Colour(), SecondSideColour);

    logic.OnHeaderStyle(1);
    const std::string clientPort = row.substr(0, row.find(' '));
    const std::string shown = ShownText(view.stream);
    EXPECT_TRUE(shown.starts_with("[0] Source ::1 :" + clientPort + " (SYN:")) << shown;
    EXPECT_NE(shown.find(" [ SYN ]\n"), std::string::npos) << shown;
    EXPECT_LT(shown.find(" [ SYN ]\n"), shown.find(" [ SYN ACK ]\n"));
    EXPECT_LT(shown.find("GET /six"), shown.find(" [ FIN ACK ]\n"));
    EXPECT_EQ(view.Text(EndpointBox::Upper), "::1 : " + clientPort);

    // The namespace's hosts file names ::1, as getent confirms.
    const std::string name = GetentName("::1");
    EXPECT_EQ(name, kLoopName);
    EXPECT_EQ(resolver->ResolveHostName("::1"), name);
    view.resolveDns = true;
    logic.OnResolveDns();
    ASSERT_FALSE(view.lookups.empty());
    view.lookups.back().Run([&logic](EndpointAnswer a) { logic.OnEndpointResolved(a); });
    EXPECT_EQ(view.Text(EndpointBox::Upper), name + " : " + clientPort);
}

// A namespace with its own hosts file, removed with everything made for it.
class Namespace {
  public:
    Namespace() : m_name("tapwatch-v6-" + std::to_string(getpid())) {
        m_madeEtcNetns = !fs::exists("/etc/netns");
        int status = 0;
        m_error = Shell("ip netns add " + m_name, &status);
        m_ok = status == 0;
        if (!m_ok) return;
        std::error_code ec;
        fs::create_directories(Folder(), ec);
        std::ofstream(Folder() / "hosts") << "127.0.0.1 localhost\n::1 " << kLoopName << "\n";
    }
    ~Namespace() {
        if (m_ok) Shell("ip netns del " + m_name);
        std::error_code ec;
        fs::remove_all(Folder(), ec);
        if (m_madeEtcNetns) fs::remove("/etc/netns", ec);  // only when empty
    }
    bool Ok() const { return m_ok; }
    const std::string& Error() const { return m_error; }
    const std::string& Name() const { return m_name; }

  private:
    fs::path Folder() const { return fs::path("/etc/netns") / m_name; }
    std::string m_name;
    bool m_ok = false;
    bool m_madeEtcNetns = false;
    std::string m_error;
};

TEST(Ipv6Loopback, HttpExchangeIsOfferedAsHostColonColonOneAndRendersLikeIpv4) {
    if (std::getenv(kInsideVariable) != nullptr) {
        CaptureAndDecode();
        return;
    }
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a network namespace and a capture";
    Namespace ns;
    if (!ns.Ok()) GTEST_SKIP() << "no network namespace: " << ns.Error();
    const fs::path self = fs::read_symlink("/proc/self/exe");
    int status = -1;
    const std::string out = Shell(std::string(kInsideVariable) + "=1 ip netns exec " + ns.Name() +
                                      " '" + self.string() + "' --gtest_filter=Ipv6Loopback.*",
                                  &status);
    EXPECT_EQ(status, 0) << out;
    // The inner run did run the checks: nothing was skipped there.
    EXPECT_NE(out.find("[  PASSED  ] 1 test."), std::string::npos) << out;
    EXPECT_EQ(out.find("SKIPPED"), std::string::npos) << out;
}

}  // namespace
