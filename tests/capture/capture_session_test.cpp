// The capture session through its window interface, on real libpcap: loopback
// for the plain cases, network namespaces of the test's own for interfaces that
// come and go and for real Ethernet links.
#include "capture/capture_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <pcap/pcap.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "protocols/decode.h"
#include "protocols/ethernet.h"
#include "protocols/linux_cooked.h"
#include "tests/capture/capture_test_support.h"
#include "tests/common/pcap_compile_error.h"

namespace {

struct Rig {
    PacketStore store;
    SharedText filter;
    SharedText dataContains;
    FakeWindow window{store};
    std::mutex rowsLock;
    std::vector<std::pair<size_t, std::string>> rows;  // index and Num cell
    CaptureSession session{window, store, filter, dataContains,
                           [this](size_t index, const PacketRow& row) {
                               std::scoped_lock lock(rowsLock);
                               rows.emplace_back(index, std::string(row.Cell(COL_NUM)));
                           }};

    bool WaitPhase(CapturePhase phase, std::chrono::milliseconds timeout = 5s) {
        return window.PumpUntil([&] { return session.Phase() == phase; }, timeout);
    }
    bool WaitStored(size_t count, std::chrono::milliseconds timeout = 5s) {
        return window.PumpUntil([&] { return store.Count() >= count; }, timeout);
    }
    // Lists the interfaces and selects `name`; false when it is not listed.
    bool Select(const std::string& name) {
        if (session.FillDeviceList() != 0) return false;
        const int index = InterfaceIndex(session, name);
        window.SelectInterface(index);
        return index >= 0;
    }
    bool StartOn(const std::string& name, const std::string& filterText) {
        filter.Set(filterText);
        if (!Select(name)) return false;
        session.OnCapture();
        return WaitPhase(CapturePhase::Running);
    }
    bool Stop() {
        session.OnCapture();
        return WaitPhase(CapturePhase::Idle);
    }
};

// As /sys/class/net/<dev>/address writes it.
std::string MacText(const unsigned char* mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

// A store entry left from before a capture.
StoredPacket OldEntry() {
    static const unsigned char frame[14] = {};
    return {DecodeFrame(frame, sizeof frame), 0};
}

// A veth pair inside a namespace, both ends up: a link that only the test
// sends on (the kernel offers no dummy interfaces everywhere).
std::string VethPair(const std::string& name) {
    return "ip link add " + name + " type veth peer name " + name + "p && ip link set " + name +
           " up && ip link set " + name + "p up";
}

std::string UdpFilter(const UdpReceiver& receiver) {
    return "udp port " + std::to_string(receiver.Port());
}

// ---------------------------------------------------------------------------
// Interface list

TEST(InterfaceListTest, EntriesFollowTheEnumerationAndTheFirstIsSelected) {
    std::vector<InterfaceEntry> enumerated;
    ASSERT_EQ(EnumerateInterfaces(enumerated), 0);
    Rig rig;
    rig.window.selected = 7;
    ASSERT_EQ(rig.session.FillDeviceList(), 0);
    ASSERT_EQ(rig.window.entries.size(), enumerated.size());
    for (size_t i = 0; i < enumerated.size(); ++i) {
        EXPECT_EQ(rig.window.entries[i], InterfaceEntryText(static_cast<int>(i), enumerated[i]));
        EXPECT_EQ(rig.session.Interfaces()[i].name, enumerated[i].name);
    }
    EXPECT_EQ(rig.window.selected, 0);
    EXPECT_TRUE(rig.window.messages.empty());
}

TEST(InterfaceListTest, InterfacesOfANamespaceAreListedByNameWithoutDescription) {
    SKIP_UNLESS_ROOT();
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok());
    ASSERT_EQ(ns.Exec(VethPair("twd0")), 0);
    EnterNamespace inside(ns);
    ASSERT_TRUE(inside.Ok());
    Rig rig;
    ASSERT_EQ(rig.session.FillDeviceList(), 0);
    const int veth = InterfaceIndex(rig.session, "twd0");
    ASSERT_GE(veth, 0);
    EXPECT_EQ(rig.window.entries[veth],
              std::string("[").append(std::to_string(veth)).append("] twd0"));
    const int any = InterfaceIndex(rig.session, "any");
    if (any >= 0) {
        // Named first, so that it can be told from the others.
        EXPECT_EQ(rig.window.entries[any],
                  std::string("[")
                      .append(std::to_string(any))
                      .append("] any (Pseudo-device that captures on all inter"));
    }
    // Nothing of the machine's own interfaces is seen from inside.
    EXPECT_EQ(InterfaceIndex(rig.session, "eth0"), -1);
}

// ---------------------------------------------------------------------------
// Failed starts

TEST(CaptureStartTest, AnEntryBeyondTheListFailsToOpenAndReturnsToIdle) {
    Rig rig;
    ASSERT_EQ(rig.session.FillDeviceList(), 0);
    rig.store.Append(OldEntry());
    rig.window.SelectInterface(static_cast<int>(rig.window.entries.size()) + 3);
    rig.session.OnCapture();
    // The toggle itself: busy controls, an emptied store, and no wait.
    EXPECT_EQ(rig.session.Phase(), CapturePhase::Starting);
    EXPECT_TRUE(rig.window.ShowsBusy());
    EXPECT_EQ(rig.window.clears, 1);
    EXPECT_EQ(rig.store.Count(), 0u);
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Idle));
    EXPECT_TRUE(rig.window.ShowsIdle());
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_EQ(rig.window.messages[0].text, "Unable to open live adapter");
    EXPECT_EQ(rig.window.messages[0].caption, "Error");
    EXPECT_FALSE(rig.window.wrongThread);
}

