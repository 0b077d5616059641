// The icon button's behaviour: hover, clicks and check states, focus when it
// is disabled, and its tooltip.
#include "tests/controls/icon_button_support.h"

using namespace icon_button_test;

class IconButtonBehaviourTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InitTapwatchResources(); }

    // --- behaviour ---

    void hoverIsForFlatButtonsAndEndsOnMoveOutFocusLossAndDisable() {
        CIconButton b;
        Prepare(b);
        SendMove(b, QPoint(5, 5));
        QVERIFY(b.IsHovered());
        SendMove(b, QPoint(kW + 5, 5));
        QVERIFY(!b.IsHovered());

        // A drag that starts elsewhere does not light it up.
        SendMove(b, QPoint(5, 5), Qt::LeftButton);
        QVERIFY(!b.IsHovered());

        SendEnter(b, QPoint(5, 5));
        QVERIFY(b.IsHovered());
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(&b, &out);
        QVERIFY(!b.IsHovered());

        SendEnter(b, QPoint(5, 5));
        b.setEnabled(false);
        QVERIFY(!b.IsHovered());
        b.setEnabled(true);

        SendEnter(b, QPoint(5, 5));
        QVERIFY(b.IsHovered());
        b.SetFlat(false, true);
        QVERIFY(!b.IsHovered());
        SendEnter(b, QPoint(5, 5));
        QVERIFY(!b.IsHovered());
    }

    void hoverEndsWhenTheWindowIsDeactivated() {
        FocusWindow w;
        QVERIFY(w.Activate());
        SendEnter(*w.first, QPoint(5, 5));
        QVERIFY(w.first->IsHovered());
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!w.first->IsHovered());
    }

    void clickTogglesOnlyInCheckBoxMode() {
        CIconButton box;
        Prepare(box);
        box.SetCheckBoxMode(true);
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(box.GetCheck(), 1);
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(box.GetCheck(), 0);

        CIconButton plain;
        Prepare(plain);
        QTest::mouseClick(&plain, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(plain.GetCheck(), 0);
    }

    void setCheckStatesInCheckBoxMode() {
        CIconButton b(true, nullptr);
        QSignalSpy toggled(&b, &QAbstractButton::toggled);
        b.SetCheck(2);
        QCOMPARE(b.GetCheck(), 1);
        b.SetCheck(0);
        QCOMPARE(b.GetCheck(), 0);
        b.SetCheck(1);
        QCOMPARE(b.GetCheck(), 1);
        b.SetCheck(7);
        QCOMPARE(b.GetCheck(), 0);
        QCOMPARE(toggled.count(), 4);
    }

    void setCheckOnAnOrdinaryButtonChangesNothing() {
        CIconButton b;
        Prepare(b);
        const QImage before = Grab(b);
        QSignalSpy toggled(&b, &QAbstractButton::toggled);
        b.SetCheck(2);
        b.SetCheck(1);
        QCOMPARE(b.GetCheck(), 0);
        QCOMPARE(toggled.count(), 0);
        QCOMPARE(Grab(b), before);
    }

    void doubleClickIsTwoClicks() {
        // Both orders a window system may deliver: with or without a second press before
        // the double-click event.
        for (bool secondPress : {false, true}) {
            CIconButton b;
            Prepare(b);
            QSignalSpy clicked(&b, &QAbstractButton::clicked);
            QSignalSpy pressed(&b, &QAbstractButton::pressed);
            const QPoint at(10, 10);
            SendMouse(b, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            SendMouse(b, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
            if (secondPress) {
                SendMouse(b, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            }
            SendMouse(b, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
            SendMouse(b, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
            QCOMPARE(clicked.count(), 2);
            QCOMPARE(pressed.count(), 2);
        }
    }

    void doubleClickTogglesACheckBoxTwice() {
        CIconButton b(true, nullptr);
        Prepare(b);
        QSignalSpy toggled(&b, &QAbstractButton::toggled);
        const QPoint at(10, 10);
        SendMouse(b, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        SendMouse(b, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        SendMouse(b, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
        SendMouse(b, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(b.GetCheck(), 0);
    }

    void disablingTheFocusedButtonMovesTheFocusOn() {
        FocusWindow w;
        QVERIFY(w.Activate());
        w.first->setFocus();
        QVERIFY(w.first->hasFocus());
        w.first->setEnabled(false);
        QVERIFY(w.second->hasFocus());

        // The last one wraps around to the start of the tab chain.
        w.second->setEnabled(false);
        QVERIFY(w.edit->hasFocus());
    }

    void disablingAnUnfocusedButtonLeavesTheFocusAlone() {
        FocusWindow w;
        QVERIFY(w.Activate());
        w.edit->setFocus();
        QVERIFY(w.edit->hasFocus());
        w.first->setEnabled(false);
        QVERIFY(w.edit->hasFocus());
        w.second->setEnabled(false);
        QVERIFY(w.edit->hasFocus());
    }

    void disablingTheOnlyFocusableButtonGivesTheFocusToTheWindow() {
        QWidget window;
        auto* b = new CIconButton(&window);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        b->setFocus();
        QVERIFY(b->hasFocus());
        b->setEnabled(false);
        QVERIFY(!b->hasFocus());
        // Keys now go to the window itself.
        QVERIFY(QApplication::focusObject() == window.windowHandle() ||
                QApplication::focusObject() == &window);
    }

    void tooltipShowsOnlyWhenActivated() {
        FocusWindow w;
        QVERIFY(w.Activate());
        CIconButton& b = *w.first;
        b.SetTooltipText("Clear the log window", false);
        QVERIFY(!b.IsTooltipActive());
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), b.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&b, &help);
        QVERIFY(!QToolTip::isVisible());

        b.SetTooltipText("Capture the packet\nPress Ctrl+F12", true);
        QVERIFY(b.IsTooltipActive());
        b.SetTooltipText(nullptr, true);
        QCOMPARE(b.toolTip(), QStringLiteral("Capture the packet\nPress Ctrl+F12"));
        QApplication::sendEvent(&b, &help);
        QVERIFY(QToolTip::isVisible());
        QVERIFY(QToolTip::text().contains(QStringLiteral("Capture the packet\nPress Ctrl+F12")));

        // false later does not switch an active tooltip off.
        b.SetTooltipText("Clear the log window", false);
        QVERIFY(b.IsTooltipActive());
        QToolTip::hideText();
    }

    void tooltipMarkupCharactersAreShownAsText() {
        FocusWindow w;
        QVERIFY(w.Activate());
        w.first->SetTooltipText("<b>not bold</b> & more", true);
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), w.first->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(w.first, &help);
        QVERIFY(QToolTip::isVisible());
        QVERIFY(QToolTip::text().contains(QStringLiteral("&lt;b&gt;not bold&lt;/b&gt; &amp;")));
        QToolTip::hideText();
    }

    void tooltipLinesWrapAt400Pixels() {
        const QFont font = QToolTip::font();
        const QFontMetrics fm(font);
        const QString longLine = QStringLiteral(
            "Only the traffic between the specified source and destination IPs will be tapped, "
            "and everything else that passes the interface is left out of the list");
        QVERIFY(fm.horizontalAdvance(longLine) > 400);
        const QString text = QStringLiteral("Engage the IP tracking mode\n") + longLine;
        const QStringList lines = WrapTooltipText(text, font, 400).split(QLatin1Char('\n'));
        QVERIFY(lines.size() >= 3);
        QCOMPARE(lines.first(), QStringLiteral("Engage the IP tracking mode"));
        for (const QString& line : lines) QVERIFY(fm.horizontalAdvance(line) <= 400);
        // Nothing lost, nothing added: the wrapped lines rejoin into the original line.
        QCOMPARE(lines.mid(1).join(QLatin1Char(' ')), longLine);

        // A single word wider than the limit is still cut to fit.
        const QString word(200, QLatin1Char('W'));
        for (const QString& line : WrapTooltipText(word, font, 400).split(QLatin1Char('\n'))) {
            QVERIFY(fm.horizontalAdvance(line) <= 400);
        }
        QCOMPARE(WrapTooltipText(QStringLiteral("a\n\nb"), font, 400), QStringLiteral("a\n\nb"));
    }
};

QTEST_MAIN(IconButtonBehaviourTest)
#include "icon_button_behaviour_test.moc"
