#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <string>
#include <vector>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "intake/packet_intake.h"
#include "tests/xml/xml_test_frames.h"
#include "xml/packet_document.h"

namespace {

struct Message {
    std::string text;
    std::string caption;
};

QStringList TopLevelTexts(const QTreeWidget* tree) {
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(0);
    return texts;
}

// Runs `check` on the next modal widget that shows up, then closes it; gives
// up after `timeoutMs`.
void OnNextModal(std::function<void(QWidget*)> check, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto* waited = new int(0);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, check, timeoutMs] {
        *waited += 10;
        if (QWidget* modal = QApplication::activeModalWidget()) {
            check(modal);
            modal->close();
        } else if (*waited < timeoutMs) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        delete waited;
    });
    timer->start(10);
}

}  // namespace

class XmlWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void clickShowsThePacketInTheTree();
    void keyboardSelectionShowsThePacket();
    void clickLeavingNoSelectedRowKeepsTheTree();
    void selectingAnItemHighlightsItsBytes();
    void copyShowsTheTextAndPutsItOnTheClipboard();
    void copyWithoutSelectionDoesNothing();
    void saveWritesTheLogAndSaysSo();
    void saveRefusesAnEmptyCapture();
    void saveIntoAMissingDirectoryFails();
    void cancelledSaveKeepsTheOldFile();

  private:
    void AddPackets(const std::vector<xml_test::Bytes>& frames);
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    std::unique_ptr<CCaptureDlg> m_dlg;
    QTableView* m_list = nullptr;
    QTreeWidget* m_tree = nullptr;
    std::vector<Message> m_messages;
};

void XmlWindowTest::init() {
    m_messages.clear();
    m_dlg = std::make_unique<CCaptureDlg>(false);
    m_dlg->SetMessageSink([this](const std::string& text, const std::string& caption) {
        m_messages.push_back({text, caption});
    });
    m_list = m_dlg->findChild<QTableView*>(QStringLiteral("m_list"));
    m_tree = m_dlg->findChild<QTreeWidget*>(QStringLiteral("m_tree"));
    QVERIFY(m_list != nullptr);
    QVERIFY(m_tree != nullptr);
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
}

void XmlWindowTest::cleanup() {
    m_dlg.reset();
}

void XmlWindowTest::AddPackets(const std::vector<xml_test::Bytes>& frames) {
    uint32_t ms = 0;
    for (const xml_test::Bytes& frame : frames)
        m_dlg->Packets().Append(xml_test::Stored(frame, ms++));
    m_dlg->Model().Refresh();
}

void XmlWindowTest::ClickRow(int row, Qt::KeyboardModifiers modifiers) {
    const QRect rect = m_list->visualRect(m_list->model()->index(row, 1));
    QVERIFY(rect.isValid());
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, modifiers, rect.center());
}

void XmlWindowTest::clickShowsThePacketInTheTree() {
    AddPackets({xml_test::TcpFrame("hello"), xml_test::OpaqueFrame(0x01, 0x88B5)});

    ClickRow(1);
    QCOMPARE(TopLevelTexts(m_tree), QStringList{QStringLiteral("Ethernet")});
    const QTreeWidgetItem* ethernet = m_tree->topLevelItem(0);
    QCOMPARE(ethernet->childCount(), 3);
    QCOMPARE(ethernet->child(2)->text(0), QStringLiteral("Type = 0x88b5"));
    QVERIFY(!ethernet->isExpanded());
    QVERIFY(m_tree->selectedItems().isEmpty());

    ClickRow(0);
    QCOMPARE(TopLevelTexts(m_tree), (QStringList{"Ethernet", "IPv4", "TCP", "Data"}));
    QCOMPARE(m_tree->topLevelItem(2)->child(0)->text(0), QStringLiteral("Source Port = 1025"));
    QCOMPARE(m_tree->topLevelItem(3)->child(1)->text(0), QStringLiteral("Raw data = hello"));

    // A click on the row already shown leaves the tree as the user opened it.
    m_tree->topLevelItem(2)->setExpanded(true);
    ClickRow(0);
    QCOMPARE(m_tree->topLevelItemCount(), 4);
    QVERIFY(m_tree->topLevelItem(2)->isExpanded());
}

