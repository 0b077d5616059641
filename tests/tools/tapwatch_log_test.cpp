// tapwatch-log as a user runs it: the program itself on generated captures,
// its outputs, and how it fails.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/pcap_compile_error.h"
#include "tests/tools/tapwatch_log_tool.h"

using namespace std::chrono_literals;

namespace {

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

TEST_F(TapwatchLogTest, Ipv6AddressCellsAreWhatTsharkWrites) {
    if (std::system("command -v tshark > /dev/null") != 0) GTEST_SKIP() << "needs tshark";
    const fs::path file = Capture(capture_gen::CaptureKind::Http6, 200, "http6.pcap");
    const std::vector<std::string> ours = Lines(Tool("--rows '" + file.string() + "'").out);
    const std::vector<std::string> theirs =
        Lines(Tool("--help > /dev/null; tshark -n -r '" + file.string() +
                   "' -T fields -E separator=/t -e ipv6.src -e ipv6.dst")
                  .out);
    ASSERT_EQ(ours.size(), 200u);
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        std::vector<std::string> cells;
        std::istringstream row(ours[i]);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        ASSERT_GE(cells.size(), 5u);
        EXPECT_EQ(cells[3] + "\t" + cells[4], theirs[i]) << i;
    }
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
        EXPECT_NE(get.out.substr(at, end - at).find("<Raw desc=\"Raw data\">GET./"),
                  std::string::npos);
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
    EXPECT_EQ(run.err, "tapwatch-log: Unable to compile the packet filter. Check the syntax\n" +
                           PcapCompileError("tcp port") + "\n");
    EXPECT_EQ(ReadFile(out), "previous log");

    run = Tool("'" + (dir / "missing.pcap").string() + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;

    // A capture of a link type not decoded: 802.11.
    const fs::path raw = dir / "raw.pcap";
    pcap_t* dead = pcap_open_dead(DLT_IEEE802_11, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, raw.c_str());
    ASSERT_NE(dumper, nullptr);
    pcap_dump_close(dumper);
    pcap_close(dead);
    run = Tool("'" + raw.string() + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err, "tapwatch-log: This capture does not hold Ethernet frames\nIEEE802_11\n");

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

// The program started with its standard output on a pipe the test reads as
// it goes.
class Running {
  public:
    Running(const std::string& args, const fs::path& err) {
        int out[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl("/bin/sh", "sh", "-c",
                  (std::string("exec ") + TAPWATCH_LOG_TOOL + " " + args + " 2> '" + err.string() +
                   "'")
                      .c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        m_out = out[0];
    }
    ~Running() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
        close(m_out);
    }
    // What the program wrote within `timeout`, up to `lines` lines.
    std::string ReadLines(size_t lines, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (static_cast<size_t>(std::count(m_text.begin(), m_text.end(), '\n')) < lines) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd fd{m_out, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[4096];
            const ssize_t n = read(m_out, buffer, sizeof buffer);
            if (n <= 0) break;
            m_text.append(buffer, static_cast<size_t>(n));
        }
        return m_text;
    }
    void Signal(int signal) { kill(m_pid, signal); }
    // The exit status; -1 when it did not exit normally.
    int Wait(rusage* usage = nullptr) {
        int status = 0;
        rusage ignored{};
        wait4(m_pid, &status, 0, usage != nullptr ? usage : &ignored);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_text;
};

// Writes `bytes` to `fd` whole.
void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<size_t>(n);
    }
}

// Offsets at which the frames of a pcap file end (after the file header).
std::vector<size_t> PcapFrameEnds(const std::string& file) {
    std::vector<size_t> ends;
    size_t at = 24;
    while (at + 16 <= file.size()) {
        uint32_t caplen = 0;
        std::memcpy(&caplen, file.data() + at + 8, 4);
        at += 16 + caplen;
        ends.push_back(at);
    }
    return ends;
}

TEST_F(TapwatchLogTest, RowsOfAStreamComeOutAsItsFramesArriveFromAFifoOrStandardInput) {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 200, "stream.pcap");
    const fs::path pcapng = dir / "stream.pcapng";
    ASSERT_EQ(std::system(
                  ("editcap -F pcapng '" + pcap.string() + "' '" + pcapng.string() + "'").c_str()),
              0);
    const std::vector<std::string> expected = Lines(Tool("--rows '" + pcap.string() + "'").out);
    ASSERT_EQ(expected.size(), 200u);

    for (const fs::path& file : {pcap, pcapng}) {
        for (const bool fifo : {true, false}) {
            SCOPED_TRACE(file.filename().string() +
                         (fifo ? " through a FIFO" : " on standard input"));
            const std::string bytes = ReadFile(file);
            const fs::path path = dir / "fifo";
            int writer = -1;
            std::unique_ptr<Running> running;
            if (fifo) {
                ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
                running = std::make_unique<Running>("--rows '" + path.string() + "'", dir / "err");
                writer = open(path.c_str(), O_WRONLY);
            } else {
                int in[2];
                // Close-on-exec: the program must hold only its standard input.
                ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
                const int saved = dup(STDIN_FILENO);
                dup2(in[0], STDIN_FILENO);
                close(in[0]);
                running = std::make_unique<Running>("--rows -", dir / "err");
                dup2(saved, STDIN_FILENO);
                close(saved);
                writer = in[1];
            }
            ASSERT_GE(writer, 0);
            // The first half, then nothing: its rows must come out while the
            // writer still holds the stream open.
            const size_t half = file == pcap ? PcapFrameEnds(bytes)[99] : bytes.size() / 2;
            WriteAll(writer, bytes.substr(0, half));
            std::string earlyText = running->ReadLines(file == pcap ? 100 : 50, 5s);
            earlyText.erase(earlyText.rfind('\n') + 1);  // whole lines only
            const std::vector<std::string> early = Lines(earlyText);
            ASSERT_GE(early.size(), file == pcap ? 100u : 50u)
                << "rows held back until the stream ends";
            for (size_t i = 0; i < early.size(); ++i) EXPECT_EQ(early[i], expected[i]);
            WriteAll(writer, bytes.substr(half));
            close(writer);
            EXPECT_EQ(Lines(running->ReadLines(200, 5s)), expected);
            EXPECT_EQ(running->Wait(), 0) << ReadFile(dir / "err");
            fs::remove(path);
        }
    }
}

TEST_F(TapwatchLogTest, ACutShortStreamKeepsItsWholeFramesAndFails) {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 50, "cut.pcap");
    const std::string bytes = ReadFile(pcap);
    const size_t cut = PcapFrameEnds(bytes)[29] + 20;  // inside frame 31
    std::ofstream(dir / "cut-short.pcap", std::ios::binary) << bytes.substr(0, cut);
    const ToolRun run = Tool("--rows - < '" + (dir / "cut-short.pcap").string() + "'");
    EXPECT_NE(run.status, 0);
    const std::vector<std::string> lines = Lines(run.out);
    const std::vector<std::string> all = Lines(Tool("--rows '" + pcap.string() + "'").out);
    EXPECT_EQ(lines, std::vector<std::string>(all.begin(), all.begin() + 30));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("cut short after 30 packets"), std::string::npos) << run.err;
}

