// The main window driven through its controls: its initial state, a capture on
// loopback and back, the keys that close it, the tab order, the context menu,
// and the packet list's model while rows stream in.
#include "app/capture_dlg.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/detail_tree.h"
#include "app/packet_list_model.h"
#include "capture/capture_session.h"
#include "capture/interface_list.h"
#include "controls/icon_button.h"
#include "intake/packet_row.h"
#include "resources/init_resources.h"
#include "test_frames.h"
#include "xml/detail_items.h"

namespace {

using Message = std::pair<std::string, std::string>;

template <class T>
T* Child(CCaptureDlg& dlg, const char* name) {
    T* widget = dlg.findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("the main window has no %s", name);
    return widget;
}

// Sends UDP datagrams to a loopback port until stopped, so a capture on lo has
// frames to read.
class LoopbackSender {
  public:
    LoopbackSender() {
        m_thread = std::thread([this] {
            const int fd = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(47811);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const char payload[] = "tapwatch main window";
            while (!m_stop) {
                sendto(fd, payload, sizeof payload, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            close(fd);
        });
    }
    ~LoopbackSender() {
        m_stop = true;
        m_thread.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The combo box entry of the loopback interface, found by its text.
int LoopbackEntry(CCaptureDlg& dlg) {
    const std::vector<InterfaceEntry>& interfaces = dlg.Session().Interfaces();
    for (size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].name != "lo") continue;
        const QString text =
            QString::fromStdString(InterfaceEntryText(static_cast<int>(i), interfaces[i]));
        return Child<QComboBox>(dlg, "m_combo")->findText(text, Qt::MatchExactly);
    }
    return -1;
}

QStringList RowCells(const QAbstractItemModel& model, int row) {
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c) cells << model.index(row, c).data().toString();
    return cells;
}

// Runs `check` on the first modal or popup window that opens within `ms`, then
// closes that window.
void WhenModalOpens(std::function<void(QWidget*)> check, int ms = 5000) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QElapsedTimer>();
    deadline->start();
    QObject::connect(timer, &QTimer::timeout, [timer, check = std::move(check), deadline, ms] {
        QWidget* w = QApplication::activePopupWidget();
        if (w == nullptr) w = QApplication::activeModalWidget();
        if (w == nullptr && deadline->elapsed() < ms) return;
        timer->stop();
        timer->deleteLater();
        check(w);
        if (w != nullptr) w->close();
    });
    timer->start(10);
}

// The texts the status bar shows, left to right.
QStringList ShownStatus(CCaptureDlg& dlg) {
    QStringList texts;
    for (QLabel* label : Child<QStatusBar>(dlg, "m_statusBar")->findChildren<QLabel*>()) {
        if (!label->isHidden()) texts << label->text();
    }
    return texts;
}

// Opens the Filter editor with Set Filter and runs `edit` in it, answering
// every message box it raises; returns their texts. Escape closes the editor
// when `edit` leaves it open.
QStringList EditFilter(CCaptureDlg& dlg, const std::function<void(QWidget*)>& edit) {
    QStringList boxes;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        boxes << box->text();
        box->button(QMessageBox::Ok)->click();
    });
    answerer.start(5);
    QTimer::singleShot(0, [&] {
        QWidget* editor = &dlg.FilterDlg();
        QTRY_VERIFY(editor->isVisible());
        edit(editor);
        if (editor->isVisible()) QTest::keyClick(editor, Qt::Key_Escape);
    });
    QTest::mouseClick(Child<QPushButton>(dlg, "m_btnSetFilter"), Qt::LeftButton);
    return boxes;
}

void TypeInto(QWidget* editor, const char* edit, const QString& text) {
    auto* line = editor->findChild<QLineEdit*>(QString::fromLatin1(edit));
    QVERIFY(line != nullptr);
    line->clear();
    QTest::keyClicks(line, text);
}

void Apply(QWidget* editor) {
    QTest::mouseClick(editor->findChild<QPushButton*>(QStringLiteral("m_btnApply")),
                      Qt::LeftButton);
}

// Chooses UDP to `port` in the editor and applies it.
void ApplyUdpTo(QWidget* editor, const char* port) {
    auto* protocol = editor->findChild<QComboBox*>(QStringLiteral("m_comboProtocol"));
    protocol->setCurrentIndex(protocol->findText(QStringLiteral("UDP")));
    TypeInto(editor, "m_editDestPort", QString::fromLatin1(port));
    Apply(editor);
}

}  // namespace

class CaptureDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InitTapwatchResources(); }

    void initialControls();
    void initialButtons();
    void tabOrderAndFirstFocus();
    void escapeCloses();
    void enterPressesOnlyAFocusedButton();
    void detailsFollowTheSelection();
    void contextMenuOffersAbout();
    void clearWhileIdleEmptiesListAndStore();
    void sliderAppliesOnMouseReleaseOnly();
    void loopbackCaptureAndBack();
    void captureStartLeavesFocusOnList();
    void modelWhileRowsStream();
    void clearWithRowsPending();
    void storeEmptiedBehindModel();
    void oneInsertPerBatch();
    void statusBarRowsSourceAndFilter();
    void statusBarDuringAndAfterLoopbackCapture();
};

void CaptureDlgTest::initialControls() {
    CCaptureDlg dlg(false);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Tapwatch v2.0"));

    auto* list = Child<QTableView>(dlg, "m_list");
    const QStringList headings = {"Num",     "Frame",    "Proto",     "Src IP",
                                  "Dest IP", "Src Port", "Dest Port", "Time"};
    const int widths[] = {45, 60, 55, 120, 120, 68, 68, 55};
    QCOMPARE(list->model()->columnCount(), headings.size());
    for (int c = 0; c < headings.size(); ++c) {
        QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
        // The last column takes the spare width, never less than its own.
        if (c + 1 < headings.size()) {
            QCOMPARE(list->columnWidth(c), widths[c]);
        } else {
            QVERIFY2(list->columnWidth(c) >= widths[c],
                     qPrintable(QString::number(list->columnWidth(c))));
        }
    }
    // A click on a heading sorts inside the model, never through the view.
    QVERIFY(list->horizontalHeader()->sectionsClickable());
    QVERIFY(!list->isSortingEnabled());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->model()->rowCount(), 0);
    QCOMPARE(dlg.Packets().Count(), size_t{0});

    auto* slider = Child<QSlider>(dlg, "m_slider");
    QCOMPARE(slider->orientation(), Qt::Horizontal);
    QCOMPARE(slider->minimum(), 90);
    QCOMPARE(slider->maximum(), 255);
    QCOMPARE(slider->value(), 255);

    auto* onTop = Child<QPushButton>(dlg, "m_btnAlwaysOnTop");
    QCOMPARE(onTop->text(), QStringLiteral("Always on top"));
    QVERIFY(onTop->isCheckable());
    QVERIFY(!onTop->isChecked());
    QVERIFY(onTop->isEnabled());
    QVERIFY(Child<QComboBox>(dlg, "m_combo")->isEnabled());
    QVERIFY(Child<QTreeWidget>(dlg, "m_tree")->isEnabled());
}

void CaptureDlgTest::initialButtons() {
    CCaptureDlg dlg(false);
    struct Expected {
        const char* name;
        const char* caption;
        const char* tooltip;  // null: none
    };
    const Expected buttons[] = {
        {"m_btnCapture", "Capture",
         "Capture the packet\nPress Ctrl+F12 from any application for starting/stopping a capture"},
        {"m_btnClear", "Clear", "Clear the log window"},
        {"m_btnSaveXml", "Save XML", "Save the log as an XML file"},
        {"m_btnAbout", "About", nullptr},
        {"m_btnDecode", "Decode", "Reassemble the TCP session in human readable format"},
        {"m_btnSetFilter", "Set Filter", "Set a filter for the next capture"},
        {"m_btnCopy", "Copy", "Copy the current selected packet to clipboard"},
        {"m_btnOpen", "Open", "Open a capture file (pcap, pcapng)"},
        {"m_btnSave", "Save", "Save the capture as a pcap file"},
    };
    for (const Expected& e : buttons) {
        auto* button = Child<CIconButton>(dlg, e.name);
        QCOMPARE(button->text(), QString::fromLatin1(e.caption));
        QVERIFY2(button->isEnabled(), e.name);
        QVERIFY2(button->HasIcon(), e.name);
        QVERIFY2(!button->isFlat(), e.name);
        if (e.tooltip != nullptr) {
            QCOMPARE(button->toolTip(), QString::fromLatin1(e.tooltip));
            QVERIFY2(button->IsTooltipActive(), e.name);
        } else {
            QVERIFY2(button->toolTip().isEmpty(), e.name);
            QVERIFY2(!button->IsTooltipActive(), e.name);
        }
    }
}

