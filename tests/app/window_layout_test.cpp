// The three windows on the desktop: the main window and the Decode window
// resize and keep their first size as their minimum, the Filter editor keeps
// its size and the main window's font, every text shows whole at the first
// size, the interface list opens wide enough for its entries, and only the
// left mouse button applies a Transparency slider.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <limits>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "controls/icon_button.h"
#include "filter/filter_dlg.h"
#include "resources/init_resources.h"
#include "sessions/decode_dlg.h"
#include "tests/app/test_frames.h"
#include "tests/sessions/packet_builder.h"

using namespace test_packets;

namespace {

template <class T>
T* Child(QWidget* window, const char* name) {
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("no child %s", name);
    return widget;
}

// The rectangle of `w` in the coordinates of its window.
QRect InWindow(const QWidget* w) {
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

PacketRef Seg(HostAddress src, uint16_t sport, HostAddress dst, uint16_t dport, uint32_t seq) {
    Tcp t;
    t.src = src;
    t.dst = dst;
    t.sport = sport;
    t.dport = dport;
    t.seq = seq;
    t.flags = PSH | ACK;
    t.payload = "GET / HTTP/1.1\r\n";
    return TcpPacket(t);
}

// Sessions whose rows are as wide as rows get: five-digit ports, the longest
// dotted addresses.
PacketSnapshot WidestSessions() {
    const HostAddress client{203, 113, 200, 177};
    return {Seg(client, 65535, {255, 255, 255, 255}, 65534, 1),
            Seg({255, 255, 255, 255}, 65534, client, 65535, 2),
            Seg(client, 58888, {188, 188, 188, 188}, 44444, 3)};
}

// Every label, button and closed combo box of `window` that is shown and does
// not hold its whole text on one line, as "name: text (needs N px, has M)".
QStringList CutTexts(QWidget* window, const QStringList& exempt = {}) {
    QStringList cut;
    const auto check = [&](QWidget* w, const QString& text, int need, int room) {
        if (need > room) {
            cut << QStringLiteral("%1: \"%2\" needs %3 px, has %4")
                       .arg(w->objectName(), text)
                       .arg(need)
                       .arg(room);
        }
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || exempt.contains(w->objectName())) continue;
        const QFontMetrics metrics(w->font());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty()) continue;
            const int room =
                label->contentsRect().width() - 2 * label->margin() - std::max(label->indent(), 0);
            check(label, label->text(), metrics.horizontalAdvance(label->text()), room);
        } else if (auto* icon = qobject_cast<CIconButton*>(w)) {
            // The caption is drawn right of the icon, inside the button's edge.
            const int iconPart =
                icon->HasIcon() ? CIconButton::kIconSize + CIconButton::kIconMargin : 0;
            check(icon, icon->text(), metrics.horizontalAdvance(icon->text()),
                  icon->width() - iconPart - 2 * 2);
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = box->text();
            const QRect contents =
                box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
            check(box, box->text(), metrics.horizontalAdvance(box->text()), contents.width());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect contents =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            check(button, button->text(), metrics.horizontalAdvance(button->text()),
                  contents.width());
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = combo->isEditable();
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i) {
                const int iconWidth =
                    combo->itemIcon(i).isNull() ? 0 : combo->iconSize().width() + 4;
                check(combo, combo->itemText(i),
                      metrics.horizontalAdvance(combo->itemText(i)) + iconWidth, field.width());
            }
        }
    }
    return cut;
}

// Runs `step` on the modal window `open` opens, then closes that window.
void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& step) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(QTest::qWaitForWindowExposed(modal));
        step(modal);
        ran = true;
        modal->close();
    });
    open();
    QVERIFY(ran);
}

void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint at,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Clicks `slider` with `button` and reports how many message boxes came up
// within 300 ms (closing them).
int BoxesAfterClick(QSlider* slider, Qt::MouseButton button) {
    int boxes = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget();
            box != nullptr && qobject_cast<QMessageBox*>(box) != nullptr) {
            ++boxes;
            box->close();
        }
    });
    watch.start(5);
    const QPoint at(slider->width() / 3, slider->height() / 3);
    SendMouse(slider, QEvent::MouseButtonPress, button, at, button);
    SendMouse(slider, QEvent::MouseButtonRelease, button, at, Qt::NoButton);
    QTest::qWait(300);
    return boxes;
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InitTapwatchResources(); }

    void mainWindowFirstSizeIsItsMinimum();
    void mainWindowGrowsListsAndKeepsCommandsAtTheRight();
    void splitterSharesTheHeight();
    void numberColumnsWidenWithTheirNumbers();
    void decodeWindowGrowsStreamAndSessions();
    void filterEditorKeepsItsSizeAndTheMainWindowFont();
    void everyTextShowsWholeAtTheFirstSize();
    void interfaceListOpensWideEnough();
    void onlyTheLeftButtonAppliesTheSlider();
};