TEST(CaptureStartTest, AFilterThatDoesNotCompileShowsItsMessageAndLeavesTheStoreEmpty) {
    SKIP_UNLESS_ROOT();
    Rig rig;
    rig.store.Append(OldEntry());
    rig.filter.Set("udp port");
    ASSERT_TRUE(rig.Select("lo"));
    rig.session.OnCapture();
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Idle));
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_EQ(
        rig.window.messages[0].text,
        "Unable to compile the packet filter. Check the syntax\n" + PcapCompileError("udp port"));
    EXPECT_EQ(rig.window.messages[0].caption, "Error");
    EXPECT_TRUE(rig.window.ShowsIdle());
    EXPECT_EQ(rig.store.Count(), 0u);
    EXPECT_FALSE(rig.session.LastCaptureStats().valid);
}

TEST(CaptureStartTest, AnInterfaceRemovedAfterListingFailsToOpen) {
    SKIP_UNLESS_ROOT();
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok());
    ASSERT_EQ(ns.Exec(VethPair("twd0") + " && " + VethPair("twd1")), 0);
    EnterNamespace inside(ns);
    ASSERT_TRUE(inside.Ok());
    Rig rig;
    ASSERT_TRUE(rig.Select("twd1"));
    const int index = rig.window.selected;
    ASSERT_EQ(ns.Exec("ip link del twd1"), 0);
    rig.session.OnCapture();
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Idle));
    ASSERT_EQ(rig.window.messages.size(), 1u);
    // The helper's libpcap line says why.
    EXPECT_EQ(rig.window.messages[0].text, std::string("Unable to open live adapter\n") +
                                               pcap_statustostr(PCAP_ERROR_NO_SUCH_DEVICE));
    EXPECT_TRUE(rig.window.ShowsIdle());
    // The entry still names the removed interface: its neighbour is not opened instead.
    EXPECT_EQ(rig.session.Interfaces()[index].name, "twd1");
    EXPECT_FALSE(rig.session.LastCaptureStats().valid);
}

TEST(CaptureStartTest, AnInterfaceOfALinkTypeNotDecodedIsRefusedAndNamesIt) {
    SKIP_UNLESS_ROOT();
    Rig rig;
    if (!rig.Select("nflog")) GTEST_SKIP() << "libpcap lists no \"nflog\" interface here";
    rig.session.OnCapture();
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Idle));
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_EQ(rig.window.messages[0].text,
              "This interface does not deliver Ethernet frames\nNFLOG");
    EXPECT_EQ(rig.window.messages[0].caption, "Error");
    EXPECT_TRUE(rig.window.ShowsIdle());
}

// ---------------------------------------------------------------------------
// Capturing on loopback