void CaptureDlgTest::tabOrderAndFirstFocus() {
    CCaptureDlg dlg(false);
    // Rows in the list: Tab must still leave it rather than walk its cells.
    for (int i = 0; i < 3; ++i) dlg.Packets().Append({Ipv4Chain(false, 1, 1000, 53), 0});
    dlg.Model().Refresh();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));

    // The keyboard starts in the packet list, not on the chain's first button.
    const std::vector<QWidget*> order = {
        Child<QWidget>(dlg, "m_list"),           Child<QWidget>(dlg, "m_btnCapture"),
        Child<QWidget>(dlg, "m_btnClear"),       Child<QWidget>(dlg, "m_btnSaveXml"),
        Child<QWidget>(dlg, "m_combo"),          Child<QWidget>(dlg, "m_btnDecode"),
        Child<QWidget>(dlg, "m_tree"),           Child<QWidget>(dlg, "m_bytes"),
        Child<QWidget>(dlg, "m_btnCopy"),        Child<QWidget>(dlg, "m_btnStatistics"),
        Child<QWidget>(dlg, "m_slider"),         Child<QWidget>(dlg, "m_btnSetFilter"),
        Child<QWidget>(dlg, "m_btnAlwaysOnTop"), Child<QWidget>(dlg, "m_btnOpen"),
        Child<QWidget>(dlg, "m_btnSave"),        Child<QWidget>(dlg, "m_btnAbout"),
        Child<QWidget>(dlg, "m_displayFilter"),
    };
    QTRY_COMPARE(QApplication::focusWidget(), order[0]);
    for (size_t i = 1; i <= order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* expected = order[i % order.size()];
        QVERIFY2(QApplication::focusWidget() == expected,
                 qPrintable(QStringLiteral("step %1: focus on %2, expected %3")
                                .arg(i)
                                .arg(QApplication::focusWidget()
                                         ? QApplication::focusWidget()->objectName()
                                         : QStringLiteral("nothing"))
                                .arg(expected->objectName())));
    }
    // And backwards from the first control to the last.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), order.back());
}

void CaptureDlgTest::escapeCloses() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!dlg.isVisible());
}

void CaptureDlgTest::enterPressesOnlyAFocusedButton() {
    {
        // Enter on a focused push button presses it and leaves the window open.
        CCaptureDlg dlg(false);
        std::vector<Message> messages;
        dlg.SetMessageSink(
            [&](const std::string& t, const std::string& c) { messages.emplace_back(t, c); });
        dlg.Packets().Append({Ipv4Chain(true, 1, 1000, 80), 0});
        dlg.Model().Refresh();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        auto* clear = Child<QPushButton>(dlg, "m_btnClear");
        clear->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(clear));
        QTest::keyClick(clear, Qt::Key_Return);
        QTRY_COMPARE(dlg.Model().rowCount(), 0);
        QVERIFY(dlg.isVisible());
        QVERIFY(messages.empty());
    }
    // Elsewhere it does nothing: the window stays open.
    for (const char* focused : {"m_list", "m_slider", "m_combo"}) {
        CCaptureDlg dlg(false);
        dlg.Packets().Append({Ipv4Chain(true, 1, 1000, 80), 0});
        dlg.Model().Refresh();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QWidget* w = Child<QWidget>(dlg, focused);
        w->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w);
        QTest::keyClick(w, Qt::Key_Return);
        QVERIFY2(dlg.isVisible(), focused);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
}