void WindowLayoutTest::mainWindowFirstSizeIsItsMinimum() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QSize first = dlg.size();
    QVERIFY2(first.width() >= 846 && first.height() >= 650,
             qPrintable(QStringLiteral("%1x%2").arg(first.width()).arg(first.height())));
    QVERIFY(first.width() >= dlg.sizeHint().width() && first.height() >= dlg.sizeHint().height());
    QCOMPARE(dlg.minimumSize(), first);
    QVERIFY(dlg.maximumSize().width() > 4000 && dlg.maximumSize().height() > 4000);
    QVERIFY(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);

    // Asked to shrink, it stays at its first size.
    dlg.resize(500, 300);
    QCoreApplication::processEvents();
    QCOMPARE(dlg.size(), first);
}

void WindowLayoutTest::mainWindowGrowsListsAndKeepsCommandsAtTheRight() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* list = Child<QTableView>(&dlg, "m_list");
    auto* tree = Child<QTreeWidget>(&dlg, "m_tree");
    auto* bytes = Child<QWidget>(&dlg, "m_bytes");
    const QSize first = dlg.size();
    const QRect list0 = InWindow(list), tree0 = InWindow(tree), bytes0 = InWindow(bytes);
    const char* column[] = {"m_combo",   "m_btnCapture", "m_btnAbout",
                            "m_btnCopy", "m_slider",     "m_btnAlwaysOnTop"};
    std::vector<QRect> before;
    for (const char* name : column) before.push_back(InWindow(Child<QWidget>(&dlg, name)));

    const QSize grow(420, 310);
    dlg.resize(first + grow);
    QTRY_COMPARE(dlg.size(), first + grow);
    QTRY_COMPARE(InWindow(list).width(), list0.width() + grow.width());
    QCOMPARE(InWindow(tree).width(), tree0.width() + grow.width());
    // The list, the tree and the bytes share the whole new height, each
    // getting some of it.
    const int grown = InWindow(list).height() + InWindow(tree).height() + InWindow(bytes).height() -
                      list0.height() - tree0.height() - bytes0.height();
    QCOMPARE(grown, grow.height());
    QVERIFY(InWindow(list).height() > list0.height() + grow.height() / 3);
    QVERIFY(InWindow(tree).height() > tree0.height());
    QVERIFY(InWindow(bytes).height() > bytes0.height());
    // The command columns move with the right edge and keep their size.
    for (size_t i = 0; i < std::size(column); ++i) {
        const QRect now = InWindow(Child<QWidget>(&dlg, column[i]));
        QCOMPARE(now.size(), before[i].size());
        QCOMPARE(dlg.width() - now.right(), first.width() - before[i].right());
    }
    // The columns keep their widths; the last takes the spare width.
    QCOMPARE(list->columnWidth(0), 45);
    QCOMPARE(list->columnWidth(6), 68);
    int columns = 0;
    for (int c = 0; c < list->model()->columnCount(); ++c) columns += list->columnWidth(c);
    QCOMPARE(columns, list->viewport()->width());
}

void WindowLayoutTest::splitterSharesTheHeight() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* splitter = Child<QSplitter>(&dlg, "m_splitter");
    auto* list = Child<QTableView>(&dlg, "m_list");
    auto* tree = Child<QTreeWidget>(&dlg, "m_tree");
    const int list0 = list->height(), tree0 = tree->height();

    // Dragging the handle up moves height from the packet list to the tree.
    QSplitterHandle* handle = splitter->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    for (int dy = -10; dy >= -60; dy -= 10) QTest::mouseMove(handle, grip + QPoint(0, dy));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, -60));
    QTRY_VERIFY(list->height() <= list0 - 50);
    QCOMPARE(tree->height() - tree0, list0 - list->height());
    QCOMPARE(dlg.size(), dlg.minimumSize());

    // The commands stand beside the panes, so the list gives up all of its
    // height but its header and a few rows: the tree and the bytes take most
    // of the window.
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    for (int dy = -100; dy >= -dlg.height(); dy -= 100)
        QTest::mouseMove(handle, grip + QPoint(0, dy));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, -dlg.height()));
    const int row = list->verticalHeader()->defaultSectionSize();
    QTRY_VERIFY2(list->height() < 8 * row, qPrintable(QString::number(list->height())));
    QVERIFY(list->viewport()->height() >= 3 * row);
    const int details = tree->height() + Child<QWidget>(&dlg, "m_bytes")->height();
    QVERIFY2(details > dlg.height() / 2, qPrintable(QString::number(details)));
    QCOMPARE(dlg.size(), dlg.minimumSize());
}

