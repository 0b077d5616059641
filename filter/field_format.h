// The formats the Filter editor accepts in its fields: dotted IPv4 addresses,
// dashed MAC addresses and port numbers read the way atoi reads them.
#pragma once

#include <cstdint>

// True for exactly four groups of 1 to 3 decimal digits, each at most 255,
// separated by single dots, and nothing else ("010.0.0.1" is 10.0.0.1).
bool IsDottedIPv4(const char* text);

// IsDottedIPv4, giving the address as a host-order number (first group highest).
bool ParseDottedIPv4(const char* text, uint32_t& address);

// True for 17 characters: six pairs of hexadecimal digits (either case) joined
// by "-", as in 00-0C-29-AB-CD-EF.
bool IsDashedMac(const char* text);

// Leading white space, an optional sign, then decimal digits up to the first
// other character; no digits gives 0. Unlike atoi it never overflows: the value
// saturates just past what any port can be, which keeps it out of range.
int32_t PortNumber(const char* text);

inline constexpr int32_t kMaxPort = 0xFFFF;
