// The form's expressions against the real filter compiler: whatever passes
// validation must compile, and the mode clauses must mean what they say.
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "filter/field_format.h"
#include "filter/filter_builder.h"
#include "tests/filter/fake_filter_window.h"

namespace {

constexpr bpf_u_int32 kNetmask = 0x00FFFFFF;

struct Compiled {
    int result = 0;
    std::string error;
    std::vector<bpf_insn> program;
};

// Compiles as a capture would: Ethernet link, optimisation on.
Compiled Compile(const std::string& expression) {
    std::unique_ptr<pcap_t, decltype(&pcap_close)> handle(pcap_open_dead(DLT_EN10MB, 65535),
                                                          &pcap_close);
    Compiled out;
    bpf_program program{};
    out.result = pcap_compile(handle.get(), &program, expression.c_str(), 1, kNetmask);
    if (out.result != 0) {
        out.error = pcap_geterr(handle.get());
        return out;
    }
    out.program.assign(program.bf_insns, program.bf_insns + program.bf_len);
    pcap_freecode(&program);
    return out;
}

bool SameProgram(const std::vector<bpf_insn>& a, const std::vector<bpf_insn>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].code != b[i].code || a[i].jt != b[i].jt || a[i].jf != b[i].jf || a[i].k != b[i].k)
            return false;
    }
    return true;
}

struct Frame {
    uint64_t dstMac, srcMac;
    uint32_t srcIP, dstIP;
    uint8_t protocol;  // 6 TCP, 17 UDP
    uint16_t srcPort, dstPort;
};

// An Ethernet frame carrying IPv4 and a TCP or UDP header.
std::vector<unsigned char> FrameBytes(const Frame& f) {
    std::vector<unsigned char> b;
    const auto put = [&b](uint64_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i)
            b.push_back(static_cast<unsigned char>(value >> (8 * i)));
    };
    put(f.dstMac, 6);
    put(f.srcMac, 6);
    put(0x0800, 2);
    const int transport = f.protocol == 6 ? 20 : 8;
    put(0x45, 1);
    put(0, 1);
    put(20 + transport, 2);
    put(0, 4);  // id, fragment
    put(64, 1);
    put(f.protocol, 1);
    put(0, 2);
    put(f.srcIP, 4);
    put(f.dstIP, 4);
    put(f.srcPort, 2);
    put(f.dstPort, 2);
    if (f.protocol == 6) {
        put(0, 8);
        put(0x5000, 2);
        put(0, 6);
    } else {
        put(8, 2);
        put(0, 2);
    }
    return b;
}

bool Matches(const std::string& expression, const Frame& frame) {
    const Compiled compiled = Compile(expression);
    EXPECT_EQ(compiled.result, 0) << expression << ": " << compiled.error;
    std::vector<bpf_insn> insns = compiled.program;
    const bpf_program program{static_cast<u_int>(insns.size()), insns.data()};
    const std::vector<unsigned char> bytes = FrameBytes(frame);
    pcap_pkthdr header{};
    header.caplen = header.len = static_cast<bpf_u_int32>(bytes.size());
    return pcap_offline_filter(&program, &header, bytes.data()) != 0;
}

class FormHarness {
  public:
    // Applies `fields`; the expression when the Apply was accepted, else nullopt.
    std::optional<std::string> Apply(const FilterFields& fields) {
        window.controls = fields;
        const int closes = window.closes;
        form.OnApplyFilter();
        if (window.closes == closes) return std::nullopt;
        return *form.Filter().Load();
    }

    std::string table;
    FakeFilterWindow window;
    CFilterForm form{window, [this] { return table; }};
};

constexpr uint64_t kGatewayMac = 0x000C29ABCDEF;
constexpr const char* kGatewayTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "10.0.0.254       0x1         0x2         00:0c:29:ab:cd:ef     *        eth0\n";

// Random field texts, mostly valid, some not, in the shapes users type.
class FieldGenerator {
  public:
    explicit FieldGenerator(uint32_t seed) : m_random(seed) {}

    bool Chance(int percent) { return static_cast<int>(m_random() % 100) < percent; }
    unsigned Below(unsigned n) { return static_cast<unsigned>(m_random() % n); }

