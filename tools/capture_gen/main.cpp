// tapwatch-gen: writes a deterministic synthetic capture as a pcap file.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "tools/capture_gen/generator.h"

namespace {

constexpr const char* kUsage =
    "Usage: tapwatch-gen --kind tcp742|mix|http|http6|vlan|sll2 --count N [--seed S] -o FILE\n"
    "\n"
    "Writes a synthetic capture (pcap, snapshot length 65535) of Ethernet frames,\n"
    "or for sll2 of Linux cooked ones.\n"
    "The kind, count and seed determine every byte of the file.\n"
    "\n"
    "  --kind tcp742   a few long-lived TCP connections, 742 payload bytes per frame\n"
    "  --kind mix      thousands of TCP sessions mixed with UDP, ICMP, ARP, RARP,\n"
    "                  IPv6, fragments, IPv4 options, PPPoE, VLAN, 802.3 and\n"
    "                  truncated frames\n"
    "  --kind http     one small HTTP-like TCP session (13 frames; more frames\n"
    "                  repeat it on the next client ports)\n"
    "  --kind http6    the same session over IPv6\n"
    "  --kind vlan     the mix behind 802.1Q tags, some behind an 802.1ad tag too\n"
    "  --kind sll2     the mix with Linux cooked headers (v2), as \"any\" gives it\n"
    "  --count N       number of frames (default: 13 for http and http6; required\n"
    "                  otherwise)\n"
    "  --seed S        32-bit seed (default 1)\n"
    "  -o, --output F  output file, '-' for the standard output\n"
    "  -h, --help      show this text\n";

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && !text.empty();
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "tapwatch-gen: %s\n\n%s", message.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<capture_gen::CaptureKind> kind;
    std::optional<size_t> count;
    uint32_t seed = 1;
    std::string output;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const bool takesValue = arg == "--kind" || arg == "--count" || arg == "--seed" ||
                                arg == "-o" || arg == "--output";
        if (!takesValue) return UsageError("unknown argument '" + std::string(arg) + "'");
        if (i + 1 == argc) return UsageError(std::string(arg) + " needs a value");
        const std::string_view value = argv[++i];
        if (arg == "--kind") {
            kind = capture_gen::ParseCaptureKind(value);
            if (!kind) return UsageError("unknown kind '" + std::string(value) + "'");
        } else if (arg == "--count") {
            size_t n = 0;
            if (!ParseNumber(value, n)) return UsageError("bad count '" + std::string(value) + "'");
            count = n;
        } else if (arg == "--seed") {
            if (!ParseNumber(value, seed))
                return UsageError("bad seed '" + std::string(value) + "'");
        } else {
            output = value;
        }
    }
    if (!kind) return UsageError("--kind is required");
    if (output.empty()) return UsageError("-o FILE is required");
    if (!count) {
        if (*kind != capture_gen::CaptureKind::Http && *kind != capture_gen::CaptureKind::Http6)
            return UsageError("--count is required");
        count = capture_gen::kHttpSessionFrames;
    }

    std::string error;
    if (!capture_gen::WriteCapture(output, *kind, *count, seed, &error)) {
        std::fprintf(stderr, "tapwatch-gen: %s: %s\n", output.c_str(), error.c_str());
        return 1;
    }
    return 0;
}
