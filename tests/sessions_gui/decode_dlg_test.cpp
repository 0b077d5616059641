// The Decode mode window driven through its controls: what it shows when it
// opens, host, session, format and style changes, Copy, and the name lookups
// on their worker threads.
#include "tests/sessions_gui/decode_dlg_support.h"

using namespace decode_dlg_test;

class DecodeDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void OpensOnFirstHostsFirstSession();
    void OpensOnThePreselectedPacketsSession();
    void UserHostChangeListsAndShowsFirstSession();
    void SelectingSessionsLeavesTheKeyboardFocusAlone();
    void FormatAndStyleChangesReRenderTheSameSession();
    void StreamKeepsColoursAndLineBreaks();
    void CopyTakesTheSelectionOrEverything();
    void EscapeAndCloseEndTheWindow();
    void SliderReleaseReportsMissingOpacity();
    void ResolveDnsNamesLoopbackFromHostsFile();
    void BlockedLookupLeavesTheWindowResponsive();
    void ClosingDuringABlockedLookupIsSafe();
};

void DecodeDlgTest::OpensOnFirstHostsFirstSession() {
    CDecodeDlg dlg(Capture(), -1);
    Controls c(&dlg);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Reassembled TCP session (2 packets)"));
    QCOMPARE(c.host->count(), 3);
    QCOMPARE(c.host->itemText(0), QStringLiteral("10.0.0.5"));
    QCOMPARE(c.host->itemText(2), QStringLiteral("172.16.0.9"));
    QCOMPARE(c.host->currentIndex(), 0);
    // The current host shows the selected image, the others the plain one.
    QCOMPARE(IconImage(c.host->itemIcon(0)), ResourceImage(154));
    QCOMPARE(IconImage(c.host->itemIcon(1)), ResourceImage(153));
    QCOMPARE(IconImage(c.sessions->item(0)->icon()), ResourceImage(163));
    QCOMPARE(c.Rows(), (QStringList{"1042 -> 192.168.1.1[80]", "2000 -> 172.16.0.9[443]"}));
    QCOMPARE(c.SelectedRow(), 0);
    QCOMPARE(c.upper->toPlainText(), QStringLiteral("10.0.0.5 : 1042"));
    QCOMPARE(c.lower->toPlainText(), QStringLiteral("192.168.1.1 : 80"));
    QCOMPARE(c.stream->toPlainText(), ExpectedStream(dlg.Logic()));
    QVERIFY(c.stream->toPlainText().contains(QStringLiteral("reply")));
    QCOMPARE(c.format->currentText(), QStringLiteral("ASCII"));
    QCOMPARE(c.style->currentText(), QStringLiteral("SYN/ACK"));
    QCOMPARE(c.slider->value(), 255);
    QVERIFY(!c.resolve->isChecked());
}

void DecodeDlgTest::OpensOnThePreselectedPacketsSession() {
    {
        // Packet 6 is A:2000 -> C:443: host A, its second row.
        CDecodeDlg dlg(Capture(), 6);
        Controls c(&dlg);
        QCOMPARE(c.host->currentIndex(), 0);
        QCOMPARE(c.SelectedRow(), 1);
        QCOMPARE(c.upper->toPlainText(), QStringLiteral("172.16.0.9 : 443"));
        QVERIFY(c.stream->toPlainText().contains(QStringLiteral("secure")));
        QVERIFY(!c.stream->toPlainText().contains(QStringLiteral("reply")));
    }
    {
        // Packet 3 comes from C, whose only session it is.
        CDecodeDlg dlg(Capture(), 3);
        Controls c(&dlg);
        QCOMPARE(c.host->currentIndex(), 2);
        QCOMPARE(IconImage(c.host->itemIcon(2)), ResourceImage(154));
        QCOMPARE(IconImage(c.host->itemIcon(0)), ResourceImage(153));
        QCOMPARE(c.Rows(), QStringList{"443 -> 10.0.0.5[2000]"});
        QCOMPARE(c.SelectedRow(), 0);
        QCOMPARE(c.stream->toPlainText(), ExpectedStream(dlg.Logic()));
    }
}