void CaptureDlgTest::detailsFollowTheSelection() {
    CCaptureDlg dlg(false);
    constexpr int kRows = 60;
    for (int i = 0; i < kRows; ++i)
        dlg.Packets().Append({Ipv4Chain(i % 2 == 0, static_cast<uint8_t>(i), 1000 + i, 53), 0});
    dlg.Model().Refresh();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    auto* list = Child<QTableView>(dlg, "m_list");
    auto* tree = Child<QTreeWidget>(dlg, "m_tree");
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));
    // The tree against the detail items of the selected row's own packet.
    const auto shows = [&](int row) {
        std::vector<DetailItem> items;
        if (!DetailItemsOf(dlg.Packets().At(static_cast<size_t>(row))->root.get(), items))
            return false;
        QStringList expected, shown;
        for (const DetailItem& item : items) {
            expected << QString::fromStdString(item.text);
            for (const std::string& field : item.fields) expected << QString::fromStdString(field);
        }
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* layer = tree->topLevelItem(i);
            shown << layer->text(0);
            for (int f = 0; f < layer->childCount(); ++f) shown << layer->child(f)->text(0);
        }
        return !shown.isEmpty() && shown == expected && FirstSelectedRow(list) == row;
    };
    QTest::keyClick(list, Qt::Key_Down);
    int row = list->currentIndex().row();
    QVERIFY(row >= 0 && shows(row));
    // Each key and the row it leads to; Page Down goes a page on, whatever its height.
    const struct {
        Qt::Key key;
        int (*to)(int row);
    } moves[] = {
        {Qt::Key_Down, [](int r) { return r + 1; }},
        {Qt::Key_End, [](int) { return kRows - 1; }},
        {Qt::Key_Up, [](int r) { return r - 1; }},
        {Qt::Key_Home, [](int) { return 0; }},
        {Qt::Key_PageDown, nullptr},
        {Qt::Key_PageUp, [](int) { return 0; }},
    };
    for (const auto& move : moves) {
        QTest::keyClick(list, move.key);
        const int now = list->currentIndex().row();
        QVERIFY2(
            move.to != nullptr ? now == move.to(row) : now > row + 1,
            qPrintable(QStringLiteral("key %1: row %2 after %3").arg(move.key).arg(now).arg(row)));
        QVERIFY2(shows(now), qPrintable(QStringLiteral("key %1: row %2").arg(move.key).arg(now)));
        row = now;
    }
    // A click as well.
    const QRect cell = list->visualRect(dlg.Model().index(3, COL_PROTO));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(shows(3));
}

void CaptureDlgTest::contextMenuOffersAbout() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));

    QStringList items;
    QString aboutTitle;
    WhenModalOpens([&](QWidget* popup) {
        auto* menu = qobject_cast<QMenu*>(popup);
        QVERIFY(menu != nullptr);
        for (QAction* a : menu->actions()) items << a->text();
        QAction* about =
            menu->actions().value(items.indexOf(QStringLiteral("&About TapwatchGUI...")));
        if (about == nullptr) return;
        // The item opens the about box, as the About button does.
        WhenModalOpens([&](QWidget* box) {
            if (box != nullptr) aboutTitle = box->windowTitle();
        });
        menu->setActiveAction(about);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    const QPoint at(100, 100);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, dlg.mapToGlobal(at));
    QApplication::sendEvent(&dlg, &event);
    QTRY_VERIFY(!aboutTitle.isEmpty());
    QVERIFY(items.contains(QStringLiteral("&About TapwatchGUI...")));
    QCOMPARE(aboutTitle, QStringLiteral("About Tapwatch"));

    // The About button opens the same box.
    QString buttonTitle;
    WhenModalOpens([&](QWidget* box) {
        if (box != nullptr) buttonTitle = box->windowTitle();
    });
    QTest::mouseClick(Child<QPushButton>(dlg, "m_btnAbout"), Qt::LeftButton);
    QTRY_COMPARE(buttonTitle, QStringLiteral("About Tapwatch"));
}

void CaptureDlgTest::clearWhileIdleEmptiesListAndStore() {
    CCaptureDlg dlg(false);
    std::vector<Message> messages;
    dlg.SetMessageSink(
        [&](const std::string& t, const std::string& c) { messages.emplace_back(t, c); });
    auto chain = Ipv4Chain(true, 7, 1234, 80);
    std::weak_ptr<const CProtocolLayer> watch = chain;
    for (int i = 0; i < 5; ++i) dlg.Packets().Append({chain, 0});
    chain.reset();
    dlg.Model().Refresh();
    QCOMPARE(dlg.Model().rowCount(), 5);
    auto* tree = Child<QTreeWidget>(dlg, "m_tree");
    tree->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("Ethernet")}));

    QTest::mouseClick(Child<QPushButton>(dlg, "m_btnClear"), Qt::LeftButton);
    QCOMPARE(dlg.Model().rowCount(), 0);
    QCOMPARE(dlg.Packets().Count(), size_t{0});
    QVERIFY(watch.expired());
    QVERIFY(messages.empty());
    // The details of the packet last shown stay until a row is selected.
    QCOMPARE(tree->topLevelItemCount(), 1);

    // Clear on an empty list changes nothing and says nothing.
    QTest::mouseClick(Child<QPushButton>(dlg, "m_btnClear"), Qt::LeftButton);
    QCOMPARE(dlg.Model().rowCount(), 0);
    QVERIFY(messages.empty());
}

