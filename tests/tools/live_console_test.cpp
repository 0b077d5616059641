// The headless live capture that the command-line companion runs.
#include "tools/tapwatch_log/live_console.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <future>
#include <string>

#include "capture/interface_list.h"
#include "tests/capture/capture_test_support.h"

namespace {

// Collects what the console capture writes for the user.
class MessageFile {
  public:
    MessageFile() : m_pFile(std::tmpfile()) {}
    ~MessageFile() {
        if (m_pFile != nullptr) std::fclose(m_pFile);
    }
    std::FILE* File() { return m_pFile; }
    std::string Text() {
        std::string text;
        std::rewind(m_pFile);
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_pFile)) > 0) text.append(buffer, n);
        return text;
    }

  private:
    std::FILE* m_pFile;
};

int LoopbackIndex() {
    std::vector<InterfaceEntry> interfaces;
    if (EnumerateInterfaces(interfaces) != 0) return -1;
    for (size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].name == "lo") return static_cast<int>(i);
    }
    return -1;
}

TEST(LiveConsoleTest, AnInterfaceNotInTheListIsRefusedWithTheList) {
    MessageFile messages;
    ConsoleCaptureOptions options;
    options.interface = "tw-no-such-interface";
    options.messages = messages.File();
    PacketStore store;
    EXPECT_EQ(RunConsoleCapture(options, store), kConsoleCaptureNoStart);
    const std::string text = messages.Text();
    EXPECT_NE(text.find("tapwatch-log: No interface \"tw-no-such-interface\""), std::string::npos)
        << text;
    EXPECT_NE(text.find("[0] "), std::string::npos) << text;
}

TEST(LiveConsoleTest, CapturesEveryDatagramForTheDurationByIndex) {
    SKIP_UNLESS_ROOT();
    const int lo = LoopbackIndex();
    ASSERT_GE(lo, 0);
    UdpReceiver receiver;
    MessageFile messages;
    ConsoleCaptureOptions options;
    options.interface = std::to_string(lo);
    options.durationSeconds = 1.0;
    options.filter = "udp dst port " + std::to_string(receiver.Port());
    options.dataContains = "console-";
    options.messages = messages.File();
    std::atomic<int> sent{0};
    std::thread sender;
    options.onRunning = [&] {
        sender = std::thread([&] {
            sent = SendUdp(receiver.Port(), "console-", 0, 200);
            SendUdp(receiver.Port(), "other-", 0, 20);
        });
    };
    PacketStore store;
    store.Append({nullptr, 0});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunConsoleCapture(options, store), kConsoleCaptureEnded);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(sender.joinable());
    sender.join();
    EXPECT_EQ(store.Count(), static_cast<size_t>(sent.load()));
    EXPECT_EQ(sent.load(), 200);
    EXPECT_GE(took, 1s);
    EXPECT_LT(took, 5s);
    EXPECT_EQ(messages.Text(), "");
}

TEST(LiveConsoleTest, AnInterfaceWithoutEthernetFramesIsRefused) {
    SKIP_UNLESS_ROOT();
    MessageFile messages;
    ConsoleCaptureOptions options;
    options.interface = "nflog";
    options.durationSeconds = 1.0;
    options.messages = messages.File();
    PacketStore store;
    EXPECT_EQ(RunConsoleCapture(options, store), kConsoleCaptureNoStart);
    EXPECT_EQ(messages.Text(),
              "tapwatch-log: This interface does not deliver Ethernet frames\nNFLOG\n");
}

TEST(LiveConsoleTest, AnInterfaceThatGoesAwayEndsTheCaptureWithWhatItTookIn) {
    SKIP_UNLESS_ROOT();
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok());
    ASSERT_EQ(ns.Exec("ip link add twv0 type veth peer name twv0p && ip link set twv0 up && "
                      "ip link set twv0p up"),
              0);
    EnterNamespace inside(ns);
    ASSERT_TRUE(inside.Ok());
    MessageFile messages;
    ConsoleCaptureOptions options;
    options.interface = "twv0";
    options.messages = messages.File();
    std::thread remover;
    options.onRunning = [&] {
        remover = std::thread([&] {
            std::this_thread::sleep_for(100ms);
            ns.Exec("ip link del twv0");
        });
    };
    PacketStore store;
    auto run = std::async(std::launch::async, [&] { return RunConsoleCapture(options, store); });
    const bool ended = run.wait_for(10s) == std::future_status::ready;
    if (remover.joinable()) remover.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(run.get(), kConsoleCaptureFailed);
    EXPECT_EQ(messages.Text(),
              "tapwatch-log: The capture stopped because the interface reported an error\n");
}

TEST(LiveConsoleTest, SigintEndsTheCaptureAndRestoresTheSignal) {
    SKIP_UNLESS_ROOT();
    MessageFile messages;
    ConsoleCaptureOptions options;
    options.interface = "lo";
    options.filter = "udp port 9";
    options.messages = messages.File();
    options.onRunning = [] { std::raise(SIGINT); };
    PacketStore store;
    auto run = std::async(std::launch::async, [&] { return RunConsoleCapture(options, store); });
    ASSERT_EQ(run.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(run.get(), kConsoleCaptureEnded);
    EXPECT_EQ(messages.Text(), "");
    struct sigaction now = {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(LiveConsoleTest, TheStopFlagEndsAnUnlimitedCapture) {
    SKIP_UNLESS_ROOT();
    std::atomic<bool> stop{false};
    ConsoleCaptureOptions options;
    options.interface = "lo";
    options.filter = "udp port 9";
    options.messages = nullptr;
    options.stop = &stop;
    options.onRunning = [&] { stop = true; };
    PacketStore store;
    auto run = std::async(std::launch::async, [&] { return RunConsoleCapture(options, store); });
    ASSERT_EQ(run.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(run.get(), kConsoleCaptureEnded);
}

}  // namespace
