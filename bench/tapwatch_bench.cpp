// tapwatch-bench FILE: intake, log-writing and memory figures for one capture
// file, each measured in the same run as its baseline.
//
//   read_only_pps           a bare single-threaded pcap_next_ex loop over the file
//   keep_pps                the same loop copying every header and frame into
//                           fresh 1 MiB blocks: the floor of an intake that keeps
//                           every frame
//   intake_pps              reading and taking in every packet (frame kept,
//                           decode, store append in delivery order) with four
//                           readers sharing the handle: each takes a frame and its
//                           place under the read lock and finishes it outside, as
//                           in a live capture (--readers N to compare others)
//   intake_ratio            intake time over read-only time
//   intake_over_keep        intake time over keep time
//   xml_pps                 the log of every stored packet written to /dev/null
//   tshark_pdml_pps         tshark -n -r FILE -T pdml > /dev/null (when installed)
//   xml_over_tshark         xml_pps over tshark_pdml_pps
//   store_bytes_per_packet  memory held by the store per packet (its slabs and its
//                           heap), minus the captured bytes
#include <fcntl.h>
#include <malloc.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_state.h"
#include "common/shared_text.h"
#include "common/short_lock.h"
#include "intake/packet_intake.h"
#include "xml/capture_log.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

pcap_t* OpenFile(const char* path) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_open_offline(path, errbuf);
    if (p == nullptr) {
        std::fprintf(stderr, "tapwatch-bench: %s\n", errbuf);
        std::exit(1);
    }
    return p;
}

size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

struct ReadOnly {
    size_t packets = 0;
    double seconds = 0;
};

// Copies every header and frame into fresh 1 MiB blocks, as an intake that
// keeps frames must at the least.
ReadOnly KeepLoop(const char* path) {
    constexpr size_t kBlock = size_t{1} << 20;
    pcap_t* p = OpenFile(path);
    ReadOnly r;
    std::vector<std::unique_ptr<std::byte[]>> blocks;
    size_t used = kBlock;
    const auto start = Clock::now();
    pcap_pkthdr* h;
    const u_char* bytes;
    while (pcap_next_ex(p, &h, &bytes) == 1) {
        const size_t need = sizeof *h + h->caplen;
        if (kBlock - used < need) {
            blocks.emplace_back(new std::byte[std::max(kBlock, need)]);
            used = 0;
        }
        std::memcpy(blocks.back().get() + used, h, sizeof *h);
        std::memcpy(blocks.back().get() + used + sizeof *h, bytes, h->caplen);
        used += (need + 7) & ~size_t{7};
        ++r.packets;
    }
    r.seconds = Seconds(start);
    pcap_close(p);
    return r;
}

ReadOnly ReadOnlyLoop(const char* path) {
    pcap_t* p = OpenFile(path);
    ReadOnly r;
    const auto start = Clock::now();
    pcap_pkthdr* h;
    const u_char* bytes;
    while (pcap_next_ex(p, &h, &bytes) == 1) ++r.packets;
    r.seconds = Seconds(start);
    pcap_close(p);
    return r;
}

struct IntakeRun {
    size_t packets = 0;
    size_t capturedBytes = 0;
    double seconds = 0;
};

// Four readers share one handle: the next-frame call and the copy of its bytes
// under the read lock, decoding and the append outside it.
IntakeRun Intake(const char* path, PacketStore& store, int readerCount) {
    SharedText dataContains;
    PacketIntake intake(store, dataContains);
    pcap_t* p = OpenFile(path);
    intake.Restart(std::nullopt, PacketIntake::kNoMemoryLimit, {}, pcap_datalink(p));
    ShortLock readLock;  // the live capture's m_readLock
    std::vector<size_t> bytesPerReader(readerCount, 0);
    const auto start = Clock::now();
    std::vector<std::thread> readers;
    for (int t = 0; t < readerCount; ++t) {
        readers.emplace_back([&, t] {
            PacketIntake::Reader reader(intake);
            for (;;) {
                {
                    std::scoped_lock lock(readLock);
                    pcap_pkthdr* h;
                    const u_char* bytes;
                    if (pcap_next_ex(p, &h, &bytes) != 1) return;
                    reader.Take(FrameInfoOf(*h, false), bytes);
                    bytesPerReader[t] += h->caplen;
                }
                reader.Finish();
            }
        });
    }
    for (auto& r : readers) r.join();
    IntakeRun run;
    run.seconds = Seconds(start);
    run.packets = store.Count();
    for (size_t b : bytesPerReader) run.capturedBytes += b;
    pcap_close(p);
    return run;
}

