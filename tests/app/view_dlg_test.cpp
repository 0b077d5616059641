// The main window's view of the rows: a display filter given up, red, when
// frames of a link type it does not compile for arrive; Find going round the
// ends and Go to landing on the nearest row shown, saying so; the rows' menu;
// saving only the rows shown leaves the capture unsaved. Row counts are held
// against tcpdump's for the same expression.
#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/capture_dlg.h"
#include "app/detail_tree.h"
#include "app/filter_bar.h"
#include "app/find_bar.h"
#include "app/packet_list_model.h"
#include "capture_files/capture_file_reader.h"
#include "intake/packet_intake.h"
#include "resources/init_resources.h"
#include "sessions/decode_dlg.h"
#include "tools/capture_gen/generator.h"

namespace fs = std::filesystem;

namespace {

// The frames tcpdump prints for `expression`.
int TcpdumpCount(const fs::path& file, const QString& expression) {
    const std::string command = "tcpdump -n -r '" + file.string() + "' '" +
                                expression.toStdString() + "' 2>/dev/null | wc -l";
    int count = -1;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%d", &count) != 1) count = -1;
        pclose(pipe);
    }
    return count;
}

QString Note(CCaptureDlg& dlg) {
    return dlg.findChild<QStatusBar*>()->currentMessage();
}

QTableView* List(CCaptureDlg& dlg) {
    return dlg.findChild<QTableView*>(QStringLiteral("m_list"));
}

QString Cell(CCaptureDlg& dlg, int row, int column) {
    return dlg.Model().index(row, column).data().toString();
}

// Picks `item` in the menu the next right-click opens, once it is open.
void PickFromNextMenu(const QString& item) {
    QTimer::singleShot(0, [item] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) qFatal("no menu open");
        for (QAction* action : menu->actions()) {
            if (action->text() == item) menu->setActiveAction(action);
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
}

// Runs `act` on the modal window of type T next to open, once it is open.
template <class T, class Act>
void WhenOpen(Act act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window == nullptr) return;
        poll->stop();
        poll->deleteLater();
        act(window);
    });
    poll->start(10);
}

void RightClick(CCaptureDlg& dlg, int row) {
    QTableView* list = List(dlg);
    list->scrollTo(dlg.Model().index(row, 0));
    emit list->customContextMenuRequested(list->visualRect(dlg.Model().index(row, 0)).center());
}

}  // namespace

class ViewDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase() { fs::remove_all(m_dir); }

    void filterGivenUpForALinkTypeItDoesNotCompileFor();
    void findGoesRoundAndGoToTakesTheNearest();
    void rowMenuDecodesAndFiltersTheConversation();
    void savingSomeRowsLeavesTheCaptureUnsaved();

  private:
    fs::path Capture(capture_gen::CaptureKind kind, size_t count, const char* name) {
        const fs::path path = m_dir / name;
        if (!fs::exists(path) && !capture_gen::WriteCapture(path.string(), kind, count, 5))
            qFatal("cannot write %s", path.c_str());
        return path;
    }
    // A window with the rows of `file`, message boxes recorded.
    void Open(CCaptureDlg& dlg, const fs::path& file, int rows) {
        dlg.SetMessageSink(
            [this](const std::string& text, const std::string&) { m_messages.push_back(text); });
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.OpenCapture(QString::fromStdString(file.string()));
        QTRY_COMPARE_WITH_TIMEOUT(dlg.Model().rowCount(), rows, 20000);
    }

    fs::path m_dir;
    std::vector<std::string> m_messages;
};

void ViewDlgTest::initTestCase() {
    InitTapwatchResources();
    m_dir = fs::temp_directory_path() / ("view-dlg-test-" + std::to_string(getpid()));
    fs::create_directories(m_dir);
}

