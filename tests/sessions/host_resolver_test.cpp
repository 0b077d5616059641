#include "sessions/host_resolver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// The official name of 127.0.0.1 in /etc/hosts: the first name of its first line.
std::string HostsFileName() {
    std::ifstream hosts("/etc/hosts");
    std::string line;
    while (std::getline(hosts, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string address, name;
        if (fields >> address >> name && address == "127.0.0.1") return name;
    }
    return {};
}

TEST(SystemHostResolver, LoopbackResolvesToItsHostsFileName) {
    const std::string expected = HostsFileName();
    if (expected.empty()) GTEST_SKIP() << "/etc/hosts names no 127.0.0.1";
    EXPECT_EQ(CSystemHostResolver().ResolveHostName("127.0.0.1"), expected);
}

// The official name `getent hosts ADDRESS` gives, the system's own answer.
std::string GetentName(const std::string& address) {
    const std::string command = "getent hosts " + address + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    char line[512] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    if (!got) return {};
    std::istringstream fields(line);
    std::string shown, name;
    fields >> shown >> name;
    return name;
}

TEST(SystemHostResolver, Ipv6LoopbackResolvesAsGetentDoes) {
    const std::string expected = GetentName("::1");
    if (expected.empty()) GTEST_SKIP() << "the system has no name for ::1";
    EXPECT_EQ(CSystemHostResolver().ResolveHostName("::1"), expected);
}

TEST(SystemHostResolver, TextsThatAreNoAddressGiveNothing) {
    const CSystemHostResolver resolver;
    for (const char* text :
         {"", "127.1", "localhost", "256.0.0.1", "127.0.0.1 ", "127.0.0.1.5", "::g", "1::2::3",
          " ::1", "fe80::1%lo", "0000:0000:0000:0000:0000:0000:0000:0000:1"})
        EXPECT_EQ(resolver.ResolveHostName(text), "") << text;
}

}  // namespace