void DecodeDlgTest::UserHostChangeListsAndShowsFirstSession() {
    CDecodeDlg dlg(Capture(), -1);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    Controls c(&dlg);
    c.host->setFocus();
    QTest::keyClick(c.host, Qt::Key_Down);
    QCOMPARE(c.host->currentIndex(), 1);
    QCOMPARE(c.Rows(), QStringList{"80 -> 10.0.0.5[1042]"});
    QCOMPARE(c.SelectedRow(), 0);
    QCOMPARE(c.upper->toPlainText(), QStringLiteral("10.0.0.5 : 1042"));
    QCOMPARE(IconImage(c.host->itemIcon(1)), ResourceImage(154));
    QCOMPARE(IconImage(c.host->itemIcon(0)), ResourceImage(153));

    QTest::keyClick(c.host, Qt::Key_Down);
    QCOMPARE(c.Rows(), QStringList{"443 -> 10.0.0.5[2000]"});
    QVERIFY(c.stream->toPlainText().contains(QStringLiteral("hello")));

    // A change made from code is no user's: nothing is listed anew.
    c.host->setCurrentIndex(0);
    QCOMPARE(c.Rows(), QStringList{"443 -> 10.0.0.5[2000]"});
}

void DecodeDlgTest::SelectingSessionsLeavesTheKeyboardFocusAlone() {
    CDecodeDlg dlg(Capture(), -1);
    Controls c(&dlg);
    // Building the window selected and showed a session without claiming
    // the focus: the first focus is the system's choice when it shows.
    QCOMPARE(dlg.focusWidget(), nullptr);
    QCOMPARE(c.SelectedRow(), 0);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QVERIFY(QApplication::focusWidget() != c.sessions);

    // A keyboard user steps through the hosts; each step lists and shows
    // that host's sessions and the focus stays on the host selector.
    c.host->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c.host));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(c.host->currentIndex(), 1);
    QCOMPARE(c.Rows(), QStringList{"80 -> 10.0.0.5[1042]"});
    QCOMPARE(c.SelectedRow(), 0);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c.host));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(c.host->currentIndex(), 2);
    QCOMPARE(c.Rows(), QStringList{"443 -> 10.0.0.5[2000]"});
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c.host));

    // Preselection at opening does not claim it either.
    CDecodeDlg preselected(Capture(), 6);
    QCOMPARE(Controls(&preselected).SelectedRow(), 1);
    QCOMPARE(preselected.focusWidget(), nullptr);
}

void DecodeDlgTest::FormatAndStyleChangesReRenderTheSameSession() {
    CDecodeDlg dlg(Capture(), -1);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    Controls c(&dlg);
    c.ClickRow(1);
    QCOMPARE(c.SelectedRow(), 1);
    QCOMPARE(c.upper->toPlainText(), QStringLiteral("172.16.0.9 : 443"));
    const QString withHeaders = c.stream->toPlainText();
    QVERIFY(withHeaders.contains(QStringLiteral("Source")));

    c.style->setFocus();
    QTest::keyClick(c.style, Qt::Key_End);
    QCOMPARE(c.style->currentText(), QStringLiteral("No Header"));
    QCOMPARE(c.stream->toPlainText(), ExpectedStream(dlg.Logic()));
    QVERIFY(!c.stream->toPlainText().contains(QStringLiteral("Source")));
    QVERIFY(c.stream->toPlainText().contains(QStringLiteral("hello")));
    QCOMPARE(c.SelectedRow(), 1);

    QTest::keyClick(c.style, Qt::Key_Home);
    QCOMPARE(c.stream->toPlainText(), withHeaders);
    QCOMPARE(c.SelectedRow(), 1);

    c.format->setFocus();
    QTest::keyClick(c.format, Qt::Key_Down);
    QCOMPARE(c.format->currentText(), QStringLiteral("Hexadecimal"));
    QVERIFY(!dlg.Logic().Ascii());
    QCOMPARE(c.stream->toPlainText(), ExpectedStream(dlg.Logic()));
    QVERIFY(!c.stream->toPlainText().contains(QStringLiteral("hello")));

    // Setting a combo box from code renders nothing.
    const QString hex = c.stream->toPlainText();
    c.format->setCurrentIndex(0);
    QCOMPARE(c.stream->toPlainText(), hex);
}

