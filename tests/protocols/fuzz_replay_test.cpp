// Replays the decode fuzzer's seeds and every input that once crashed it.
#include <gtest/gtest.h>
#include <pcap/dlt.h>

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

// The link-type fuzzer's inputs: the first byte picks the link type, as there.
TEST(FuzzReplay, LinkTypeSeedsDecodeToWellFormedXml) {
    static const int kLinkTypes[] = {DLT_LINUX_SLL,  DLT_LINUX_SLL2, DLT_RAW,  DLT_IPV4,
                                     DLT_IPV6,       DLT_NULL,       DLT_LOOP, DLT_PPP,
                                     DLT_PPP_SERIAL, DLT_EN10MB};
    size_t replayed = 0;
    for (const char* dir : {"fuzz/corpus/link_decode", "fuzz/regressions/link_decode"}) {
        const fs::path path = fs::path(TAPWATCH_SOURCE_DIR) / dir;
        if (!fs::is_directory(path)) continue;
        for (const auto& entry : fs::directory_iterator(path)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const frames::Bytes input{std::istreambuf_iterator<char>(in), {}};
            if (input.empty()) continue;
            const auto root = DecodeFrame(input.data() + 1, static_cast<int>(input.size() - 1),
                                          kLinkTypes[input[0] % std::size(kLinkTypes)]);
            ASSERT_NE(root, nullptr) << entry.path();
            // Every seed is a whole packet: its chain reaches past the link header.
            EXPECT_GE(frames::Types(root.get()).size(), 2u) << entry.path();
            EXPECT_EQ(frames::XmlError("<Packet>" + frames::ChainXml(root.get()) + "</Packet>"), "")
                << entry.path();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 40u);
}

}  // namespace
