// The display filter bar: an expression libpcap refuses turns the bar red
// with libpcap's message and leaves the list as it was; one it proves matches
// nothing is a filter; Enter and Escape stay in the bar (the window's Escape
// would close it).
#include "app/filter_bar.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"

class FilterBarTest : public QObject {
    Q_OBJECT
  private slots:
    void errorsEnterAndEscape();
};

void FilterBarTest::errorsEnterAndEscape() {
    CCaptureDlg dlg(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    FilterBar& bar = dlg.DisplayFilterBar();
    auto* message = bar.findChild<QLabel*>(QStringLiteral("m_displayFilterError"));
    QVERIFY(message);
    const auto apply = [&](const QString& text) {
        QTest::keyClick(&dlg, Qt::Key_Slash, Qt::ControlModifier);
        QTRY_VERIFY(bar.Edit()->hasFocus());
        bar.Edit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };

    apply(QStringLiteral("tcp port"));
    QVERIFY(dlg.isVisible());
    QVERIFY(bar.Failed());
    QVERIFY(message->isVisible());
    QVERIFY2(message->text().contains(QStringLiteral("syntax error")), qPrintable(message->text()));
    QVERIFY(!dlg.Model().Filtered());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(dlg.isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), dlg.findChild<QWidget*>(QStringLiteral("m_list")));

    apply(QStringLiteral("ip and arp"));
    QVERIFY(dlg.isVisible());
    QVERIFY(!bar.Failed());
    QVERIFY(!message->isVisible());
    QVERIFY(dlg.Model().Filtered());
    QCOMPARE(dlg.Model().rowCount(), 0);
}

QTEST_MAIN(FilterBarTest)
#include "filter_bar_test.moc"
