// The display filter shows exactly the frames tcpdump keeps for the same
// expression, in the same order, of a generated capture and of a live one on
// loopback; Find stops at exactly the rows a plain scan of the frames finds;
// a sort by Src IP puts addresses in address order, IPv4 before IPv6, equal
// addresses in capture order, and rows merged into it batch by batch too.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_files/capture_file_reader.h"
#include "capture_files/pcap_save.h"
#include "intake/packet_intake.h"
#include "protocols/decode.h"
#include "tests/capture/capture_test_support.h"
#include "tools/capture_gen/generator.h"
#include "view/conversation_filter.h"
#include "view/display_filter.h"
#include "view/frame_find.h"
#include "view/row_order.h"
#include "view/shown_rows.h"

namespace fs = std::filesystem;

namespace {

struct Frame {
    FrameTime time;
    std::string bytes;
    friend bool operator==(const Frame&, const Frame&) = default;
};

std::vector<Frame> ReadFrames(const fs::path& path) {
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* file =
        pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, error);
    std::vector<Frame> frames;
    if (file == nullptr) return frames;
    pcap_pkthdr* header = nullptr;
    const u_char* bytes = nullptr;
    while (pcap_next_ex(file, &header, &bytes) == 1) {
        frames.push_back({{header->ts.tv_sec, static_cast<uint32_t>(header->ts.tv_usec)},
                          std::string(reinterpret_cast<const char*>(bytes), header->caplen)});
    }
    pcap_close(file);
    return frames;
}

sockaddr_in Address(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, "192.168.1.10", &address.sin_addr);
    return address;
}

// The display filter's table, held against tcpdump on every capture.
const char* const kExpressions[] = {
    "tcp",
    "udp port 53",
    "host 192.168.1.10",
    "src net 192.168.0.0/16 and tcp",
    "tcp[tcpflags] & tcp-syn != 0",
    "tcp[tcpflags] & (tcp-syn|tcp-fin) != 0 and not ip6",
    "ip6",
    "icmp or icmp6",
    "arp or rarp",
    "vlan",
    "greater 1000",
    "less 64",
    "pppoes",
    "ip and arp",  // libpcap proves it matches nothing
};

Frame StoredFrame(const PacketStore& store, size_t index) {
    const KeptFrame& f = *store.At(index)->frame;
    return {f.time, std::string(reinterpret_cast<const char*>(f.Bytes()), f.capturedLength)};
}

// Each expression of the table shows, of `store`'s frames, those tcpdump
// keeps of `file`, which holds the same frames in the same order.
void ExpectTcpdumpsFrames(const PacketStore& store, const fs::path& file, const fs::path& dir) {
    const uint64_t generation = store.Generation();
    for (const char* expression : kExpressions) {
        SCOPED_TRACE(expression);
        DisplayFilter filter;
        ASSERT_TRUE(filter.Compile(expression, store.LinkType())) << filter.Error();
        const std::optional<RowIndices> rows =
            FilterEntries(store, generation, filter, 0, store.Count());
        ASSERT_TRUE(rows);
        const fs::path out = dir / "tcpdump.pcap";
        const std::string command = "tcpdump -n --nano -r '" + file.string() + "' -w '" +
                                    out.string() + "' '" + expression + "' 2>/dev/null";
        const bool rejectsAll = std::string(expression) == "ip and arp";
        if (std::system(command.c_str()) != 0) {
            ASSERT_TRUE(rejectsAll);
        }
        std::vector<Frame> ours;
        for (const uint32_t index : *rows) ours.push_back(StoredFrame(store, index));
        const std::vector<Frame> theirs = rejectsAll ? std::vector<Frame>{} : ReadFrames(out);
        EXPECT_EQ(ours.size(), theirs.size());
        EXPECT_TRUE(ours == theirs);
    }
}

// Sends `count` datagrams of `text` to 192.168.1.10:`port`; how many went.
int SendTo(uint16_t port, const std::string& text, int count) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = Address(port);
    int sent = 0;
    for (int i = 0; i < count; ++i) {
        if (sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof to) == static_cast<ssize_t>(text.size()))
            ++sent;
    }
    close(fd);
    return sent;
}

// One TCP connection on 192.168.1.10, a few bytes each way, closed; the
// listening port, 0 when it failed.
uint16_t ConnectOnce() {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at = Address(0);
    socklen_t length = sizeof at;
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
        listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length) == 0 &&
        connect(client, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) {
        const int server = accept(listener, nullptr, nullptr);
        if (send(client, "hello", 5, 0) == 5 && send(server, "world", 5, 0) == 5)
            port = ntohs(at.sin_port);
        close(server);
    }
    close(client);
    close(listener);
    return port;
}

class ViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("tw_view_test_" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        m_file = m_dir / "mix.pcap";
        ASSERT_TRUE(
            capture_gen::WriteCapture(m_file.string(), capture_gen::CaptureKind::Mix, 4000, 7));
        CaptureFileReader reader;
        ASSERT_EQ(reader.Read(m_file.string(), "", m_intake).end, CaptureFileEnd::Finished);
        ASSERT_EQ(m_store.Count(), 4000u);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    Frame Stored(size_t index) const { return StoredFrame(m_store, index); }
    ShownRows All() const { return {nullptr, m_store.Count()}; }

    fs::path m_dir;
    fs::path m_file;
    PacketStore m_store;
    SharedText m_contains;
    PacketIntake m_intake{m_store, m_contains};
};

TEST_F(ViewTest, DisplayFilterShowsWhatTcpdumpKeeps) {
    ExpectTcpdumpsFrames(m_store, m_file, m_dir);
    DisplayFilter bad;
    EXPECT_FALSE(bad.Compile("tcp port", DLT_EN10MB));
    EXPECT_NE(bad.Error().find("syntax error"), std::string::npos) << bad.Error();
}

// Every frame with two addresses is among the frames its own conversation's
// expression matches, behind VLAN tags (one or two) and PPPoE too.
TEST(ConversationFilterTest, EveryFrameMatchesItsOwnConversation) {
    size_t checked = 0;
    for (const auto kind : {capture_gen::CaptureKind::Mix, capture_gen::CaptureKind::Vlan}) {
        for (const auto& f : capture_gen::GenerateFrames(kind, 3000, 3)) {
            const auto root = DecodeFrame(f.data.data(), static_cast<int>(f.data.size()));
            const std::string expression = ConversationFilter(root.get());
            if (expression.empty() || f.data.size() < f.origLen) continue;
            DisplayFilter filter;
            ASSERT_TRUE(filter.Compile(expression, DLT_EN10MB)) << filter.Error();
            ChainSlab slab;
            const FrameInfo info{{}, static_cast<uint32_t>(f.data.size()), f.origLen};
            EXPECT_TRUE(filter.Matches(*KeepFrame(slab, info, f.data.data()))) << expression;
            ++checked;
        }
    }
    EXPECT_GT(checked, 5000u);
}

TEST(LiveViewTest, DisplayFilterShowsWhatTcpdumpKeepsOfALoopbackCapture) {
    SKIP_UNLESS_ROOT();
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok());
    ASSERT_EQ(ns.Exec("ip link set lo up && ip addr add 192.168.1.10/32 dev lo"), 0);
    EnterNamespace inside(ns);
    ASSERT_TRUE(inside.Ok());
    PacketStore store;
    SharedText filter;
    SharedText contains;
    FakeWindow window{store};
    CaptureSession session{window, store, filter, contains};
    ASSERT_EQ(session.FillDeviceList(), 0);
    window.SelectInterface(InterfaceIndex(session, "lo"));
    session.OnCapture();
    ASSERT_TRUE(window.PumpUntil([&] { return session.Phase() == CapturePhase::Running; }));

    // UDP to a port nobody reads (the ICMP errors it draws too), short and
    // long datagrams, and a TCP connection with data both ways.
    const uint16_t port = ConnectOnce();
    ASSERT_NE(port, 0);
    ASSERT_EQ(SendTo(53, std::string(8, 'q'), 5), 5);
    ASSERT_EQ(SendTo(port, std::string(1400, 'x'), 3), 3);
    ASSERT_TRUE(window.PumpUntil([&] { return store.Count() >= 20; }));
    window.PumpFor(300ms);
    session.OnCapture();
    ASSERT_TRUE(window.PumpUntil([&] { return session.Phase() == CapturePhase::Idle; }));

    const fs::path dir =
        fs::temp_directory_path() / ("tw_live_view_test_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "live.pcap";
    ASSERT_EQ(SaveCapturePcap(file.string(), store.Snapshot(), store.LinkType()), SAVE_OK);
    ExpectTcpdumpsFrames(store, file, dir);
    fs::remove_all(dir);
}

