// From the Filter editor to the packet store: fields typed into the window
// become the filter and the "Data contains" text of a live capture on the
// loopback interface, and only the matching datagrams are kept.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "controls/icon_button.h"
#include "filter/filter_dlg.h"
#include "intake/packet_store.h"
#include "protocols/data.h"
#include "protocols/udp.h"
#include "tools/tapwatch_log/console_window.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 5s;

// Runs `actions` inside the dialog's exec(); a window they leave open is
// rejected so that a fault cannot hang the run.
void RunModal(CFilterDlg& dlg, const std::function<void()>& actions) {
    QTimer::singleShot(0, &dlg, [&] {
        actions();
        if (dlg.isVisible()) dlg.reject();
    });
    dlg.exec();
}

void Type(CFilterDlg& dlg, const char* edit, const QString& text) {
    QLineEdit* e = dlg.findChild<QLineEdit*>(QString::fromLatin1(edit));
    QVERIFY(e);
    e->clear();
    QTest::keyClicks(e, text);
}

void Click(CFilterDlg& dlg, const char* button) {
    auto* b = dlg.findChild<CIconButton*>(QString::fromLatin1(button));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

// A UDP socket on 127.0.0.1 with a port of its own. Nothing reads it; it keeps
// datagrams to its port from being answered with port-unreachable errors.
class UdpPort {
  public:
    UdpPort() {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            m_port = ntohs(addr.sin_port);
    }
    ~UdpPort() {
        if (m_fd >= 0) close(m_fd);
    }
    UdpPort(const UdpPort&) = delete;
    UdpPort& operator=(const UdpPort&) = delete;
    uint16_t Port() const { return m_port; }

  private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

bool Send(uint16_t port, const std::string& payload) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool sent =
        sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to) == static_cast<ssize_t>(payload.size());
    close(fd);
    return sent;
}

struct Stored {
    uint16_t dstPort = 0;
    std::string payload;
};

std::vector<Stored> StoredDatagrams(const PacketStore& store) {
    std::vector<Stored> out;
    for (const StoredPacket& packet : store.Snapshot()) {
        Stored s;
        if (const auto* udp = FindLayerAs<CUdpLayer>(packet.root.get()))
            s.dstPort = udp->m_nDstPort;
        if (const auto* data = FindLayerAs<CDataLayer>(packet.root.get()); data && data->m_pData)
            s.payload.assign(reinterpret_cast<const char*>(data->m_pData),
                             static_cast<size_t>(data->m_nLength));
        out.push_back(std::move(s));
    }
    return out;
}

std::set<std::string> PayloadSet(const PacketStore& store) {
    std::set<std::string> out;
    for (const Stored& s : StoredDatagrams(store)) out.insert(s.payload);
    return out;
}

// A capture session on "lo" reading the dialog's two texts, with a console
// window whose queue this thread runs.
struct LoopbackCapture {
    explicit LoopbackCapture(const CFilterDlg& dlg)
        : session(window, store, dlg.Filter(), dlg.DataContains()) {}

    bool Start() {
        if (session.FillDeviceList() != 0) return false;
        const auto& interfaces = session.Interfaces();
        int lo = -1;
        for (size_t i = 0; i < interfaces.size(); ++i)
            if (interfaces[i].name == "lo") lo = static_cast<int>(i);
        if (lo < 0) return false;
        window.SelectInterface(lo);
        session.OnCapture();
        return Pump([&] { return session.Phase() == CapturePhase::Running; });
    }
    bool Stop() {
        session.OnCapture();
        return Pump([&] { return session.Phase() == CapturePhase::Idle; });
    }
    bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout = kWait) {
        return window.Queue().RunUntil(done, timeout);
    }
    // Waits until `payload` is stored.
    bool WaitFor(const std::string& payload) {
        return Pump([&] { return PayloadSet(store).count(payload) > 0; });
    }

    PacketStore store;
    ConsoleWindow window{store, "filter_e2e_test"};
    CaptureSession session;
};

}  // namespace

