// Capture files behind the main window, with a recording window: opening
// generated pcap and pcapng files, files that fail, streams through a FIFO and
// standard input, saving as pcap (read back by tcpdump and tapwatch-log), and
// the questions that keep unsaved captured packets from being dropped.
#include "app/capture_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/window_request.h"
#include "capture/capture_state.h"
#include "capture_files/pcap_save.h"
#include "tests/app/test_frames.h"
#include "tests/capture/capture_test_support.h"
#include "tools/capture_gen/generator.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A command's standard output.
std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

size_t LineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The window's file side: records what it is asked and answers as told.
class FakeFiles : public CaptureFilesWindow {
  public:
    struct Question {
        std::string text;
        std::string caption;
    };

    std::string AskOpenPath() override {
        ++openAsked;
        return openPath;
    }
    std::string AskSavePath() override {
        ++saveAsked;
        return savePath;
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back({text, caption});
        return answer;
    }
    int SavePcap(const std::string& path, std::vector<StoredPacket> packets) override {
        SaveControl control;
        control.cancel = cancelSave;
        return SaveCapturePcap(path, packets, &control);
    }
    void SetCaptureName(const std::string& name) override { captureName = name; }
    void ShowReadProgress(uint64_t totalBytes) override {
        progressShown = true;
        progressTotal = totalBytes;
    }
    void HideReadProgress() override { progressShown = false; }

    std::string openPath;
    std::string savePath;
    bool answer = true;
    bool cancelSave = false;
    int openAsked = 0;
    int saveAsked = 0;
    std::vector<Question> questions;
    std::string captureName;
    bool progressShown = false;
    uint64_t progressTotal = 0;
};

class CaptureSourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("capture-source-test-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        source.reset();
        fs::remove_all(dir);
    }

    CaptureSource& Source() {
        if (!source) {
            source = std::make_unique<CaptureSource>(window, files, store, filter, contains,
                                                     [this] { return live; });
        }
        return *source;
    }

    fs::path Capture(capture_gen::CaptureKind kind, size_t count, const char* name) {
        const fs::path path = dir / name;
        EXPECT_TRUE(capture_gen::WriteCapture(path.string(), kind, count, 11));
        return path;
    }

    // Opens `path` and waits until the read has ended.
    bool OpenAndWait(const fs::path& path) {
        Source().Open(path.string());
        return window.PumpUntil([this] { return !Source().Busy(); }, 30s);
    }

    // Packets that came from a live capture: the store is emptied by the
    // capture's start, then filled.
    void FakeLiveRows(int count) {
        Source();  // made with the window, before any capture
        window.ClearPackets();
        for (int i = 0; i < count; ++i) {
            store.Append({Ipv4Chain(true, 1, 1000, 80), 0});
        }
    }

    // Every frame with its timestamp in nanoseconds and its bytes.
    static std::string Tcpdump(const fs::path& path) {
        const std::string out =
            Output("tcpdump -n -tt --nano -xx -r '" + path.string() + "' 2>/dev/null");
        EXPECT_FALSE(out.empty()) << "tcpdump read nothing from " << path;
        return out;
    }
    static std::string LogRows(const fs::path& path) {
        const std::string out =
            Output(std::string(TAPWATCH_LOG_TOOL) + " --rows '" + path.string() + "'");
        EXPECT_FALSE(out.empty()) << "tapwatch-log read nothing from " << path;
        return out;
    }

    fs::path dir;
    PacketStore store;
    FakeWindow window{store};
    FakeFiles files;
    SharedText filter;
    SharedText contains;
    CapturePhase live = CapturePhase::Idle;
    std::unique_ptr<CaptureSource> source;
};

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
    ASSERT_EQ(SaveCapturePcap(saved.string(), store.Snapshot()), SAVE_OK);
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
    ASSERT_EQ(SaveCapturePcap(saved.string(), store.Snapshot()), SAVE_OK);
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

    filter.Set("port nonsense");
    contains.Set("");
    ASSERT_TRUE(OpenAndWait(path));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Unable to compile the packet filter. Check the syntax");
    EXPECT_EQ(window.messages[0].caption, "Error");
}