TEST_F(TapwatchLogTest, ASignalEndsASilentStreamAndWhatWasKeptIsWritten) {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 40, "quiet.pcap");
    const std::string bytes = ReadFile(pcap);
    const fs::path fifo = dir / "quiet", out = dir / "kept.pcap", log = dir / "kept.xml";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const int signal : {SIGINT, SIGTERM}) {
        Running running(
            "-w '" + out.string() + "' -o '" + log.string() + "' '" + fifo.string() + "'",
            dir / "err");
        const int writer = open(fifo.c_str(), O_WRONLY);
        // 25 whole frames and half of the next, then silence with the writer open.
        WriteAll(writer, bytes.substr(0, PcapFrameEnds(bytes)[24] + 30));
        std::this_thread::sleep_for(300ms);
        running.Signal(signal);
        EXPECT_EQ(running.Wait(), 0) << ReadFile(dir / "err");
        close(writer);
        const ToolRun kept = Tool("--rows '" + out.string() + "'");
        ASSERT_EQ(kept.status, 0) << kept.err;
        EXPECT_EQ(Lines(kept.out).size(), 25u);
        EXPECT_NE(ReadFile(log).find("</Packets>"), std::string::npos);
    }
}

TEST_F(TapwatchLogTest, PcapOutputHoldsTheSameFramesAndTimestampsForTcpdump) {
    const fs::path in = Capture(capture_gen::CaptureKind::Mix, 300, "in.pcap");
    const fs::path out = dir / "out.pcap";
    // -w alone writes nothing else.
    const ToolRun run = Tool("-w '" + out.string() + "' '" + in.string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const auto dump = [&](const fs::path& file) {
        return Tool("--help > /dev/null; tcpdump -r '" + file.string() + "' -tt --nano -n -xx -v")
            .out;
    };
    const std::string original = dump(in);
    ASSERT_NE(original.find("0x0000"), std::string::npos);
    EXPECT_EQ(dump(out), original);
    EXPECT_EQ(Tool("--rows '" + out.string() + "'").out, Tool("--rows '" + in.string() + "'").out);
    // Nanosecond precision in the file header.
    const std::string bytes = ReadFile(out);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x4d);
    EXPECT_EQ(static_cast<unsigned char>(bytes[3]), 0xa1);

    // With --rows both are written.
    fs::remove(out);
    const ToolRun both = Tool("--rows -w '" + out.string() + "' '" + in.string() + "'");
    EXPECT_EQ(Lines(both.out).size(), 300u);
    EXPECT_EQ(dump(out), original);
}