void CaptureDlgTest::sliderAppliesOnMouseReleaseOnly() {
    // Offscreen there is no per-window opacity, so every application of the
    // slider's position shows the "Failed" box, and the box tells when one ran.
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    auto* slider = Child<QSlider>(dlg, "m_slider");
    slider->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(slider));

    // Keyboard moves change the position, not the opacity: no box (any that
    // opens all the same is counted and closed, so the test goes on).
    int boxes = 0;
    bool watched = false;
    auto* watch = new QTimer(&dlg);
    QObject::connect(watch, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            ++boxes;
            box->close();
        }
    });
    watch->start(10);
    QTimer::singleShot(300, watch, [&, watch] {
        watch->stop();
        watched = true;
    });
    QTest::keyClick(slider, Qt::Key_Left);
    QTest::keyClick(slider, Qt::Key_Home);
    QCOMPARE(slider->value(), 90);
    QTRY_VERIFY(watched);
    QCOMPARE(boxes, 0);
    QCOMPARE(dlg.windowOpacity(), 1.0);

    // A mouse release on the slider applies the position it has.
    QString title, text;
    WhenModalOpens([&](QWidget* box) {
        if (auto* message = qobject_cast<QMessageBox*>(box)) {
            title = message->windowTitle();
            text = message->text();
        }
    });
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(5, slider->height() / 2));
    QTRY_VERIFY(!title.isEmpty());
    QCOMPARE(title, QStringLiteral("Failed"));
    QCOMPARE(text, QStringLiteral("This feature is not supported by your OS"));
    QCOMPARE(slider->value(), 90);
    QCOMPARE(dlg.windowOpacity(), 1.0);
}

void CaptureDlgTest::loopbackCaptureAndBack() {
    if (geteuid() != 0) QSKIP("capturing on lo needs root; run as root to test a live capture");
    CCaptureDlg dlg(false);
    std::vector<Message> messages;
    dlg.SetMessageSink(
        [&](const std::string& t, const std::string& c) { messages.emplace_back(t, c); });
    QVERIFY(dlg.Initialise());
    const int lo = LoopbackEntry(dlg);
    if (lo < 0) QSKIP("no lo entry in the interface list");
    Child<QComboBox>(dlg, "m_combo")->setCurrentIndex(lo);
    QCOMPARE(dlg.SelectedInterface(), lo);

    auto* capture = Child<QPushButton>(dlg, "m_btnCapture");
    const char* busy[] = {"m_btnClear", "m_btnSaveXml", "m_btnDecode", "m_btnSetFilter"};
    const char* always[] = {"m_btnCapture", "m_btnAbout", "m_btnCopy", "m_btnAlwaysOnTop",
                            "m_list",       "m_tree",     "m_slider"};
    dlg.show();
    LoopbackSender sender;

    QTest::mouseClick(capture, Qt::LeftButton);
    QCOMPARE(capture->text(), QStringLiteral("Stop"));
    for (const char* name : busy) QVERIFY2(!Child<QWidget>(dlg, name)->isEnabled(), name);
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Session().Phase(), CapturePhase::Running, 10000);
    for (const char* name : busy) QVERIFY2(!Child<QWidget>(dlg, name)->isEnabled(), name);
    for (const char* name : always) QVERIFY2(Child<QWidget>(dlg, name)->isEnabled(), name);
    QTRY_VERIFY_WITH_TIMEOUT(dlg.Model().rowCount() >= 3, 10000);
    QVERIFY(messages.empty());

    // Clear is refused while the capture runs, even when asked for directly.
    const size_t before = dlg.Packets().Count();
    dlg.OnClear();
    QCOMPARE(messages.size(), size_t{1});
    QCOMPARE(messages[0], Message("Stop the capture first", "Warning"));
    QVERIFY(dlg.Packets().Count() >= before);
    QVERIFY(dlg.Model().rowCount() > 0);

    QTest::mouseClick(capture, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Session().Phase(), CapturePhase::Idle, 10000);
    QCOMPARE(capture->text(), QStringLiteral("Capture"));
    for (const char* name : busy) QVERIFY2(Child<QWidget>(dlg, name)->isEnabled(), name);
    for (const char* name : always) QVERIFY2(Child<QWidget>(dlg, name)->isEnabled(), name);
    // Every stored packet gets its row once the capture is over.
    QTRY_COMPARE(static_cast<size_t>(dlg.Model().rowCount()), dlg.Packets().Count());
    // Other programs (and tests running beside this one) may talk on lo too:
    // the sender's datagrams are among the rows, not necessarily first.
    bool senderSeen = false;
    for (int row = 0; row < dlg.Model().rowCount() && !senderSeen; ++row) {
        const QStringList cells = RowCells(dlg.Model(), row);
        senderSeen = cells[COL_SRC_IP] == QStringLiteral("127.0.0.1") &&
                     cells[COL_DEST_PORT] == QStringLiteral("47811");
    }
    QVERIFY(senderSeen);

    QTest::mouseClick(Child<QPushButton>(dlg, "m_btnClear"), Qt::LeftButton);
    QCOMPARE(messages.size(), size_t{1});
    QCOMPARE(dlg.Model().rowCount(), 0);
    QCOMPARE(dlg.Packets().Count(), size_t{0});
}

