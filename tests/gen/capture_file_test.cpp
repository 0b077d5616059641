// The written files, read back by libpcap, by tcpdump and tshark as
// independent dissectors, and through the command-line tool.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/capture_gen/generator.h"

using namespace capture_gen;
namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class GenCaptureFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tapwatch-gen-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    Result Run(const std::string& command) const {
        const std::string errFile = Path("stderr.txt");
        Result r;
        FILE* pipe = popen((command + " 2>" + errFile).c_str(), "r");
        if (pipe == nullptr) return r;
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
        const int status = pclose(pipe);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(errFile);
        std::stringstream ss;
        ss << in.rdbuf();
        r.err = ss.str();
        return r;
    }

    static bool HaveTool(const char* name) {
        return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
    }

    // stderr without the notice tshark prints when run as root.
    static std::string Complaints(const std::string& err) {
        std::string out;
        std::istringstream lines(err);
        for (std::string line; std::getline(lines, line);) {
            if (line.find("Running as user") != std::string::npos) continue;
            if (line.starts_with("reading from file ")) continue;
            out += line + "\n";
        }
        return out;
    }

    fs::path m_dir;
};

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep)) parts.push_back(part);
    if (!s.empty() && s.back() == sep) parts.emplace_back();
    return parts;
}

// The protocol path tshark must report for each class of frame.
const char* ExpectedProtocols(FrameClass c) {
    switch (c) {
        case FrameClass::Tcp4:
            return "eth:ethertype:ip:tcp";
        case FrameClass::Udp4:
            return "eth:ethertype:ip:udp";
        case FrameClass::Icmp4:
            return "eth:ethertype:ip:icmp";
        case FrameClass::Igmp4:
            return "eth:ethertype:ip:igmp";
        case FrameClass::Ipv4Fragment:
            return "eth:ethertype:ip";
        case FrameClass::Arp:
        case FrameClass::Rarp:
            return "eth:ethertype:arp";
        case FrameClass::Tcp6:
            return "eth:ethertype:ipv6:tcp";
        case FrameClass::Udp6:
            return "eth:ethertype:ipv6:udp";
        case FrameClass::Icmp6:
            return "eth:ethertype:ipv6:icmpv6";
        case FrameClass::PppoeSession:
            return "eth:ethertype:pppoes:ppp";
        case FrameClass::PppoeDiscovery:
            return "eth:ethertype:pppoed";
        case FrameClass::Vlan:
            return "eth:ethertype:vlan:ethertype:";
        case FrameClass::Ieee8023:
            return "eth:llc:stp";
        case FrameClass::Truncated:
            return "eth";
    }
    return "?";
}

}  // namespace

TEST_F(GenCaptureFileTest, WrittenFileHoldsExactlyTheGeneratedFrames) {
    const std::string file = Path("mix.pcap");
    std::string error;
    ASSERT_TRUE(WriteCapture(file, CaptureKind::Mix, 3000, 9, &error)) << error;
    const auto frames = GenerateFrames(CaptureKind::Mix, 3000, 9);

    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* p = pcap_open_offline(file.c_str(), errbuf);
    ASSERT_NE(p, nullptr) << errbuf;
    EXPECT_EQ(pcap_datalink(p), DLT_EN10MB);
    EXPECT_EQ(pcap_snapshot(p), 65535);
    size_t i = 0;
    pcap_pkthdr* h;
    const u_char* data;
    while (pcap_next_ex(p, &h, &data) == 1) {
        ASSERT_LT(i, frames.size());
        const auto& f = frames[i];
        EXPECT_EQ(static_cast<uint32_t>(h->ts.tv_sec), f.tsSec);
        EXPECT_EQ(static_cast<uint32_t>(h->ts.tv_usec), f.tsUsec);
        EXPECT_EQ(h->len, f.origLen);
        ASSERT_EQ(h->caplen, f.data.size());
        EXPECT_TRUE(std::equal(f.data.begin(), f.data.end(), data)) << "frame " << i;
        ++i;
    }
    pcap_close(p);
    EXPECT_EQ(i, frames.size());
}

TEST_F(GenCaptureFileTest, UnwritablePathIsReportedAsFailure) {
    std::string error;
    EXPECT_FALSE(WriteCapture(Path("no/such/dir/x.pcap"), CaptureKind::Http, 13, 1, &error));
    EXPECT_FALSE(error.empty());
    if (fs::exists("/dev/full")) {
        // A full disk must not pass for success.
        EXPECT_FALSE(WriteCapture("/dev/full", CaptureKind::Mix, 20000, 1, &error));
    }
}

