// tapwatch-shots OUTPUT_DIR CAPTURE...: pictures of the three main windows in
// use, for the README. Run as root (it captures on lo) in an X server of its
// own; scripts/screenshots.sh sets that up.
//
//   filter-editor.png  the Filter editor with a protocol chosen, before Apply
//   main-window.png    the main window during a capture on lo of the CAPTUREs'
//                      frames, sent onto lo in turn while it runs, a packet's
//                      details and bytes shown, an IPv4 field's highlighted
//   decode-window.png  the Decode window on the last HTTP session captured
#include <pcap/pcap.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "capture/capture_session.h"
#include "intake/packet_row.h"
#include "resources/init_resources.h"

namespace {

using Frames = std::vector<std::vector<unsigned char>>;

bool ReadFrames(const char* path, Frames& frames) {
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* file = pcap_open_offline(path, error);
    if (file == nullptr) {
        std::fprintf(stderr, "tapwatch-shots: %s\n", error);
        return false;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(file, &header, &data) == 1)
        frames.emplace_back(data, data + header->caplen);
    pcap_close(file);
    return !frames.empty();
}

// Sends the frames onto lo, a few milliseconds apart, as traffic would come.
void SendOnLoopback(const Frames& frames) {
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* lo = pcap_open_live("lo", 65535, 0, 20, error);
    if (lo == nullptr) {
        std::fprintf(stderr, "tapwatch-shots: %s\n", error);
        return;
    }
    for (const auto& frame : frames) {
        pcap_inject(lo, frame.data(), frame.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    pcap_close(lo);
}

// Runs the event loop until `done` holds or `ms` have passed.
bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void Pause(int ms) {
    WaitFor([] { return false; }, ms);
}

bool Save(QWidget* window, const QString& path) {
    const bool saved = window->grab().save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// Runs `step` on the modal window `opener` opens, once it is shown.
void OnModal(const std::function<void(QWidget*)>& step) {
    QTimer::singleShot(300, [step] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            std::fprintf(stderr, "tapwatch-shots: no window opened\n");
            return;
        }
        step(modal);
    });
}

int LastRowOnPort(const PacketListModel& model, const char* port) {
    for (int row = model.rowCount() - 1; row >= 0; --row) {
        if (model.index(row, COL_PROTO).data().toString() != QLatin1String("TCP")) continue;
        if (model.index(row, COL_DEST_PORT).data().toString() == QLatin1String(port)) return row;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tapwatch-shots OUTPUT_DIR CAPTURE...\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tapwatch"));
    InitTapwatchResources();
    const QString out = QString::fromLocal8Bit(argv[1]);
    Frames frames;
    for (int i = 2; i < argc; ++i) {
        if (!ReadFrames(argv[i], frames)) return 1;
    }

    CCaptureDlg window(false);
    window.SetMessageSink([](const std::string& text, const std::string& caption) {
        std::fprintf(stderr, "message box \"%s\": %s\n", caption.c_str(), text.c_str());
    });
    // The pictures' capture is never saved: closing drops it without asking.
    window.SetQuestionSink([](const std::string&, const std::string&) { return true; });
    if (!window.Initialise()) return 1;
    auto* interfaces = window.findChild<QComboBox*>(QStringLiteral("m_combo"));
    const std::vector<InterfaceEntry>& listed = window.Session().Interfaces();
    for (size_t i = 0; i < listed.size(); ++i) {
        if (listed[i].name == "lo") interfaces->setCurrentIndex(static_cast<int>(i));
    }
    window.show();
    Pause(500);
    bool ok = true;

    // The Filter editor: TCP only, then Apply.
    OnModal([&](QWidget* editor) {
        auto* protocol = editor->findChild<QComboBox*>(QStringLiteral("m_comboProtocol"));
        protocol->setCurrentIndex(protocol->findText(QStringLiteral("TCP")));
        ok = Save(editor, out + QStringLiteral("/filter-editor.png")) && ok;
        editor->findChild<QPushButton*>(QStringLiteral("m_btnApply"))->click();
    });
    window.OnSetFilter();

    // A capture on lo while the frames arrive.
    window.OnCapture();
    if (!WaitFor([&] { return window.Session().Phase() == CapturePhase::Running; }, 10000)) {
        std::fprintf(stderr, "tapwatch-shots: the capture did not start\n");
        return 1;
    }
    std::thread sender(SendOnLoopback, std::cref(frames));
    WaitFor([&] { return false; }, 2500);
    sender.join();
    Pause(300);
    auto* list = window.findChild<QTableView*>(QStringLiteral("m_list"));
    const int row = LastRowOnPort(window.Model(), "80");
    if (row >= 0) {
        // The Details tree follows the selection.
        list->selectRow(row);
        list->scrollTo(window.Model().index(row, 0));
        // An IPv4 field selected in the tree, its bytes highlighted below.
        auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("m_tree"));
        if (QTreeWidgetItem* ip = tree->topLevelItem(1)) {
            ip->setExpanded(true);
            tree->setCurrentItem(ip->child(1));
        }
    }
    Pause(300);
    ok = Save(&window, out + QStringLiteral("/main-window.png")) && ok;
    window.OnCapture();
    WaitFor([&] { return window.Session().Phase() == CapturePhase::Idle; }, 10000);

    // The Decode window on that session.
    OnModal([&](QWidget* decode) {
        ok = Save(decode, out + QStringLiteral("/decode-window.png")) && ok;
        decode->close();
    });
    window.OnDecode();

    window.close();
    return ok ? 0 : 1;
}
