#include "sessions/host_resolver.h"

#include <gtest/gtest.h>

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

TEST(SystemHostResolver, TextsThatAreNoDottedAddressGiveNothing) {
    const CSystemHostResolver resolver;
    for (const char* text : {"", "127.1", "localhost", "256.0.0.1", "127.0.0.1 ", "127.0.0.1.5"})
        EXPECT_EQ(resolver.ResolveHostName(text), "") << text;
}

}  // namespace
