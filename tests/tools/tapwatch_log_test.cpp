// tapwatch-log as a user runs it: the program itself on generated captures,
// its outputs, and how it fails.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/capture_gen/generator.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class TapwatchLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tapwatch-log-test-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    ToolRun Tool(const std::string& args) {
        const fs::path out = dir / "stdout", err = dir / "stderr";
        const std::string command = std::string(TAPWATCH_LOG_TOOL) + " " + args + " > '" +
                                    out.string() + "' 2> '" + err.string() + "'";
        ToolRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        return run;
    }

    fs::path Capture(capture_gen::CaptureKind kind, size_t count, const char* name) {
        const fs::path path = dir / name;
        EXPECT_TRUE(capture_gen::WriteCapture(path.string(), kind, count, 7));
        return path;
    }

    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    fs::path dir;
};

TEST_F(TapwatchLogTest, RowsHaveEightCellsAndConsecutiveNumbers) {
    const fs::path file = Capture(capture_gen::CaptureKind::Mix, 500, "mix.pcap");
    const ToolRun run = Tool("--rows '" + file.string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 500u);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> cells;
        std::istringstream row(lines[i]);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        if (lines[i].back() == '\t') cells.emplace_back();
        ASSERT_EQ(cells.size(), 8u) << lines[i];
        ASSERT_EQ(cells[0], std::to_string(i));
    }
    // Time counts from the first packet's timestamp.
    EXPECT_EQ(lines.front().substr(lines.front().rfind('\t') + 1), "0");
}

