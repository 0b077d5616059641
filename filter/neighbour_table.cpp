#include "filter/neighbour_table.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <vector>

#include "filter/field_format.h"

namespace {

// Entry flags of the kernel's ARP table.
constexpr unsigned kFlagComplete = 0x2;
constexpr unsigned kHardwareEthernet = 0x1;

std::vector<std::string_view> Columns(std::string_view line) {
    std::vector<std::string_view> columns;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '\r'))
            ++pos;
        const size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '\r')
            ++pos;
        if (pos > start) columns.push_back(line.substr(start, pos - start));
    }
    return columns;
}

std::optional<unsigned> HexNumber(std::string_view text) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    unsigned value = 0;
    const char* first = text.data() + 2;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value, 16);
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
}

// Six colon-joined pairs of hex digits, lowered; nullopt for anything else or all zeros.
std::optional<std::string> ColonMac(std::string_view text) {
    if (text.size() != 17) return std::nullopt;
    std::string mac(text);
    bool allZero = true;
    for (size_t i = 0; i < mac.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(mac[i]);
        if (i % 3 == 2) {
            if (c != ':') return std::nullopt;
            continue;
        }
        if (!std::isxdigit(c)) return std::nullopt;
        mac[i] = static_cast<char>(std::tolower(c));
        if (mac[i] != '0') allZero = false;
    }
    if (allZero) return std::nullopt;
    return mac;
}

}  // namespace

std::string ReadSystemNeighbourTable() {
    std::ifstream in("/proc/net/arp");
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<std::string> FindNeighbourMac(std::string_view table, uint32_t address) {
    // The header line fails the address parse like any other malformed line.
    size_t start = 0;
    while (start < table.size()) {
        size_t end = table.find('\n', start);
        if (end == std::string_view::npos) end = table.size();
        const std::string_view line = table.substr(start, end - start);
        start = end + 1;

        const std::vector<std::string_view> columns = Columns(line);
        if (columns.size() < 4) continue;
        // Short enough for ParseDottedIPv4 to take it as a C string.
        if (columns[0].size() > 15) continue;
        const std::string ip(columns[0]);
        uint32_t entry = 0;
        if (!ParseDottedIPv4(ip.c_str(), entry) || entry != address) continue;

        const std::optional<unsigned> hardware = HexNumber(columns[1]);
        const std::optional<unsigned> flags = HexNumber(columns[2]);
        if (!hardware || *hardware != kHardwareEthernet) continue;
        if (!flags || (*flags & kFlagComplete) == 0) continue;
        if (std::optional<std::string> mac = ColonMac(columns[3])) return mac;
    }
    return std::nullopt;
}
