// Deterministic synthetic captures for tests and benchmarks. A kind, a frame
// count and a seed fully determine every byte and every time stamp.
//
//   tcp742  long-lived TCP connections, every frame carrying 742 payload bytes
//   mix     thousands of short TCP sessions interleaved with every other kind
//           of frame the decoders meet (and some they must survive)
//   http    one small HTTP-like TCP session (then further ones, if asked for
//           more frames than one session has)
//   http6   the same over IPv6
//   vlan    the mix behind 802.1Q tags (one frame in four also behind an
//           802.1ad tag)
//   sll2    the mix as capturing on "any" gives it: each Ethernet header
//           replaced by the Linux cooked header (version 2)
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/capture_gen/frame_builder.h"

namespace capture_gen {

enum class CaptureKind { Tcp742, Mix, Http, Http6, Vlan, Sll2 };

std::optional<CaptureKind> ParseCaptureKind(std::string_view name);
std::string_view CaptureKindName(CaptureKind kind);
// The link type of the kind's captures (libpcap's DLT_ values).
int CaptureLinkType(CaptureKind kind);

// What a generated frame is meant to be; tests hold this against what an
// independent dissector makes of the frame.
enum class FrameClass : uint8_t {
    Tcp4,            // Ethernet / IPv4 / TCP
    Udp4,            // Ethernet / IPv4 / UDP
    Icmp4,           // Ethernet / IPv4 / ICMP
    Igmp4,           // Ethernet / IPv4 with a Router Alert option (IHL 6) / IGMP
    Ipv4Fragment,    // Ethernet / IPv4 fragment (first or later)
    Arp,             // EtherType 0x0806
    Rarp,            // EtherType 0x8035
    Tcp6,            // Ethernet / IPv6 / TCP
    Udp6,            // Ethernet / IPv6 / UDP
    Icmp6,           // Ethernet / IPv6 / ICMPv6 (next header 58)
    PppoeSession,    // EtherType 0x8864 / PPP / IPv4, IPv6 or LCP
    PppoeDiscovery,  // EtherType 0x8863
    Vlan,            // EtherType 0x8100 / IPv4 or ARP
    Ieee8023,        // length field instead of EtherType / LLC
    Truncated,       // captured length shorter than the frame (some below 14 bytes)
};
inline constexpr size_t kFrameClassCount = static_cast<size_t>(FrameClass::Truncated) + 1;

std::string_view FrameClassName(FrameClass c);

struct GeneratedFrame {
    uint32_t tsSec = 0;
    uint32_t tsUsec = 0;
    uint32_t origLen = 0;  // length on the wire; larger than data.size() when truncated
    FrameClass frameClass = FrameClass::Tcp4;
    Bytes data;  // the captured bytes
};

// The time stamp of the first frame of every capture: 2024-03-05 10:00:00 UTC.
inline constexpr uint32_t kCaptureStartSec = 1709632800;

// The number of frames of the single session of the `http` and `http6` kinds.
inline constexpr size_t kHttpSessionFrames = 13;

// Produces the frames of one capture one at a time, so that a capture of any
// size is written without holding it in memory.
class FrameGenerator {
  public:
    FrameGenerator(CaptureKind kind, size_t count, uint32_t seed);
    ~FrameGenerator();
    FrameGenerator(const FrameGenerator&) = delete;
    FrameGenerator& operator=(const FrameGenerator&) = delete;

    // Fills `out` with the next frame; false once `count` frames were produced.
    bool Next(GeneratedFrame& out);
    size_t Produced() const { return m_produced; }

    struct Source;

  private:
    // Tags or cooks a mixed frame for the vlan and sll2 kinds.
    void Rewrap(Bytes& data);

    CaptureKind m_kind;
    std::unique_ptr<Source> m_source;
    size_t m_count;
    size_t m_produced = 0;
    uint32_t m_sec = kCaptureStartSec;
    uint32_t m_usec = 0;
};

std::vector<GeneratedFrame> GenerateFrames(CaptureKind kind, size_t count, uint32_t seed);

// Writes a pcap file (the kind's link type, snapshot length 65535), streaming.
// On failure returns false and, when `error` is given, describes why.
bool WriteCapture(const std::string& path, CaptureKind kind, size_t count, uint32_t seed,
                  std::string* error = nullptr);

}  // namespace capture_gen
