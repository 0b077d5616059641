// How much memory captured packets may take before a capture stops itself.
#pragma once

#include <cstdint>
#include <string>

// Half of the machine's physical memory, and never more than what the system
// reports available right now minus 256 MiB (at least 16 MiB).
uint64_t DefaultMemoryLimit();

// The limit from the fields of a /proc/meminfo text and the physical memory;
// exposed for tests.
uint64_t MemoryLimitFrom(const std::string& meminfo, uint64_t physicalBytes);
