// The default memory limit of captured packets.
#include "intake/memory_limit.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

std::string Meminfo(uint64_t availableKb) {
    return "MemTotal:       24576000 kB\nMemFree:         1000000 kB\nMemAvailable:   " +
           std::to_string(availableKb) + " kB\nBuffers:          12345 kB\n";
}

TEST(MemoryLimitTest, HalfThePhysicalMemoryUnlessLessIsAvailable) {
    const uint64_t physical = 24 * 1024 * kMiB;
    // Plenty available: half of the machine.
    EXPECT_EQ(MemoryLimitFrom(Meminfo(20 * 1024 * 1024), physical), physical / 2);
    // 4 GiB available: what is available less 256 MiB.
    EXPECT_EQ(MemoryLimitFrom(Meminfo(4 * 1024 * 1024), physical), 4 * 1024 * kMiB - 256 * kMiB);
    // Almost nothing available: a small floor still lets a capture run.
    EXPECT_EQ(MemoryLimitFrom(Meminfo(100 * 1024), physical), 16 * kMiB);
    // No MemAvailable line (old kernels): half of the machine.
    EXPECT_EQ(MemoryLimitFrom("MemTotal: 1000 kB\n", physical), physical / 2);
}

TEST(MemoryLimitTest, TheMachinesOwnFiguresGiveALimitWithinItsMemory) {
    const uint64_t limit = DefaultMemoryLimit();
    EXPECT_GE(limit, 16 * kMiB);
    EXPECT_LT(limit, uint64_t{1} << 50);
}

}  // namespace
