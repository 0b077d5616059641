// Capture files behind the main window, with a recording window: opening
// generated pcap and pcapng files, files that fail, and streams through a FIFO
// and standard input.
#include "app/capture_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "capture/capture_state.h"
#include "tests/app/capture_source_fixture.h"
#include "tests/common/pcap_compile_error.h"
#include "tools/capture_gen/generator.h"

namespace {

// ---------------------------------------------------------------------------
// Opening files

TEST_F(CaptureSourceTest, OpenedFileFillsTheStoreInFileOrderUnderAProgress) {
    const fs::path path = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    files.openPath = path.string();
    Source().OnOpen();
    EXPECT_EQ(files.openAsked, 1);
    EXPECT_TRUE(files.progressShown);
    EXPECT_EQ(files.progressTotal, fs::file_size(path));
    ASSERT_TRUE(window.PumpUntil([this] { return !Source().Busy(); }, 30s));
    EXPECT_FALSE(files.progressShown);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(files.captureName, "mix.pcap");

    // Every frame, in the order tcpdump reads them, the frame bytes kept.
    const std::string expected = Tcpdump(path);
    ASSERT_EQ(store.Count(),
              LineCount(Output("tcpdump -n -r '" + path.string() + "' 2>/dev/null")));
    const fs::path saved = dir / "saved.pcap";
    ASSERT_EQ(SaveCapturePcap(saved.string(), store.Snapshot(), store.LinkType()), SAVE_OK);
    EXPECT_EQ(Tcpdump(saved), expected);
    // Time counts from the file's first frame.
    EXPECT_EQ(store.At(0)->elapsedMs, 0u);
    // A file can be read again: nothing to ask about.
    EXPECT_EQ(Source().Guard().Unsaved(), 0u);
    EXPECT_TRUE(Source().ConfirmClose());
    EXPECT_TRUE(files.questions.empty());
    // Live controls are left alone by a file.
    EXPECT_TRUE(window.buttonCaption.empty());
}

TEST_F(CaptureSourceTest, PcapngOpensWithTheSameRowsAsPcap) {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 1500, "mix.pcap");
    const fs::path pcapng = dir / "mix.pcapng";
    ASSERT_EQ(std::system(
                  ("editcap -F pcapng '" + pcap.string() + "' '" + pcapng.string() + "'").c_str()),
              0);
    ASSERT_TRUE(OpenAndWait(pcapng));
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(files.captureName, "mix.pcapng");
    const fs::path saved = dir / "saved.pcap";
    ASSERT_EQ(SaveCapturePcap(saved.string(), store.Snapshot(), store.LinkType()), SAVE_OK);
    EXPECT_EQ(Tcpdump(saved), Tcpdump(pcap));
    EXPECT_EQ(LogRows(saved), LogRows(pcap));
}

TEST_F(CaptureSourceTest, FilterAndDataContainsApplyToAFile) {
    const fs::path path = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    filter.Set("udp");
    ASSERT_TRUE(OpenAndWait(path));
    const size_t udp = LineCount(Output("tcpdump -n -r '" + path.string() + "' udp 2>/dev/null"));
    ASSERT_GT(udp, 0u);
    EXPECT_EQ(store.Count(), udp);

    filter.Set("tcp port 80");
    contains.Set("HTTP/1.1");
    ASSERT_TRUE(OpenAndWait(path));
    const size_t port80 =
        LineCount(Output("tcpdump -n -r '" + path.string() + "' tcp port 80 2>/dev/null"));
    EXPECT_GT(store.Count(), 0u);
    EXPECT_LT(store.Count(), port80);

    const size_t kept = store.Count();
    filter.Set("port nonsense");
    contains.Set("");
    ASSERT_TRUE(OpenAndWait(path));
    EXPECT_EQ(store.Count(), kept);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Unable to compile the packet filter. Check the syntax\n" +
                                           PcapCompileError("port nonsense"));
    EXPECT_EQ(window.messages[0].caption, "Error");
}