void ViewDlgTest::filterGivenUpForALinkTypeItDoesNotCompileFor() {
    const fs::path vlan = Capture(capture_gen::CaptureKind::Vlan, 300, "vlan.pcap");
    const fs::path sll2 = Capture(capture_gen::CaptureKind::Sll2, 200, "sll2.pcap");
    const QString expression = QStringLiteral("vlan and udp");
    CCaptureDlg dlg(false);
    Open(dlg, vlan, 300);
    dlg.SetDisplayFilter(expression);
    QTRY_COMPARE(dlg.Model().rowCount(), TcpdumpCount(vlan, expression));
    QVERIFY(dlg.Model().Filtered());

    // libpcap has no VLAN for Linux cooked v2: every row of it shows.
    dlg.OpenCapture(QString::fromStdString(sll2.string()));
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Model().rowCount(), 200, 20000);
    QVERIFY(!dlg.Model().Filtered());
    FilterBar& bar = dlg.DisplayFilterBar();
    QVERIFY(bar.Failed());
    QCOMPARE(bar.Text(), expression);
    const QString message = bar.findChild<QLabel*>(QStringLiteral("m_displayFilterError"))->text();
    QVERIFY2(message.contains(QStringLiteral("no VLAN support")), qPrintable(message));
}

void ViewDlgTest::findGoesRoundAndGoToTakesTheNearest() {
    const fs::path mix = Capture(capture_gen::CaptureKind::Mix, 400, "mix.pcap");
    CCaptureDlg dlg(false);
    Open(dlg, mix, 400);
    // The rows whose frames hold the bytes 08 06, by a plain scan.
    std::vector<int> holding;
    for (int row = 0; row < 400; ++row) {
        const KeptFrame& f = *dlg.Packets().At(static_cast<size_t>(row))->frame;
        if (memmem(f.Bytes(), f.capturedLength, "\x08\x06", 2) != nullptr) holding.push_back(row);
    }
    QVERIFY(holding.size() > 2);
    QTest::keyClick(&dlg, Qt::Key_F, Qt::ControlModifier);
    FindBar& find = dlg.PacketFindBar();
    QTRY_VERIFY(find.Edit()->hasFocus());
    find.findChild<QComboBox*>(QStringLiteral("m_findMode"))->setCurrentIndex(1);
    QTest::keyClicks(find.Edit(), QStringLiteral("08 06"));
    List(dlg)->selectRow(holding.back());
    QTest::keyClick(&dlg, Qt::Key_F3);
    QTRY_COMPARE(FirstSelectedRow(List(dlg)), holding.front());
    QCOMPARE(Note(dlg), QStringLiteral("Find passed the last packet and went on from the first"));
    QTest::keyClick(&dlg, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(FirstSelectedRow(List(dlg)), holding.back());
    QCOMPARE(Note(dlg), QStringLiteral("Find passed the first packet and went on from the last"));

    // Go to a packet the filter hides: the row shown nearest to it.
    dlg.SetDisplayFilter(QStringLiteral("arp"));
    QTRY_COMPARE(dlg.Model().rowCount(), TcpdumpCount(mix, QStringLiteral("arp")));
    // Two rows shown with more than one hidden between them: one before the later.
    int row = 1;
    while (row < dlg.Model().rowCount() &&
           dlg.Model().StoreIndex(row) - dlg.Model().StoreIndex(row - 1) < 3)
        ++row;
    QVERIFY(row < dlg.Model().rowCount());
    const size_t after = dlg.Model().StoreIndex(row);
    const size_t wanted = after - 1;
    WhenOpen<QInputDialog>([wanted](QInputDialog* input) {
        input->setIntValue(static_cast<int>(wanted));
        input->accept();
    });
    QTest::keyClick(&dlg, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(FirstSelectedRow(List(dlg)), row);
    QCOMPARE(Note(dlg), QStringLiteral("Packet %1 is not shown: packet %2 is the nearest shown")
                            .arg(wanted)
                            .arg(after));
}

void ViewDlgTest::rowMenuDecodesAndFiltersTheConversation() {
    const fs::path mix = Capture(capture_gen::CaptureKind::Mix, 400, "mix.pcap");
    CCaptureDlg dlg(false);
    Open(dlg, mix, 400);
    // A TCP row whose sender is not the first TCP sender, which Decode would
    // show first without a preselection.
    int row = -1;
    QString first;
    for (int r = 0; r < 400 && row < 0; ++r) {
        if (Cell(dlg, r, COL_PROTO) != QStringLiteral("TCP")) continue;
        if (first.isEmpty()) first = Cell(dlg, r, COL_SRC_IP);
        if (Cell(dlg, r, COL_SRC_IP) != first) row = r;
    }
    QVERIFY(row >= 0);
    const QString sender = Cell(dlg, row, COL_SRC_IP);

    QString host;
    int session = -1;
    PickFromNextMenu(QStringLiteral("Decode this conversation"));
    WhenOpen<CDecodeDlg>([&](CDecodeDlg* decode) {
        host = decode->findChild<QComboBox*>(QStringLiteral("m_comboHost"))->currentText();
        session = decode->findChild<QListWidget*>(QStringLiteral("m_listSessions"))->currentRow();
        decode->close();
    });
    RightClick(dlg, row);
    QVERIFY2(host.contains(sender), qPrintable(host + " / " + sender));
    QVERIFY(session >= 0);

    PickFromNextMenu(QStringLiteral("Filter on this conversation"));
    RightClick(dlg, row);
    const QString expression = dlg.DisplayFilterBar().Text();
    // After "vlan and " or "pppoes and " when the row is tagged or tunnelled.
    QVERIFY2(expression.contains(QStringLiteral("tcp and ((src host ") + sender),
             qPrintable(expression));
    QTRY_COMPARE(dlg.Model().rowCount(), TcpdumpCount(mix, expression));
    QVERIFY(dlg.Model().rowCount() > 1);
}

void ViewDlgTest::savingSomeRowsLeavesTheCaptureUnsaved() {
    const fs::path mix = Capture(capture_gen::CaptureKind::Mix, 400, "mix.pcap");
    for (const char* button : {"m_btnSave", "m_btnSaveXml"}) {
        CCaptureDlg dlg(false);
        std::vector<std::string> questions;
        dlg.SetQuestionSink([&](const std::string& text, const std::string&) {
            questions.push_back(text);
            return false;
        });
        dlg.SetMessageSink(
            [this](const std::string& text, const std::string&) { m_messages.push_back(text); });
        const fs::path out = m_dir / (std::string(button) + ".out");
        dlg.SetPcapFileChooser([&](QWidget*) { return QString::fromStdString(out.string()); });
        dlg.SetLogFileChooser([&](QWidget*) { return QString::fromStdString(out.string()); });
        // Rows that cannot be read again, as a live capture leaves them.
        SharedText contains;
        PacketIntake intake(dlg.Packets(), contains);
        QCOMPARE(CaptureFileReader().Read(mix.string(), "", intake).end, CaptureFileEnd::Finished);
        dlg.show();
        QTRY_COMPARE(dlg.Model().rowCount(), 400);

        for (const QString& expression : {QStringLiteral("udp"), QString()}) {
            dlg.SetDisplayFilter(expression);
            QTRY_COMPARE(dlg.Model().rowCount(), TcpdumpCount(mix, expression));
            m_messages.clear();
            QTest::mouseClick(dlg.findChild<QWidget*>(QString::fromLatin1(button)), Qt::LeftButton);
            QCOMPARE(m_messages.size(), size_t{1});
            QVERIFY2(m_messages[0].find("saved") != std::string::npos, m_messages[0].c_str());
            questions.clear();
            dlg.close();
            // Only the whole capture saved lets the window close without asking.
            QCOMPARE(questions.size(), size_t{expression.isEmpty() ? 0u : 1u});
            QCOMPARE(dlg.isVisible(), !expression.isEmpty());
        }
    }
}

QTEST_MAIN(ViewDlgTest)
#include "view_dlg_test.moc"