class FilterE2eTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        if (geteuid() != 0) QSKIP("a live capture on the loopback interface needs root");
    }
    void destPortFilterKeepsOnlyThatPort();
    void dataContainsKeepsOnlyFramesHoldingTheText();
};

void FilterE2eTest::destPortFilterKeepsOnlyThatPort() {
    UdpPort wanted, other;
    QVERIFY(wanted.Port() != 0 && other.Port() != 0);

    CFilterDlg dlg;
    RunModal(dlg, [&] {
        Type(dlg, "m_editDestPort", QString::number(wanted.Port()));
        Click(dlg, "m_btnApply");
    });
    QCOMPARE(*dlg.Filter().Load(), "dst port " + std::to_string(wanted.Port()));

    LoopbackCapture capture(dlg);
    QVERIFY(capture.Start());
    std::set<std::string> sentToWanted;
    for (int i = 0; i < 10; ++i) {
        const std::string keep = "keep-" + std::to_string(i);
        QVERIFY(Send(other.Port(), "drop-" + std::to_string(i)));
        QVERIFY(Send(wanted.Port(), keep));
        sentToWanted.insert(keep);
    }
    // The last datagram for the other port goes out after the last wanted one,
    // and the readers are given time to (wrongly) store it.
    QVERIFY(Send(other.Port(), "drop-last"));
    QVERIFY(capture.Pump([&] { return PayloadSet(capture.store) == sentToWanted; }));
    capture.Pump([] { return false; }, 200ms);
    QVERIFY(capture.Stop());

    const std::vector<Stored> stored = StoredDatagrams(capture.store);
    QCOMPARE(stored.size(), sentToWanted.size());
    for (const Stored& s : stored) QCOMPARE(s.dstPort, wanted.Port());
    QCOMPARE(capture.window.MessagesShown(), size_t(0));
}

void FilterE2eTest::dataContainsKeepsOnlyFramesHoldingTheText() {
    UdpPort port;
    QVERIFY(port.Port() != 0);

    CFilterDlg dlg;
    RunModal(dlg, [&] {
        // The port keeps other loopback traffic out; the text does the rest.
        Type(dlg, "m_editDestPort", QString::number(port.Port()));
        Type(dlg, "m_editDataContains", "needle");
        Click(dlg, "m_btnApply");
    });
    QCOMPARE(*dlg.DataContains().Load(), std::string("needle"));

    LoopbackCapture capture(dlg);
    QVERIFY(capture.Start());
    for (const char* payload :
         {"hay-1", "needle-2", "hay-needl-3", "a needle in hay-4", "NEEDLE-5", "needle-last"})
        QVERIFY(Send(port.Port(), payload));
    QVERIFY(capture.WaitFor("needle-last"));
    capture.Pump([] { return false; }, 200ms);
    QCOMPARE(PayloadSet(capture.store),
             (std::set<std::string>{"needle-2", "a needle in hay-4", "needle-last"}));

    // While the capture runs, a new text saved by a mode click (then Escape)
    // applies to the frames that follow.
    RunModal(dlg, [&] {
        Type(dlg, "m_editDataContains", "pin");
        Click(dlg, "m_btnMonitoring");
        QTest::keyClick(dlg.findChild<QLineEdit*>("m_editDataContains"), Qt::Key_Escape);
    });
    QCOMPARE(*dlg.DataContains().Load(), std::string("pin"));
    for (const char* payload : {"needle-6", "pin-7", "hay-8", "pin-last"})
        QVERIFY(Send(port.Port(), payload));
    QVERIFY(capture.WaitFor("pin-last"));
    capture.Pump([] { return false; }, 200ms);
    QVERIFY(capture.Stop());

    QCOMPARE(PayloadSet(capture.store),
             (std::set<std::string>{"needle-2", "a needle in hay-4", "needle-last", "pin-7",
                                    "pin-last"}));
    QCOMPARE(capture.store.Count(), size_t(5));
    QCOMPARE(capture.window.MessagesShown(), size_t(0));
}

QTEST_MAIN(FilterE2eTest)
#include "filter_e2e_test.moc"