TEST_F(CaptureSourceTest, FilesThatCannotBeReadSayWhy) {
    // Missing, and not a capture at all.
    const fs::path text = dir / "notes.txt";
    std::ofstream(text) << "not a capture file, only words\n";
    for (const fs::path& path : {dir / "missing.pcap", text}) {
        window.messages.clear();
        ASSERT_TRUE(OpenAndWait(path));
        ASSERT_EQ(window.messages.size(), 1u) << path;
        EXPECT_EQ(window.messages[0].text, "Couldn't open the capture file !");
        EXPECT_EQ(window.messages[0].caption, "Error");
        EXPECT_EQ(store.Count(), 0u);
        EXPECT_EQ(files.captureName, "");
        EXPECT_FALSE(files.progressShown);
    }

    // Raw IP frames.
    const fs::path raw = dir / "raw.pcap";
    {
        pcap_t* dead = pcap_open_dead(DLT_RAW, 65535);
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
    EXPECT_EQ(window.messages[0].text, "This capture does not hold Ethernet frames");
    EXPECT_EQ(window.messages[0].caption, "Error");
    EXPECT_EQ(store.Count(), 0u);
}

TEST_F(CaptureSourceTest, TruncatedFileKeepsTheFramesBeforeTheDamage) {
    const fs::path path = Capture(capture_gen::CaptureKind::Tcp742, 1000, "cut.pcap");
    // Half of a frame in: every frame before it is whole.
    const uintmax_t size = fs::file_size(path);
    const size_t frame = 16 + 14 + 20 + 20 + 742;
    fs::resize_file(path, size - frame / 2);
    const size_t whole = LineCount(Output("tcpdump -n -r '" + path.string() + "' 2>/dev/null"));
    ASSERT_GT(whole, 900u);

    contains.Set("no payload holds this text");
    ASSERT_TRUE(OpenAndWait(path));
    EXPECT_EQ(store.Count(), 0u);
    ASSERT_EQ(window.messages.size(), 1u);
    // Frames read count before "Data contains".
    EXPECT_EQ(window.messages[0].text, CaptureSource::CutShortMessage(whole));
    EXPECT_EQ(window.messages[0].text,
              "The capture file is cut short: " + std::to_string(whole) + " packets were read");
    EXPECT_EQ(window.messages[0].caption, "Warning");

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

    Source().Open(fifo.string());
    EXPECT_TRUE(Source().Streaming());
    EXPECT_TRUE(window.ShowsBusy());
    EXPECT_FALSE(files.progressShown);
    EXPECT_EQ(files.captureName, "fifo");

    FifoWriter writer(fifo);
    ASSERT_TRUE(writer.Open());
    // The file header and the first 50 frames; the rest later.
    const size_t frame = 16 + 14 + 20 + 20 + 742;
    const size_t first = 24 + 50 * frame;
    ASSERT_TRUE(writer.Write(bytes.substr(0, first)));
    ASSERT_TRUE(window.PumpUntil([this] { return store.Count() == 50; }));
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
    EXPECT_EQ(files.captureName, "standard input");
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
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(Source().Guard().Unsaved(), 300u);
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

// ---------------------------------------------------------------------------
// Saving

TEST_F(CaptureSourceTest, SavedPcapReadsBackWithTheSameFramesAndTimestamps) {
    const fs::path path = Capture(capture_gen::CaptureKind::Mix, 2000, "mix.pcap");
    ASSERT_TRUE(OpenAndWait(path));
    const fs::path saved = dir / "capture.pcap";
    files.savePath = saved.string();
    Source().OnSave();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "The capture was saved");
    EXPECT_EQ(window.messages[0].caption, "Success");
    EXPECT_EQ(Tcpdump(saved), Tcpdump(path));
    EXPECT_EQ(LogRows(saved), LogRows(path));
    // Nanosecond timestamps.
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* p =
        pcap_open_offline_with_tstamp_precision(saved.c_str(), PCAP_TSTAMP_PRECISION_NANO, errbuf);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(pcap_get_tstamp_precision(p), PCAP_TSTAMP_PRECISION_NANO);
    pcap_close(p);
    const std::string magic = ReadFile(saved).substr(0, 4);
    EXPECT_EQ(magic, std::string("\x4d\x3c\xb2\xa1", 4));
}

TEST_F(CaptureSourceTest, SaveRefusalsAndFailuresLeaveThePreviousFileAlone) {
    files.savePath = (dir / "capture.pcap").string();
    Source().OnSave();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "No packet to save");
    EXPECT_EQ(window.messages[0].caption, "Warning");

    const fs::path path = Capture(capture_gen::CaptureKind::Mix, 500, "mix.pcap");
    ASSERT_TRUE(OpenAndWait(path));
    for (CapturePhase phase : {CapturePhase::Starting, CapturePhase::Running}) {
        live = phase;
        window.messages.clear();
        Source().OnSave();
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].text, "Stop the capture first");
        EXPECT_EQ(window.messages[0].caption, "Warning");
    }
    live = CapturePhase::Idle;
    EXPECT_EQ(files.saveAsked, 0);

    // Cancelled in the dialog, cancelled while writing, a missing folder.
    const fs::path previous = dir / "previous.pcap";
    std::ofstream(previous) << "the previous file";
    window.messages.clear();
    files.savePath.clear();
    Source().OnSave();
    files.savePath = previous.string();
    files.cancelSave = true;
    Source().OnSave();
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(ReadFile(previous), "the previous file");
    files.cancelSave = false;
    files.savePath = (dir / "no such folder" / "capture.pcap").string();
    Source().OnSave();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Couldn't save the capture file !");
    EXPECT_EQ(window.messages[0].caption, "Error");
    EXPECT_FALSE(fs::exists(dir / "no such folder"));
}

