// xml-bench: Save XML of a generated mixed capture (MB/s and packets/s, to a
// file in the page cache, no sync), set against tshark's PDML output of the
// same frames when tshark is installed; and the Details tree rebuild of a
// packet with a 1460-byte payload (document, parse, items, and with the GUI
// built also the QTreeWidget filled offscreen).
//
//   xml-bench COUNT PCAP OUTDIR
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "intake/packet_store.h"
#include "protocols/decode.h"
#include "tools/capture_gen/frame_builder.h"
#include "tools/capture_gen/generator.h"
#include "xml/capture_log.h"
#include "xml/detail_items.h"

#ifdef TAPWATCH_BENCH_QT
#include <QApplication>
#include <QTreeWidget>

#include "app/detail_tree.h"
#endif

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// Runs tshark over the first `count` frames of `pcap` with its output thrown
// away; the elapsed seconds, or a negative number when it could not run.
double TimeTshark(const std::string& pcap, size_t count) {
    const std::string limit = std::to_string(count);
    const char* argv[] = {"tshark",      "-n", "-r",   pcap.c_str(), "-c",
                          limit.c_str(), "-T", "pdml", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const auto start = Clock::now();
    const int rc =
        posix_spawnp(&pid, "tshark", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return Seconds(start);
}

StoredPacket LargeTcpPacket() {
    using namespace capture_gen;
    const Bytes payload(1460, 'A');
    TcpHeader tcp;
    tcp.srcPort = 1025;
    tcp.dstPort = 80;
    tcp.flags = kTcpAck | kTcpPsh;
    const Ipv4Address src = {192, 0, 2, 1};
    const Ipv4Address dst = {192, 0, 2, 2};
    Ipv4Header ip;
    ip.src = src;
    ip.dst = dst;
    ip.protocol = kIpProtoTcp;
    const Bytes frame = EthernetFrame({2, 0, 0, 0, 0, 2}, {2, 0, 0, 0, 0, 1}, kEtherTypeIpv4,
                                      Ipv4Datagram(ip, TcpSegment(tcp, payload, src, dst)));
    return StoredPacket{DecodeFrame(frame.data(), static_cast<int>(frame.size())), 0};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: xml-bench COUNT PCAP OUTDIR\n");
        return 2;
    }
    const size_t count = std::strtoul(argv[1], nullptr, 10);
    const std::string pcap = argv[2];
    const std::filesystem::path out = std::filesystem::path(argv[3]) / "xml-bench.xml";

    // The packets of the capture file, as the generator makes them.
    std::vector<StoredPacket> packets;
    packets.reserve(count);
    {
        capture_gen::FrameGenerator gen(capture_gen::CaptureKind::Mix, count, 1);
        capture_gen::GeneratedFrame frame;
        while (gen.Next(frame)) {
            packets.push_back(StoredPacket{
                DecodeFrame(frame.data.data(), static_cast<int>(frame.data.size())), 0});
        }
    }

    auto start = Clock::now();
    if (SaveCaptureLog(out.string(), packets) != SAVE_OK) {
        std::fprintf(stderr, "xml-bench: cannot write %s\n", out.c_str());
        return 1;
    }
    const double saveSec = Seconds(start);
    const double bytes = static_cast<double>(std::filesystem::file_size(out));
    const double savePps = static_cast<double>(packets.size()) / saveSec;
    std::printf("save xml: %zu packets, %.1f MB in %.3f s: %.1f MB/s, %.0f packets/s\n",
                packets.size(), bytes / 1e6, saveSec, bytes / 1e6 / saveSec, savePps);
    std::filesystem::remove(out);

    // tshark is far slower: a slice of the capture gives its rate.
    const size_t tsharkCount = std::min<size_t>(count, 20000);
    const double tsharkSec = TimeTshark(pcap, tsharkCount);
    if (tsharkSec > 0) {
        const double tsharkPps = static_cast<double>(tsharkCount) / tsharkSec;
        std::printf(
            "tshark -T pdml: %zu packets in %.3f s: %.0f packets/s; save xml is %.1fx "
            "(target 30x)\n",
            tsharkCount, tsharkSec, tsharkPps, savePps / tsharkPps);
    } else {
        std::printf("tshark -T pdml: not run (tshark missing or failed)\n");
    }

    // Details tree rebuild of one large packet.
    const StoredPacket large = LargeTcpPacket();
    constexpr int kRounds = 2000;
    std::vector<DetailItem> items;
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i) DetailItemsOf(large.root.get(), items);
    const double itemsMs = Seconds(start) * 1e3 / kRounds;
    std::printf("details tree, 1460-byte payload: document+parse+items %.4f ms\n", itemsMs);
#ifdef TAPWATCH_BENCH_QT
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QTreeWidget tree;
    tree.setHeaderHidden(true);
    tree.show();
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        DetailItemsOf(large.root.get(), items);
        FillDetailTree(&tree, items);
    }
    const double treeMs = Seconds(start) * 1e3 / kRounds;
    std::printf("details tree, 1460-byte payload: with the QTreeWidget %.4f ms (target < 5 ms)\n",
                treeMs);
#endif
    return 0;
}
