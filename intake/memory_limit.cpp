#include "intake/memory_limit.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kHeadroom = 256 * kMiB;
constexpr uint64_t kFloor = 16 * kMiB;

// The value of `field` ("MemAvailable:") in kB, as bytes; 0 when absent.
uint64_t MeminfoBytes(const std::string& meminfo, const std::string& field) {
    std::istringstream lines(meminfo);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, field.size(), field) != 0) continue;
        std::istringstream value(line.substr(field.size()));
        uint64_t kb = 0;
        value >> kb;
        return kb * 1024;
    }
    return 0;
}

}  // namespace

uint64_t MemoryLimitFrom(const std::string& meminfo, uint64_t physicalBytes) {
    uint64_t limit = physicalBytes / 2;
    const uint64_t available = MeminfoBytes(meminfo, "MemAvailable:");
    if (available != 0) limit = std::min(limit, available > kHeadroom ? available - kHeadroom : 0);
    return std::max(limit, kFloor);
}

uint64_t DefaultMemoryLimit() {
    std::ifstream file("/proc/meminfo");
    std::stringstream meminfo;
    meminfo << file.rdbuf();
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const uint64_t physical = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : 0;
    return MemoryLimitFrom(meminfo.str(), physical);
}
