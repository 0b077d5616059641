// Packet intake: the "Data contains" test, row numbering, the store's shared
// chains, the frames kept with them, the delivery order whatever order the
// readers finish in, frame timestamps and the memory limit.
#include "intake/packet_intake.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "protocols/data.h"
#include "tests/intake/intake_test_frames.h"
#include "xml/packet_document.h"

namespace {

using namespace intake_test;

// Nanoseconds since the epoch as a capture timestamp.
FrameTime At(int64_t ns) {
    constexpr int64_t kSecond = 1'000'000'000;
    const int64_t seconds = ns / kSecond - (ns % kSecond < 0 ? 1 : 0);
    return {seconds, static_cast<uint32_t>(ns - seconds * kSecond)};
}

FrameInfo Info(const Bytes& frame, FrameTime time = {}) {
    FrameInfo info;
    info.time = time;
    info.capturedLength = static_cast<uint32_t>(frame.size());
    info.wireLength = static_cast<uint32_t>(frame.size());
    return info;
}

std::string PayloadOf(const StoredPacket& p) {
    const auto* data = FindLayerAs<CDataLayer>(p.root.get());
    if (data == nullptr || data->m_pData == nullptr) return {};
    std::string text(reinterpret_cast<const char*>(data->m_pData),
                     static_cast<size_t>(data->m_nLength));
    // Without the fill bytes of a short frame.
    text.erase(text.find_last_not_of('\0') + 1);
    return text;
}

class IntakeTest : public ::testing::Test {
  protected:
    bool Take(const Bytes& frame, FrameTime time = {}) {
        return reader.ProcessPacket(Info(frame, time), frame.data());
    }

    PacketStore store;
    SharedText dataContains;
    std::vector<std::pair<size_t, std::string>> rows;
    PacketIntake intake{store, dataContains, [this](size_t index, const PacketRow& row) {
                            rows.emplace_back(index, std::string(row.Cell(COL_NUM)));
                        }};
    PacketIntake::Reader reader{intake};
};

TEST_F(IntakeTest, WithoutDataContainsEveryFrameIsKept) {
    EXPECT_TRUE(Take(UdpFrame("one")));
    EXPECT_TRUE(Take(ArpRequestFrame()));
    EXPECT_TRUE(Take(Bytes{0x00}));
    EXPECT_EQ(store.Count(), 3u);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], (std::pair<size_t, std::string>{2, "2"}));
}

TEST_F(IntakeTest, DataContainsKeepsOnlyMatchingPayloads) {
    dataContains.Set("GET");
    EXPECT_FALSE(Take(ArpRequestFrame())) << "no payload layer";
    EXPECT_FALSE(Take(TcpFrame("get /index.html"))) << "other letter case";
    EXPECT_FALSE(Take(TcpFrame("GE"))) << "payload shorter than the text";
    EXPECT_TRUE(Take(TcpFrame("xxGET"))) << "payload ending with the text";
    EXPECT_TRUE(Take(UdpFrame("a GET b")));
    ASSERT_EQ(store.Count(), 2u);
    // Dropped frames take no row number.
    EXPECT_EQ(rows, (std::vector<std::pair<size_t, std::string>>{{0, "0"}, {1, "1"}}));
}

TEST_F(IntakeTest, PaddingIsPartOfThePayloadThatIsSearched) {
    // A 40-byte acknowledgement in a 60-byte frame: its six fill bytes are the
    // payload, and a text inside them is found.
    Bytes frame = TcpFrame("");
    ASSERT_EQ(frame.size(), 60u);
    frame[56] = 'O';
    frame[57] = 'K';
    dataContains.Set("OK");
    EXPECT_TRUE(Take(frame));
}

TEST_F(IntakeTest, ClearingTheStoreKeepsChainsOthersHold) {
    for (int i = 0; i < 50; ++i) Take(TcpFrame("payload " + std::to_string(i)));
    const std::vector<StoredPacket> held = store.Snapshot();
    const std::string before = ClipboardText(held[49].root.get());
    store.ClearPackets();
    EXPECT_EQ(store.Count(), 0u);
    // The snapshot still reads every chain (under ASan a freed chain would be reported).
    EXPECT_EQ(ClipboardText(held[49].root.get()), before);
    const auto* data = FindLayerAs<CDataLayer>(held[7].root.get());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data->m_pData), data->m_nLength),
              "payload 7");
    // A new capture begins again with row 0.
    rows.clear();
    Take(UdpFrame("again"));
    EXPECT_EQ(rows.front().second, "0");
}