void WindowLayoutTest::numberColumnsWidenWithTheirNumbers() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* list = Child<QTableView>(&dlg, "m_list");
    const auto chain = Ipv4Chain(false, 1, 1000, 53);
    // The cells of `row` in Num and Time that do not hold their text whole.
    const auto cut = [&](int row) {
        QStringList cells;
        for (int column : {COL_NUM, COL_TIME}) {
            const QModelIndex index = dlg.Model().index(row, column);
            QStyleOptionViewItem option;
            option.initFrom(list->viewport());
            option.font = list->font();
            const int need = list->itemDelegateForIndex(index)->sizeHint(option, index).width();
            if (need > list->columnWidth(column))
                cells << QStringLiteral("%1 needs %2 px, has %3")
                             .arg(index.data().toString())
                             .arg(need)
                             .arg(list->columnWidth(column));
        }
        return cells;
    };
    // Rows arrive over several ticks; the longest time sits among them, not last.
    constexpr uint64_t kTimes[] = {7, 10376123, std::numeric_limits<uint64_t>::max(), 42};
    constexpr int kRows = 10001;
    for (int i = 0; i < kRows; ++i) {
        dlg.Packets().Append({chain, i % 2500 == 0 ? kTimes[i / 2500 % 4] : 1000});
        if (i % 2500 == 0) dlg.Model().Refresh();
    }
    QTRY_COMPARE(dlg.Model().rowCount(), kRows);
    for (int row : {0, 2500, 5000, kRows - 1}) QTRY_COMPARE(cut(row), QStringList());
    // Maximised, and back to the first size: the last column still takes the
    // spare width, never less than its text.
    dlg.resize(1600, 1000);
    QTRY_COMPARE(dlg.width(), 1600);
    const auto columns = [list] {
        int sum = 0;
        for (int c = 0; c < COL_COUNT; ++c) sum += list->columnWidth(c);
        return sum;
    };
    QTRY_COMPARE(columns(), list->viewport()->width());
    QCOMPARE(cut(5000), QStringList());
    dlg.resize(dlg.minimumSize());
    QTRY_COMPARE(dlg.size(), dlg.minimumSize());
    QCOMPARE(cut(5000) + cut(kRows - 1), QStringList());
}

