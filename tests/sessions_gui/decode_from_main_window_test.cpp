// The main window's Decode command: what it refuses, the session it opens on,
// and the chains a Decode window keeps after the store lets them go.
#include "tests/sessions_gui/decode_dlg_support.h"

using namespace decode_dlg_test;

class DecodeFromMainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void DecodeRefusesEmptyAndUndecodableStores();
    void DecodeOpensOnTcpOverIpv6Alone();
    void DecodeOpensOnTheSelectedRow();
    void WindowChainsOutliveTheStore();
};

void DecodeFromMainWindowTest::DecodeRefusesEmptyAndUndecodableStores() {
    CCaptureDlg main(false);
    std::vector<std::pair<std::string, std::string>> messages;
    main.SetMessageSink([&](const std::string& text, const std::string& caption) {
        messages.emplace_back(text, caption);
    });
    main.OnDecode();
    for (const PacketRef& p : {UdpPacket(kA, kB, 53, 53), ArpPacket(kA, kB)})
        main.Packets().Append(StoredPacket{p, 0});
    main.Model().Refresh();
    main.OnDecode();
    QCOMPARE(messages.size(), size_t{2});
    QCOMPARE(messages[0].first,
             std::string("You must have captured packets to access this feature"));
    QCOMPARE(messages[0].second, std::string("Warning"));
    QCOMPARE(messages[1].first, std::string("Sorry but there is no packet available for decode"));
    QCOMPARE(messages[1].second, std::string("Warning"));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void DecodeFromMainWindowTest::DecodeOpensOnTcpOverIpv6Alone() {
    CCaptureDlg main(false);
    main.SetMessageSink([](const std::string& text, const std::string&) { QFAIL(text.c_str()); });
    for (const PacketRef& p : {UdpPacket(kA, kB, 53, 53), Ipv6TcpPacket(1042, 80)})
        main.Packets().Append(StoredPacket{p, 0});
    main.Model().Refresh();
    QStringList hosts, rows;
    QString upper;
    OnNextModal([&](QWidget* modal) {
        Controls c(modal);
        for (int i = 0; i < c.host->count(); ++i) hosts << c.host->itemText(i);
        rows = c.Rows();
        upper = c.upper->toPlainText();
    });
    main.OnDecode();
    QCOMPARE(hosts, (QStringList{"fe80::1", "fe80::2"}));
    QCOMPARE(rows, QStringList{"1042 -> fe80::2[80]"});
    QCOMPARE(upper, QStringLiteral("fe80::1 : 1042"));
}

void DecodeFromMainWindowTest::DecodeOpensOnTheSelectedRow() {
    CCaptureDlg main(false);
    main.SetMessageSink([](const std::string& text, const std::string&) { QFAIL(text.c_str()); });
    for (const PacketRef& p : Capture()) main.Packets().Append(StoredPacket{p, 0});
    main.Model().Refresh();

    for (const int row : {-1, 3, 6}) {
        auto* list = Child<QTableView>(&main, "m_list");
        list->clearSelection();
        if (row >= 0) list->selectRow(row);
        QString upper;
        int host = -2;
        OnNextModal([&](QWidget* modal) {
            auto* decode = qobject_cast<CDecodeDlg*>(modal);
            QVERIFY(decode != nullptr);
            Controls c(decode);
            upper = c.upper->toPlainText();
            host = c.host->currentIndex();
        });
        main.OnDecode();
        if (row == -1) {
            QCOMPARE(host, 0);
            QCOMPARE(upper, QStringLiteral("10.0.0.5 : 1042"));
        } else if (row == 3) {
            QCOMPARE(host, 2);
            QCOMPARE(upper, QStringLiteral("172.16.0.9 : 443"));
        } else {
            QCOMPARE(host, 0);
            QCOMPARE(upper, QStringLiteral("172.16.0.9 : 443"));
        }
    }
}

void DecodeFromMainWindowTest::WindowChainsOutliveTheStore() {
    CCaptureDlg main(false);
    for (const PacketRef& p : HttpCapture()) main.Packets().Append(StoredPacket{p, 0});
    main.Model().Refresh();
    QString before, after, hex;
    OnNextModal([&](QWidget* modal) {
        Controls c(modal);
        before = c.stream->toPlainText();
        // A capture started meanwhile empties the store.
        main.ClearPackets();
        QVERIFY(main.Packets().Empty());
        // Every rendering reads the chains again.
        c.style->setFocus();
        QTest::keyClick(c.style, Qt::Key_End);
        QTest::keyClick(c.style, Qt::Key_Home);
        after = c.stream->toPlainText();
        c.format->setFocus();
        QTest::keyClick(c.format, Qt::Key_Down);
        hex = c.stream->toPlainText();
    });
    main.OnDecode();
    QVERIFY(before.contains(QStringLiteral("HTTP")));
    QCOMPARE(after, before);
    QVERIFY(!hex.isEmpty() && hex != before);
}

QTEST_MAIN(DecodeFromMainWindowTest)
#include "decode_from_main_window_test.moc"
