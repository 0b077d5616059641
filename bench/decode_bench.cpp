// The Decode mode window on a generated mixed capture, offscreen: the time to
// open it (session table, host list, the first host's sessions, the first
// session's document) and to build the stream document of the capture's
// largest session in each data format. Documents are built, never painted.
// A capture of long connections (tcp742, at most 40,000 packets) follows, for
// sessions of thousands of packets.
//
//   decode-bench [COUNT [SEED]]   (defaults: 20000 packets, seed 1)
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "protocols/decode.h"
#include "sessions/decode_dlg.h"
#include "tools/capture_gen/generator.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

template <typename T>
T* Child(QWidget* w, const char* name) {
    T* child = w->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        std::fprintf(stderr, "decode-bench: the window has no %s\n", name);
        std::exit(1);
    }
    return child;
}

// Picks `item` as a user would, so that the window reacts to it.
void Activate(QComboBox* combo, int item) {
    combo->setCurrentIndex(item);
    emit combo->activated(item);
}

void Measure(capture_gen::CaptureKind kind, size_t count, uint32_t seed) {
    auto start = Clock::now();
    PacketSnapshot packets;
    packets.reserve(count);
    {
        capture_gen::FrameGenerator gen(kind, count, seed);
        capture_gen::GeneratedFrame frame;
        while (gen.Next(frame))
            packets.push_back(DecodeFrame(frame.data.data(), static_cast<int>(frame.data.size())));
    }
    std::printf("%s capture: %zu packets decoded in %.3f s\n",
                std::string(capture_gen::CaptureKindName(kind)).c_str(), packets.size(),
                Seconds(start));

    {
        // The window's first part alone: grouping the capture into sessions.
        start = Clock::now();
        const CSessionTable alone(packets);
        std::printf("session table alone: %zu sessions in %.3f s\n", alone.SessionCount(),
                    Seconds(start));
    }
    {
        // Fonts, icons and styles load once per process; the window opened
        // from the main window finds them loaded.
        start = Clock::now();
        CDecodeDlg warm(PacketSnapshot{}, -1);
        std::printf("empty window: %.3f s\n", Seconds(start));
    }

    start = Clock::now();
    CDecodeDlg dlg(std::move(packets), -1);
    const double open = Seconds(start);
    const CSessionTable& table = dlg.Logic().Table();
    std::printf(
        "open (table, %zu hosts, %d sessions of the first host, first session): %.3f s"
        "  [target < 0.5 s]\n",
        table.Hosts().size(), Child<QListWidget>(&dlg, "m_listSessions")->count(), open);

    // The largest session, and where the window lists it.
    size_t largestSize = 0;
    int host = -1;
    int row = -1;
    for (int h = 0; h < static_cast<int>(table.Hosts().size()); ++h) {
        const std::vector<TcpSession> sessions = table.ListSessions(h);
        for (size_t r = 0; r < sessions.size(); ++r) {
            const size_t size = table.SessionPackets(sessions[r]).size();
            if (size > largestSize) {
                largestSize = size;
                host = h;
                row = static_cast<int>(r);
            }
        }
    }
    if (largestSize == 0) {
        std::printf("no TCP session in the capture\n");
        return;
    }
    auto* hosts = Child<QComboBox>(&dlg, "m_comboHost");
    auto* list = Child<QListWidget>(&dlg, "m_listSessions");
    auto* format = Child<QComboBox>(&dlg, "m_comboFormat");
    auto* stream = Child<QPlainTextEdit>(&dlg, "m_editStream");
    Activate(hosts, host);
    list->setCurrentRow(row);

    // Each format change renders the shown session again, from the packets on.
    start = Clock::now();
    Activate(format, 1);
    const double hex = Seconds(start);
    const int hexChars = stream->document()->characterCount();
    start = Clock::now();
    Activate(format, 0);
    const double ascii = Seconds(start);
    std::printf("largest session: %zu packets\n", largestSize);
    std::printf("  ASCII document: %d characters, %d lines in %.3f s  [target < 1 s]\n",
                stream->document()->characterCount(), stream->document()->blockCount(), ascii);
    std::printf("  Hexadecimal document: %d characters in %.3f s  [target < 1 s]\n", hexChars, hex);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Measure(capture_gen::CaptureKind::Mix, count, seed);
    // Long connections: sessions of thousands of packets.
    Measure(capture_gen::CaptureKind::Tcp742, std::min<size_t>(count, 40000), seed);
    return 0;
}