TEST_F(CaptureSourceTest, FilesThatCannotBeReadSayWhyAndLeaveTheListAsItWas) {
    ASSERT_TRUE(OpenAndWait(Capture(capture_gen::CaptureKind::Mix, 100, "mix.pcap")));
    // The rows, the caption and the source shown stay those of this file.
    const auto stillShowsMix = [this] {
        EXPECT_EQ(store.Count(), 100u);
        EXPECT_EQ(files.captureName, "mix.pcap");
        EXPECT_EQ(files.shown.kind, SourceKind::File);
        EXPECT_EQ(files.shown.name, "mix.pcap");
    };
    // Missing, and not a capture at all.
    const fs::path text = dir / "notes.txt";
    std::ofstream(text) << "not a capture file, only words\n";
    for (const fs::path& path : {dir / "missing.pcap", text}) {
        window.messages.clear();
        ASSERT_TRUE(OpenAndWait(path));
        ASSERT_EQ(window.messages.size(), 1u) << path;
        EXPECT_EQ(window.messages[0].text, "Couldn't open the capture file !");
        EXPECT_EQ(window.messages[0].caption, "Error");
        stillShowsMix();
        EXPECT_FALSE(files.progressShown);
    }

    // 802.11 frames, a link type not decoded.
    const fs::path raw = dir / "raw.pcap";
    {
        pcap_t* dead = pcap_open_dead(DLT_IEEE802_11, 65535);
        pcap_dumper_t* dumper = pcap_dump_open(dead, raw.c_str());
        ASSERT_NE(dumper, nullptr);
        const unsigned char packet[20] = {0x45, 0, 0, 20, 0, 0, 0, 0, 64, 17};
        pcap_pkthdr header{};
        header.caplen = header.len = sizeof packet;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, packet);
        pcap_dump_close(dumper);
        pcap_close(dead);
    }
    window.messages.clear();
    ASSERT_TRUE(OpenAndWait(raw));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "This capture does not hold Ethernet frames\nIEEE802_11");
    EXPECT_EQ(window.messages[0].caption, "Error");
    stillShowsMix();
}

TEST_F(CaptureSourceTest, TruncatedFileKeepsTheFramesBeforeTheDamage) {
    const fs::path path = Capture(capture_gen::CaptureKind::Tcp742, 1000, "cut.pcap");
    // Half of a frame in: every frame before it is whole.
    const uintmax_t size = fs::file_size(path);
    const size_t frame = 16 + 14 + 20 + 20 + 742;
    fs::resize_file(path, size - frame / 2);
    const size_t whole = LineCount(Output("tcpdump -n -r '" + path.string() + "' 2>/dev/null"));
    ASSERT_GT(whole, 900u);

    filter.Set("src net 192.168.10.0/24");  // the clients' frames
    contains.Set("no payload holds this text");
    ASSERT_TRUE(OpenAndWait(path));
    EXPECT_EQ(store.Count(), 0u);
    ASSERT_EQ(window.messages.size(), 1u);
    // Frames read count before the filter and "Data contains".
    EXPECT_EQ(window.messages[0].text, CaptureSource::CutShortMessage(whole));
    EXPECT_EQ(window.messages[0].text,
              "The capture file is cut short: " + std::to_string(whole) + " packets were read");
    EXPECT_EQ(window.messages[0].caption, "Warning");

    filter.Set("");
    contains.Set("");
    window.messages.clear();
    ASSERT_TRUE(OpenAndWait(path));
    EXPECT_EQ(store.Count(), whole);
    EXPECT_EQ(files.captureName, "cut.pcap");
}

TEST_F(CaptureSourceTest, FileLargerThanTheMemoryLimitStopsThereAndKeepsWhatItRead) {
    const fs::path path = Capture(capture_gen::CaptureKind::Tcp742, 20000, "big.pcap");
    Source().SetMemoryLimit(2u << 20);
    ASSERT_TRUE(OpenAndWait(path));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, kMemoryFullMessage);
    EXPECT_EQ(window.messages[0].caption, "Warning");
    EXPECT_GT(store.Count(), 100u);
    EXPECT_LT(store.Count(), 20000u);
    EXPECT_LE(store.Bytes(), (2u << 20) + (1u << 20));
}