TEST(LoopbackCaptureTest, EveryDatagramBecomesExactlyOneRowNumberedFromZero) {
    SKIP_UNLESS_ROOT();
    UdpReceiver receiver;
    ASSERT_NE(receiver.Port(), 0);
    Rig rig;
    ASSERT_TRUE(rig.StartOn("lo", UdpFilter(receiver)));
    EXPECT_TRUE(rig.window.ShowsBusy());

    constexpr int kCount = 500;
    ASSERT_EQ(SendUdp(receiver.Port(), "dgram-", 0, kCount), kCount);
    ASSERT_TRUE(rig.WaitStored(kCount))
        << rig.store.Count() << " " << rig.session.Statistics().received << " "
        << rig.session.Statistics().dropped;
    rig.window.PumpFor(100ms);  // a duplicate would land by now
    ASSERT_TRUE(rig.Stop());
    EXPECT_TRUE(rig.window.ShowsIdle());
    EXPECT_TRUE(rig.window.messages.empty());

    std::vector<std::string> payloads = Payloads(rig.store);
    ASSERT_EQ(payloads.size(), static_cast<size_t>(kCount));
    std::set<std::string> distinct(payloads.begin(), payloads.end());
    EXPECT_EQ(distinct.size(), payloads.size());
    for (int i = 0; i < kCount; ++i) EXPECT_EQ(distinct.count("dgram-" + std::to_string(i)), 1u);

    {
        // Rows are told inside the store's lock: the store is not read while
        // this lock is held.
        std::scoped_lock lock(rig.rowsLock);
        ASSERT_EQ(rig.rows.size(), static_cast<size_t>(kCount));
        // Told in store order, each with its own index.
        for (size_t i = 0; i < rig.rows.size(); ++i) {
            EXPECT_EQ(rig.rows[i].first, i);
            EXPECT_EQ(rig.rows[i].second, std::to_string(i));
        }
    }
    const auto first = rig.store.At(0);
    ASSERT_TRUE(first.has_value());
    PacketRow row;
    BuildRow(*first, 0, row);
    EXPECT_EQ(row.Cell(COL_FRAME), "IPv4");
    EXPECT_EQ(row.Cell(COL_PROTO), "UDP");
    EXPECT_EQ(row.Cell(COL_SRC_IP), "127.0.0.1");
    EXPECT_EQ(row.Cell(COL_DEST_PORT), std::to_string(receiver.Port()));
    // Time counts from this capture's start: well under a minute.
    EXPECT_LT(first->elapsedMs, 60000u);
    EXPECT_TRUE(rig.session.LastCaptureStats().valid);
    EXPECT_FALSE(rig.window.wrongThread);
}

TEST(LoopbackCaptureTest, DataContainsKeepsOnlyFramesWhosePayloadHoldsTheText) {
    SKIP_UNLESS_ROOT();
    UdpReceiver receiver;
    Rig rig;
    rig.dataContains.Set("keep");
    ASSERT_TRUE(rig.StartOn("lo", UdpFilter(receiver)));
    SendUdp(receiver.Port(), "drop-", 0, 20);
    SendUdp(receiver.Port(), "keep-", 0, 10);
    SendUdp(receiver.Port(), "KEEP-", 0, 10);
    ASSERT_TRUE(rig.WaitStored(10));
    rig.window.PumpFor(100ms);
    ASSERT_TRUE(rig.Stop());
    const std::vector<std::string> payloads = Payloads(rig.store);
    EXPECT_EQ(payloads.size(), 10u);
    for (const std::string& payload : payloads) EXPECT_EQ(payload.rfind("keep-", 0), 0u);
}

TEST(LoopbackCaptureTest, StopThenCaptureAtOnceStartsEmptyWithoutOldFrames) {
    SKIP_UNLESS_ROOT();
    UdpReceiver receiver;
    Rig rig;
    ASSERT_TRUE(rig.StartOn("lo", UdpFilter(receiver)));
    // A backlog of old frames that the readers are still working through.
    ASSERT_GT(SendUdp(receiver.Port(), "old-", 0, 20000), 0);
    ASSERT_TRUE(rig.WaitStored(1));
    // What a Decode window or a save would hold across the restart.
    const std::vector<StoredPacket> held = rig.store.Snapshot();
    rig.session.OnCapture();
    EXPECT_EQ(rig.session.Phase(), CapturePhase::Stopping);
    EXPECT_TRUE(rig.window.ShowsIdle());
    rig.session.OnCapture();
    // The start waits for the old capture; the button already reads "Stop".
    EXPECT_TRUE(rig.session.StartQueued());
    EXPECT_EQ(rig.session.Phase(), CapturePhase::Starting);
    EXPECT_TRUE(rig.window.ShowsBusy());
    const int clearsBefore = rig.window.clears;

    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Running));
    EXPECT_EQ(rig.window.clears, clearsBefore + 1);
    constexpr int kNew = 50;
    ASSERT_EQ(SendUdp(receiver.Port(), "new-", 0, kNew), kNew);
    ASSERT_TRUE(rig.WaitStored(kNew));
    rig.window.PumpFor(100ms);
    ASSERT_TRUE(rig.Stop());

    const std::vector<std::string> payloads = Payloads(rig.store);
    EXPECT_EQ(payloads.size(), static_cast<size_t>(kNew));
    for (const std::string& payload : payloads) EXPECT_EQ(payload.rfind("new-", 0), 0u) << payload;
    EXPECT_TRUE(rig.window.messages.empty());
    // Emptying the store dropped only its own references.
    PacketStore heldStore;
    for (const StoredPacket& packet : held) heldStore.Append(packet);
    for (const std::string& payload : Payloads(heldStore)) EXPECT_EQ(payload.rfind("old-", 0), 0u);
}

