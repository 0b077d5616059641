// files-bench FILE LOG_TOOL: capture files in the main window, offscreen.
//
// 1. Opening FILE in the window, from the command until the last row is in
//    the list's model, against `LOG_TOOL --rows FILE` (tapwatch-log) on the
//    same file; a 1 ms timer measures how late the window's event loop runs
//    meanwhile. Targets: at most 1.5 times tapwatch-log's time, worst
//    lateness under 50 ms.
// 2. Saving the opened capture as pcap (what Save runs on its worker) against
//    `tcpdump -r FILE -w OUT`. Target: at least half tcpdump's speed.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "capture_files/pcap_save.h"
#include "resources/init_resources.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Wall time of a shell command; negative when it failed.
double TimeCommand(const std::string& command) {
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = Seconds(Clock::now() - start);
    return status == 0 ? seconds : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: files-bench FILE LOG_TOOL\n");
        return 2;
    }
    const std::string file = argv[1];
    const std::string logTool = argv[2];
    QApplication app(argc, argv);
    InitTapwatchResources();

    // The file is read once beforehand, so both runs find it in the page cache.
    const double logSeconds = TimeCommand("'" + logTool + "' --rows '" + file + "' > /dev/null");
    if (logSeconds < 0) {
        std::fprintf(stderr, "files-bench: tapwatch-log failed on %s\n", file.c_str());
        return 1;
    }

    CCaptureDlg dlg(false);
    dlg.SetMessageSink([](const std::string& text, const std::string& caption) {
        std::fprintf(stderr, "files-bench: %s: %s\n", caption.c_str(), text.c_str());
    });
    dlg.show();
    QApplication::processEvents();

    double worstLateMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstLateMs =
            std::max(worstLateMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 1.0);
        sinceTick.restart();
    });

    QEventLoop loop;
    QTimer done;
    done.setInterval(1);
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (!dlg.Source().Busy() &&
            static_cast<size_t>(dlg.Model().rowCount()) == dlg.Packets().Count()) {
            loop.quit();
        }
    });
    const auto start = Clock::now();
    sinceTick.start();
    ticker.start();
    done.start();
    dlg.OpenCapture(QString::fromStdString(file));
    loop.exec();
    const double openSeconds = Seconds(Clock::now() - start);
    ticker.stop();
    done.stop();
    const size_t rows = dlg.Packets().Count();

    std::printf("open in the window: %zu rows in %.3f s; tapwatch-log --rows: %.3f s\n", rows,
                openSeconds, logSeconds);
    std::printf("open ratio (window / tapwatch-log): %.2f (target at most 1.5)\n",
                openSeconds / logSeconds);
    std::printf("worst event-loop lateness while opening: %.1f ms (target under 50)\n",
                worstLateMs);

    // Part 2: Save as pcap.
    const std::string ours = "/tmp/files-bench-" + std::to_string(getpid()) + ".pcap";
    const std::string theirs = "/tmp/files-bench-tcpdump-" + std::to_string(getpid()) + ".pcap";
    const std::vector<StoredPacket> packets = dlg.Packets().Snapshot();
    const auto saveStart = Clock::now();
    const int saved = SaveCapturePcap(ours, packets, kEthernetLinkType);
    const double saveSeconds = Seconds(Clock::now() - saveStart);
    const double tcpdumpSeconds =
        TimeCommand("tcpdump -r '" + file + "' -w '" + theirs + "' 2>/dev/null");
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
    if (saved != SAVE_OK) {
        std::fprintf(stderr, "files-bench: the pcap save failed (%d)\n", saved);
        return 1;
    }
    if (tcpdumpSeconds < 0) {
        std::printf("save as pcap: %.3f s; tcpdump not available, no ratio\n", saveSeconds);
        return 0;
    }
    std::printf("save as pcap: %.3f s; tcpdump -r -w: %.3f s\n", saveSeconds, tcpdumpSeconds);
    std::printf("save speed ratio (ours / tcpdump's): %.2f (target at least 0.5)\n",
                tcpdumpSeconds / saveSeconds);
    return 0;
}
