// gui-bench [SECONDS [ROWS]]: the main window's responsiveness, offscreen.
//
// 1. A thread appends decoded chains to the window's store at 200,000 rows a
//    second for SECONDS (default 5) while a 1 ms timer measures how late the
//    window's event loop runs it; prints the worst and median lateness, for
//    the list in capture order and sorted by Src IP (each batch then takes
//    its places among the rows already sorted). Target: worst under 50 ms.
// 2. With ROWS (default 1,000,000) rows stored and shown, the time from asking
//    the list for its last row (scrollToBottom) to a repainted viewport (a grab
//    of it). Target: under 20 ms.
// 3. With ROWS frames kept, sorting them by Src IP, a display filter over them
//    and a find that must search them all: each one's time and the event
//    loop's lateness meanwhile. Target: worst under 50 ms.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPixmap>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "app/capture_dlg.h"
#include "app/find_bar.h"
#include "app/packet_list_model.h"
#include "intake/packet_intake.h"
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

// Part 1: event-loop lateness while the store fills, the list sorted by
// `column` (COL_NUM: capture order).
void StreamingLatency(CCaptureDlg& dlg, double seconds, int column) {
    dlg.ClearPackets();
    dlg.OnSortColumn(column);
    const char* order = column == COL_NUM ? "capture order" : "sorted by Src IP";
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
    std::printf("stream, %s: %zu rows in %.2f s (%.0f rows/s), %d shown, %zu ticks\n", order,
                appended.load(), ran, appended.load() / ran, dlg.Model().rowCount(),
                lateness.size());
    std::printf(
        "stream, %s: event-loop lateness worst %.2f ms, median %.3f ms (target: worst < 50 ms)\n",
        order, s.worst, s.median);
}

// Part 2: the jump to the last of `rows` rows.
void JumpToLast(CCaptureDlg& dlg, size_t rows) {
    dlg.ClearPackets();
    dlg.OnSortColumn(COL_NUM);
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

// Runs the event loop until `done` holds, a 1 ms timer measuring how late it
// runs; prints what `what` took and the lateness.
void LoopUntil(const char* what, const std::function<bool()>& done) {
    std::vector<double> lateness;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    const Clock::time_point start = Clock::now();
    Clock::time_point last = start;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        lateness.push_back(std::max(0.0, Ms(now - last) - 1.0));
        last = now;
        if (done() || now - start > std::chrono::seconds(120)) loop.quit();
    });
    tick.start();
    loop.exec();
    const Spread s = SpreadOf(lateness);
    std::printf(
        "view: %s in %.0f ms%s; event-loop lateness worst %.2f ms, median %.3f ms "
        "(target: worst < 50 ms)\n",
        what, Ms(Clock::now() - start), done() ? "" : " (NOT DONE)", s.worst, s.median);
}

// Part 3: sorting, filtering and finding over `rows` kept frames.
void ViewLatency(CCaptureDlg& dlg, size_t rows) {
    dlg.ClearPackets();
    dlg.OnSortColumn(COL_NUM);
    {
        // Frames through the intake, as a capture keeps them: TCP and UDP by
        // turns, 250 sources; only the last holds de ad be ef.
        SharedText contains;
        PacketIntake intake(dlg.Packets(), contains);
        intake.Restart(FrameTime{});
        PacketIntake::Reader reader(intake);
        for (size_t i = 0; i < rows; ++i) {
            std::vector<unsigned char> f = Ipv4Frame(i % 2 == 0, static_cast<uint8_t>(i % 250 + 1),
                                                     static_cast<uint16_t>(1024 + i % 50000), 443);
            if (i + 1 == rows) std::copy_n("\xde\xad\xbe\xef", 4, f.end() - 4);
            const FrameInfo info{{static_cast<int64_t>(i / 1000), static_cast<uint32_t>(i % 1000)},
                                 static_cast<uint32_t>(f.size()),
                                 static_cast<uint32_t>(f.size())};
            reader.ProcessPacket(info, f.data());
        }
    }
    dlg.Model().Refresh();
    QApplication::processEvents();
    std::printf("view: %zu frames kept, %d rows shown\n", rows, dlg.Model().rowCount());
    PacketListModel& model = dlg.Model();

    dlg.OnSortColumn(COL_SRC_IP);
    LoopUntil("sorting every row by Src IP", [&] { return !model.Rebuilding(); });
    dlg.SetDisplayFilter(QStringLiteral("tcp"));
    LoopUntil("the filter tcp, sorted", [&] { return !model.Rebuilding(); });
    dlg.SetDisplayFilter(QString());
    dlg.OnSortColumn(COL_NUM);
    LoopUntil("back to every row in capture order", [&] { return !model.Rebuilding(); });

    FindBar& find = dlg.PacketFindBar();
    find.findChild<QComboBox*>(QStringLiteral("m_findMode"))->setCurrentIndex(1);
    find.Edit()->setText(QStringLiteral("de ad be ef"));
    auto* list = dlg.findChild<QTableView*>(QStringLiteral("m_list"));
    list->selectRow(0);
    dlg.OnFind(true);
    LoopUntil("finding bytes in the last row",
              [&] { return list->currentIndex().row() == static_cast<int>(rows) - 1; });
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

    StreamingLatency(dlg, seconds, COL_NUM);
    StreamingLatency(dlg, seconds, COL_SRC_IP);
    JumpToLast(dlg, static_cast<size_t>(rows));
    ViewLatency(dlg, static_cast<size_t>(rows));
    return 0;
}
