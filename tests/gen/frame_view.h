// A minimal reading of generated frames, written independently of the
// generator so that the tests check its bytes rather than restate its code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace gen_test {

inline uint16_t Be16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>((b.at(at) << 8) | b.at(at + 1));
}
inline uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t{Be16(b, at)} << 16) | Be16(b, at + 2);
}

// Offset of the IPv4 header in an Ethernet II, 802.1Q or PPPoE/PPP frame.
inline std::optional<size_t> Ipv4Offset(const std::vector<uint8_t>& f) {
    if (f.size() < 14) return std::nullopt;
    size_t at = 12;
    uint16_t type = Be16(f, at);
    if (type == 0x8100 && f.size() >= 18) {
        at += 4;
        type = Be16(f, at);
    }
    if (type == 0x0800) return at + 2;
    if (type == 0x8864 && f.size() >= at + 10 && Be16(f, at + 8) == 0x0021) return at + 10;
    return std::nullopt;
}

// The ones' complement sum of 16-bit words, folded; 0xFFFF for a valid header.
inline uint16_t OnesSum(const std::vector<uint8_t>& b, size_t from, size_t n, uint32_t sum = 0) {
    for (size_t i = 0; i < n; i += 2) {
        sum += uint32_t{b.at(from + i)} << 8;
        if (i + 1 < n) sum += b.at(from + i + 1);
    }
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

struct TcpView {
    size_t ip;   // IPv4 header offset
    size_t tcp;  // TCP header offset
    uint32_t src, dst;
    uint16_t sport, dport;
    uint32_t seq, ack;
    uint8_t flags;
    size_t payload;  // payload length from the IPv4 total length
};

// The TCP segment of an untruncated Ethernet/IPv4 frame.
inline std::optional<TcpView> Tcp(const std::vector<uint8_t>& f) {
    auto ip = Ipv4Offset(f);
    if (!ip || f.size() < *ip + 20 || f[*ip + 9] != 6) return std::nullopt;
    const size_t ihl = (f[*ip] & 0x0F) * 4u;
    const size_t tcp = *ip + ihl;
    if (f.size() < tcp + 20) return std::nullopt;
    TcpView v{*ip,
              tcp,
              Be32(f, *ip + 12),
              Be32(f, *ip + 16),
              Be16(f, tcp),
              Be16(f, tcp + 2),
              Be32(f, tcp + 4),
              Be32(f, tcp + 8),
              f[tcp + 13],
              0};
    v.payload = Be16(f, *ip + 2) - ihl - (f[tcp + 12] >> 4) * 4u;
    return v;
}

}  // namespace gen_test