void XmlWindowTest::keyboardSelectionShowsThePacket() {
    AddPackets({xml_test::TcpFrame("hello"), xml_test::OpaqueFrame(0x01, 0x88B5)});
    ClickRow(0);
    QCOMPARE(m_tree->topLevelItemCount(), 4);

    m_list->setFocus();
    QTest::keyClick(m_list, Qt::Key_Down);
    QCOMPARE(m_list->selectionModel()->selectedRows().value(0).row(), 1);
    QCOMPARE(TopLevelTexts(m_tree), QStringList{QStringLiteral("Ethernet")});
}

void XmlWindowTest::clickLeavingNoSelectedRowKeepsTheTree() {
    AddPackets({xml_test::TcpFrame("hello"), xml_test::OpaqueFrame(0x01, 0x88B5)});
    ClickRow(0);
    QCOMPARE(m_tree->topLevelItemCount(), 4);

    // Ctrl+click on the selected row deselects it.
    ClickRow(0, Qt::ControlModifier);
    QVERIFY(m_list->selectionModel()->selectedRows().isEmpty());
    QCOMPARE(m_tree->topLevelItemCount(), 4);

    // A click below the last row selects nothing.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(10, m_list->viewport()->height() - 3));
    QCOMPARE(m_tree->topLevelItemCount(), 4);
}

void XmlWindowTest::selectingAnItemHighlightsItsBytes() {
    const xml_test::Bytes frame = xml_test::TcpFrame("hello\x01");
    // Kept by the intake as a capture keeps it, so the byte view has its bytes.
    SharedText noText;
    PacketIntake intake(m_dlg->Packets(), noText);
    intake.Restart(std::nullopt);
    const auto size = static_cast<uint32_t>(frame.size());
    QVERIFY(PacketIntake::Reader(intake).ProcessPacket({{}, size, size}, frame.data()));
    m_dlg->Model().Refresh();
    auto* bytes = m_dlg->findChild<QPlainTextEdit*>(QStringLiteral("m_bytes"));
    QVERIFY(bytes != nullptr && bytes->toPlainText().isEmpty());
    ClickRow(0);
    QCOMPARE(bytes->blockCount(), static_cast<int>(frame.size() + 15) / 16);

    // Layer, field (-1: the layer itself), and the bytes it covers.
    const struct {
        int layer, field, offset, length;
    } cases[] = {{0, 0, 6, 6},  {1, 1, 26, 4},   {1, -1, 14, 20},
                 {2, 8, 46, 2}, {2, -1, 34, 20}, {3, 1, 54, static_cast<int>(frame.size()) - 54}};
    for (const auto& c : cases) {
        QTreeWidgetItem* item = m_tree->topLevelItem(c.layer);
        if (c.field >= 0) item = item->child(c.field);
        m_tree->expandAll();
        m_tree->scrollToItem(item);
        QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {},
                          m_tree->visualItemRect(item).center());
        QStringList hex, text;
        for (int i = c.offset; i < c.offset + c.length; ++i) {
            const unsigned char b = frame[static_cast<size_t>(i)];
            hex << QString::asprintf("%02x", b);
            text << QChar(b >= 0x20 && b < 0x7F ? b : '.');
        }
        // Hexadecimal and text ranges alternate, one pair per line.
        QStringList shownHex, shownText;
        const QList<QTextEdit::ExtraSelection> shown = bytes->extraSelections();
        for (qsizetype i = 0; i < shown.size(); ++i)
            (i % 2 == 0 ? shownHex : shownText) << shown[i].cursor.selectedText();
        QCOMPARE(shownHex.join(u' ').split(u' ', Qt::SkipEmptyParts), hex);
        QCOMPARE(shownText.join(QString()), text.join(QString()));
    }
}

void XmlWindowTest::copyShowsTheTextAndPutsItOnTheClipboard() {
    AddPackets({xml_test::OpaqueFrame(0x01, 0x88B5), xml_test::TcpFrame(std::string(1460, 'w'))});
    ClickRow(1);
    const std::string expected = ClipboardText(m_dlg->Packets().At(1)->root.get());

    QString shown;
    QString caption;
    bool fits = false;
    OnNextModal([&](QWidget* modal) {
        caption = modal->windowTitle();
        if (auto* text = modal->findChild<QPlainTextEdit*>()) shown = text->toPlainText();
        const QRect screen = modal->screen()->availableGeometry();
        fits = modal->width() <= screen.width() && modal->height() <= screen.height();
    });
    m_dlg->OnCopyPacket();

    QCOMPARE(caption, QStringLiteral("mmmmok"));
    QCOMPARE(shown.toStdString(), expected);
    QVERIFY(fits);
    const QString clip = QGuiApplication::clipboard()->text();
    QCOMPARE(clip.toStdString(), expected);
    QVERIFY(clip.startsWith(
        QString::fromLatin1(kReleaseCredit.data(), static_cast<qsizetype>(kReleaseCredit.size()))));
}

