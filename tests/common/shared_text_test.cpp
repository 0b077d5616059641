#include "common/shared_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

TEST(SharedText, StartsEmptyAndCountsReplacements) {
    SharedText text;
    ASSERT_NE(text.Load(), nullptr);
    EXPECT_EQ(*text.Load(), "");
    const uint64_t start = text.Generation();
    text.Set("abc");
    EXPECT_EQ(*text.Load(), "abc");
    EXPECT_NE(text.Generation(), start);
}

TEST(SharedText, ALoadedTextOutlivesItsReplacement) {
    SharedText text("first");
    const std::shared_ptr<const std::string> held = text.Load();
    text.Set("second");
    EXPECT_EQ(*held, "first");
    EXPECT_EQ(*text.Load(), "second");
}

// Readers load, and refresh cached copies by generation, while a writer keeps
// replacing the text with long values of one repeated letter: a torn or freed
// text would show mixed letters, a wrong length or a crash under the sanitizers.
TEST(SharedText, ReadersSeeWholeTextsWhileAWriterReplacesThem) {
    constexpr int kValues = 8;
    constexpr int kWrites = 20000;
    const auto value = [](int i) { return std::string(1000 + 37 * i, static_cast<char>('a' + i)); };
    auto whole = [](const std::string& s) {
        if (s.empty()) return true;  // the initial text
        const int i = s[0] - 'a';
        return i >= 0 && i < kValues && s.size() == static_cast<size_t>(1000 + 37 * i) &&
               s.find_first_not_of(s[0]) == std::string::npos;
    };

    SharedText text;
    std::atomic<bool> done{false};
    std::atomic<long> torn{0};
    std::atomic<long> stale{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&, r] {
            std::shared_ptr<const std::string> cached;
            uint64_t cachedGeneration = ~uint64_t{0};
            while (!done.load()) {
                if (r == 0) {
                    if (!whole(*text.Load())) ++torn;
                    continue;
                }
                const uint64_t generation = text.Generation();
                if (generation != cachedGeneration) {
                    cached = text.Load();
                    cachedGeneration = generation;
                }
                if (!whole(*cached)) ++torn;
            }
            // After the writer stopped, a refreshed cache must hold the last text.
            const uint64_t generation = text.Generation();
            if (generation != cachedGeneration) cached = text.Load();
            if (r != 0 && *cached != *text.Load()) ++stale;
        });
    }
    for (int w = 0; w < kWrites; ++w) text.Set(value(w % kValues));
    done = true;
    for (std::thread& t : readers) t.join();

    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(stale.load(), 0);
    EXPECT_EQ(*text.Load(), value((kWrites - 1) % kValues));
    EXPECT_EQ(text.Generation(), static_cast<uint64_t>(kWrites));
}
