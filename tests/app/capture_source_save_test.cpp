// Capture files behind the main window, with a recording window: saving as
// pcap (read back by tcpdump and tapwatch-log), the questions that keep unsaved
// captured packets from being dropped, and the hot key's request to the
// window's thread.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/capture_source.h"
#include "app/window_request.h"
#include "capture_files/pcap_save.h"
#include "tests/app/capture_source_fixture.h"
#include "tests/app/test_frames.h"
#include "tests/capture/capture_test_support.h"

namespace {

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