TEST_F(GenCaptureFileTest, TsharkReadsTheMixAndSeesWhatEachFrameIsMeantToBe) {
    if (!HaveTool("tshark")) GTEST_SKIP() << "tshark is not installed";
    const size_t count = 20000;
    const std::string file = Path("mix.pcap");
    ASSERT_TRUE(WriteCapture(file, CaptureKind::Mix, count, 4));
    const auto frames = GenerateFrames(CaptureKind::Mix, count, 4);

    const Result r =
        Run("tshark -n -r " + file +
            " -o ip.check_checksum:TRUE -o tcp.check_checksum:TRUE -o udp.check_checksum:TRUE"
            " -T fields -e frame.number -e frame.protocols -e eth.type -e ip.hdr_len"
            " -e ip.checksum.status -e tcp.checksum.status -e udp.checksum.status"
            " -e icmp.checksum.status -e icmpv6.checksum.status");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Complaints(r.err), "");
    const auto lines = Split(r.out, '\n');
    ASSERT_EQ(lines.size(), count + 1);  // the last line ends with a newline

    size_t verified = 0;
    for (size_t i = 0; i < count; ++i) {
        const auto col = Split(lines[i], '\t');
        ASSERT_EQ(col.size(), 9u) << lines[i];
        ASSERT_EQ(col[0], std::to_string(i + 1));
        const FrameClass c = frames[i].frameClass;
        SCOPED_TRACE("frame " + col[0] + " (" + std::string(FrameClassName(c)) + ")");
        // MLD reports carry a hop-by-hop options header before ICMPv6.
        const bool hopByHop =
            c == FrameClass::Icmp6 && col[1].starts_with("eth:ethertype:ipv6:ipv6.hopopts:icmpv6");
        EXPECT_TRUE(hopByHop || col[1].starts_with(ExpectedProtocols(c))) << col[1];
        if (c == FrameClass::Rarp) {
            EXPECT_EQ(col[2], "0x8035");
        }
        if (c == FrameClass::Igmp4) {
            EXPECT_EQ(col[3], "24");
        }
        // Status 0 is a bad checksum; 2 (unverified) only where bytes are missing.
        for (size_t k = 4; k < 9; ++k) {
            for (const std::string& status : Split(col[k], ',')) {
                EXPECT_NE(status, "0") << "bad checksum in column " << k;
                verified += status == "1";
            }
        }
        if (c != FrameClass::Truncated && !col[3].empty()) {
            EXPECT_TRUE(col[4].starts_with("1")) << "IPv4 header checksum " << col[4];
        }
    }
    EXPECT_GT(verified, count);
}

TEST_F(GenCaptureFileTest, TcpdumpReadsEveryKindWithoutComplaint) {
    if (!HaveTool("tcpdump")) GTEST_SKIP() << "tcpdump is not installed";
    for (CaptureKind kind :
         {CaptureKind::Tcp742, CaptureKind::Mix, CaptureKind::Http, CaptureKind::Http6}) {
        SCOPED_TRACE(std::string(CaptureKindName(kind)));
        const std::string file = Path(std::string(CaptureKindName(kind)) + ".pcap");
        ASSERT_TRUE(WriteCapture(file, kind, 5000, 2));
        const Result r = Run("tcpdump -nn -r " + file);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Complaints(r.err), "");
        EXPECT_EQ(Split(r.out, '\n').size(), 5001u);
    }
}

TEST_F(GenCaptureFileTest, CommandLineToolWritesTheSameFileAsTheLibrary) {
    const std::string tool = TAPWATCH_GEN_TOOL;
    ASSERT_TRUE(fs::exists(tool)) << tool;

    const std::string fromTool = Path("tool.pcap");
    const std::string fromLib = Path("lib.pcap");
    Result r = Run(tool + " --kind mix --count 2500 --seed 77 -o " + fromTool);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(WriteCapture(fromLib, CaptureKind::Mix, 2500, 77));
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(slurp(fromTool), slurp(fromLib));

    // http defaults to its one session; the standard output works too.
    r = Run(tool + " --kind http -o - > " + Path("http.pcap"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(WriteCapture(fromLib, CaptureKind::Http, kHttpSessionFrames, 1));
    EXPECT_EQ(slurp(Path("http.pcap")), slurp(fromLib));
    r = Run(tool + " --kind http6 -o " + Path("http6.pcap"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(WriteCapture(fromLib, CaptureKind::Http6, kHttpSessionFrames, 1));
    EXPECT_EQ(slurp(Path("http6.pcap")), slurp(fromLib));

    r = Run(tool + " --help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--kind tcp742|mix|http"), std::string::npos);
    for (const char* bad :
         {"--kind nope --count 1 -o x", "--kind mix -o x", "--kind mix --count 12z -o x",
          "--kind mix --count 5", "--count 5 -o x", "--kind mix --count 1 --seed", "--bogus"}) {
        r = Run(tool + " " + bad);
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << bad;
    }
    r = Run(tool + " --kind mix --count 10 -o " + Path("missing/dir/x.pcap"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.empty());
}
