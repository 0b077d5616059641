// tapwatch-log's streamed outputs: a capture far larger than the memory limit
// is written whole and byte for byte as the kept capture saves it, and -Y
// writes the frames tcpdump's reading of the same expression matches.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture_files/capture_file_reader.h"
#include "capture_files/pcap_save.h"
#include "common/shared_text.h"
#include "intake/packet_row.h"
#include "tools/capture_gen/generator.h"
#include "xml/capture_log.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A path in single quotes, for the shell.
std::string Quoted(const fs::path& path) {
    std::string quoted = "'";
    quoted += path.string();
    quoted += '\'';
    return quoted;
}

// Standard output of a shell command; fails the test when it exits non-zero.
std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[1 << 16];
    for (size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return out;
}

class TapwatchLogStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tapwatch-log-stream-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Tool(const std::string& args) {
        return Output(std::string(TAPWATCH_LOG_TOOL) + " " + args + " 2> '" +
                      (dir / "err").string() + "'");
    }
    fs::path dir;
};

TEST_F(TapwatchLogStreamTest, ACaptureManyTimesTheMemoryLimitIsWrittenWholeAsTheKeptCaptureIs) {
    // About 6 MB of frames against a limit of 1 MiB.
    const fs::path in = dir / "big.pcap";
    ASSERT_TRUE(capture_gen::WriteCapture(in.string(), capture_gen::CaptureKind::Tcp742, 8000, 7));
    ASSERT_GT(fs::file_size(in), 5u << 20);

    // The kept path: the whole capture in a store, saved as the window saves it.
    PacketStore store;
    const SharedText nothing{std::string()};
    PacketIntake intake(store, nothing);
    CaptureFileReader reader;
    ASSERT_EQ(reader.Read(in.string(), "", intake).end, CaptureFileEnd::Finished);
    const std::vector<StoredPacket> kept = store.Snapshot();
    ASSERT_EQ(kept.size(), 8000u);
    std::string rows;
    PacketRow row;
    for (size_t i = 0; i < kept.size(); ++i) {
        BuildRow(kept[i], i, row);
        for (int c = 0; c < COL_COUNT; ++c) {
            if (c > 0) rows += '\t';
            rows += row.Cell(c);
        }
        rows += '\n';
    }
    ASSERT_EQ(SaveCaptureLog((dir / "kept.xml").string(), kept), SAVE_OK);
    ASSERT_EQ(SaveCapturePcap((dir / "kept.pcap").string(), kept, store.LinkType()), SAVE_OK);

    // A file and a stream, each output on its own and beside another.
    const std::string file = Quoted(in), stream = "- < " + Quoted(in);
    const std::string xml = (dir / "out.xml").string(), pcap = (dir / "out.pcap").string();
    for (const std::string& input : {file, stream}) {
        SCOPED_TRACE(input);
        EXPECT_EQ(Tool("--memory-limit 1 --rows -w '" + pcap + "' " + input), rows);
        EXPECT_EQ(ReadFile(dir / "err"), "");
        EXPECT_EQ(ReadFile(pcap), ReadFile(dir / "kept.pcap"));
        EXPECT_EQ(Tool("--memory-limit 1 -o '" + xml + "' " + input), "");
        EXPECT_EQ(ReadFile(xml), ReadFile(dir / "kept.xml"));
        fs::remove(xml);
        fs::remove(pcap);
    }
}

TEST_F(TapwatchLogStreamTest, DisplayFilterWritesTheFramesTcpdumpMatchesKeepingTheirNumbers) {
    const fs::path in = dir / "mix.pcap";
    ASSERT_TRUE(capture_gen::WriteCapture(in.string(), capture_gen::CaptureKind::Mix, 3000, 7));
    const std::string file = Quoted(in);
    // Each frame's line as tcpdump prints it (absolute sequence numbers, which
    // do not depend on the frames printed before), by row number.
    const std::vector<std::string> all =
        Lines(Output("tcpdump -n -S -tt --nano -r " + file + " 2>&-"));
    ASSERT_EQ(all.size(), 3000u);
    const std::string out = (dir / "out.pcap").string();
    for (const char* expression : {"udp", "tcp port 80 and ip6", "arp or icmp", "greater 600",
                                   "tcp[tcpflags] & tcp-syn != 0", "not ip"}) {
        SCOPED_TRACE(expression);
        const std::string matched =
            Output("tcpdump -n -S -tt --nano -r " + file + " '" + expression + "' 2>&-");
        ASSERT_FALSE(matched.empty());
        std::string ours;
        for (const std::string& line :
             Lines(Tool("--rows -Y '" + std::string(expression) + "' -w '" + out + "' " + file)))
            ours += all.at(std::stoul(line.substr(0, line.find('\t')))) + '\n';
        EXPECT_EQ(ours, matched);
        EXPECT_EQ(Output("tcpdump -n -S -tt --nano -r '" + out + "' 2>&-"), matched);
    }
}

}  // namespace
