#include "filter/neighbour_table.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr const char* kTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.1.1      0x1         0x2         00:0C:29:AB:CD:EF     *        eth0\n"
    "192.168.1.7      0x1         0x0         00:00:00:00:00:00     *        eth0\n"
    "192.168.1.8      0x1         0x0         00:11:22:33:44:55     *        eth0\n"
    "192.168.1.9      0x1         0x2         00:00:00:00:00:00     *        eth0\n"
    "10.0.0.1         0x1         0x0         00:00:00:00:00:00     *        eth1\n"
    "10.0.0.1         0x1         0x6         02:aa:bb:cc:dd:01     *        eth2\n"
    "10.0.0.2         0x304       0x2         00:00:00:00:00:01     *        sit0\n"
    "10.0.0.3\n"
    "10.0.0.4         0x1         0x2         00:11:22:33:44        *        eth0\n"
    "10.0.0.5         0x1         0x2         02:fc:00:00:00:05     *        eth0";

}  // namespace

TEST(NeighbourTable, FindsACompleteEntryInLowercaseColonForm) {
    EXPECT_EQ(FindNeighbourMac(kTable, 0xC0A80101), "00:0c:29:ab:cd:ef");
}

TEST(NeighbourTable, PassesOverIncompleteEntries) {
    EXPECT_EQ(FindNeighbourMac(kTable, 0xC0A80107), std::nullopt);  // flags 0, zero MAC
    EXPECT_EQ(FindNeighbourMac(kTable, 0xC0A80108), std::nullopt);  // flags 0
    EXPECT_EQ(FindNeighbourMac(kTable, 0xC0A80109), std::nullopt);  // zero MAC
    // A later complete entry for the same address (another device) is used.
    EXPECT_EQ(FindNeighbourMac(kTable, 0x0A000001), "02:aa:bb:cc:dd:01");
}

TEST(NeighbourTable, PassesOverNonEthernetAndMalformedLines) {
    EXPECT_EQ(FindNeighbourMac(kTable, 0x0A000002), std::nullopt);
    EXPECT_EQ(FindNeighbourMac(kTable, 0x0A000003), std::nullopt);
    EXPECT_EQ(FindNeighbourMac(kTable, 0x0A000004), std::nullopt);
    // The last line has no line end.
    EXPECT_EQ(FindNeighbourMac(kTable, 0x0A000005), "02:fc:00:00:00:05");
}

TEST(NeighbourTable, UnknownAddressesAndEmptyTables) {
    EXPECT_EQ(FindNeighbourMac(kTable, 0x0A0000FF), std::nullopt);
    EXPECT_EQ(FindNeighbourMac("", 0xC0A80101), std::nullopt);
    EXPECT_EQ(FindNeighbourMac("IP address HW type Flags HW address Mask Device\n", 0),
              std::nullopt);
}

TEST(NeighbourTable, ReadsTheSystemTable) {
    std::ifstream probe("/proc/net/arp");
    if (!probe) GTEST_SKIP() << "no /proc/net/arp here";
    EXPECT_EQ(ReadSystemNeighbourTable().rfind("IP address", 0), 0u);
}
