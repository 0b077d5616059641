// gui-bench [SECONDS [ROWS]]: the main window's responsiveness, offscreen.
//
// 1. A thread appends decoded chains to the window's store at 200,000 rows a
//    second for SECONDS (default 5) while a 1 ms timer measures how late the
//    window's event loop runs it; prints the worst and median lateness.
//    Target: worst under 50 ms.
// 2. With ROWS (default 1,000,000) rows stored and shown, the time from asking
//    the list for its last row (scrollToBottom) to a repainted viewport (a grab
//    of it). Target: under 20 ms.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "resources/init_resources.h"
#include "tests/app/test_frames.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRowsPerSecond = 200000;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Spread {
    double worst = 0;
    double median = 0;
};

Spread SpreadOf(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    return {v.back(), v[v.size() / 2]};
}

std::vector<std::shared_ptr<const CProtocolLayer>> SampleChains() {
    // A few chains decoded once and shared by every row keep the feeder's own
    // cost out of the figures.
    return {Ipv4Chain(true, 1, 40000, 443), Ipv4Chain(false, 2, 5353, 53),
            Ipv4Chain(true, 3, 51000, 80), Ipv4Chain(false, 4, 40001, 123)};
}

// Part 1: event-loop lateness while the store fills.
void StreamingLatency(CCaptureDlg& dlg, double seconds) {
    const auto chains = SampleChains();
    std::atomic<bool> stop{false};
    std::atomic<size_t> appended{0};

    std::vector<double> lateness;
    lateness.reserve(static_cast<size_t>(seconds * 1200));
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    Clock::time_point last = Clock::now();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        lateness.push_back(std::max(0.0, Ms(now - last) - 1.0));
        last = now;
    });

    std::thread feeder([&] {
        // Batches of 200 rows every millisecond, against the clock, so a slow
        // moment is made up for rather than lowering the rate.
        const Clock::time_point start = Clock::now();
        size_t n = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            const auto due = static_cast<size_t>(elapsed * kRowsPerSecond);
            for (; n < due; ++n)
                dlg.Packets().Append({chains[n % chains.size()], static_cast<uint32_t>(n / 200)});
            appended.store(n, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    const Clock::time_point start = Clock::now();
    last = start;
    tick.start();
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer,
                       [] { QApplication::exit(0); });
    QApplication::exec();
    tick.stop();
    stop = true;
    feeder.join();
    const double ran = std::chrono::duration<double>(Clock::now() - start).count();

    const Spread s = SpreadOf(lateness);
    std::printf("stream: %zu rows in %.2f s (%.0f rows/s), %d shown, %zu ticks\n", appended.load(),
                ran, appended.load() / ran, dlg.Model().rowCount(), lateness.size());
    std::printf(
        "stream: event-loop lateness worst %.2f ms, median %.3f ms (target: worst < 50 ms)\n",
        s.worst, s.median);
}

// Part 2: the jump to the last of `rows` rows.
void JumpToLast(CCaptureDlg& dlg, size_t rows) {
    dlg.ClearPackets();
    const auto chains = SampleChains();
    for (size_t i = 0; i < rows; ++i)
        dlg.Packets().Append({chains[i % chains.size()], static_cast<uint32_t>(i / 200)});
    auto* list = dlg.findChild<QTableView*>(QStringLiteral("m_list"));
    if (list == nullptr) {
        std::printf("jump: the main window has no packet list\n");
        return;
    }
    QElapsedTimer insert;
    insert.start();
    dlg.Model().Refresh();
    QApplication::processEvents();
    std::printf("jump: %zu rows taken into the list in %.1f ms\n", rows,
                static_cast<double>(insert.nsecsElapsed()) / 1e6);

    std::vector<double> jumps;
    for (int i = 0; i < 9; ++i) {
        list->scrollToTop();
        list->viewport()->grab();
        QApplication::processEvents();
        const Clock::time_point t0 = Clock::now();
        list->scrollToBottom();
        const QPixmap shot = list->viewport()->grab();
        jumps.push_back(Ms(Clock::now() - t0));
        if (shot.isNull()) std::printf("jump: empty grab\n");
    }
    const QModelIndex bottom = list->indexAt(QPoint(2, list->viewport()->height() - 2));
    const Spread s = SpreadOf(jumps);
    std::printf("jump: last row shown %s (row %d of %zu)\n",
                bottom.row() == static_cast<int>(rows) - 1 ? "yes" : "NO", bottom.row(), rows);
    std::printf(
        "jump: scrollToBottom to repainted viewport worst %.2f ms, median %.2f ms "
        "(target < 20 ms)\n",
        s.worst, s.median);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const long rows = argc > 2 ? std::atol(argv[2]) : 1000000;
    if (seconds <= 0 || rows <= 0) {
        std::fprintf(stderr, "usage: %s [SECONDS [ROWS]]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitTapwatchResources();
    CCaptureDlg dlg(false);
    dlg.show();
    QApplication::processEvents();

    StreamingLatency(dlg, seconds);
    JumpToLast(dlg, static_cast<size_t>(rows));
    return 0;
}