TEST(LoopbackCaptureTest, AToggleWhileStartingCancelsTheStart) {
    SKIP_UNLESS_ROOT();
    UdpReceiver receiver;
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        while (sending) SendUdp(receiver.Port(), "x", 0, 50);
    });
    Rig rig;
    rig.filter.Set(UdpFilter(receiver));
    ASSERT_TRUE(rig.Select("lo"));
    rig.session.OnCapture();
    rig.session.OnCapture();  // before the controller could install the filter
    EXPECT_EQ(rig.session.Phase(), CapturePhase::Stopping);
    EXPECT_TRUE(rig.window.ShowsIdle());
    const bool idle = rig.WaitPhase(CapturePhase::Idle);
    rig.window.PumpFor(100ms);
    sending = false;
    sender.join();
    ASSERT_TRUE(idle);
    EXPECT_EQ(rig.session.Phase(), CapturePhase::Idle);
    EXPECT_EQ(rig.store.Count(), 0u);
    EXPECT_TRUE(rig.window.messages.empty());
    EXPECT_EQ(rig.window.clears, 1);
    EXPECT_TRUE(rig.window.ShowsIdle());
}

TEST(LoopbackCaptureTest, AQueuedStartIsWithdrawnByTheNextToggle) {
    SKIP_UNLESS_ROOT();
    UdpReceiver receiver;
    Rig rig;
    ASSERT_TRUE(rig.StartOn("lo", UdpFilter(receiver)));
    rig.session.OnCapture();  // stop
    rig.session.OnCapture();  // queued start
    rig.session.OnCapture();  // withdrawn
    EXPECT_FALSE(rig.session.StartQueued());
    EXPECT_EQ(rig.session.Phase(), CapturePhase::Stopping);
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Idle));
    rig.window.PumpFor(100ms);
    EXPECT_EQ(rig.session.Phase(), CapturePhase::Idle);
    EXPECT_EQ(rig.window.clears, 1);
    EXPECT_TRUE(rig.window.ShowsIdle());
}

TEST(LoopbackCaptureTest, ClosingTheSessionDuringACaptureEndsItsThreads) {
    SKIP_UNLESS_ROOT();
    UdpReceiver receiver;
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        while (sending) SendUdp(receiver.Port(), "x", 0, 50);
    });
    PacketStore store;
    SharedText filter(UdpFilter(receiver));
    SharedText contains;
    FakeWindow window(store);
    auto started = std::chrono::steady_clock::now();
    {
        CaptureSession session(window, store, filter, contains);
        ASSERT_EQ(session.FillDeviceList(), 0);
        window.SelectInterface(InterfaceIndex(session, "lo"));
        session.OnCapture();
        ASSERT_TRUE(window.PumpUntil([&] { return session.Phase() == CapturePhase::Running; }));
        ASSERT_TRUE(window.PumpUntil([&] { return store.Count() > 0; }));
        started = std::chrono::steady_clock::now();
        // The window's thread runs no task while the session waits for its threads.
    }
    const auto closing = std::chrono::steady_clock::now() - started;
    sending = false;
    sender.join();
    EXPECT_LT(closing, 2s);
    // What the controller posted meanwhile finds the session gone and does nothing.
    window.PumpFor(50ms);
    EXPECT_TRUE(window.ShowsBusy());
    const size_t count = store.Count();
    window.PumpFor(100ms);
    EXPECT_EQ(store.Count(), count);
}

// ---------------------------------------------------------------------------
// Links of the test's own namespaces