TEST_F(IntakeTest, StoredChainsSurviveManySlabs) {
    // Frames of 1500 bytes fill a slab after some hundreds; every chain must stay
    // readable across slab changes and after discarded frames reuse slab space.
    const std::string big(1400, 'x');
    dataContains.Set("KEEP");
    for (int i = 0; i < 3000; ++i)
        Take(TcpFrame(big + (i % 3 == 0 ? "KEEP" : "drop") + std::to_string(i)));
    const std::vector<StoredPacket> packets = store.Snapshot();
    ASSERT_EQ(packets.size(), 1000u);
    for (size_t i = 0; i < packets.size(); ++i) {
        const auto* data = FindLayerAs<CDataLayer>(packets[i].root.get());
        ASSERT_NE(data, nullptr);
        const std::string text(reinterpret_cast<const char*>(data->m_pData), data->m_nLength);
        ASSERT_EQ(text, big + "KEEP" + std::to_string(i * 3)) << i;
    }
}

TEST(IntakeConcurrencyTest, FourReadersWhileTheStoreIsClearedAndTheTextReplaced) {
    PacketStore store;
    SharedText dataContains("alpha");
    std::atomic<bool> rowsMatch{true};
    PacketIntake intake(store, dataContains, [&](size_t index, const PacketRow& row) {
        if (row.Cell(COL_NUM) != std::to_string(index)) rowsMatch = false;
    });
    const Bytes alpha = UdpFrame("-alpha-"), beta = UdpFrame("-beta-"), none = UdpFrame("-gamma-");

    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            PacketIntake::Reader reader(intake);
            for (int i = 0; !stop; ++i) {
                const Bytes& f = i % 3 == 0 ? alpha : i % 3 == 1 ? beta : none;
                reader.ProcessPacket(Info(f), f.data());
            }
        });
    }
    // The readers have stored something before the rounds start and after
    // they end, however slowly the threads get going (sanitizers, a busy
    // machine).
    const auto waitForRows = [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (store.Count() == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    waitForRows();
    std::vector<std::vector<StoredPacket>> snapshots;
    for (int round = 0; round < 200; ++round) {
        dataContains.Set(round % 2 == 0 ? "beta" : "alpha");
        if (round % 10 == 0) snapshots.push_back(store.Snapshot());
        store.ClearPackets();
        std::this_thread::yield();
    }
    waitForRows();
    stop = true;
    for (auto& r : readers) r.join();

    EXPECT_TRUE(rowsMatch) << "a row's number differed from its store index";
    snapshots.push_back(store.Snapshot());
    size_t checked = 0;
    for (const auto& snapshot : snapshots) {
        for (const StoredPacket& p : snapshot) {
            const auto* data = FindLayerAs<CDataLayer>(p.root.get());
            ASSERT_NE(data, nullptr);
            const std::string text(reinterpret_cast<const char*>(data->m_pData), 7);
            // Each test saw "alpha" or "beta" whole: nothing else is ever kept.
            ASSERT_TRUE(text.starts_with("-alpha-") || text.starts_with("-beta-")) << text;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0u);
}

TEST_F(IntakeTest, EachEntryKeepsItsFrameAndThePayloadLivesInIt) {
    Bytes frame = UdpFrame("kept whole");
    FrameInfo info = Info(frame, {1'700'000'000, 123'456'789});
    info.wireLength = 1514;  // captured with a short snapshot length
    reader.ProcessPacket(info, frame.data());
    frame.assign(frame.size(), 0);  // the caller's buffer is reused at once

    const std::optional<StoredPacket> stored = store.At(0);
    ASSERT_TRUE(stored && stored->frame != nullptr);
    const KeptFrame& kept = *stored->frame;
    EXPECT_EQ(kept.time, (FrameTime{1'700'000'000, 123'456'789}));
    EXPECT_EQ(kept.wireLength, 1514u);
    const Bytes original = UdpFrame("kept whole");
    ASSERT_EQ(kept.capturedLength, original.size());
    EXPECT_EQ(Bytes(kept.Bytes(), kept.Bytes() + kept.capturedLength), original);
    // The payload is not a second copy: it points into the kept frame.
    const auto* data = FindLayerAs<CDataLayer>(stored->root.get());
    ASSERT_NE(data, nullptr);
    EXPECT_GE(data->m_pData, kept.Bytes());
    EXPECT_LE(data->m_pData + data->m_nLength, kept.Bytes() + kept.capturedLength);
    EXPECT_EQ(PayloadOf(*stored), "kept whole");
}

TEST_F(IntakeTest, TimeCountsWholeMillisecondsFromTheFirstFrameOrTheStart) {
    constexpr int64_t kMs = 1'000'000;
    constexpr int64_t kFirst = 1'600'000'000LL * 1'000'000'000;
    intake.Restart(std::nullopt);
    Take(UdpFrame("a"), At(kFirst));
    Take(UdpFrame("b"), At(kFirst + 1999 * kMs + 999'999));  // 1999.999999 ms: 1999
    Take(UdpFrame("c"), At(kFirst - 5 * kMs));               // stamped before the first: 0
    // 280 days and then some: beyond what 32 bits of milliseconds hold.
    Take(UdpFrame("d"), At(kFirst + 24'251'275'117 * kMs));
    // A damaged header's stamp, past what 64 bits of nanoseconds hold.
    Take(UdpFrame("e"), {68'470'465'054, 1'000'000});
    std::vector<uint64_t> times;
    for (const StoredPacket& p : store.Snapshot()) times.push_back(p.elapsedMs);
    EXPECT_EQ(times, (std::vector<uint64_t>{0, 1999, 0, 24'251'275'117, 66'870'465'054'001}));
    rows.clear();

    // A live capture counts from its start, not from its first frame.
    store.ClearPackets();
    intake.Restart(At(kFirst));
    Take(UdpFrame("e"), At(kFirst + 20 * kMs));
    Take(UdpFrame("f"), At(kFirst - 1));
    EXPECT_EQ(store.At(0)->elapsedMs, 20u);
    EXPECT_EQ(store.At(1)->elapsedMs, 0u);
    PacketRow row;
    BuildRow(*store.At(0), 0, row);
    EXPECT_EQ(row.Cell(COL_TIME), "20");
}

TEST_F(IntakeTest, FramesAreStoredInTheOrderTheyWereTakenWhateverOrderTheyFinish) {
    dataContains.Set("keep");
    PacketIntake::Reader a(intake), b(intake), c(intake), d(intake);
    const Bytes f0 = UdpFrame("keep 0"), f1 = UdpFrame("drop 1"), f2 = UdpFrame("keep 2"),
                f3 = UdpFrame("keep 3");
    a.Take(Info(f0), f0.data());
    b.Take(Info(f1), f1.data());
    c.Take(Info(f2), f2.data());
    d.Take(Info(f3), f3.data());
    EXPECT_TRUE(d.Finish());
    EXPECT_TRUE(c.Finish());
    EXPECT_EQ(store.Count(), 0u) << "frames 2 and 3 wait for frame 0";
    EXPECT_TRUE(a.Finish());
    EXPECT_EQ(store.Count(), 1u) << "frame 2 still waits for frame 1";
    EXPECT_FALSE(b.Finish());
    ASSERT_EQ(store.Count(), 3u);
    EXPECT_EQ(PayloadOf(*store.At(0)), "keep 0");
    EXPECT_EQ(PayloadOf(*store.At(1)), "keep 2");
    EXPECT_EQ(PayloadOf(*store.At(2)), "keep 3");
    EXPECT_EQ(rows, (std::vector<std::pair<size_t, std::string>>{{0, "0"}, {1, "1"}, {2, "2"}}));
    const IntakeCounters counters = intake.Counters();
    EXPECT_EQ(counters.received, 4u);
    EXPECT_EQ(counters.leftOut, 1u);
    EXPECT_EQ(counters.rows, 3u);
}

TEST_F(IntakeTest, AReaderThatGoesAwayWithATakenFrameHoldsNothingBack) {
    const Bytes f0 = UdpFrame("zero"), f1 = UdpFrame("one");
    PacketIntake::Reader later(intake);
    {
        PacketIntake::Reader gone(intake);
        gone.Take(Info(f0), f0.data());
        later.Take(Info(f1), f1.data());
        EXPECT_TRUE(later.Finish());
        EXPECT_EQ(store.Count(), 0u);
    }
    ASSERT_EQ(store.Count(), 1u);
    EXPECT_EQ(PayloadOf(*store.At(0)), "one");
}

TEST_F(IntakeTest, AtTheMemoryLimitNothingMoreIsStoredAndTheOwnerIsToldOnce) {
    int told = 0;
    // Each reader's slab counts whole: the first frame already fills 1 MiB.
    intake.Restart(std::nullopt, ChainSlab::kDefaultCapacity + 4096, [&] { ++told; });
    PacketIntake::Reader other(intake);
    const Bytes f = UdpFrame("x");
    EXPECT_TRUE(Take(f));
    EXPECT_FALSE(intake.Full());
    other.ProcessPacket(Info(f), f.data());  // a second slab passes the limit
    EXPECT_TRUE(intake.Full());
    EXPECT_EQ(told, 1);
    for (int i = 0; i < 10; ++i) Take(f);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(store.Count(), 2u);
    const IntakeCounters counters = intake.Counters();
    EXPECT_EQ(counters.received, 12u);
    EXPECT_EQ(counters.rows, 2u);
    EXPECT_TRUE(counters.full);
    EXPECT_GE(counters.storeBytes, 2 * ChainSlab::kDefaultCapacity);
    EXPECT_EQ(store.Bytes(), counters.storeBytes);
    store.ClearPackets();
    EXPECT_EQ(store.Bytes(), 0u);
}

TEST_F(IntakeTest, ARowOfAnEmptiedStoreNamesNoEntryOfTheNextOne) {
    Take(UdpFrame("old"));
    const PacketStore::Extent shown = store.CurrentExtent();
    store.ClearPackets();  // as a file being opened does, on its reader's thread
    Take(UdpFrame("new"));
    EXPECT_FALSE(store.At(0, shown.generation));
    EXPECT_EQ(PayloadOf(*store.At(0, store.CurrentExtent().generation)), "new");
}

TEST_F(IntakeTest, FramesWaitingForTheirPlaceCountAgainstTheLimit) {
    int told = 0;
    intake.Restart(std::nullopt, 2 * ChainSlab::kDefaultCapacity, [&] { ++told; });
    const Bytes f = UdpFrame(std::string(1400, 'x'));
    PacketIntake::Reader stalled(intake);
    stalled.Take(Info(f), f.data());  // held up: every later frame waits for it
    for (int i = 0; i < 3000 && !intake.Full(); ++i) Take(f);
    EXPECT_TRUE(intake.Full());
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_FALSE(stalled.Finish());
    EXPECT_EQ(told, 1);
    const IntakeCounters c = intake.Counters();
    EXPECT_EQ(c.received, c.rows + c.leftOut + c.dropped);
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAPWATCH_RESERVES_ADDRESS_SPACE 1
#endif
#endif

// With the address space bounded, the slabs soon cannot be mapped: the intake
// ends as at its limit and every frame stays counted, those after it too.
TEST_F(IntakeTest, NoMemoryForAFrameEndsTheIntakeAsTheLimitDoesAndCountsIt) {
#ifdef TAPWATCH_RESERVES_ADDRESS_SPACE
    GTEST_SKIP() << "the sanitizer's shadow memory needs more address space than the bound";
#endif
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t bound = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (8 << 20);
        const rlimit limit{bound, bound};
        setrlimit(RLIMIT_AS, &limit);
        int told = 0;
        intake.Restart(std::nullopt, PacketIntake::kNoMemoryLimit, [&] { ++told; });
        const Bytes f = UdpFrame(std::string(1400, 'x'));
        for (int i = 0; i < 100000 && !intake.Full(); ++i) Take(f);
        for (int i = 0; i < 10; ++i) Take(f);
        const IntakeCounters c = intake.Counters();
        const bool counted = c.received == c.rows + c.leftOut + c.dropped && c.dropped >= 11;
        _exit(!c.full ? 1 : told != 1 ? 2 : !counted ? 3 : c.rows < 100 ? 4 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    // 1: never full, 2: not told once, 3: frames uncounted, 4: nothing stored.
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Readers take numbered frames under one lock, as from a capture handle, and
// finish after random delays; some frames are left out. The store must hold
// the kept ones in the order they were taken.
TEST(IntakeConcurrencyTest, FourReadersFinishingOutOfOrderStoreInDeliveryOrder) {
    PacketStore store;
    SharedText dataContains("keep");
    std::vector<size_t> observed;
    PacketIntake intake(store, dataContains,
                        [&](size_t index, const PacketRow&) { observed.push_back(index); });
    constexpr int kFrames = 4000;
    std::mutex readLock;
    int next = 0;
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            PacketIntake::Reader reader(intake);
            std::mt19937 random(static_cast<unsigned>(t));
            for (;;) {
                {
                    std::scoped_lock lock(readLock);
                    if (next == kFrames) return;
                    const int n = next++;
                    const Bytes f = UdpFrame((n % 5 == 4 ? "drop " : "keep ") + std::to_string(n));
                    reader.Take(Info(f, At(n)), f.data());
                }
                if (random() % 8 == 0) {
                    std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
                }
                reader.Finish();
            }
        });
    }
    for (auto& r : readers) r.join();

    const std::vector<StoredPacket> packets = store.Snapshot();
    const IntakeCounters counters = intake.Counters();
    ASSERT_EQ(packets.size(), size_t{kFrames} / 5 * 4)
        << counters.received << " " << counters.leftOut << " " << counters.rows;
    size_t i = 0;
    for (int n = 0; n < kFrames; ++n) {
        if (n % 5 == 4) continue;
        ASSERT_EQ(PayloadOf(packets[i]), "keep " + std::to_string(n)) << "row " << i;
        ASSERT_EQ(packets[i].frame->time, At(n));
        ++i;
    }
    ASSERT_EQ(observed.size(), packets.size());
    for (size_t k = 0; k < observed.size(); ++k) ASSERT_EQ(observed[k], k);
    EXPECT_EQ(intake.Counters().leftOut, size_t{kFrames} / 5);
}

}  // namespace