void CaptureDlgTest::captureStartLeavesFocusOnList() {
    if (geteuid() != 0) QSKIP("capturing on lo needs root; run as root to test a live capture");
    CCaptureDlg dlg(false);
    dlg.SetMessageSink([](const std::string&, const std::string&) {});
    QVERIFY(dlg.Initialise());
    const int lo = LoopbackEntry(dlg);
    if (lo < 0) QSKIP("no lo entry in the interface list");
    Child<QComboBox>(dlg, "m_combo")->setCurrentIndex(lo);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    auto* list = Child<QTableView>(dlg, "m_list");
    list->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));

    // As the hot key does: the toggle runs while the list has the focus, and
    // disabling four buttons leaves it there.
    dlg.OnCapture();
    QVERIFY(!Child<QWidget>(dlg, "m_btnClear")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Session().Phase(), CapturePhase::Running, 10000);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));

    // A focused button that is disabled hands the focus on down the tab chain.
    dlg.OnCapture();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Session().Phase(), CapturePhase::Idle, 10000);
    auto* clear = Child<QWidget>(dlg, "m_btnClear");
    clear->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), clear);
    dlg.OnCapture();
    QVERIFY(!clear->isEnabled());
    QVERIFY(QApplication::focusWidget() != nullptr);
    QVERIFY(QApplication::focusWidget() != clear);
    QVERIFY(QApplication::focusWidget()->isEnabled());
    dlg.OnCapture();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Session().Phase(), CapturePhase::Idle, 10000);
}