TEST(NamespaceCaptureTest, StopOnAnIdleLinkCompletes) {
    SKIP_UNLESS_ROOT();
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok());
    ASSERT_EQ(ns.Exec(VethPair("twd0")), 0);
    EnterNamespace inside(ns);
    ASSERT_TRUE(inside.Ok());
    Rig rig;
    ASSERT_TRUE(rig.StartOn("twd0", ""));
    rig.window.PumpFor(200ms);  // every reader waits for a frame that never comes
    const auto stopped = std::chrono::steady_clock::now();
    rig.session.OnCapture();
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Idle, 2s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 2s);
    EXPECT_TRUE(rig.window.messages.empty());
    EXPECT_EQ(rig.store.Count(), 0u);
}

TEST(NamespaceCaptureTest, AnInterfaceDeletedDuringTheCaptureEndsItWithAnError) {
    SKIP_UNLESS_ROOT();
    NetNamespace ns;
    ASSERT_TRUE(ns.Ok());
    ASSERT_EQ(ns.Exec(VethPair("twd0")), 0);
    EnterNamespace inside(ns);
    ASSERT_TRUE(inside.Ok());
    Rig rig;
    ASSERT_TRUE(rig.StartOn("twd0", ""));
    rig.window.PumpFor(100ms);
    ASSERT_EQ(ns.Exec("ip link del twd0"), 0);
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Idle, 5s));
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_EQ(rig.window.messages[0].text,
              "The capture stopped because the interface reported an error");
    EXPECT_EQ(rig.window.messages[0].caption, "Error");
    EXPECT_TRUE(rig.window.ShowsIdle());
}

TEST(NamespaceCaptureTest, PingAcrossAVethPairShowsArpAndIpv4WithTheRealAddresses) {
    SKIP_UNLESS_ROOT();
    if (Sh("command -v ping") != 0) GTEST_SKIP() << "ping (iputils-ping) is not installed";
    NetNamespace a;
    NetNamespace b;
    ASSERT_TRUE(a.Ok() && b.Ok());
    ASSERT_EQ(
        a.Exec("ip link add twva type veth peer name twvb && ip link set twvb netns " + b.Name()),
        0);
    ASSERT_EQ(a.Exec("ip addr add 192.0.2.1/24 dev twva && ip link set twva up"), 0);
    ASSERT_EQ(b.Exec("ip addr add 192.0.2.2/24 dev twvb && ip link set twvb up"), 0);
    const std::string macA = a.Mac("twva");
    const std::string macB = b.Mac("twvb");
    ASSERT_EQ(macA.size(), 17u);
    ASSERT_EQ(macB.size(), 17u);

    EnterNamespace inside(a);
    ASSERT_TRUE(inside.Ok());
    Rig rig;
    ASSERT_EQ(rig.session.FillDeviceList(), 0);
    // The veth is the namespace's first interface; with nothing selected the
    // start opens it.
    ASSERT_FALSE(rig.session.Interfaces().empty());
    ASSERT_EQ(rig.session.Interfaces()[0].name, "twva");
    rig.window.SelectInterface(-1);
    rig.session.OnCapture();
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Running));
    ASSERT_EQ(a.Exec("ping -c 2 -i 0.2 -W 2 192.0.2.2"), 0);
    ASSERT_TRUE(rig.WaitStored(6));  // ARP request and reply, two echoes and replies
    rig.window.PumpFor(100ms);
    ASSERT_TRUE(rig.Stop());

    int arp = 0;
    int icmp = 0;
    PacketRow row;
    const auto packets = rig.store.Snapshot();
    for (size_t i = 0; i < packets.size(); ++i) {
        BuildRow(packets[i], i, row);
        const auto* eth = FindLayerAs<CEthernetLayer>(packets[i].root.get());
        ASSERT_NE(eth, nullptr);
        const std::string src = MacText(eth->m_srcMac);
        const std::string dst = MacText(eth->m_dstMac);
        const bool fromA = src == macA;
        EXPECT_TRUE(fromA || src == macB) << src;
        if (row.Cell(COL_FRAME) == "ARP") {
            ++arp;
            EXPECT_EQ(row.Cell(COL_SRC_IP), fromA ? "192.0.2.1" : "192.0.2.2");
        } else if (row.Cell(COL_FRAME) == "IPv4" && row.Cell(COL_PROTO) == "ICMP") {
            ++icmp;
            EXPECT_EQ(dst, fromA ? macB : macA);
            EXPECT_EQ(row.Cell(COL_SRC_IP), fromA ? "192.0.2.1" : "192.0.2.2");
            EXPECT_EQ(row.Cell(COL_SRC_PORT), "---");
        } else {
            ADD_FAILURE() << "unexpected frame " << row.Cell(COL_FRAME) << " "
                          << row.Cell(COL_PROTO);
        }
    }
    EXPECT_GE(arp, 2);
    EXPECT_EQ(icmp, 4);
}

}  // namespace

