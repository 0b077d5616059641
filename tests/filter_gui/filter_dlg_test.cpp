// The Filter editor window driven as a user would: typing into its edits,
// clicking its buttons and pressing keys while exec() runs.
#include "filter/filter_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "controls/icon_button.h"

namespace {

// What one exec() came to.
struct ModalRun {
    int result = -1;
    bool closedByActions = false;  // the actions closed the window themselves
};

// Runs `actions` inside the dialog's exec(), once its window is up. A window the
// actions leave open is rejected afterwards, so a fault cannot hang the test.
ModalRun RunModal(CFilterDlg& dlg, const std::function<void()>& actions) {
    ModalRun run;
    QTimer::singleShot(0, &dlg, [&] {
        actions();
        run.closedByActions = !dlg.isVisible();
        if (dlg.isVisible()) dlg.reject();
    });
    run.result = dlg.exec();
    return run;
}

struct SeenMessage {
    QString text;
    QString caption;
    bool okOnly = false;
    bool ownedByDialog = false;
};

// Watches for message boxes opened while it lives, records each and presses
// its OK button.
class MessageBoxAnswerer {
  public:
    explicit MessageBoxAnswerer(QWidget* owner) : m_owner(owner) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
    }
    const std::vector<SeenMessage>& Seen() const { return m_seen; }

  private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        m_seen.push_back({box->text(), box->windowTitle(),
                          box->standardButtons() == QMessageBox::Ok,
                          box->parentWidget() == m_owner});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    QWidget* m_owner;
    QTimer m_timer;
    std::vector<SeenMessage> m_seen;
};

template <typename T>
T* Child(CFilterDlg& dlg, const char* name) {
    T* widget = dlg.findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no child %s", name);
    return widget;
}

QLineEdit* Edit(CFilterDlg& dlg, const char* name) {
    return Child<QLineEdit>(dlg, name);
}
CIconButton* Button(CFilterDlg& dlg, const char* name) {
    return Child<CIconButton>(dlg, name);
}
QComboBox* Protocol(CFilterDlg& dlg) {
    return Child<QComboBox>(dlg, "m_comboProtocol");
}

const char* const kEdits[] = {"m_editSourcePort", "m_editDestPort",     "m_editSourceIP",
                              "m_editDestIP",     "m_editDataContains", "m_editSourceMac",
                              "m_editDestMac",    "m_editGatewayIP"};

void Type(CFilterDlg& dlg, const char* edit, const QString& text) {
    QLineEdit* e = Edit(dlg, edit);
    e->clear();
    QTest::keyClicks(e, text);
}

void Click(CFilterDlg& dlg, const char* button) {
    QTest::mouseClick(Button(dlg, button), Qt::LeftButton);
}

// Every field filled, as a user would before a mode click.
void FillAll(CFilterDlg& dlg) {
    Type(dlg, "m_editSourceIP", "10.0.0.1");
    Type(dlg, "m_editDestIP", "10.0.0.2");
    Type(dlg, "m_editGatewayIP", "10.0.0.254");
    Type(dlg, "m_editSourceMac", "00-0c-29-ab-cd-ef");
    Type(dlg, "m_editDestMac", "00-0c-29-ab-cd-f0");
    Type(dlg, "m_editSourcePort", "1024");
    Type(dlg, "m_editDestPort", "80");
    Type(dlg, "m_editDataContains", "GET");
    Protocol(dlg)->setCurrentIndex(PROTOCOL_TCP);
}

std::string Text(const SharedText& text) {
    return *text.Load();
}

}  // namespace

class FilterDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void firstOpeningShowsEmptyFormWithAny();
    void templateOrderIsTabOrder();
    void framesLetClicksThroughToControls();
    void labelsHoldTheirText();
    void applyStoresExpressionAndReopeningShowsLastValues();
    void escapeAndCloseBoxDiscardUnsavedEdits();
    void enterOnModeButtonAppliesInsteadOfToggling();
    void modeClicksEmptyGatewayMacsAndPorts();
    void monitoringDisablesDestIPAndTrackingEnablesIt();
    void clearAllEmptiesFieldsButKeepsMonitoring();
    void escapeAfterModeClickKeepsDataContains();
    void invalidApplyReportsAndStaysOpen();
};