void XmlWindowTest::copyWithoutSelectionDoesNothing() {
    AddPackets({xml_test::TcpFrame("hello")});
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    bool boxShown = false;
    OnNextModal([&](QWidget*) { boxShown = true; }, 300);
    m_dlg->OnCopyPacket();
    QTest::qWait(400);
    QVERIFY(!boxShown);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

void XmlWindowTest::saveWritesTheLogAndSaysSo() {
    AddPackets({xml_test::TcpFrame("one"), xml_test::OpaqueFrame(0x01, 0x88B5)});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("snifflog.xml"));
    m_dlg->SetLogFileChooser([&](QWidget*) { return path; });
    m_dlg->OnSaveXml();

    QCOMPARE(m_messages.size(), size_t{1});
    QCOMPARE(m_messages[0].text, std::string("Packets saved to the XML file !"));
    QCOMPARE(m_messages[0].caption, std::string("Success"));
    std::string expected = std::string(kXmlDeclaration) + std::string(kProductBanner) +
                           std::string(kReleaseCredit) + "<Packets>";
    for (size_t i = 0; i < 2; ++i)
        AppendPacketElement(expected, m_dlg->Packets().At(i)->root.get());
    expected += "</Packets>";
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().toStdString(), expected);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"snifflog.xml"});
}

void XmlWindowTest::saveRefusesAnEmptyCapture() {
    bool asked = false;
    m_dlg->SetLogFileChooser([&](QWidget*) {
        asked = true;
        return QString();
    });
    m_dlg->OnSaveXml();
    QCOMPARE(m_messages.size(), size_t{1});
    QCOMPARE(m_messages[0].text, std::string("No packet to save"));
    QCOMPARE(m_messages[0].caption, std::string("Warning"));
    QVERIFY(!asked);

    // With packets, cancelling the file dialog says nothing.
    AddPackets({xml_test::TcpFrame("one")});
    m_dlg->OnSaveXml();
    QVERIFY(asked);
    QCOMPARE(m_messages.size(), size_t{1});
}

void XmlWindowTest::saveIntoAMissingDirectoryFails() {
    AddPackets({xml_test::TcpFrame("one")});
    QTemporaryDir dir;
    m_dlg->SetLogFileChooser([&](QWidget*) { return dir.filePath(QStringLiteral("no/such.xml")); });
    m_dlg->OnSaveXml();
    QCOMPARE(m_messages.size(), size_t{1});
    QCOMPARE(m_messages[0].text, std::string("Couldn't save the log file !"));
    QCOMPARE(m_messages[0].caption, std::string("Error"));
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void XmlWindowTest::cancelledSaveKeepsTheOldFile() {
    // Many references to one large packet: a save long enough to be cancelled.
    const StoredPacket big = xml_test::Stored(xml_test::TcpFrame(std::string(1460, 'c')));
    for (int i = 0; i < 200000; ++i) m_dlg->Packets().Append(big);
    m_dlg->Model().Refresh();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.xml"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old log");
    }
    m_dlg->SetLogFileChooser([&](QWidget*) { return path; });

    bool cancelled = false;
    bool clearedMeanwhile = false;
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [&, timer] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (progress == nullptr) return;
        timer->stop();
        // Emptying the store meanwhile frees nothing the save still reads.
        m_dlg->Packets().ClearPackets();
        clearedMeanwhile = true;
        if (auto* button = progress->findChild<QPushButton*>()) {
            button->click();
            cancelled = true;
        }
    });
    timer->start(5);
    m_dlg->OnSaveXml();
    timer->stop();

    QVERIFY(clearedMeanwhile);
    QVERIFY(cancelled);
    if (!m_messages.empty() && m_messages[0].caption == "Success") {
        QSKIP("the save ended before the cancel reached it");
    }
    QVERIFY(m_messages.empty());
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old log"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.xml"});
}

QTEST_MAIN(XmlWindowTest)
#include "xml_window_test.moc"
