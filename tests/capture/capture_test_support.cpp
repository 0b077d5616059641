#include "tests/capture/capture_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#include <cstdio>
#include <cstdlib>
#include <string>

#include "protocols/data.h"

bool IsRoot() {
    return geteuid() == 0;
}

int Sh(const std::string& command) {
    // Not std::system: it sets SIGINT aside in the whole process while it
    // waits, which would race the console capture's own SIGINT handling.
    const std::string line = command + " >/dev/null 2>&1";
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}
}  // namespace

NetNamespace::NetNamespace() {
    static std::atomic<int> counter{0};
    m_name = "twcap" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    m_bOk = Sh("ip netns add " + m_name) == 0 && Exec(
                                                     "sysctl -qw net.ipv6.conf.all.disable_ipv6=1 "
                                                     "net.ipv6.conf.default.disable_ipv6=1") == 0;
}

NetNamespace::~NetNamespace() {
    Sh("ip netns del " + m_name);
}

int NetNamespace::Exec(const std::string& command) const {
    return Sh("ip netns exec " + m_name + " sh -c '" + command + "'");
}

std::string NetNamespace::Mac(const std::string& device) const {
    return Capture("ip netns exec " + m_name + " cat /sys/class/net/" + device + "/address");
}

EnterNamespace::EnterNamespace(const NetNamespace& ns) {
    m_original = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = open(("/run/netns/" + ns.Name()).c_str(), O_RDONLY | O_CLOEXEC);
    m_bOk = m_original >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
    if (target >= 0) close(target);
}

EnterNamespace::~EnterNamespace() {
    if (m_original >= 0) {
        if (m_bOk) setns(m_original, CLONE_NEWNET);
        close(m_original);
    }
}

UdpReceiver::UdpReceiver() {
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        m_port = ntohs(addr.sin_port);
    }
}

UdpReceiver::~UdpReceiver() {
    if (m_fd >= 0) close(m_fd);
}

int SendUdp(uint16_t port, const std::string& tag, int first, int count) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int sent = 0;
    for (int i = 0; i < count; ++i) {
        const std::string text = tag + std::to_string(first + i);
        if (sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
            static_cast<ssize_t>(text.size())) {
            ++sent;
        }
    }
    close(fd);
    return sent;
}

std::vector<std::string> Payloads(const PacketStore& store) {
    std::vector<std::string> out;
    for (const StoredPacket& packet : store.Snapshot()) {
        const auto* data = FindLayerAs<CDataLayer>(packet.root.get());
        out.emplace_back(data != nullptr && data->m_pData != nullptr
                             ? std::string(reinterpret_cast<const char*>(data->m_pData),
                                           static_cast<size_t>(data->m_nLength))
                             : std::string());
    }
    return out;
}

int InterfaceIndex(const CaptureSession& session, const std::string& name) {
    const auto& interfaces = session.Interfaces();
    for (size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].name == name) return static_cast<int>(i);
    }
    return -1;
}