void DecodeDlgTest::StreamKeepsColoursAndLineBreaks() {
    CDecodeDlg dlg({Seg(kA, 1, kB, 2, 1, "a\r\nb\rc\nd"), Seg(kB, 2, kA, 1, 9, "back")}, -1);
    Controls c(&dlg);
    QTest::keyClick(c.style, Qt::Key_End);  // no headers: payload only
    QTextDocument* doc = c.stream->document();
    QStringList lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines << b.text();
    // Each packet ends its own line.
    QCOMPARE(lines, (QStringList{"a", "b", "c", "d", "back", ""}));

    const auto formatAt = [doc](int position) {
        QTextCursor cursor(doc);
        cursor.setPosition(position + 1);
        return cursor.charFormat();
    };
    const int first = c.stream->toPlainText().indexOf(QLatin1Char('a'));
    const int second = c.stream->toPlainText().indexOf(QStringLiteral("back"));
    QCOMPARE(formatAt(first).foreground().color(), QColor(24, 37, 188));
    QCOMPARE(formatAt(second).foreground().color(), QColor(196, 10, 75));
    QCOMPARE(c.upper->document()->begin().begin().fragment().charFormat().foreground().color(),
             QColor(24, 37, 188));
    QVERIFY(c.upper->document()->begin().begin().fragment().charFormat().fontWeight() ==
            QFont::Bold);

    const QFont font = c.stream->font();
    QCOMPARE(font.pixelSize(), 15);
    const QString family = QFontInfo(font).family();
    QVERIFY2(family.contains(QLatin1String("Lucida Sans Unicode")) ||
                 family.contains(QLatin1String("DejaVu Sans")),
             qPrintable(family));
}

void DecodeDlgTest::CopyTakesTheSelectionOrEverything() {
    CDecodeDlg dlg(Capture(), -1);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    Controls c(&dlg);
    QClipboard* clipboard = QApplication::clipboard();

    clipboard->setText(QStringLiteral("stale"));
    QTest::mouseClick(c.copy, Qt::LeftButton);
    QCOMPARE(clipboard->text(), c.stream->toPlainText());

    // The user selects the first two lines.
    QTextCursor cursor(c.stream->document());
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.stream->setTextCursor(cursor);
    const QStringList lines = c.stream->toPlainText().split(QLatin1Char('\n'));
    QTest::mouseClick(c.copy, Qt::LeftButton);
    QCOMPARE(clipboard->text(), lines[0] + QLatin1Char('\n') + lines[1]);

    // A click that leaves only the caret copies everything again.
    QTest::mouseClick(c.stream->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QVERIFY(!c.stream->textCursor().hasSelection());
    QTest::mouseClick(c.copy, Qt::LeftButton);
    QCOMPARE(clipboard->text(), c.stream->toPlainText());
}

void DecodeDlgTest::EscapeAndCloseEndTheWindow() {
    for (const bool escape : {true, false}) {
        CDecodeDlg dlg(Capture(), -1);
        Controls c(&dlg);
        int result = -1;
        QTimer::singleShot(0, [&] {
            if (escape)
                QTest::keyClick(&dlg, Qt::Key_Escape);
            else
                QTest::mouseClick(c.close, Qt::LeftButton);
        });
        result = dlg.exec();
        QCOMPARE(result, 0);
        QVERIFY(!dlg.isVisible());
    }
}

void DecodeDlgTest::SliderReleaseReportsMissingOpacity() {
    // The offscreen platform has no per-window opacity: the user is told so
    // by a box owned by the Decode window, and the window stays opaque.
    CDecodeDlg dlg(Capture(), -1);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    Controls c(&dlg);
    QString text, title;
    QWidget* owner = nullptr;
    OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        text = box->text();
        title = box->windowTitle();
        owner = box->parentWidget();
    });
    QTest::mouseClick(c.slider, Qt::LeftButton, {}, QPoint(c.slider->width() / 2, 3));
    QTRY_VERIFY(!text.isEmpty());
    QCOMPARE(text, QStringLiteral("This feature is not supported by your OS"));
    QCOMPARE(title, QStringLiteral("Failed"));
    QCOMPARE(owner, &dlg);
    QCOMPARE(dlg.windowOpacity(), 1.0);
}