TEST_F(TapwatchLogTest, FilterAndContainsKeepTheirFrames) {
    const fs::path file = Capture(capture_gen::CaptureKind::Mix, 2000, "mix.pcap");
    const ToolRun udp = Tool("--rows --filter 'udp and not ip6' '" + file.string() + "'");
    ASSERT_EQ(udp.status, 0) << udp.err;
    const std::vector<std::string> rows = Lines(udp.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_LT(rows.size(), 2000u);
    size_t datagrams = 0;
    for (const std::string& row : rows) {
        // Later fragments and headers cut short match the filter but decode
        // no UDP header; nothing else gets through.
        const bool udpRow = row.find("\tIPv4\tUDP\t") != std::string::npos;
        datagrams += udpRow;
        EXPECT_TRUE(udpRow || row.find("\tTCP\t") == std::string::npos) << row;
    }
    EXPECT_GT(datagrams, rows.size() / 2);

    const ToolRun get = Tool("--contains 'GET /' '" + file.string() + "'");
    ASSERT_EQ(get.status, 0) << get.err;
    size_t packets = 0;
    for (size_t at = get.out.find("<Packet>"); at != std::string::npos;) {
        const size_t end = get.out.find("</Packet>", at);
        ASSERT_NE(end, std::string::npos);
        // Every kept payload holds the text: its printable form shows "GET./".
        EXPECT_NE(get.out.substr(at, end - at).find("<Raw desc=\"Raw data\">GET./"), std::string::npos);
        ++packets;
        at = get.out.find("<Packet>", end);
    }
    EXPECT_GT(packets, 0u);
    EXPECT_LT(packets, 2000u);
}

TEST_F(TapwatchLogTest, LogIsOneLineWithDeclarationAndComments) {
    const fs::path file = Capture(capture_gen::CaptureKind::Http, 13, "http.pcap");
    const fs::path out = dir / "log.xml";
    const ToolRun run = Tool("-o '" + out.string() + "' '" + file.string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string log = ReadFile(out);
    EXPECT_TRUE(log.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?><!--"));
    EXPECT_NE(log.find("Tapwatch 1.1"), std::string::npos);
    EXPECT_EQ(log.find('\n'), std::string::npos);
    EXPECT_EQ(log.find('\r'), std::string::npos);
    EXPECT_TRUE(log.ends_with("</Packet></Packets>"));
    EXPECT_TRUE(run.out.empty());
}

TEST_F(TapwatchLogTest, FailuresSayWhyAndLeaveTheOutputAlone) {
    const fs::path file = Capture(capture_gen::CaptureKind::Mix, 50, "mix.pcap");
    const fs::path out = dir / "old.xml";
    std::ofstream(out) << "previous log";

    ToolRun run = Tool("--filter 'tcp port' -o '" + out.string() + "' '" + file.string() + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err, "tapwatch-log: Unable to compile the packet filter. Check the syntax\n");
    EXPECT_EQ(ReadFile(out), "previous log");

    run = Tool("'" + (dir / "missing.pcap").string() + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;

    // A capture of raw IP packets, not Ethernet frames.
    const fs::path raw = dir / "raw.pcap";
    pcap_t* dead = pcap_open_dead(DLT_RAW, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, raw.c_str());
    ASSERT_NE(dumper, nullptr);
    pcap_dump_close(dumper);
    pcap_close(dead);
    run = Tool("'" + raw.string() + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err, "tapwatch-log: This capture does not hold Ethernet frames\n");

    // An output that cannot be written: a full device, and a missing folder.
    run = Tool("-o /dev/full '" + file.string() + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("tapwatch-log: "), std::string::npos);
    run = Tool("-o '" + (dir / "no" / "such.xml").string() + "' '" + file.string() + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_FALSE(fs::exists(dir / "no"));
}

TEST_F(TapwatchLogTest, ReplacedOutputKeepsItsPermissionsAndLeavesNoTemporaryFile) {
    const fs::path file = Capture(capture_gen::CaptureKind::Mix, 200, "mix.pcap");
    const fs::path out = dir / "log.xml";
    std::ofstream(out) << "old";
    ASSERT_EQ(chmod(out.c_str(), 0640), 0);
    const ToolRun run = Tool("-o '" + out.string() + "' '" + file.string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat st {};
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(ReadFile(out).starts_with("<?xml"));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 4u);  // mix.pcap, log.xml, stdout, stderr
}

std::string Golden(const std::string& name) {
    return ReadFile(fs::path(TAPWATCH_SOURCE_DIR) / "tests/sessions/golden" / name);
}

TEST_F(TapwatchLogTest, SessionsAndFollowWriteTheDecodeWindowsRowsAndRendering) {
    // Seed 4, as the golden texts, over IPv4 and over IPv6.
    for (const auto& [kind, family] : {std::pair{capture_gen::CaptureKind::Http, "http4"},
                                       std::pair{capture_gen::CaptureKind::Http6, "http6"}}) {
        SCOPED_TRACE(family);
        const fs::path file = dir / (std::string(family) + ".pcap");
        ASSERT_TRUE(capture_gen::WriteCapture(file.string(), kind, 13, 4));
        const std::string quoted = "'" + file.string() + "'";

        ToolRun run = Tool("--sessions " + quoted);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, Golden(std::string(family) + "_sessions.txt"));
        // Standard input works as a file does.
        run = Tool("--sessions - < " + quoted);
        EXPECT_EQ(run.out, Golden(std::string(family) + "_sessions.txt"));

        for (int style = 0; style < 4; ++style) {
            for (const bool hex : {false, true}) {
                const std::string name = std::string(family) + "_style" + std::to_string(style) +
                                         (hex ? "_hex.txt" : "_ascii.txt");
                run = Tool("--follow 0 --style " + std::to_string(style) + (hex ? " --hex " : " ") +
                           quoted);
                ASSERT_EQ(run.status, 0) << run.err;
                EXPECT_EQ(run.out, Golden(name)) << name;
            }
        }
        // The default is the window's first style; line 1 is the same session
        // under its other host, rendered the same; stdin and -o work.
        EXPECT_EQ(Tool("--follow 0 " + quoted).out,
                  Golden(std::string(family) + "_style0_ascii.txt"));
        EXPECT_EQ(Tool("--follow 1 --hex - < " + quoted).out,
                  Golden(std::string(family) + "_style0_hex.txt"));
        const fs::path out = dir / "follow.txt";
        run = Tool("--follow 1 --style 3 -o '" + out.string() + "' " + quoted);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(ReadFile(out), Golden(std::string(family) + "_style3_ascii.txt"));
    }
}

TEST_F(TapwatchLogTest, SessionsAndFollowTakeTheFilterAndRefuseWhatIsNotThere) {
    // Two sessions of the HTTP-like exchange, client ports 1042 and 1043.
    const fs::path file = Capture(capture_gen::CaptureKind::Http, 26, "two.pcap");
    const std::string quoted = "'" + file.string() + "'";
    ToolRun run = Tool("--sessions " + quoted);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "10.0.0.5\t1042 -> 192.168.1.1[80]\t13\n"
              "10.0.0.5\t1043 -> 192.168.1.1[80]\t13\n"
              "192.168.1.1\t80 -> 10.0.0.5[1042]\t13\n"
              "192.168.1.1\t80 -> 10.0.0.5[1043]\t13\n");
    run = Tool("--sessions --filter 'tcp port 1043 and tcp[tcpflags] & tcp-push != 0' " + quoted);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "10.0.0.5\t1043 -> 192.168.1.1[80]\t2\n"
              "192.168.1.1\t80 -> 10.0.0.5[1043]\t2\n");
    run = Tool("--follow 3 --style 2 " + quoted);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(
        run.out.starts_with("Reassembled TCP session (13 packets)\n"
                            "[0] Source 10.0.0.5 :1043\n"))
        << run.out;

    // A line the listing does not have: one line on stderr, no output.
    for (const char* args : {"--follow 4 ", "--follow 2 --filter 'tcp port 1042' "}) {
        run = Tool(args + quoted);
        EXPECT_NE(run.status, 0) << args;
        EXPECT_TRUE(run.out.empty()) << args;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.err.starts_with("tapwatch-log: ")) << run.err;
    }
    run = Tool("--follow 0 --filter udp " + quoted);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err, "tapwatch-log: no session 0: the capture has 0 session lines\n");
    // An empty listing is no failure.
    run = Tool("--sessions --filter udp " + quoted);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.empty());

    for (const char* misuse :
         {"--follow", "--follow x", "--follow -1", "--follow 0 --style 4", "--follow 0 --style",
          "--hex", "--sessions --style 1", "--sessions --rows"}) {
        run = Tool(std::string(misuse) + " " + quoted);
        EXPECT_NE(run.status, 0) << misuse;
        EXPECT_TRUE(run.out.empty()) << misuse;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << misuse << run.err;
    }
}

}  // namespace
