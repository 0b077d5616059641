// The capture file tests' recording window: the fake file side of the main
// window, a fixture that makes a CaptureSource over it on the test's thread,
// and the outside references (tcpdump, tapwatch-log) the tests read files with.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/capture_source.h"
#include "capture_files/pcap_save.h"
#include "tests/app/test_frames.h"
#include "tests/capture/capture_test_support.h"
#include "tools/capture_gen/generator.h"

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A command's standard output.
inline std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

inline size_t LineCount(const std::string& text) {
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
    int SavePcap(const std::string& path, std::vector<StoredPacket> packets,
                 int linkType) override {
        SaveControl control;
        control.cancel = cancelSave;
        return SaveCapturePcap(path, packets, linkType, &control);
    }
    void SetCaptureName(const std::string& name) override { captureName = name; }
    void ShowCaptureSource(const ShownSource& source) override { shown = source; }
    ShownSource ShownCaptureSource() const override { return shown; }
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
    ShownSource shown;
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