TEST_F(CaptureSourceTest, SaveToAFullFileSystemFailsAndKeepsThePreviousFile) {
    SKIP_UNLESS_ROOT();
    const fs::path mount = dir / "small";
    fs::create_directories(mount);
    if (::mount("tapwatch-test", mount.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const fs::path previous = mount / "capture.pcap";
    std::ofstream(previous) << "the previous file";
    const fs::path path = Capture(capture_gen::CaptureKind::Tcp742, 2000, "big.pcap");
    ASSERT_TRUE(OpenAndWait(path));
    files.savePath = previous.string();
    Source().OnSave();
    const std::string after = ReadFile(previous);
    const size_t entries =
        static_cast<size_t>(std::distance(fs::directory_iterator(mount), fs::directory_iterator()));
    umount(mount.c_str());
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Couldn't save the capture file !");
    EXPECT_EQ(window.messages[0].caption, "Error");
    EXPECT_EQ(after, "the previous file");
    EXPECT_EQ(entries, 1u);  // no temporary left behind
}

// ---------------------------------------------------------------------------
// Unsaved packets

TEST_F(CaptureSourceTest, UnsavedLiveRowsAskBeforeOpenCaptureAndClose) {
    const fs::path path = Capture(capture_gen::CaptureKind::Mix, 100, "mix.pcap");
    FakeLiveRows(7);
    files.openPath = path.string();
    const std::string question = "7 captured packets have not been saved. Discard them?";

    // No keeps everything.
    files.answer = false;
    Source().OnOpen();
    Source().Open(path.string());
    EXPECT_FALSE(Source().BeforeCaptureToggle());
    EXPECT_FALSE(Source().ConfirmClose());
    ASSERT_EQ(files.questions.size(), 4u);
    for (const auto& q : files.questions) {
        EXPECT_EQ(q.text, question);
        EXPECT_EQ(q.caption, "Warning");
    }
    EXPECT_EQ(store.Count(), 7u);
    EXPECT_FALSE(Source().Busy());

    // Stopping a running capture or the hot key never asks.
    files.questions.clear();
    live = CapturePhase::Running;
    EXPECT_TRUE(Source().BeforeCaptureToggle());
    live = CapturePhase::Idle;
    EXPECT_FALSE(Source().StopForHotKey());
    EXPECT_TRUE(files.questions.empty());

    // A toggle that queues a start behind a stopping capture asks.
    live = CapturePhase::Stopping;
    EXPECT_FALSE(Source().BeforeCaptureToggle());
    EXPECT_EQ(files.questions.size(), 1u);
    live = CapturePhase::Idle;

    // Yes goes on.
    files.answer = true;
    EXPECT_TRUE(Source().BeforeCaptureToggle());
    EXPECT_TRUE(Source().ConfirmClose());
    ASSERT_TRUE(OpenAndWait(path));
    EXPECT_EQ(store.Count(), 100u);
    EXPECT_EQ(files.questions.size(), 4u);
}

TEST_F(CaptureSourceTest, NoQuestionAfterASaveUntilNewRowsArrive) {
    FakeLiveRows(5);
    EXPECT_EQ(Source().Guard().Unsaved(), 5u);
    files.savePath = (dir / "capture.pcap").string();
    Source().OnSave();
    // Chains decoded without a kept frame are skipped, yet the save covers
    // the rows.
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].caption, "Success");
    EXPECT_EQ(Source().Guard().Unsaved(), 0u);
    EXPECT_TRUE(Source().ConfirmClose());
    EXPECT_TRUE(Source().BeforeCaptureToggle());
    EXPECT_TRUE(files.questions.empty());

    // Rows a stopping capture appends after the save are unsaved again.
    store.Append({Ipv4Chain(true, 1, 1000, 80), 0});
    EXPECT_EQ(Source().Guard().Unsaved(), 1u);
    // A new capture's rows are unsaved whatever the last save was.
    FakeLiveRows(2);
    EXPECT_EQ(Source().Guard().Unsaved(), 2u);
    // An emptied store holds nothing to lose.
    window.ClearPackets();
    EXPECT_EQ(Source().Guard().Unsaved(), 0u);
    EXPECT_TRUE(Source().ConfirmClose());
    EXPECT_TRUE(files.questions.empty());
}

