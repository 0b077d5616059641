// Packet intake: the "Data contains" test, row numbering, and the store's
// shared chains.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "capture/packet_intake.h"
#include "protocols/data.h"
#include "tests/intake/intake_test_frames.h"
#include "xml/packet_document.h"

namespace {

using namespace intake_test;

class IntakeTest : public ::testing::Test {
protected:
    bool Take(const Bytes& frame, uint32_t ms = 0) {
        return reader.ProcessPacket(frame.data(), static_cast<int>(frame.size()), ms);
    }

    PacketStore store;
    SharedText dataContains;
    std::vector<std::pair<size_t, std::string>> rows;
    PacketIntake intake{store, dataContains,
                        [this](size_t index, const PacketRow& row) {
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
    for (int i = 0; i < 3000; ++i) Take(TcpFrame(big + (i % 3 == 0 ? "KEEP" : "drop") + std::to_string(i)));
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
                reader.ProcessPacket(f.data(), static_cast<int>(f.size()), 0);
            }
        });
    }
    std::vector<std::vector<StoredPacket>> snapshots;
    for (int round = 0; round < 200; ++round) {
        dataContains.Set(round % 2 == 0 ? "beta" : "alpha");
        if (round % 10 == 0) snapshots.push_back(store.Snapshot());
        store.ClearPackets();
        std::this_thread::yield();
    }
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

}  // namespace