// Frames of other link types, each in a namespace of the test's own: `any`
// (cooked frames that name their interface) and a tun device (raw IP). A tun
// carries traffic only while a process holds it open.
TEST(NamespaceCaptureTest, AnyAndATunDeviceDeliverDecodedRows) {
    SKIP_UNLESS_ROOT();
    struct Case {
        const char* device;
        int linkType;
        int rootType;
    };
    for (const Case& c :
         {Case{"any", DLT_LINUX_SLL2, LAYER_SLL2}, Case{"twtun0", DLT_RAW, LAYER_IPV4}}) {
        NetNamespace ns;
        ASSERT_TRUE(ns.Ok());
        EnterNamespace inside(ns);
        ASSERT_TRUE(inside.Ok());
        const int tun = open("/dev/net/tun", O_RDWR);
        ASSERT_GE(tun, 0) << "no /dev/net/tun";
        ifreq request{};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(request.ifr_name, "twtun0", IFNAMSIZ - 1);
        ASSERT_EQ(ioctl(tun, TUNSETIFF, &request), 0);
        ASSERT_EQ(ns.Exec("ip addr add 10.9.0.1/24 dev twtun0 && ip link set twtun0 up"), 0);
        Rig rig;
        ASSERT_TRUE(rig.StartOn(c.device, "")) << c.device;
        // A datagram from 10.9.0.2 to port 9 of the tun's address, which the
        // kernel answers with "port unreachable" back through the tun.
        unsigned char packet[28] = {0x45, 0, 0,  28, 0, 0, 0x40, 0,    64, 17, 0, 0, 10, 9,
                                    0,    2, 10, 9,  0, 1, 0x30, 0x39, 0,  9,  0, 8, 0,  0};
        uint32_t sum = 0;
        for (int i = 0; i < 20; i += 2) sum += (packet[i] << 8) | packet[i + 1];
        while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
        packet[10] = static_cast<unsigned char>(~sum >> 8);
        packet[11] = static_cast<unsigned char>(~sum);
        ASSERT_EQ(write(tun, packet, sizeof packet), static_cast<ssize_t>(sizeof packet));
        ASSERT_TRUE(rig.WaitStored(2)) << c.device;
        ASSERT_TRUE(rig.Stop());
        const unsigned tunIndex = if_nametoindex("twtun0");
        close(tun);

        EXPECT_EQ(rig.store.LinkType(), c.linkType);
        const auto packets = rig.store.Snapshot();
        ASSERT_EQ(packets.size(), 2u) << c.device;
        const char* expected[2][5] = {{"IPv4", "UDP", "10.9.0.2", "10.9.0.1", "12345"},
                                      {"IPv4", "ICMP", "10.9.0.1", "10.9.0.2", "---"}};
        for (size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].root->m_nType, c.rootType) << c.device;
            PacketRow row;
            BuildRow(packets[i], i, row);
            for (int column = COL_FRAME; column <= COL_SRC_PORT; ++column)
                EXPECT_EQ(row.Cell(column), expected[i][column - COL_FRAME]) << c.device << i;
            if (const auto* cooked = FindLayerAs<CSll2Layer>(packets[i].root.get())) {
                EXPECT_EQ(cooked->m_nInterface, tunIndex);
            }
        }
    }
    // An expression that makes no sense for the link type fails with libpcap's line.
    NetNamespace ns;
    EnterNamespace inside(ns);
    ASSERT_TRUE(ns.Ok() && inside.Ok());
    Rig rig;
    rig.filter.Set("vlan");
    ASSERT_TRUE(rig.Select("any"));
    rig.session.OnCapture();
    ASSERT_TRUE(rig.WaitPhase(CapturePhase::Idle));
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_EQ(rig.window.messages[0].text,
              "Unable to compile the packet filter. Check the syntax\n" +
                  PcapCompileError("vlan", DLT_LINUX_SLL2));
}
