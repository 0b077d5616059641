// The view over the store on generated captures: the display filter against
// `tcpdump -n -r FILE EXPR -w /dev/null` on the same file in the same run,
// Find over every row, and sorting by Src IP and by Time.
//   view-bench [COUNT [SORT_COUNT]]   (500000 and 1000000 by default)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "capture_files/capture_file_reader.h"
#include "intake/packet_intake.h"
#include "tools/capture_gen/generator.h"
#include "view/frame_find.h"
#include "view/row_order.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Load(const fs::path& file, capture_gen::CaptureKind kind, size_t count, PacketStore& store) {
    if (!capture_gen::WriteCapture(file.string(), kind, count, 1)) return false;
    SharedText contains;
    PacketIntake intake(store, contains);
    CaptureFileReader reader;
    return reader.Read(file.string(), "", intake).end == CaptureFileEnd::Finished;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 500000;
    const size_t sortCount = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2 * count;
    const fs::path dir = fs::temp_directory_path() / ("tw_view_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const char* expressions[] = {"tcp port 80", "tcp[tcpflags] & tcp-syn != 0", "ip6 or arp",
                                 "greater 1000"};
    for (const auto kind : {capture_gen::CaptureKind::Tcp742, capture_gen::CaptureKind::Mix}) {
        const fs::path file = dir / "capture.pcap";
        PacketStore store;
        if (!Load(file, kind, count, store)) {
            std::fprintf(stderr, "view-bench: cannot make the capture\n");
            return 1;
        }
        const std::string name(capture_gen::CaptureKindName(kind));
        const ShownRows all{nullptr, store.Count()};
        for (const char* expression : expressions) {
            DisplayFilter filter;
            filter.Compile(expression, store.LinkType());
            auto start = Clock::now();
            const auto rows = FilterEntries(store, store.Generation(), filter, 0, store.Count());
            const double ours = Since(start);
            start = Clock::now();
            const std::string command = "tcpdump -n -r '" + file.string() + "' -w /dev/null '" +
                                        expression + "' 2>/dev/null";
            const int rc = std::system(command.c_str());
            const double theirs = Since(start);
            std::printf("filter %-6s %-30s %8zu rows  ours %.3f s  tcpdump %.3f s%s  ratio %.1fx\n",
                        name.c_str(), expression, rows ? rows->size() : 0, ours, theirs,
                        rc == 0 ? "" : " (failed)", ours > 0 ? theirs / ours : 0.0);
        }
        const FindPattern absent{"not in any frame", false};
        auto start = Clock::now();
        FindRow(store, store.Generation(), all, std::nullopt, true, absent);
        std::printf("find   %-6s %zu rows, no match, case-blind: %.3f s\n", name.c_str(),
                    all.Size(), Since(start));
        const FindPattern bytes{*ParseHexBytes("de ad be ef"), true};
        start = Clock::now();
        FindRow(store, store.Generation(), all, std::nullopt, true, bytes);
        std::printf("find   %-6s %zu rows, bytes: %.3f s\n", name.c_str(), all.Size(),
                    Since(start));
    }
    {
        PacketStore store;
        if (!Load(dir / "sort.pcap", capture_gen::CaptureKind::Mix, sortCount, store)) return 1;
        const ShownRows all{nullptr, store.Count()};
        for (const int column : {COL_SRC_IP, COL_TIME}) {
            const auto start = Clock::now();
            SortRows(store, store.Generation(), all, {column, false});
            std::printf("sort   mix    %zu rows by %s: %.3f s\n", all.Size(),
                        kPacketColumnHeadings[column], Since(start));
        }
    }
    fs::remove_all(dir);
    return 0;
}