void DecodeDlgTest::ResolveDnsNamesLoopbackFromHostsFile() {
    const QString name = LoopbackName();
    if (name.isEmpty()) QSKIP("/etc/hosts names no 127.0.0.1");
    const HostAddress lo{127, 0, 0, 1};
    CDecodeDlg dlg({Seg(lo, 5000, lo, 80, 1, "ping"), Seg(lo, 80, lo, 5000, 2, "pong")}, -1);
    Controls c(&dlg);
    QCOMPARE(c.upper->toPlainText(), QStringLiteral("127.0.0.1 : 5000"));
    const QString stream = c.stream->toPlainText();
    QTest::mouseClick(c.resolve, Qt::LeftButton, {}, QPoint(5, c.resolve->height() / 2));
    QVERIFY(c.resolve->isChecked());
    QTRY_COMPARE(c.upper->toPlainText(), name + QStringLiteral(" : 5000"));
    QTRY_COMPARE(c.lower->toPlainText(), name + QStringLiteral(" : 80"));
    // Only the endpoint boxes change.
    QCOMPARE(c.stream->toPlainText(), stream);
}

void DecodeDlgTest::BlockedLookupLeavesTheWindowResponsive() {
    auto gate = std::make_shared<Gate>();
    CDecodeDlg dlg(Capture(), -1, nullptr, std::make_shared<BlockingResolver>(gate));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    Controls c(&dlg);
    QTest::mouseClick(c.resolve, Qt::LeftButton, {}, QPoint(5, c.resolve->height() / 2));
    QTRY_COMPARE(gate->calls.load(), 1);
    QCOMPARE(c.upper->toPlainText(), QStringLiteral("Resolving..."));
    QCOMPARE(c.lower->toPlainText(), QStringLiteral("Resolving..."));

    // The window's event loop keeps running: timers fire, clicks are handled.
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    QTRY_VERIFY(fired);
    QTest::keyClick(c.style, Qt::Key_End);
    QVERIFY(!c.stream->toPlainText().contains(QStringLiteral("Source")));

    // The style change looked the names up again; the first lookup's answers
    // are stale by then, the last one's land.
    gate->Open();
    QTRY_COMPARE(c.upper->toPlainText(), QStringLiteral("held.example : 1042"));
    QTRY_COMPARE(c.lower->toPlainText(), QStringLiteral("held.example : 80"));
}

void DecodeDlgTest::ClosingDuringABlockedLookupIsSafe() {
    auto gate = std::make_shared<Gate>();
    auto resolver = std::make_shared<BlockingResolver>(gate);
    const std::weak_ptr<const IHostResolver> watch = resolver;
    {
        // Closed, still alive: the late answer must not land.
        CDecodeDlg dlg(Capture(), -1, nullptr, resolver);
        Controls c(&dlg);
        c.resolve->click();
        QTRY_COMPARE(gate->calls.load(), 1);
        QTimer::singleShot(0, [&] { QTest::mouseClick(c.close, Qt::LeftButton); });
        dlg.exec();
        gate->Open();
        QTRY_COMPARE(gate->calls.load(), 2);
        QTest::qWait(50);
        QCOMPARE(c.upper->toPlainText(), QStringLiteral("Resolving..."));
    }
    {
        // Destroyed while the lookup blocks.
        auto gate2 = std::make_shared<Gate>();
        auto blocked = std::make_shared<BlockingResolver>(gate2);
        const std::weak_ptr<const IHostResolver> watch2 = blocked;
        auto dlg = std::make_unique<CDecodeDlg>(Capture(), -1, nullptr, std::move(blocked));
        Child<QCheckBox>(dlg.get(), "m_checkResolve")->click();
        QTRY_COMPARE(gate2->calls.load(), 1);
        dlg.reset();
        gate2->Open();
        // The worker ends (its reference to the resolver goes) without
        // touching the window; events it might have posted are harmless.
        QTRY_VERIFY(watch2.expired());
        QTest::qWait(20);
    }
    resolver.reset();
    QTRY_VERIFY(watch.expired());
}

QTEST_MAIN(DecodeDlgTest)
#include "decode_dlg_test.moc"
