// Replays the decode fuzzer's seeds and every input that once crashed it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/protocols/frames.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzReplay, SeedsAndRegressionsDecodeToWellFormedXml) {
    size_t replayed = 0;
    for (const char* dir : {"fuzz/corpus/decode", "fuzz/regressions/decode"}) {
        const fs::path path = fs::path(TAPWATCH_SOURCE_DIR) / dir;
        if (!fs::is_directory(path)) continue;
        for (const auto& entry : fs::directory_iterator(path)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.')
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const frames::Bytes frame{std::istreambuf_iterator<char>(in), {}};
            const auto root = frames::Decode(frame);
            ASSERT_NE(root, nullptr) << entry.path();
            EXPECT_LE(frames::Types(root.get()).size(), 6u) << entry.path();
            EXPECT_EQ(frames::XmlError("<Packet>" + frames::ChainXml(root.get()) + "</Packet>"), "")
                << entry.path();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u);
}

}  // namespace