TEST_F(CaptureSourceTest, OpenIsRefusedWhileACaptureRuns) {
    const fs::path path = Capture(capture_gen::CaptureKind::Mix, 100, "mix.pcap");
    FakeLiveRows(3);
    files.openPath = path.string();
    for (CapturePhase phase :
         {CapturePhase::Starting, CapturePhase::Running, CapturePhase::Stopping}) {
        live = phase;
        window.messages.clear();
        Source().OnOpen();
        Source().Open(path.string());
        ASSERT_EQ(window.messages.size(), 2u);
        for (const auto& m : window.messages) {
            EXPECT_EQ(m.text, "Stop the capture first");
            EXPECT_EQ(m.caption, "Warning");
        }
        EXPECT_FALSE(Source().Busy());
        EXPECT_EQ(store.Count(), 3u);
    }
    EXPECT_EQ(files.openAsked, 0);
    EXPECT_TRUE(files.questions.empty());
}

// ---------------------------------------------------------------------------
// Streams

// Writes a capture into a FIFO in pieces, waiting for the test between them.
class FifoWriter {
  public:
    explicit FifoWriter(const fs::path& fifo) : m_fifo(fifo) {}
    ~FifoWriter() { Close(); }
    bool Open() {
        m_fd = open(m_fifo.c_str(), O_WRONLY | O_CLOEXEC);
        return m_fd >= 0;
    }
    bool Write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    void Close() {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

  private:
    fs::path m_fifo;
    int m_fd = -1;
};

TEST_F(CaptureSourceTest, FifoRowsShowBeforeTheWriterEndsAndCountAsCapturedLive) {
    const fs::path path = Capture(capture_gen::CaptureKind::Tcp742, 200, "flow.pcap");
    const std::string bytes = ReadFile(path);
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    // The rows shown before go with the stream's header, not before: a stream
    // stopped without one leaves the list, caption and source as they were.
    ASSERT_TRUE(OpenAndWait(Capture(capture_gen::CaptureKind::Mix, 30, "mix.pcap")));
    Source().Open(fifo.string());
    EXPECT_EQ(files.shown.name, "fifo");
    Source().Stop();
    ASSERT_TRUE(window.PumpUntil([this] { return !Source().Busy(); }));
    EXPECT_EQ(files.shown.name, "mix.pcap");
    Source().Open(fifo.string());
    EXPECT_TRUE(Source().Streaming());
    EXPECT_TRUE(window.ShowsBusy());
    EXPECT_FALSE(files.progressShown);
    window.PumpFor(50ms);
    EXPECT_EQ(store.Count(), 30u);
    EXPECT_EQ(files.captureName, "mix.pcap");

    FifoWriter writer(fifo);
    ASSERT_TRUE(writer.Open());
    // The file header and the first 50 frames; the rest later.
    const size_t frame = 16 + 14 + 20 + 20 + 742;
    const size_t first = 24 + 50 * frame;
    ASSERT_TRUE(writer.Write(bytes.substr(0, first)));
    // The caption follows once the window's thread has heard of the header.
    ASSERT_TRUE(
        window.PumpUntil([this] { return store.Count() == 50 && files.captureName == "fifo"; }));
    EXPECT_TRUE(Source().Busy());
    EXPECT_TRUE(window.ShowsBusy());
    ASSERT_TRUE(writer.Write(bytes.substr(first)));
    writer.Close();

    // The end of the stream ends it as a Stop does.
    ASSERT_TRUE(window.PumpUntil([this] { return !Source().Busy(); }));
    EXPECT_EQ(store.Count(), 200u);
    EXPECT_TRUE(window.ShowsIdle());
    EXPECT_TRUE(window.messages.empty());

    // A stream cannot be read again.
    EXPECT_EQ(Source().Guard().Unsaved(), 200u);
    files.answer = false;
    EXPECT_FALSE(Source().ConfirmClose());
    ASSERT_EQ(files.questions.size(), 1u);
    EXPECT_EQ(files.questions[0].text, "200 captured packets have not been saved. Discard them?");
    EXPECT_EQ(files.questions[0].caption, "Warning");
    EXPECT_FALSE(window.wrongThread);
}

TEST_F(CaptureSourceTest, StandardInputIsReadAsAStream) {
    const fs::path path = Capture(capture_gen::CaptureKind::Mix, 300, "mix.pcap");
    const std::string bytes = ReadFile(path);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const int savedStdin = dup(STDIN_FILENO);
    ASSERT_EQ(dup2(fds[0], STDIN_FILENO), STDIN_FILENO);
    close(fds[0]);

    Source().Open("-");
    EXPECT_TRUE(Source().Streaming());
    EXPECT_EQ(files.shown.kind, SourceKind::StandardInput);
    std::thread writer([&] {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(fds[1]);
    });
    const bool ended = window.PumpUntil([this] { return !Source().Busy(); }, 10s);
    writer.join();
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);
    ASSERT_TRUE(ended);
    EXPECT_EQ(store.Count(), 300u);
    EXPECT_EQ(files.captureName, "standard input");
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(Source().Guard().Unsaved(), 300u);
}