TEST_F(CaptureSourceTest, RowsPresentWhenTheWindowOpenedWereNotCaptured) {
    store.Append({Ipv4Chain(true, 1, 1000, 80), 0});
    EXPECT_EQ(Source().Guard().Unsaved(), 0u);
    EXPECT_EQ(UnsavedGuard::Question(12345),
              "12345 captured packets have not been saved. Discard them?");
}

// ---------------------------------------------------------------------------
// The hot key's request to the window's thread

TEST(WindowRequestTest, RunsOnTheWindowThreadAndEndsWhenTheWindowGoes) {
    PacketStore store;
    FakeWindow window(store);
    std::thread::id ranOn;
    auto request = WindowRequest::Create(window, [&] { ranOn = std::this_thread::get_id(); });
    bool result = false;
    std::thread poller([&] { result = request->RequestAndWait(); });
    ASSERT_TRUE(window.PumpUntil([&] { return ranOn != std::thread::id(); }));
    poller.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // Dropped unrun, disconnected before it ran, or after: false, no run.
    int runs = 0;
    auto counted = WindowRequest::Create(window, [&] { ++runs; });
    std::thread dropped([&] { result = counted->RequestAndWait(); });
    std::this_thread::sleep_for(50ms);  // the request is posted
    counted->Disconnect();
    window.PumpFor(20ms);
    dropped.join();
    EXPECT_FALSE(result);
    result = true;
    std::thread late([&] { result = counted->RequestAndWait(); });
    late.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(runs, 0);

    // A stop ends the wait.
    auto waiting = WindowRequest::Create(window, [&] { ++runs; });
    std::jthread stopped([&](std::stop_token stop) { result = waiting->RequestAndWait(stop); });
    std::this_thread::sleep_for(50ms);  // the request is posted
    stopped.request_stop();
    stopped.join();
    EXPECT_FALSE(result);
    window.Queue().Close();
}

}  // namespace