// A pcapng file of one ARP frame per timestamp, in units of 10^-`digits` s.
std::string PcapngOf(int digits, const std::vector<uint64_t>& stamps) {
    std::string file;
    const auto u32 = [&](uint32_t v) { file.append(reinterpret_cast<const char*>(&v), 4); };
    u32(0x0A0D0D0A), u32(28), u32(0x1A2B3C4D), u32(1), u32(~0u), u32(~0u), u32(28);  // section
    u32(1), u32(32), u32(1), u32(65535), u32(0x00010009), u32(static_cast<uint32_t>(digits));
    u32(0), u32(32);  // interface: Ethernet, if_tsresol
    const std::string frame = std::string(12, '\x02') + "\x08\x06" + std::string(46, '\0');
    for (const uint64_t stamp : stamps) {
        u32(6), u32(32 + 60), u32(0), u32(static_cast<uint32_t>(stamp >> 32));
        u32(static_cast<uint32_t>(stamp)), u32(60), u32(60);
        file += frame;
        u32(32 + 60);
    }
    return file;
}

TEST_F(TapwatchLogTest, TimeCellsAreTheRelativeTimeTsharkReadsCutToWholeMilliseconds) {
    struct Case {
        int digits;
        std::vector<uint64_t> stamps;
    } const cases[] = {
        // A damaged header's stamp 68 billion seconds after the epoch.
        {6, {1'480'520'108'000'000, 1'480'520'108'001'999, 68'470'465'054'123'456}},
        // Nanoseconds, and a frame stamped before the first.
        {9,
         {1'600'000'000'999'999'999, 1'600'000'001'000'000'000, 1'599'999'999'500'000'000,
          1'600'086'400'123'456'789}},
    };
    if (std::system("command -v tshark > /dev/null") != 0) GTEST_SKIP() << "needs tshark";
    for (const Case& c : cases) {
        const fs::path file = dir / ("times" + std::to_string(c.digits) + ".pcapng");
        std::ofstream(file, std::ios::binary) << PcapngOf(c.digits, c.stamps);
        const ToolRun rows = Tool("--rows '" + file.string() + "'");
        ASSERT_EQ(rows.status, 0) << rows.err;
        const ToolRun relative = Tool("--help > /dev/null; tshark -n -r '" + file.string() +
                                      "' -T fields -e frame.time_relative");
        const std::vector<std::string> ours = Lines(rows.out), theirs = Lines(relative.out);
        ASSERT_EQ(ours.size(), c.stamps.size());
        ASSERT_EQ(theirs.size(), c.stamps.size()) << relative.err;
        for (size_t i = 0; i < ours.size(); ++i) {
            // "S.fffffffff", negative before the first frame: those read 0.
            const std::string& t = theirs[i];
            const std::string ms =
                t[0] == '-' ? "0" : t.substr(0, t.find('.')) + t.substr(t.find('.') + 1, 3);
            EXPECT_EQ(ours[i].substr(ours[i].rfind('\t') + 1), std::to_string(std::stoull(ms)))
                << c.digits << " " << t;
        }
    }
}

// As root on loopback: the live capture under a flood, its rows written as
// they come within the memory limit.
TEST_F(TapwatchLogTest, ALiveCaptureWritesEveryRowItTookInWithinItsMemoryLimit) {
    if (geteuid() != 0) GTEST_SKIP() << "live capture needs root";
    const int sink = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(sink, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t n = sizeof a;
    getsockname(sink, reinterpret_cast<sockaddr*>(&a), &n);
    const std::string port = std::to_string(ntohs(a.sin_port));
    const fs::path rows = dir / "rows.txt";
    Running running("-i lo --duration 4 --memory-limit 32 --rows -o '" + rows.string() +
                        "' --filter 'udp port " + port + "'",
                    dir / "err");
    std::this_thread::sleep_for(1s);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        const std::string payload(8000, 'f');
        while (!stop)
            sendto(s, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
        close(s);
    });
    rusage usage{};
    const int status = running.Wait(&usage);
    stop = true;
    flood.join();
    close(sink);
    const std::string err = ReadFile(dir / "err");
    EXPECT_EQ(status, 0) << err;
    // The closing line of counts, and every row it stored written.
    const size_t at = err.find(" rows stored");
    ASSERT_NE(at, std::string::npos) << err;
    const size_t start = err.rfind(", ", at) + 2;
    const size_t stored = std::stoul(err.substr(start, at - start));
    EXPECT_GT(stored, 1000u);
    EXPECT_EQ(Lines(ReadFile(rows)).size(), stored);
    EXPECT_NE(err.find(" frames received, "), std::string::npos);
    EXPECT_LE(usage.ru_maxrss, (32 + 64) * 1024) << "peak resident KiB";
}

}  // namespace
