// stats-bench FILE TAPWATCH_LOG: the statistics of a capture file by
// tapwatch-log --stats beside tshark -q -z conv,tcp on the same file (wall
// time and peak memory of each, and the ratio); then, offscreen, the worst
// lateness of the window's event loop while the Statistics window follows
// rows arriving at 200,000 a second, taken from the same file. Target: under
// 50 ms.
#include <pcap/pcap.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/packet_list_model.h"
#include "app/statistics_window.h"
#include "common/shared_text.h"
#include "intake/packet_intake.h"

namespace {

struct Run {
    double seconds = 0;
    long peakKiB = 0;
};

Run Time(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            usage.ru_maxrss};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: stats-bench FILE TAPWATCH_LOG\n");
        return 2;
    }
    const std::string file = argv[1];
    const Run ours = Time({argv[2], "--stats", file, "-o", "/dev/null"});
    const Run theirs = Time({"tshark", "-n", "-q", "-z", "conv,tcp", "-r", file});
    std::printf(
        "%s\n  tapwatch-log --stats   %7.2f s  %7ld KiB peak\n"
        "  tshark -z conv,tcp     %7.2f s  %7ld KiB peak\n  ratio (tshark / ours)  %7.2f\n",
        file.c_str(), ours.seconds, ours.peakKiB, theirs.seconds, theirs.peakKiB,
        theirs.seconds / std::max(ours.seconds, 1e-6));

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PacketStore store;
    PacketListModel model(store);
    StatisticsWindow window(store, model, {});
    window.show();
    SharedText none{std::string()};
    PacketIntake intake(store, none);
    intake.Restart(std::nullopt);
    std::atomic<bool> done{false};
    size_t fed = 0;
    std::thread feeder([&] {
        char error[PCAP_ERRBUF_SIZE];
        pcap_t* pcap = pcap_open_offline(file.c_str(), error);
        if (pcap == nullptr) {
            done = true;
            return;
        }
        PacketIntake::Reader reader(intake);
        pcap_pkthdr* header = nullptr;
        const u_char* bytes = nullptr;
        const auto start = std::chrono::steady_clock::now();
        // 200,000 rows a second, in batches of 2,000 every 10 ms.
        while (pcap_next_ex(pcap, &header, &bytes) == 1) {
            const FrameInfo info{
                {header->ts.tv_sec, static_cast<uint32_t>(header->ts.tv_usec * 1000)},
                header->caplen,
                header->len};
            reader.ProcessPacket(info, bytes);
            if (++fed % 2000 == 0)
                std::this_thread::sleep_until(start + std::chrono::milliseconds(fed / 200));
        }
        pcap_close(pcap);
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    qint64 expected = 1;
    qint64 worst = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = std::max(worst, clock.elapsed() - expected);
        expected = clock.elapsed() + 1;
        if (done && window.Counts().CaughtUp(store)) app.quit();
    });
    tick.start();
    app.exec();
    feeder.join();
    std::printf(
        "  Statistics window following %zu rows at 200,000/s: worst event-loop lateness "
        "%lld ms (%.1f s)\n",
        fed, static_cast<long long>(worst), clock.elapsed() / 1000.0);
    return 0;
}