void FilterDlgTest::firstOpeningShowsEmptyFormWithAny() {
    CFilterDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Filter editor"));
    QVERIFY(!(dlg.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    QStringList texts;
    int protocolIndex = -2;
    QString protocolText;
    QStringList protocolEntries;
    int tracking = -1, monitoring = -1;
    bool destIPEnabled = false;
    QString trackingTip, monitoringTip, clearTip, applyTip;
    bool trackingFlat = false, monitoringFlat = false, clearFlat = true, applyFlat = true;
    bool modesCheckable = false, allIcons = false, applyDefault = false;
    RunModal(dlg, [&] {
        for (const char* name : kEdits) texts << Edit(dlg, name)->text();
        QComboBox* protocol = Protocol(dlg);
        protocolIndex = protocol->currentIndex();
        protocolText = protocol->currentText();
        for (int i = 0; i < protocol->count(); ++i) protocolEntries << protocol->itemText(i);
        tracking = Button(dlg, "m_btnTracking")->GetCheck();
        monitoring = Button(dlg, "m_btnMonitoring")->GetCheck();
        destIPEnabled = Edit(dlg, "m_editDestIP")->isEnabled();

        CIconButton* track = Button(dlg, "m_btnTracking");
        CIconButton* monitor = Button(dlg, "m_btnMonitoring");
        CIconButton* clear = Button(dlg, "m_btnClearAll");
        CIconButton* apply = Button(dlg, "m_btnApply");
        trackingTip = track->IsTooltipActive() ? track->toolTip() : QString();
        monitoringTip = monitor->IsTooltipActive() ? monitor->toolTip() : QString();
        clearTip = clear->IsTooltipActive() ? clear->toolTip() : QString();
        applyTip = apply->IsTooltipActive() ? apply->toolTip() : QString();
        trackingFlat = track->isFlat();
        monitoringFlat = monitor->isFlat();
        clearFlat = clear->isFlat();
        applyFlat = apply->isFlat();
        modesCheckable = track->IsCheckBoxMode() && monitor->IsCheckBoxMode();
        allIcons = track->HasIcon() && monitor->HasIcon() && clear->HasIcon() && apply->HasIcon();
        applyDefault = apply->isDefault();
        QTest::keyClick(Edit(dlg, "m_editSourceIP"), Qt::Key_Escape);
    });

    QCOMPARE(texts, QStringList(std::size(kEdits), QString()));
    QCOMPARE(protocolEntries, (QStringList{"ANY", "TCP", "UDP", "ICMP"}));
    QCOMPARE(protocolIndex, 0);
    QCOMPARE(protocolText, QStringLiteral("ANY"));
    QCOMPARE(tracking, 0);
    QCOMPARE(monitoring, 0);
    QVERIFY(destIPEnabled);

    // The tooltips may be wrapped for width, but their first line is kept.
    QVERIFY2(trackingTip.startsWith("Engage the IP tracking mode\nOnly the traffic between"),
             qPrintable(trackingTip));
    QVERIFY(trackingTip.simplified() ==
            QStringLiteral("Engage the IP tracking mode Only the traffic between the specified "
                           "source and destination IPs will be tapped"));
    QVERIFY(monitoringTip.simplified() ==
            QStringLiteral("Engage the IP monitoring mode Only the traffic going through the "
                           "specified IP will be tapped"));
    QCOMPARE(clearTip, QStringLiteral("Clear all fields on this form"));
    QCOMPARE(applyTip, QStringLiteral("Validate the filter"));
    QVERIFY(trackingFlat && monitoringFlat);
    QVERIFY(!clearFlat && !applyFlat);
    QVERIFY(modesCheckable);
    QVERIFY(allIcons);
    QVERIFY(applyDefault);

    // Escape saved nothing: the protocol was never chosen and no filter is set.
    QCOMPARE(dlg.Fields(), FilterFields{});
    QCOMPARE(Text(dlg.Filter()), std::string());
    QCOMPARE(Text(dlg.DataContains()), std::string());
}

void FilterDlgTest::templateOrderIsTabOrder() {
    CFilterDlg dlg;
    QStringList order;
    QString focusAtOpening;
    RunModal(dlg, [&] {
        if (QWidget* focus = dlg.focusWidget()) focusAtOpening = focus->objectName();
        for (QWidget* w = dlg.nextInFocusChain(); w && w != &dlg; w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
        }
    });
    // Tab goes round: the order is read from the first control, Apply.
    const qsizetype first = order.indexOf(QStringLiteral("m_btnApply"));
    QVERIFY(first >= 0);
    order = order.mid(first) + order.mid(0, first);
    const QStringList templateOrder{"m_btnApply",      "m_editSourcePort", "m_editDestPort",
                                    "m_editSourceIP",  "m_editDestIP",     "m_editDataContains",
                                    "m_comboProtocol", "m_editSourceMac",  "m_editDestMac",
                                    "m_editGatewayIP", "m_btnClearAll",    "m_btnTracking",
                                    "m_btnMonitoring"};
    QCOMPARE(order, templateOrder);
    QCOMPARE(focusAtOpening, QStringLiteral("m_btnApply"));
}

void FilterDlgTest::framesLetClicksThroughToControls() {
    CFilterDlg dlg;
    QStringList missed;
    int controls = 0;
    RunModal(dlg, [&] {
        // Every control, wherever it sits: a frame drawn over it would take its clicks.
        for (QWidget* w : dlg.findChildren<QWidget*>()) {
            if (!(w->focusPolicy() & Qt::ClickFocus) || w->objectName().isEmpty()) continue;
            const QPoint centre = w->mapTo(&dlg, w->rect().center());
            QWidget* hit = dlg.childAt(centre);
            while (hit != nullptr && hit != w && hit->objectName().isEmpty())
                hit = hit->parentWidget();
            if (hit != w) missed << w->objectName();
            ++controls;
        }
        QVERIFY(controls >= 13);
    });
    QCOMPARE(missed, QStringList());
}

void FilterDlgTest::labelsHoldTheirText() {
    CFilterDlg dlg;
    QStringList cut;
    RunModal(dlg, [&] {
        for (QLabel* label : dlg.findChildren<QLabel*>()) {
            if (label->fontMetrics().horizontalAdvance(label->text()) > label->width())
                cut << label->text();
        }
    });
    QCOMPARE(cut, QStringList());
}

void FilterDlgTest::applyStoresExpressionAndReopeningShowsLastValues() {
    CFilterDlg dlg;
    const ModalRun first = RunModal(dlg, [&] {
        Type(dlg, "m_editSourceIP", "10.0.0.1");
        Type(dlg, "m_editDestPort", "80");
        Type(dlg, "m_editDataContains", "GET ");
        Protocol(dlg)->setCurrentIndex(PROTOCOL_TCP);
        // Enter in an edit presses the default button, Apply.
        Edit(dlg, "m_editDestPort")->setFocus();
        QTest::keyClick(Edit(dlg, "m_editDestPort"), Qt::Key_Return);
    });
    QVERIFY(first.closedByActions);
    QCOMPARE(first.result, int(QDialog::Accepted));
    QCOMPARE(Text(dlg.Filter()),
             std::string("src host 10.0.0.1 and dst port 80 and ip proto \\tcp"));
    QCOMPARE(Text(dlg.DataContains()), std::string("GET "));

    QString sourceIP, destPort, dataContains, focusAtOpening;
    int protocol = -1;
    const ModalRun second = RunModal(dlg, [&] {
        sourceIP = Edit(dlg, "m_editSourceIP")->text();
        destPort = Edit(dlg, "m_editDestPort")->text();
        dataContains = Edit(dlg, "m_editDataContains")->text();
        protocol = Protocol(dlg)->currentIndex();
        if (QWidget* focus = dlg.focusWidget()) focusAtOpening = focus->objectName();
        QTest::keyClick(Edit(dlg, "m_editSourceIP"), Qt::Key_Escape);
    });
    QVERIFY(second.closedByActions);
    QCOMPARE(second.result, int(QDialog::Rejected));
    QCOMPARE(sourceIP, QStringLiteral("10.0.0.1"));
    QCOMPARE(destPort, QStringLiteral("80"));
    QCOMPARE(dataContains, QStringLiteral("GET "));
    QCOMPARE(protocol, int(PROTOCOL_TCP));
    // The focus a user left in an edit does not carry over to the next opening.
    QCOMPARE(focusAtOpening, QStringLiteral("m_btnApply"));
    QCOMPARE(Text(dlg.Filter()),
             std::string("src host 10.0.0.1 and dst port 80 and ip proto \\tcp"));

    // A second Apply with the mouse rebuilds the expression from scratch.
    const ModalRun third = RunModal(dlg, [&] {
        Type(dlg, "m_editSourceIP", "");
        Protocol(dlg)->setCurrentIndex(PROTOCOL_ANY);
        Click(dlg, "m_btnApply");
    });
    QVERIFY(third.closedByActions);
    QCOMPARE(Text(dlg.Filter()), std::string("dst port 80"));
}

void FilterDlgTest::escapeAndCloseBoxDiscardUnsavedEdits() {
    CFilterDlg dlg;
    RunModal(dlg, [&] {
        Type(dlg, "m_editDestIP", "192.168.1.1");
        Click(dlg, "m_btnApply");
    });
    QCOMPARE(Text(dlg.Filter()), std::string("dst host 192.168.1.1"));

    const ModalRun escaped = RunModal(dlg, [&] {
        Type(dlg, "m_editDestIP", "192.168.1.2");
        Type(dlg, "m_editDataContains", "lost");
        QTest::keyClick(Edit(dlg, "m_editDataContains"), Qt::Key_Escape);
    });
    QVERIFY(escaped.closedByActions);

    const ModalRun closed = RunModal(dlg, [&] {
        Type(dlg, "m_editDestIP", "192.168.1.3");
        dlg.close();  // the close box
    });
    QVERIFY(closed.closedByActions);
    QCOMPARE(closed.result, int(QDialog::Rejected));

    QString shown;
    RunModal(dlg, [&] { shown = Edit(dlg, "m_editDestIP")->text(); });
    QCOMPARE(shown, QStringLiteral("192.168.1.1"));
    QCOMPARE(dlg.Fields().m_strDestIP, std::string("192.168.1.1"));
    QCOMPARE(Text(dlg.DataContains()), std::string());
    QCOMPARE(Text(dlg.Filter()), std::string("dst host 192.168.1.1"));
}

void FilterDlgTest::enterOnModeButtonAppliesInsteadOfToggling() {
    CFilterDlg dlg;
    int checkedAfterEnter = -1;
    const ModalRun run = RunModal(dlg, [&] {
        Type(dlg, "m_editSourcePort", "53");
        CIconButton* tracking = Button(dlg, "m_btnTracking");
        tracking->setFocus();
        QTest::keyClick(tracking, Qt::Key_Return);
        checkedAfterEnter = tracking->GetCheck();
    });
    QVERIFY(run.closedByActions);
    QCOMPARE(checkedAfterEnter, 0);
    QCOMPARE(Text(dlg.Filter()), std::string("src port 53"));
}

void FilterDlgTest::modeClicksEmptyGatewayMacsAndPorts() {
    CFilterDlg dlg;
    QStringList afterCheck, afterUncheck, afterMonitoring;
    int protocolAfterCheck = -1;
    int trackingAfterCheck = -1, trackingAfterUncheck = -1;
    auto snapshot = [&](QStringList& into) {
        into.clear();
        for (const char* name : kEdits) into << Edit(dlg, name)->text();
    };
    RunModal(dlg, [&] {
        FillAll(dlg);
        Click(dlg, "m_btnTracking");
        trackingAfterCheck = Button(dlg, "m_btnTracking")->GetCheck();
        protocolAfterCheck = Protocol(dlg)->currentIndex();
        snapshot(afterCheck);

        FillAll(dlg);
        Click(dlg, "m_btnTracking");
        trackingAfterUncheck = Button(dlg, "m_btnTracking")->GetCheck();
        snapshot(afterUncheck);

        // IP Monitoring clears nothing.
        FillAll(dlg);
        Click(dlg, "m_btnMonitoring");
        snapshot(afterMonitoring);
        QTest::keyClick(Edit(dlg, "m_editSourceIP"), Qt::Key_Escape);
    });

    // In kEdits order: ports, IPs, Data contains, MACs, Gateway IP.
    const QStringList kept{"", "", "10.0.0.1", "10.0.0.2", "GET", "", "", ""};
    QCOMPARE(trackingAfterCheck, 1);
    QCOMPARE(afterCheck, kept);
    QCOMPARE(protocolAfterCheck, int(PROTOCOL_TCP));
    QCOMPARE(trackingAfterUncheck, 0);
    QCOMPARE(afterUncheck, kept);
    const QStringList all{
        "1024",      "80", "10.0.0.1", "10.0.0.2", "GET", "00-0c-29-ab-cd-ef", "00-0c-29-ab-cd-f0",
        "10.0.0.254"};
    QCOMPARE(afterMonitoring, all);

    // The mode clicks saved the fields: Escape does not undo them.
    QCOMPARE(dlg.Fields().m_strSourcePort, std::string("1024"));
    QCOMPARE(dlg.Fields().m_strSourceIP, std::string("10.0.0.1"));
    QCOMPARE(dlg.Fields().m_bMonitoring, 1);
}

void FilterDlgTest::monitoringDisablesDestIPAndTrackingEnablesIt() {
    CFilterDlg dlg;
    bool enabledAfterMonitoring = true, enabledAfterTracking = false, enabledAfterUncheck = false;
    int monitoringAfterTracking = -1, trackingAfterMonitoring = -1;
    QString destIPWhileDisabled;
    RunModal(dlg, [&] {
        Type(dlg, "m_editDestIP", "10.0.0.2");
        Click(dlg, "m_btnMonitoring");
        enabledAfterMonitoring = Edit(dlg, "m_editDestIP")->isEnabled();
        destIPWhileDisabled = Edit(dlg, "m_editDestIP")->text();

        Click(dlg, "m_btnTracking");
        enabledAfterTracking = Edit(dlg, "m_editDestIP")->isEnabled();
        monitoringAfterTracking = Button(dlg, "m_btnMonitoring")->GetCheck();

        // Monitoring on again unchecks Tracking; off again enables Dest IP.
        Click(dlg, "m_btnMonitoring");
        trackingAfterMonitoring = Button(dlg, "m_btnTracking")->GetCheck();
        Click(dlg, "m_btnMonitoring");
        enabledAfterUncheck = Edit(dlg, "m_editDestIP")->isEnabled();

        Click(dlg, "m_btnMonitoring");
        QTest::keyClick(Edit(dlg, "m_editSourceIP"), Qt::Key_Escape);
    });
    QVERIFY(!enabledAfterMonitoring);
    QCOMPARE(destIPWhileDisabled, QStringLiteral("10.0.0.2"));
    QVERIFY(enabledAfterTracking);
    QCOMPARE(monitoringAfterTracking, 0);
    QCOMPARE(trackingAfterMonitoring, 0);
    QVERIFY(enabledAfterUncheck);

    // Monitoring was left on, but a new opening starts with Dest IP enabled.
    bool enabledAtOpening = false;
    int monitoringAtOpening = -1;
    RunModal(dlg, [&] {
        enabledAtOpening = Edit(dlg, "m_editDestIP")->isEnabled();
        monitoringAtOpening = Button(dlg, "m_btnMonitoring")->GetCheck();
    });
    QVERIFY(enabledAtOpening);
    QCOMPARE(monitoringAtOpening, 1);
}

void FilterDlgTest::clearAllEmptiesFieldsButKeepsMonitoring() {
    CFilterDlg dlg;
    QStringList texts;
    int monitoring = -1, tracking = -1, protocol = -1;
    bool destIPEnabled = true;
    RunModal(dlg, [&] {
        FillAll(dlg);
        Click(dlg, "m_btnMonitoring");
        FillAll(dlg);
        Click(dlg, "m_btnClearAll");
        for (const char* name : kEdits) texts << Edit(dlg, name)->text();
        monitoring = Button(dlg, "m_btnMonitoring")->GetCheck();
        tracking = Button(dlg, "m_btnTracking")->GetCheck();
        protocol = Protocol(dlg)->currentIndex();
        destIPEnabled = Edit(dlg, "m_editDestIP")->isEnabled();
        QTest::keyClick(Edit(dlg, "m_editSourceIP"), Qt::Key_Escape);
    });
    QCOMPARE(texts, QStringList(std::size(kEdits), QString()));
    QCOMPARE(monitoring, 1);
    QCOMPARE(tracking, 0);
    QCOMPARE(protocol, int(PROTOCOL_ANY));
    QVERIFY(!destIPEnabled);
    // Clear All also empties the "Data contains" text the capture uses.
    QCOMPARE(Text(dlg.DataContains()), std::string());

    // Clear All with Tracking on unchecks it.
    int trackingAfterClear = -1;
    RunModal(dlg, [&] {
        Click(dlg, "m_btnTracking");
        Click(dlg, "m_btnClearAll");
        trackingAfterClear = Button(dlg, "m_btnTracking")->GetCheck();
    });
    QCOMPARE(trackingAfterClear, 0);
}

void FilterDlgTest::escapeAfterModeClickKeepsDataContains() {
    CFilterDlg dlg;
    RunModal(dlg, [&] {
        Type(dlg, "m_editDestPort", "8080");
        Click(dlg, "m_btnApply");
    });
    QCOMPARE(Text(dlg.Filter()), std::string("dst port 8080"));
    const uint64_t generation = dlg.DataContains().Generation();

    const ModalRun run = RunModal(dlg, [&] {
        Type(dlg, "m_editDataContains", "password");
        Click(dlg, "m_btnMonitoring");
        Type(dlg, "m_editDestPort", "9090");
        QTest::keyClick(Edit(dlg, "m_editDestPort"), Qt::Key_Escape);
    });
    QVERIFY(run.closedByActions);
    QCOMPARE(Text(dlg.DataContains()), std::string("password"));
    QVERIFY(dlg.DataContains().Generation() != generation);
    // The expression waits for the next Apply, and the port typed after the
    // mode click was never saved.
    QCOMPARE(Text(dlg.Filter()), std::string("dst port 8080"));
    QCOMPARE(dlg.Fields().m_strDestPort, std::string("8080"));
}

void FilterDlgTest::invalidApplyReportsAndStaysOpen() {
    CFilterDlg dlg;
    RunModal(dlg, [&] {
        Type(dlg, "m_editDestPort", "53");
        Click(dlg, "m_btnApply");
    });
    QCOMPARE(Text(dlg.Filter()), std::string("dst port 53"));

    std::vector<SeenMessage> seen;
    bool openAfterMessage = false;
    QString portAfterMessage;
    const ModalRun run = RunModal(dlg, [&] {
        Type(dlg, "m_editSourcePort", "65536");
        {
            MessageBoxAnswerer answerer(&dlg);
            Click(dlg, "m_btnApply");
            seen = answerer.Seen();
        }
        openAfterMessage = dlg.isVisible();
        portAfterMessage = Edit(dlg, "m_editSourcePort")->text();

        // Mended, Apply then goes through.
        Type(dlg, "m_editSourcePort", "5353");
        Click(dlg, "m_btnApply");
    });
    QCOMPARE(seen.size(), size_t(1));
    QCOMPARE(seen[0].text, QStringLiteral("The filter is incorrect"));
    QCOMPARE(seen[0].caption, QStringLiteral("Error"));
    QVERIFY(seen[0].okOnly);
    QVERIFY(seen[0].ownedByDialog);
    QVERIFY(openAfterMessage);
    QCOMPARE(portAfterMessage, QStringLiteral("65536"));
    QVERIFY(run.closedByActions);
    QCOMPARE(Text(dlg.Filter()), std::string("src port 5353 and dst port 53"));

    // A rejected Apply closed with Escape keeps the expression applied before.
    seen.clear();
    RunModal(dlg, [&] {
        Type(dlg, "m_editDestMac", "00:0c:29:ab:cd:ef");
        MessageBoxAnswerer answerer(&dlg);
        Click(dlg, "m_btnApply");
        seen = answerer.Seen();
        QTest::keyClick(Edit(dlg, "m_editDestMac"), Qt::Key_Escape);
    });
    QCOMPARE(seen.size(), size_t(1));
    QCOMPARE(seen[0].text, QStringLiteral("The filter is incorrect"));
    QCOMPARE(Text(dlg.Filter()), std::string("src port 5353 and dst port 53"));
}

QTEST_MAIN(FilterDlgTest)
#include "filter_dlg_test.moc"