void WindowLayoutTest::decodeWindowGrowsStreamAndSessions() {
    CDecodeDlg dlg(WidestSessions(), -1);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QSize first = dlg.size();
    QVERIFY(first.width() >= 872 && first.height() >= 488);
    QCOMPARE(dlg.minimumSize(), first);
    QVERIFY(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
    auto* stream = Child<QPlainTextEdit>(&dlg, "m_editStream");
    auto* sessions = Child<QListWidget>(&dlg, "m_listSessions");
    auto* close = Child<QWidget>(&dlg, "m_btnClose");
    auto* decoded = Child<QWidget>(&dlg, "m_groupDecoded");
    const QRect stream0 = InWindow(stream), sessions0 = InWindow(sessions);
    const QRect close0 = InWindow(close), decoded0 = InWindow(decoded);

    const QSize grow(300, 200);
    dlg.resize(first + grow);
    QTRY_COMPARE(InWindow(stream).size(), stream0.size() + grow);
    QCOMPARE(InWindow(sessions).width(), sessions0.width());
    QCOMPARE(InWindow(sessions).height(), sessions0.height() + grow.height());
    // The session list stays at the right edge, the buttons at the bottom
    // right of the stream's side.
    QCOMPARE(dlg.width() - InWindow(sessions).right(), first.width() - sessions0.right());
    QCOMPARE(InWindow(close).size(), close0.size());
    QCOMPARE(dlg.height() - InWindow(close).bottom(), first.height() - close0.bottom());
    QCOMPARE(InWindow(decoded).right() - InWindow(close).right(),
             decoded0.right() - close0.right());

    dlg.resize(400, 300);
    QCoreApplication::processEvents();
    QCOMPARE(dlg.size(), first);
}

void WindowLayoutTest::filterEditorKeepsItsSizeAndTheMainWindowFont() {
    CCaptureDlg main(false);
    CFilterDlg& editor = main.FilterDlg();
    WithModal([&] { main.OnSetFilter(); },
              [&](QWidget* modal) {
                  QCOMPARE(modal, static_cast<QWidget*>(&editor));
                  QCOMPARE(editor.font().family(), main.font().family());
                  QCOMPARE(editor.font().pointSizeF(), main.font().pointSizeF());
                  QCOMPARE(
                      QFontInfo(Child<QLabel>(&editor, "m_labelDataContains")->font()).family(),
                      QFontInfo(main.font()).family());
                  QCOMPARE(editor.minimumSize(), editor.maximumSize());
                  QCOMPARE(editor.size(), editor.minimumSize());
                  QVERIFY(!(editor.windowFlags() & Qt::WindowMaximizeButtonHint));
              });
}

void WindowLayoutTest::everyTextShowsWholeAtTheFirstSize() {
    CCaptureDlg main(false);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    // The interface box may stay narrow; its open list is checked instead.
    QCOMPARE(CutTexts(&main, {QStringLiteral("m_combo")}), QStringList());

    CDecodeDlg decode(WidestSessions(), -1);
    decode.show();
    QVERIFY(QTest::qWaitForWindowExposed(&decode));
    QCOMPARE(CutTexts(&decode), QStringList());
    // Every session row holds its text, closing "]" included, without a
    // horizontal scroll bar.
    auto* sessions = Child<QListWidget>(&decode, "m_listSessions");
    QCOMPARE(sessions->count(), 2);
    QVERIFY(!sessions->horizontalScrollBar()->isVisible());
    for (int row = 0; row < sessions->count(); ++row) {
        const QModelIndex index = sessions->model()->index(row, 0);
        const QRect rect = sessions->visualRect(index);
        QStyleOptionViewItem option;
        option.initFrom(sessions);
        const QSize need = sessions->itemDelegate()->sizeHint(option, index);
        QVERIFY2(need.width() <= sessions->viewport()->width() &&
                     rect.right() < sessions->viewport()->width(),
                 qPrintable(QStringLiteral("%1 needs %2 px, has %3")
                                .arg(sessions->item(row)->text())
                                .arg(need.width())
                                .arg(sessions->viewport()->width())));
    }

    CFilterDlg& editor = main.FilterDlg();
    QStringList filterCut;
    WithModal([&] { main.OnSetFilter(); }, [&](QWidget*) { filterCut = CutTexts(&editor); });
    QCOMPARE(filterCut, QStringList());
}

void WindowLayoutTest::interfaceListOpensWideEnough() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* combo = Child<QComboBox>(&dlg, "m_combo");
    const int closedWidth = combo->width();
    // Entries as long as the list makes them (49 characters).
    dlg.ResetInterfaceList();
    const QStringList entries = {
        QStringLiteral("[0] eth0"),
        QStringLiteral("[1] enx00e04c680123 (USB 10/100/1000 LAN adapter)"),
        QStringLiteral("[2] lo (Loopback device, the local host only)"),
    };
    for (const QString& entry : entries)
        dlg.AddInterfaceEntry(entry.toStdString(), entry.toStdString());
    dlg.SelectInterface(1);
    QCOMPARE(combo->toolTip(), entries[1]);
    QCOMPARE(combo->width(), closedWidth);

    combo->showPopup();
    QAbstractItemView* view = combo->view();
    QTRY_VERIFY(view->isVisible());
    for (int row = 0; row < entries.size(); ++row) {
        const QModelIndex index = combo->model()->index(row, 0);
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.rect = QRect();
        const int need = std::max(view->itemDelegate()->sizeHint(option, index).width(),
                                  view->fontMetrics().horizontalAdvance(entries[row]));
        QVERIFY2(need <= view->viewport()->width(),
                 qPrintable(QStringLiteral("%1 needs %2 px, the open list has %3")
                                .arg(entries[row])
                                .arg(need)
                                .arg(view->viewport()->width())));
    }
    combo->hidePopup();
    dlg.SelectInterface(2);
    QCOMPARE(combo->toolTip(), entries[2]);
}

void WindowLayoutTest::onlyTheLeftButtonAppliesTheSlider() {
    // Offscreen there is no per-window opacity: every application of a slider
    // shows "Failed", which tells when one ran.
    CCaptureDlg main(false);
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    CDecodeDlg decode(WidestSessions(), -1, &main);
    decode.show();
    QVERIFY(QTest::qWaitForWindowExposed(&decode));
    for (QWidget* window : {static_cast<QWidget*>(&main), static_cast<QWidget*>(&decode)}) {
        auto* slider = Child<QSlider>(window, "m_slider");
        const int value = slider->value();
        QCOMPARE(BoxesAfterClick(slider, Qt::RightButton), 0);
        QCOMPARE(slider->value(), value);
        QCOMPARE(BoxesAfterClick(slider, Qt::MiddleButton), 0);
        QCOMPARE(window->windowOpacity(), 1.0);
        // The left button's click on the track does apply the position.
        QCOMPARE(BoxesAfterClick(slider, Qt::LeftButton), 1);
    }
}

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