void CaptureDlgTest::modelWhileRowsStream() {
    CCaptureDlg dlg(false);
    QAbstractItemModelTester tester(&dlg.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    dlg.show();

    constexpr int kThreads = 3;
    constexpr int kPerThread = 1500;
    std::vector<std::shared_ptr<const CProtocolLayer>> chains;
    for (int t = 0; t < kThreads; ++t)
        chains.push_back(Ipv4Chain(t % 2 == 0, static_cast<uint8_t>(t + 1),
                                   static_cast<uint16_t>(2000 + t), 80));
    std::vector<std::thread> feeders;
    for (int t = 0; t < kThreads; ++t) {
        feeders.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                dlg.Packets().Append({chains[t], static_cast<uint32_t>(i)});
                if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    QSignalSpy inserted(&dlg.Model(), &QAbstractItemModel::rowsInserted);
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Model().rowCount(), kThreads * kPerThread, 10000);
    for (std::thread& f : feeders) f.join();
    QVERIFY(inserted.count() >= 1);

    // Every row shows its own store entry, numbered in store order.
    PacketRow expected;
    for (int r : {0, 1, 777, kThreads * kPerThread - 1}) {
        const std::optional<StoredPacket> packet = dlg.Packets().At(static_cast<size_t>(r));
        QVERIFY(packet.has_value());
        BuildRow(*packet, static_cast<size_t>(r), expected);
        const QStringList cells = RowCells(dlg.Model(), r);
        for (int c = 0; c < COL_COUNT; ++c)
            QCOMPARE(cells[c], QString::fromStdString(std::string(expected.Cell(c))));
    }
    // The list follows the newest rows.
    auto* list = Child<QTableView>(dlg, "m_list");
    QTRY_VERIFY(list->rowAt(list->viewport()->height() - 2) == kThreads * kPerThread - 1 ||
                list->indexAt(QPoint(2, list->viewport()->height() - 2)).row() ==
                    kThreads * kPerThread - 1);
}

void CaptureDlgTest::clearWithRowsPending() {
    CCaptureDlg dlg(false);
    QAbstractItemModelTester tester(&dlg.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto oldChain = Ipv4Chain(true, 9, 9999, 80);
    for (int i = 0; i < 4; ++i) dlg.Packets().Append({oldChain, 0});
    dlg.Model().Refresh();
    QCOMPARE(dlg.Model().rowCount(), 4);
    // More old rows arrive, but the window clears before its next refresh.
    for (int i = 0; i < 50; ++i) dlg.Packets().Append({oldChain, 0});
    QSignalSpy inserted(&dlg.Model(), &QAbstractItemModel::rowsInserted);
    dlg.ClearPackets();
    QCOMPARE(dlg.Model().rowCount(), 0);

    auto newChain = Ipv4Chain(false, 3, 5353, 53);
    for (int i = 0; i < 2; ++i) dlg.Packets().Append({newChain, 0});
    QTest::qWait(3 * PacketListModel::kRefreshMs);
    QTRY_COMPARE(dlg.Model().rowCount(), 2);
    QTest::qWait(3 * PacketListModel::kRefreshMs);
    QCOMPARE(dlg.Model().rowCount(), 2);
    int insertedRows = 0;
    for (const QList<QVariant>& args : inserted)
        insertedRows += args[2].toInt() - args[1].toInt() + 1;
    QCOMPARE(insertedRows, 2);
    for (int r = 0; r < 2; ++r) {
        const QStringList cells = RowCells(dlg.Model(), r);
        QCOMPARE(cells[COL_SRC_PORT], QStringLiteral("5353"));
        QCOMPARE(cells[COL_SRC_IP], QStringLiteral("10.0.0.3"));
    }
}

void CaptureDlgTest::storeEmptiedBehindModel() {
    // A capture start empties the store from the session; the model, told
    // nothing, must not show rows of the old store with the new store's data.
    CCaptureDlg dlg(false);
    QAbstractItemModelTester tester(&dlg.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto oldChain = Ipv4Chain(true, 9, 9999, 80);
    for (int i = 0; i < 5; ++i) dlg.Packets().Append({oldChain, 0});
    dlg.Model().Refresh();
    QCOMPARE(dlg.Model().rowCount(), 5);
    dlg.Packets().ClearPackets();
    auto newChain = Ipv4Chain(false, 4, 6000, 53);
    for (int i = 0; i < 7; ++i) dlg.Packets().Append({newChain, static_cast<uint32_t>(i)});
    dlg.Model().Refresh();
    QCOMPARE(dlg.Model().rowCount(), 7);
    for (int r = 0; r < 7; ++r) {
        const QStringList cells = RowCells(dlg.Model(), r);
        QCOMPARE(cells[COL_NUM], QString::number(r));
        QCOMPARE(cells[COL_SRC_PORT], QStringLiteral("6000"));
    }
}

void CaptureDlgTest::oneInsertPerBatch() {
    CCaptureDlg dlg(false);
    QSignalSpy inserted(&dlg.Model(), &QAbstractItemModel::rowsInserted);
    auto chain = Ipv4Chain(false, 1, 1, 2);
    for (int i = 0; i < 1000; ++i) dlg.Packets().Append({chain, 0});
    dlg.Model().Refresh();
    dlg.Model().Refresh();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted[0][1].toInt(), 0);
    QCOMPARE(inserted[0][2].toInt(), 999);
    for (int i = 0; i < 10; ++i) dlg.Packets().Append({chain, 0});
    dlg.Model().Refresh();
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted[1][1].toInt(), 1000);
    QCOMPARE(inserted[1][2].toInt(), 1009);
}

void CaptureDlgTest::statusBarRowsSourceAndFilter() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(ShownStatus(dlg), QStringList({"0 packets", "No filter"}));

    // Rows show on the list's refresh tick.
    for (int i = 0; i < 3; ++i) dlg.Packets().Append({Ipv4Chain(false, 1, 1000, 53), 0});
    QTRY_COMPARE(ShownStatus(dlg), QStringList({"3 packets", "No filter"}));

    // The filter is the expression Apply built, exactly.
    QStringList boxes = EditFilter(dlg, [](QWidget* editor) { ApplyUdpTo(editor, "5353"); });
    QCOMPARE(boxes, QStringList());
    const QString applied = QString::fromStdString(*dlg.FilterDlg().Filter().Load());
    QVERIFY(applied.contains(QStringLiteral("5353")));
    QTRY_COMPARE(ShownStatus(dlg), QStringList({"3 packets", "Filter: " + applied}));

    // A rejected Apply leaves the editor showing the rejected fields, and the
    // next capture the previous filter: so does the status bar.
    boxes = EditFilter(dlg, [](QWidget* editor) {
        TypeInto(editor, "m_editSourcePort", QStringLiteral("65536"));
        Apply(editor);
    });
    QCOMPARE(boxes, QStringList({"The filter is incorrect"}));
    QCOMPARE(QString::fromStdString(*dlg.FilterDlg().Filter().Load()), applied);
    QTest::qWait(3 * PacketListModel::kRefreshMs);
    QCOMPARE(ShownStatus(dlg), QStringList({"3 packets", "Filter: " + applied}));

    // A file or a stream names itself; a file read again has no counters, a
    // stream (a capture taken elsewhere) has.
    dlg.SetShownSource({SourceKind::File, "web traffic.pcapng"});
    QCOMPARE(ShownStatus(dlg),
             QStringList({"3 packets", "File: web traffic.pcapng", "Filter: " + applied}));
    dlg.SetShownSource({SourceKind::StandardInput, ""});
    QCOMPARE(ShownStatus(dlg), QStringList({"3 packets", "0 dropped", "Stream: standard input",
                                            "Filter: " + applied}));
    dlg.SetShownSource({SourceKind::Fifo, "/run/tap.fifo"});
    QCOMPARE(ShownStatus(dlg).at(2), QStringLiteral("Stream: /run/tap.fifo"));

    // Clear All and Apply: no filter at all.
    boxes = EditFilter(dlg, [](QWidget* editor) {
        QTest::mouseClick(editor->findChild<QPushButton*>(QStringLiteral("m_btnClearAll")),
                          Qt::LeftButton);
        Apply(editor);
    });
    QCOMPARE(boxes, QStringList());
    QTRY_COMPARE(ShownStatus(dlg).last(), QStringLiteral("No filter"));
    // Nothing in the status bar is a message box.
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void CaptureDlgTest::statusBarDuringAndAfterLoopbackCapture() {
    if (geteuid() != 0) QSKIP("capturing on lo needs root; run as root to test a live capture");
    CCaptureDlg dlg(false);
    std::vector<Message> messages;
    dlg.SetMessageSink(
        [&](const std::string& t, const std::string& c) { messages.emplace_back(t, c); });
    QVERIFY(dlg.Initialise());
    const int lo = LoopbackEntry(dlg);
    if (lo < 0) QSKIP("no lo entry in the interface list");
    Child<QComboBox>(dlg, "m_combo")->setCurrentIndex(lo);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    // Only the sender's datagrams pass the filter, which shows that the
    // expression in the status bar is the one the capture compiled.
    QCOMPARE(EditFilter(dlg, [](QWidget* editor) { ApplyUdpTo(editor, "47811"); }), QStringList());
    const QString filter = "Filter: " + QString::fromStdString(*dlg.FilterDlg().Filter().Load());
    QTRY_COMPARE(ShownStatus(dlg), QStringList({"0 packets", filter}));

    LoopbackSender sender;
    QTest::mouseClick(Child<QPushButton>(dlg, "m_btnCapture"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Session().Phase(), CapturePhase::Running, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(dlg.Model().rowCount() >= 3, 10000);
    QStringList texts = ShownStatus(dlg);
    QCOMPARE(texts.size(), 5);
    QCOMPARE(texts[0], QStringLiteral("%1 packets").arg(dlg.Model().rowCount()));
    QCOMPARE(texts[1], QStringLiteral("0 dropped"));
    QCOMPARE(texts[2], QStringLiteral("Interface: lo"));
    QVERIFY2(
        texts[3] == QStringLiteral("Elapsed: 0:00") || texts[3] == QStringLiteral("Elapsed: 0:01"),
        qPrintable(texts[3]));
    QCOMPARE(texts[4], filter);
    // The elapsed time advances while the capture runs.
    QTRY_VERIFY_WITH_TIMEOUT(ShownStatus(dlg).value(3) == QStringLiteral("Elapsed: 0:02"), 5000);
    QCOMPARE(ShownStatus(dlg)[0], QStringLiteral("%1 packets").arg(dlg.Model().rowCount()));

    QTest::mouseClick(Child<QPushButton>(dlg, "m_btnCapture"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Session().Phase(), CapturePhase::Idle, 10000);
    QTRY_COMPARE(static_cast<size_t>(dlg.Model().rowCount()), dlg.Packets().Count());
    QTRY_COMPARE(ShownStatus(dlg),
                 QStringList({QStringLiteral("%1 packets").arg(dlg.Model().rowCount()), "0 dropped",
                              "Interface: lo", filter}));
    for (int row = 0; row < dlg.Model().rowCount(); ++row)
        QCOMPARE(RowCells(dlg.Model(), row)[COL_DEST_PORT], QStringLiteral("47811"));
    QVERIFY(messages.empty());
}

QTEST_MAIN(CaptureDlgTest)
#include "capture_dlg_test.moc"
