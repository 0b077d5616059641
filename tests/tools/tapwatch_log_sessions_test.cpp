// tapwatch-log's conversations: --sessions and --follow as the Decode window
// lists and renders them, with the filters, and within the memory limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "tests/tools/tapwatch_log_tool.h"

namespace {

// Conversations keep the frames (rows, logs and pcap files stream past the limit).
TEST_F(TapwatchLogTest, AFileBeyondTheMemoryLimitKeepsWhatFitsAndSaysSo) {
    const fs::path big = Capture(capture_gen::CaptureKind::Tcp742, 6000, "big.pcap");
    const ToolRun run = Tool("--sessions --memory-limit 2 '" + big.string() + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(
        run.err.find("The capture stopped: the memory set aside for captured packets is full"),
        std::string::npos)
        << run.err;
    size_t rows = 0;  // each session is listed under both its hosts
    for (const std::string& line : Lines(run.out))
        rows += std::stoul(line.substr(line.rfind('\t') + 1));
    EXPECT_GT(rows / 2, 1000u);
    EXPECT_LT(rows / 2, 6000u);
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
        const std::string quoted = std::string("'") + file.string() + "'";

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
    const std::string quoted = std::string("'") + file.string() + "'";
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
