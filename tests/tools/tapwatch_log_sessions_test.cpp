// tapwatch-log's conversations: --sessions and --follow as the Decode window
// lists and renders them, with the filters, and within the memory limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "capture_files/capture_file_reader.h"
#include "common/shared_text.h"
#include "intake/packet_intake.h"
#include "sessions/session_table.h"
#include "tests/tools/tapwatch_log_tool.h"
#include "tools/tapwatch_log/session_output.h"

namespace {

// The kept path, as the Decode window takes a capture: every frame in a store.
PacketSnapshot KeptCapture(const fs::path& file, const std::string& filter) {
    PacketStore store;
    const SharedText nothing{std::string()};
    PacketIntake intake(store, nothing);
    CaptureFileReader reader;
    EXPECT_EQ(reader.Read(file.string(), filter, intake).end, CaptureFileEnd::Finished);
    PacketSnapshot roots;
    for (const StoredPacket& packet : store.Snapshot()) roots.push_back(packet.root);
    return roots;
}

// The window's session list over the kept capture, as --sessions writes it.
std::vector<std::string> WindowListing(const PacketSnapshot& roots) {
    const CSessionTable table(roots);
    std::vector<std::string> lines;
    for (int h = 0; h < static_cast<int>(table.Hosts().size()); ++h)
        for (const TcpSession& session : table.ListSessions(h))
            lines.push_back(table.Hosts()[h].Text() + '\t' + table.SessionRowText(h, session) +
                            '\t' + std::to_string(table.SessionPacketCount(session)) + '\n');
    return lines;
}

std::string WindowFollow(const PacketSnapshot& roots, unsigned long line, bool hex) {
    SessionOutputOptions options;
    options.hex = hex;
    std::string error;
    return FollowText(options, roots, line, error).value_or(error);
}

// Every frame is let go once grouped; only the followed session's frames are
// kept, read again from a file, kept in the only read of a stream.
TEST_F(TapwatchLogTest, SessionsAndFollowWriteWhatTheKeptCaptureGivesFromAFileOrAStream) {
    const fs::path file = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    const std::string quoted = std::string("'") + file.string() + "'";
    for (const std::string filter : {"", "tcp[tcpflags] & tcp-push != 0"}) {
        SCOPED_TRACE(filter);
        const PacketSnapshot kept = KeptCapture(file, filter);
        const std::vector<std::string> listing = WindowListing(kept);
        ASSERT_GT(listing.size(), 20u);
        const std::string args = "--filter '" + filter + "' ";
        std::string all;
        for (const std::string& line : listing) all += line;
        EXPECT_EQ(Tool("--sessions " + args + quoted).out, all);
        EXPECT_EQ(Tool("--sessions " + args + "- < " + quoted).out, all);
        for (const size_t line : {size_t{0}, listing.size() / 2, listing.size() - 1}) {
            const std::string follow = "--follow " + std::to_string(line) + " --hex " + args;
            const std::string expected = WindowFollow(kept, line, true);
            EXPECT_EQ(Tool(follow + quoted).out, expected) << line;
            EXPECT_EQ(Tool(follow + "- < " + quoted).out, expected) << line;
        }
    }
}

// A file is read twice for the session it follows; a stream keeps the
// sessions that may still be the line asked for, few for an early line.
TEST_F(TapwatchLogTest, ACaptureSeveralTimesTheMemoryLimitListsItsSessionsAndFollowsOneWhole) {
    const fs::path big = Capture(capture_gen::CaptureKind::Mix, 20000, "big.pcap");
    ASSERT_GT(fs::file_size(big), 6u << 20);
    const PacketSnapshot kept = KeptCapture(big, "");
    const std::vector<std::string> listing = WindowListing(kept);
    std::string all;
    std::vector<size_t> counts;
    for (const std::string& line : listing) {
        all += line;
        counts.push_back(std::stoul(line.substr(line.rfind('\t') + 1)));
    }
    const std::string quoted = std::string("'") + big.string() + "'";
    ToolRun run = Tool("--sessions --memory-limit 2 " + quoted);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_EQ(run.out, all);
    const auto longest = [&counts](size_t lines) {
        return static_cast<size_t>(std::max_element(counts.begin(), counts.begin() + lines) -
                                   counts.begin());
    };
    for (const auto& [line, input] :
         {std::pair{longest(counts.size()), quoted}, std::pair{longest(10), "- < " + quoted}}) {
        const std::string expected = WindowFollow(kept, line, false);
        ASSERT_TRUE(expected.starts_with("Reassembled TCP session (" +
                                         std::to_string(counts[line]) + " packets)"));
        run = Tool("--follow " + std::to_string(line) + " --memory-limit 2 " + input);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.err.empty()) << run.err;
        EXPECT_TRUE(run.out == expected) << input << " line " << line;
    }
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