    std::string IPv4(uint32_t& address) {
        std::string text;
        address = 0;
        for (int group = 0; group < 4; ++group) {
            const unsigned value = Below(256);
            address = (address << 8) | value;
            std::string digits = std::to_string(value);
            while (digits.size() < 3 && Chance(15)) digits = std::string("0") + digits;
            text += (group > 0 ? "." : "") + digits;
        }
        return text;
    }

    std::string Mac(char separator, bool mixedCase) {
        static const char* lower = "0123456789abcdef";
        static const char* upper = "0123456789ABCDEF";
        std::string text;
        for (int pair = 0; pair < 6; ++pair) {
            if (pair > 0) text += separator;
            for (int i = 0; i < 2; ++i)
                text += (mixedCase && Chance(50) ? upper : lower)[Below(16)];
        }
        return text;
    }

    std::string Port() {
        switch (Below(6)) {
            case 0:
                return "abc";  // reads as 0
            case 1:
                return " +" + std::to_string(Below(65536));
            case 2:
                return std::to_string(Below(65536)) + "x";
            case 3:
                return std::to_string(65536 + Below(100000));  // out of range
            default:
                return std::to_string(Below(65536));
        }
    }

    std::string Junk() {
        static const std::string alphabet = "0123456789.-:abcXYZ %()&|\\";
        std::string text;
        const unsigned length = 1 + Below(20);
        for (unsigned i = 0; i < length; ++i) text += alphabet[Below(alphabet.size())];
        return text;
    }

  private:
    std::mt19937 m_random;
};

}  // namespace

TEST(FilterCompile, EveryAcceptedExpressionCompiles) {
    FieldGenerator gen(20240601);
    int accepted = 0;
    int withGateway = 0;
    for (int round = 0; round < 3000; ++round) {
        FormHarness harness;
        FilterFields f;
        uint32_t source = 0, dest = 0, gateway = 0;
        if (gen.Chance(55)) f.m_strSourceIP = gen.Chance(95) ? gen.IPv4(source) : gen.Junk();
        if (gen.Chance(55)) f.m_strDestIP = gen.Chance(95) ? gen.IPv4(dest) : gen.Junk();
        if (gen.Chance(30)) {
            // A gateway that is one of the hosts asks for traffic through it and
            // not to it at once; that case has its own test below.
            do {
                f.m_strGatewayIP = gen.IPv4(gateway);
            } while ((!f.m_strSourceIP.empty() && gateway == source) ||
                     (!f.m_strDestIP.empty() && gateway == dest));
            char line[160];
            std::snprintf(line, sizeof line, "%-16s 0x1         0x2         %s     *        eth0\n",
                          f.m_strGatewayIP.c_str(), gen.Mac(':', false).c_str());
            harness.table = std::string(
                                "IP address       HW type     Flags       HW address   "
                                "         Mask     Device\n") +
                            line;
        }
        if (gen.Chance(40)) f.m_strSourcePort = gen.Port();
        if (gen.Chance(40)) f.m_strDestPort = gen.Port();
        if (gen.Chance(35)) f.m_strSourceMac = gen.Chance(95) ? gen.Mac('-', true) : gen.Junk();
        if (gen.Chance(35)) f.m_strDestMac = gen.Chance(95) ? gen.Mac('-', true) : gen.Junk();
        f.m_bTracking = gen.Chance(40) ? 1 : 0;
        f.m_bMonitoring = gen.Chance(40) ? 1 : 0;
        f.m_nProtocol = static_cast<int32_t>(gen.Below(5)) - 1;
        if (f.m_nProtocol == PROTOCOL_ICMP &&
            (!f.m_strSourcePort.empty() || !f.m_strDestPort.empty()))
            f.m_nProtocol = PROTOCOL_TCP;  // ports with ICMP: see below
        if (gen.Chance(20)) f.m_strDataContains = gen.Junk();

        const std::optional<std::string> expression = harness.Apply(f);
        if (!expression) continue;
        ++accepted;
        if (!f.m_strGatewayIP.empty()) ++withGateway;
        const Compiled compiled = Compile(*expression);
        ASSERT_EQ(compiled.result, 0) << '"' << *expression << "\": " << compiled.error;
    }
    // The generator must mostly produce forms that pass, or the test proves little.
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(withGateway, 200);
}