TEST_F(CaptureSourceTest, StopLetsGoOfStandardInputSoThatItsWriterEnds) {
    const std::string bytes = ReadFile(Capture(capture_gen::CaptureKind::Mix, 100, "mix.pcap"));
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const int savedStdin = dup(STDIN_FILENO);
    ASSERT_EQ(dup2(fds[0], STDIN_FILENO), STDIN_FILENO);
    close(fds[0]);
    // The header, then its frames over and over until the pipe breaks.
    const pid_t writer = fork();
    if (writer == 0) {
        close(STDIN_FILENO);
        for (size_t at = 0; write(fds[1], bytes.data() + at, bytes.size() - at) > 0; at = 24) {
        }
        _exit(0);
    }
    close(fds[1]);
    Source().Open("-");
    const bool read = window.PumpUntil([this] { return store.Count() >= 100; });
    EXPECT_TRUE(Source().StopForHotKey());
    const bool stopped = window.PumpUntil([this] { return !Source().Busy(); });
    int status = 0;
    const auto ended = [&] { return waitpid(writer, &status, WNOHANG) == writer; };
    const bool writerEnded = window.PumpUntil(ended, 5s);
    if (!writerEnded) {
        kill(writer, SIGKILL);
        waitpid(writer, &status, 0);
    }
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);
    EXPECT_TRUE(read && stopped);
    EXPECT_TRUE(writerEnded) << "the writer still waits on a pipe nobody reads";
}

TEST_F(CaptureSourceTest, SilentFifoStopsWithin100Ms) {
    const fs::path fifo = dir / "silent";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path path = Capture(capture_gen::CaptureKind::Mix, 20, "mix.pcap");
    const std::string header = ReadFile(path).substr(0, 24);

    for (const char* how : {"button", "hot key", "close"}) {
        SCOPED_TRACE(how);
        Source().Open(fifo.string());
        FifoWriter writer(fifo);
        ASSERT_TRUE(writer.Open());
        // The header only, then silence with the writer still there.
        ASSERT_TRUE(writer.Write(header));
        window.PumpFor(100ms);
        ASSERT_TRUE(Source().Streaming());

        const auto start = std::chrono::steady_clock::now();
        if (std::string(how) == "button") {
            // The Capture button reads "Stop": a click stops the stream and
            // starts no capture.
            EXPECT_FALSE(Source().BeforeCaptureToggle());
        } else if (std::string(how) == "hot key") {
            EXPECT_TRUE(Source().StopForHotKey());
        } else {
            source.reset();
            EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
            continue;
        }
        ASSERT_TRUE(window.PumpUntil([this] { return !Source().Busy(); }, 1s));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
        EXPECT_TRUE(window.ShowsIdle());
        EXPECT_TRUE(window.messages.empty());
    }
    EXPECT_TRUE(files.questions.empty());
}

}  // namespace
