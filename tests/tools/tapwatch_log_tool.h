// The tapwatch-log tests' fixture: the program run as a user runs it, on
// generated captures in a directory of the test's own.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/capture_gen/generator.h"

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const fs::path& path) {
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