TEST_F(ViewTest, FindStopsWhereAScanOfTheFramesDoes) {
    struct Case {
        std::string bytes;
        bool caseSensitive;
        std::string folded;  // what a scan looks for, in lower case for a case-blind find
    } cases[] = {
        {"HTTP/1.1", true, "HTTP/1.1"},
        {"host:", false, "host:"},
        {*ParseHexBytes("08 06 00 01"), true, std::string("\x08\x06\x00\x01", 4)},
        {*ParseHexBytes("0x86dd"), true, "\x86\xdd"},
    };
    const uint64_t generation = m_store.Generation();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folded);
        FindPattern pattern;
        pattern.bytes = c.bytes;
        pattern.caseSensitive = c.caseSensitive;
        std::vector<size_t> scan;
        for (size_t i = 0; i < m_store.Count(); ++i) {
            std::string bytes = Stored(i).bytes;
            if (!pattern.caseSensitive)
                std::transform(bytes.begin(), bytes.end(), bytes.begin(),
                               [](unsigned char b) { return static_cast<char>(std::tolower(b)); });
            if (bytes.find(c.folded) != std::string::npos) scan.push_back(i);
        }
        ASSERT_GT(scan.size(), 1u);
        std::vector<size_t> forward;
        std::optional<size_t> at;
        for (;;) {
            const FindResult r = FindRow(m_store, generation, All(), at, true, pattern);
            ASSERT_TRUE(r.position);
            if (r.wrapped) {
                EXPECT_EQ(*r.position, scan.front());
                break;
            }
            forward.push_back(*r.position);
            at = r.position;
        }
        EXPECT_EQ(forward, scan);
        // Backward from the first match goes round to the last.
        const FindResult back = FindRow(m_store, generation, All(), scan.front(), false, pattern);
        EXPECT_TRUE(back.wrapped);
        EXPECT_EQ(back.position, scan.back());
    }
    const FindPattern absent{"no frame holds this text", true};
    EXPECT_FALSE(FindRow(m_store, generation, All(), std::nullopt, true, absent).position);
    EXPECT_FALSE(ParseHexBytes("de ad b"));
    EXPECT_FALSE(ParseHexBytes("xyz"));
}

TEST_F(ViewTest, SortBySourceAddressKeepsAddressOrderAndCaptureOrderWithin) {
    const std::optional<OrderedRows> sorted =
        SortRows(m_store, m_store.Generation(), All(), {COL_SRC_IP, false});
    ASSERT_TRUE(sorted);
    ASSERT_EQ(sorted->rows.size(), m_store.Count());
    // Each row's address, read from its cell independently of the sort keys:
    // (family rank, 16 bytes), no address first.
    const auto address = [&](uint32_t index) {
        PacketRow row;
        BuildRow(*m_store.At(index), index, row);
        const std::string cell(row.Cell(COL_SRC_IP));
        std::pair<int, std::array<unsigned char, 16>> key{0, {}};
        if (inet_pton(AF_INET, cell.c_str(), key.second.data() + 12) == 1) {
            key.first = 1;
        } else if (inet_pton(AF_INET6, cell.c_str(), key.second.data()) == 1) {
            key.first = 2;
        }
        return key;
    };
    size_t ties = 0;
    for (size_t p = 1; p < sorted->rows.size(); ++p) {
        const auto a = address(sorted->rows[p - 1]);
        const auto b = address(sorted->rows[p]);
        ASSERT_LE(a, b) << "at " << p;
        if (a == b) {
            ++ties;
            ASSERT_LT(sorted->rows[p - 1], sorted->rows[p]) << "at " << p;
        }
    }
    EXPECT_GT(ties, 0u);
    EXPECT_EQ(address(sorted->rows.back()).first, 2);  // IPv6 after IPv4

    // Rows arriving in batches take the places a sort of them all gives.
    const uint64_t generation = m_store.Generation();
    std::optional<OrderedRows> merged =
        SortRows(m_store, generation, {nullptr, 1000}, {COL_SRC_IP, false});
    ASSERT_TRUE(merged);
    for (uint32_t first = 1000; first < m_store.Count(); first += 700) {
        OrderedRows arrived;
        for (uint32_t i = first; i < std::min<size_t>(first + 700, m_store.Count()); ++i)
            arrived.rows.push_back(i);
        arrived.keys = *KeysOf(m_store, generation, arrived.rows, COL_SRC_IP);
        *merged = MergeRows(merged->rows, merged->keys, arrived, {COL_SRC_IP, false});
    }
    EXPECT_EQ(merged->rows, sorted->rows);
}

}  // namespace
