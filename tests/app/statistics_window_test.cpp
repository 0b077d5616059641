// The Statistics window over a store that grows as a live capture's does: it
// follows the new rows, a display filter set meanwhile, and a double-click on
// a conversation, each against what tcpdump reads in the same capture.
#include "app/statistics_window.h"

#include <pcap/pcap.h>

#include <QDir>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <string>

#include "app/packet_list_model.h"
#include "common/shared_text.h"
#include "intake/packet_intake.h"

namespace {

size_t TcpdumpCount(const std::string& file, const std::string& expression) {
    size_t lines = 0;
    if (FILE* pipe =
            popen(("tcpdump -n -r " + file + " '" + expression + "' 2>/dev/null").c_str(), "r")) {
        for (int c; (c = fgetc(pipe)) != EOF;) lines += c == '\n';
        pclose(pipe);
    }
    return lines;
}

}  // namespace

class StatisticsWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void FollowsCaptureFilterAndConversation();
};

void StatisticsWindowTest::FollowsCaptureFilterAndConversation() {
    const std::string file = QDir::tempPath().toStdString() + "/statistics_window_test.pcap";
    QCOMPARE(std::system(
                 (std::string(TAPWATCH_GEN_TOOL) + " --kind mix --count 6000 -o " + file).c_str()),
             0);
    PacketStore store;
    PacketListModel model(store);
    std::string filterSet;
    StatisticsWindow window(store, model,
                            {[&filterSet](const std::string& e) { filterSet = e; }, {}, {}});
    window.show();

    SharedText none{std::string()};
    PacketIntake intake(store, none);
    intake.Restart(std::nullopt);
    PacketIntake::Reader reader(intake);
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* pcap = pcap_open_offline(file.c_str(), error);
    QVERIFY(pcap != nullptr);
    const auto feed = [&](size_t frames) {
        pcap_pkthdr* header = nullptr;
        const u_char* bytes = nullptr;
        for (size_t i = 0; i < frames && pcap_next_ex(pcap, &header, &bytes) == 1; ++i) {
            const FrameInfo info{
                {header->ts.tv_sec, static_cast<uint32_t>(header->ts.tv_usec * 1000)},
                header->caplen,
                header->len};
            reader.ProcessPacket(info, bytes);
        }
    };
    // Rows arrive between the list's ticks; the counts follow each batch.
    for (size_t fed = 2000; fed <= 4000; fed += 2000) {
        feed(2000);
        QTRY_COMPARE(window.Counts().All().Summary().packets, uint64_t{fed});
    }
    // A filter set during the capture: the rows before it are counted again,
    // and those after it as they come.
    std::string message;
    QVERIFY(model.SetDisplayFilter("udp", message));
    feed(2000);
    QTRY_COMPARE(window.Counts().All().Summary().packets, uint64_t{6000});
    QTRY_COMPARE(window.Counts().Shown().Summary().packets, uint64_t{TcpdumpCount(file, "udp")});
    pcap_close(pcap);

    // A double-click on a TCP conversation filters on its frames, all of them.
    QVERIFY(model.SetDisplayFilter("", message));
    QTRY_VERIFY(!window.Counts().Filtered());
    window.Tabs()->setCurrentIndex(2);
    auto* tcp = qobject_cast<QTabWidget*>(window.Tabs()->currentWidget());
    QVERIFY(tcp != nullptr);
    tcp->setCurrentIndex(static_cast<int>(ConversationKind::Tcp));
    auto* view = qobject_cast<QTableView*>(tcp->currentWidget());
    QTRY_VERIFY(view != nullptr && view->model()->rowCount() > 0);
    const QModelIndex first = view->model()->index(0, 0);
    const int packetsColumn = 8;  // Address A, Port A, Address B, Port B, 4 one-way counts
    const size_t packets = view->model()->index(0, packetsColumn).data().toULongLong();
    emit view->doubleClicked(first);
    QVERIFY(!filterSet.empty());
    QCOMPARE(TcpdumpCount(file, filterSet), packets);
}

QTEST_MAIN(StatisticsWindowTest)
#include "statistics_window_test.moc"