// Seconds tshark takes to write the PDML of the file, or -1 (with the reason
// on stderr) when it is not installed or did not finish.
double TsharkPdml(const char* path) {
    if (std::system("command -v tshark > /dev/null 2>&1") != 0) return -1;
    const std::string command =
        std::string("tshark -n -r '") + path + "' -T pdml > /dev/null 2>/dev/null";
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    if (status != 0) {
        std::fprintf(stderr, "tapwatch-bench: tshark ended with status %d\n", status);
        return -1;
    }
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    bool tshark = true;
    bool intakeOnly = false;
    int readerCount = 4;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-tshark") == 0)
            tshark = false;
        else if (std::strcmp(argv[i], "--intake-only") == 0)
            intakeOnly = true;
        else if (std::strcmp(argv[i], "--readers") == 0 && i + 1 < argc)
            readerCount = std::atoi(argv[++i]);
        else
            path = argv[i];
    }
    if (path == nullptr || readerCount < 1) {
        std::fprintf(stderr,
                     "usage: tapwatch-bench [--no-tshark] [--intake-only] [--readers N] FILE\n");
        return 2;
    }

    const ReadOnly readOnly = ReadOnlyLoop(path);
    std::printf("packets %zu\n", readOnly.packets);
    std::printf("read_only_pps %.0f\n", readOnly.packets / readOnly.seconds);

    const ReadOnly keep = KeepLoop(path);
    std::printf("keep_pps %.0f\n", keep.packets / keep.seconds);

    PacketStore store;
    const size_t heapBefore = HeapInUse();
    const IntakeRun intake = Intake(path, store, readerCount);
    const size_t heapAfter = HeapInUse();
    std::printf("intake_pps %.0f\n", intake.packets / intake.seconds);
    std::printf("intake_ratio %.2f\n", intake.seconds / readOnly.seconds);
    std::printf("intake_over_keep %.2f\n", intake.seconds / keep.seconds);
    if (intake.packets > 0) {
        // Slabs are mapped outside the heap: their capacity comes from the
        // store's own count (which also counts the entries the heap holds).
        const double slabBytes =
            static_cast<double>(store.Bytes()) - double(intake.packets) * sizeof(StoredPacket);
        const double perPacket =
            (static_cast<double>(heapAfter) - heapBefore + slabBytes - intake.capturedBytes) /
            intake.packets;
        std::printf("store_bytes_per_packet %.0f\n", perPacket);
    }

    if (intakeOnly) return 0;
    const std::vector<StoredPacket> packets = store.Snapshot();
    const int devnull = open("/dev/null", O_WRONLY);
    ReplacingFile sink;
    sink.Attach(devnull);
    CaptureLogWriter writer(sink);
    const auto xmlStart = Clock::now();
    bool ok = writer.Begin();
    for (const StoredPacket& p : packets) ok = ok && writer.Add(p.root.get());
    ok = ok && writer.End();
    const double xmlSeconds = Seconds(xmlStart);
    close(devnull);
    if (!ok) std::fprintf(stderr, "tapwatch-bench: writing to /dev/null failed\n");
    const double xmlPps = packets.size() / xmlSeconds;
    std::printf("xml_pps %.0f\n", xmlPps);

    const double tsharkSeconds = tshark ? TsharkPdml(path) : -1;
    if (tsharkSeconds > 0) {
        const double tsharkPps = readOnly.packets / tsharkSeconds;
        std::printf("tshark_pdml_pps %.0f\n", tsharkPps);
        std::printf("xml_over_tshark %.1f\n", xmlPps / tsharkPps);
    } else {
        std::printf("tshark_pdml_pps unavailable\n");
    }
    return ok ? 0 : 1;
}