TEST(FilterCompile, PortsWithIcmpPassValidationButRejectAllPackets) {
    FormHarness harness;
    FilterFields f;
    f.m_nProtocol = PROTOCOL_ICMP;
    f.m_strDestPort = "80";
    const std::optional<std::string> expression = harness.Apply(f);
    ASSERT_EQ(expression, "dst port 80 and ip proto \\icmp");
    const Compiled compiled = Compile(*expression);
    EXPECT_EQ(compiled.result, PCAP_ERROR);
    EXPECT_EQ(compiled.error, "expression rejects all packets");
}

TEST(FilterCompile, GatewayEqualToTheSourceHostRejectsAllPackets) {
    FormHarness harness;
    harness.table = kGatewayTable;
    FilterFields f;
    f.m_strSourceIP = "10.0.0.254";
    f.m_strGatewayIP = "10.0.0.254";
    const std::optional<std::string> expression = harness.Apply(f);
    ASSERT_TRUE(expression);
    const Compiled compiled = Compile(*expression);
    EXPECT_EQ(compiled.result, PCAP_ERROR);
    EXPECT_EQ(compiled.error, "expression rejects all packets");
}

TEST(FilterCompile, DashedMacMeansTheSameAsColonForm) {
    for (const char* direction : {"src", "dst"}) {
        const Compiled dashed = Compile(std::string(" ether ") + direction + " 00-0C-29-ab-CD-ef");
        const Compiled colon = Compile(std::string(" ether ") + direction + " 00:0c:29:ab:cd:ef");
        ASSERT_EQ(dashed.result, 0) << dashed.error;
        ASSERT_EQ(colon.result, 0) << colon.error;
        EXPECT_TRUE(SameProgram(dashed.program, colon.program)) << direction;
    }
}

TEST(FilterCompile, TrackingMatchesBothDirectionsThenTheRest) {
    FormHarness harness;
    FilterFields f;
    f.m_strSourceIP = "10.0.0.1";
    f.m_strDestIP = "10.0.0.2";
    f.m_bTracking = 1;
    f.m_nProtocol = PROTOCOL_TCP;
    const std::string expression = harness.Apply(f).value_or("");
    const uint64_t a = 0x020000000001, b = 0x020000000002;
    EXPECT_TRUE(Matches(expression, {b, a, 0x0A000001, 0x0A000002, 6, 1000, 80}));
    EXPECT_TRUE(Matches(expression, {a, b, 0x0A000002, 0x0A000001, 6, 80, 1000}));
    EXPECT_FALSE(Matches(expression, {a, b, 0x0A000002, 0x0A000003, 6, 80, 1000}));
    // The protocol applies to both directions.
    EXPECT_FALSE(Matches(expression, {b, a, 0x0A000001, 0x0A000002, 17, 1000, 53}));
    EXPECT_FALSE(Matches(expression, {a, b, 0x0A000002, 0x0A000001, 17, 53, 1000}));
}

TEST(FilterCompile, MonitoringThroughAGatewayKeepsTheGatewayForBothDirections) {
    FormHarness harness;
    harness.table = kGatewayTable;
    FilterFields f;
    f.m_strSourceIP = "10.0.0.1";
    f.m_strGatewayIP = "10.0.0.254";
    f.m_bMonitoring = 1;
    const std::string expression = harness.Apply(f).value_or("");
    const uint64_t host = 0x020000000001, other = 0x020000000009;
    const Frame outViaGateway{kGatewayMac, host, 0x0A000001, 0x08080808, 17, 5000, 53};
    const Frame inViaGateway{host, kGatewayMac, 0x08080808, 0x0A000001, 17, 53, 5000};
    const Frame inLocal{host, other, 0x0A000009, 0x0A000001, 17, 53, 5000};
    EXPECT_TRUE(Matches(expression, outViaGateway));
    EXPECT_TRUE(Matches(expression, inViaGateway));
    EXPECT_FALSE(Matches(expression, inLocal));

    // Ungrouped, `and` and `||` bind from the left and local traffic slips in.
    const std::string ungrouped =
        " (ether host 00:0c:29:ab:cd:ef and not host 10.0.0.254) and (src host 10.0.0.1) || "
        "(dst host 10.0.0.1)";
    EXPECT_TRUE(Matches(ungrouped, inLocal));
}
