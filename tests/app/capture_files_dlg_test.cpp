// Capture files through the main window: Open by button, Ctrl+O, the command
// line and a drop give the rows tapwatch-log gives; the read's progress and
// its cancel; the messages of files that fail; Save as pcap; a stream through
// a FIFO; and the question before unsaved captured packets are dropped.
#include <fcntl.h>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "capture/capture_session.h"
#include "capture_files_dlg_support.h"
#include "controls/icon_button.h"
#include "resources/init_resources.h"
#include "test_frames.h"
#include "tools/capture_gen/generator.h"

class CaptureFilesDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase() { fs::remove_all(m_dir); }

    void openGivesTheRowsOfTheLogTool();
    void filterFromTheEditorApplies();
    void cancelKeepsTheRowsRead();
    void failingFilesSayWhy();
    void commandLineAndDropOpenTheSameWay();
    void openAndSaveRefusedWhileACaptureRuns();
    void saveAsPcap();
    void streamFromAFifo();
    void unsavedRowsAskBeforeEachWayOfClosing();
    void unsavedRowsAskBeforeOpenAndCapture();
    void noQuestionForFileRowsSavedRowsOrTheHotKey();

  private:
    fs::path Capture(capture_gen::CaptureKind kind, size_t count, const char* name) {
        const fs::path path = m_dir / name;
        if (!fs::exists(path) && !capture_gen::WriteCapture(path.string(), kind, count, 5))
            qFatal("cannot write %s", path.c_str());
        return path;
    }

    fs::path m_dir;
};

void CaptureFilesDlgTest::initTestCase() {
    InitTapwatchResources();
    m_dir = fs::temp_directory_path() / ("capture-files-dlg-test-" + std::to_string(getpid()));
    fs::create_directories(m_dir);
}

// The texts the status bar shows, in order.
QStringList ShownStatus(CCaptureDlg& dlg) {
    QStringList texts;
    for (QLabel* label :
         dlg.findChild<QStatusBar*>(QStringLiteral("m_statusBar"))->findChildren<QLabel*>()) {
        if (!label->isHidden()) texts << label->text();
    }
    return texts;
}

void CaptureFilesDlgTest::openGivesTheRowsOfTheLogTool() {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    const fs::path pcapng = m_dir / "mix.pcapng";
    QCOMPARE(std::system(
                 ("editcap -F pcapng '" + pcap.string() + "' '" + pcapng.string() + "'").c_str()),
             0);
    const QStringList expected = LogRows(pcap);
    QCOMPARE(expected.size(), 3000);
    QCOMPARE(LogRows(pcapng), expected);

    Window w;
    w.dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&w.dlg));
    // The button, then Ctrl+O.
    w.dlg.SetOpenFileChooser([&](QWidget*) { return QString::fromStdString(pcap.string()); });
    QTest::mouseClick(Child<QPushButton>(w.dlg, "m_btnOpen"), Qt::LeftButton);
    QVERIFY(w.WaitRead());
    QCOMPARE(WindowRows(w.dlg.Model()), expected);
    QCOMPARE(w.dlg.windowTitle(), QStringLiteral("Tapwatch v2.0 - mix.pcap"));
    QVERIFY(w.messages.empty());
    // The status bar names the file; a file read again has no counters.
    QTRY_COMPARE(ShownStatus(w.dlg), QStringList({"3000 packets", "File: mix.pcap", "No filter"}));

    w.dlg.SetOpenFileChooser([&](QWidget*) { return QString::fromStdString(pcapng.string()); });
    // The shortcut acts in the active window; the progress has gone.
    w.dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.dlg));
    QTest::keyClick(&w.dlg, Qt::Key_O, Qt::ControlModifier);
    QTRY_COMPARE(w.dlg.windowTitle(), QStringLiteral("Tapwatch v2.0 - mix.pcapng"));
    QVERIFY(w.WaitRead());
    QCOMPARE(WindowRows(w.dlg.Model()), expected);
    QVERIFY(w.messages.empty());
    QVERIFY(w.questions.empty());

    // A cancelled file dialog changes nothing.
    w.dlg.SetOpenFileChooser([](QWidget*) { return QString(); });
    QTest::mouseClick(Child<QPushButton>(w.dlg, "m_btnOpen"), Qt::LeftButton);
    QCOMPARE(w.dlg.Model().rowCount(), 3000);
    QVERIFY(!w.dlg.Source().Busy());
}

void CaptureFilesDlgTest::filterFromTheEditorApplies() {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    Window w;
    // Destination port 80, applied in the Filter editor.
    QTimer::singleShot(0, &w.dlg, [&] {
        CFilterDlg& editor = w.dlg.FilterDlg();
        auto* port = Child<QLineEdit>(editor, "m_editDestPort");
        port->clear();
        QTest::keyClicks(port, QStringLiteral("80"));
        QTest::mouseClick(Child<QPushButton>(editor, "m_btnApply"), Qt::LeftButton);
        if (editor.isVisible()) editor.reject();
    });
    w.dlg.OnSetFilter();
    const std::string filter = *w.dlg.FilterDlg().Filter().Load();
    QCOMPARE(QString::fromStdString(filter), QStringLiteral("dst port 80"));

    const QStringList expected = LogRows(pcap, filter);
    QVERIFY(!expected.isEmpty());
    QVERIFY(expected.size() < 3000);
    w.dlg.OpenCapture(QString::fromStdString(pcap.string()));
    QVERIFY(w.WaitRead());
    QCOMPARE(WindowRows(w.dlg.Model()), expected);
}

void CaptureFilesDlgTest::cancelKeepsTheRowsRead() {
    constexpr int kCount = 300000;
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, kCount, "large.pcap");
    Window w;
    w.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
    w.dlg.OpenCapture(QString::fromStdString(pcap.string()));
    auto* progress = w.dlg.findChild<QProgressDialog*>();
    QVERIFY(progress != nullptr);
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->windowModality(), Qt::WindowModal);
    // Cancelled as soon as the first frame is in.
    QElapsedTimer waited;
    waited.start();
    auto* cancel = progress->findChild<QPushButton*>();
    QVERIFY(cancel != nullptr);
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    while (w.dlg.Packets().Count() == 0 && waited.elapsed() < 10000) std::this_thread::yield();
    cancel->click();
    QVERIFY(w.WaitRead());
    const int rows = w.dlg.Model().rowCount();
    QVERIFY2(rows < kCount, "the read ended before the cancel reached it");
    QVERIFY(rows > 0);
    QVERIFY(w.messages.empty());
    QTRY_VERIFY(ShownStatus(w.dlg).contains(
        QStringLiteral("File: large.pcap (stopped after %1 packets)").arg(rows)));
    // What was read stays, in file order.
    const QStringList expected = LogRows(pcap);
    QCOMPARE(WindowRows(w.dlg.Model()), expected.mid(0, rows));
    QTRY_VERIFY(w.dlg.findChild<QProgressDialog*>() == nullptr);
}

void CaptureFilesDlgTest::failingFilesSayWhy() {
    const fs::path text = m_dir / "notes.txt";
    std::ofstream(text) << "words, not frames\n";
    const fs::path raw = m_dir / "raw.pcap";
    {
        pcap_t* dead = pcap_open_dead(DLT_IEEE802_11, 65535);
        pcap_dumper_t* dumper = pcap_dump_open(dead, raw.c_str());
        QVERIFY(dumper != nullptr);
        const unsigned char packet[20] = {0x45, 0, 0, 20};
        pcap_pkthdr header{};
        header.caplen = header.len = sizeof packet;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, packet);
        pcap_dump_close(dumper);
        pcap_close(dead);
    }
    const fs::path cut = m_dir / "cut.pcap";
    fs::copy_file(Capture(capture_gen::CaptureKind::Tcp742, 500, "tcp.pcap"), cut,
                  fs::copy_options::overwrite_existing);
    fs::resize_file(cut, fs::file_size(cut) - 300);
    const int whole = LogRows(cut).size();
    QVERIFY(whole > 400 && whole < 500);

    // A file that fails leaves the rows, caption and status of the one before.
    const fs::path before = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    const struct {
        fs::path path;
        Message message;
        int rows;
        const char* name;
    } cases[] = {
        {m_dir / "missing.pcap", {"Couldn't open the capture file !", "Error"}, 3000, "mix.pcap"},
        {text, {"Couldn't open the capture file !", "Error"}, 3000, "mix.pcap"},
        {raw,
         {"This capture does not hold Ethernet frames\nIEEE802_11", "Error"},
         3000,
         "mix.pcap"},
        {cut,
         {"The capture file is cut short: " + std::to_string(whole) + " packets were read",
          "Warning"},
         whole,
         "cut.pcap"},
    };
    for (const auto& c : cases) {
        Window w;
        w.dlg.OpenCapture(QString::fromStdString(before.string()));
        QVERIFY(w.WaitRead());
        w.dlg.OpenCapture(QString::fromStdString(c.path.string()));
        QVERIFY(w.WaitRead());
        QCOMPARE(w.messages.size(), size_t{1});
        QCOMPARE(w.messages[0], c.message);
        QTRY_COMPARE(w.dlg.Model().rowCount(), c.rows);
        QCOMPARE(w.dlg.windowTitle(), QStringLiteral("Tapwatch v2.0 - %1").arg(c.name));
        QVERIFY(ShownStatus(w.dlg).contains(QStringLiteral("File: %1").arg(c.name)));
    }
}

void CaptureFilesDlgTest::commandLineAndDropOpenTheSameWay() {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    const QStringList expected = LogRows(pcap);

    // The command line: tapwatch FILE.
    {
        Window w;
        w.dlg.OpenCapture(QString::fromStdString(pcap.string()));
        QVERIFY(w.WaitRead());
        QCOMPARE(WindowRows(w.dlg.Model()), expected);
        QCOMPARE(w.dlg.windowTitle(), QStringLiteral("Tapwatch v2.0 - mix.pcap"));
    }
    // A file dropped on the window.
    Window w;
    w.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
    QVERIFY(w.dlg.acceptDrops());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(pcap.string()))});
    const QPointF at(100, 100);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w.dlg, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w.dlg, &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(w.dlg.windowTitle(), QStringLiteral("Tapwatch v2.0 - mix.pcap"));
    QVERIFY(w.WaitRead());
    QCOMPARE(WindowRows(w.dlg.Model()), expected);

    // Text that names no local file is not taken.
    QMimeData other;
    other.setText(QStringLiteral("hello"));
    QDragEnterEvent refused(at.toPoint(), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(&w.dlg, &refused);
    QVERIFY(!refused.isAccepted());
}

void CaptureFilesDlgTest::openAndSaveRefusedWhileACaptureRuns() {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    const fs::path fifo = m_dir / "refuse.fifo";
    fs::remove(fifo);
    QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);
    Window w;
    int asked = 0;
    w.dlg.SetOpenFileChooser([&](QWidget*) {
        ++asked;
        return QString::fromStdString(pcap.string());
    });
    w.dlg.SetPcapFileChooser([&](QWidget*) {
        ++asked;
        return QString::fromStdString((m_dir / "refused.pcap").string());
    });
    w.dlg.OpenCapture(QString::fromStdString(fifo.string()));
    QVERIFY(w.dlg.Source().Streaming());
    // Button, Ctrl+O, a drop (the command line's way), Save, Ctrl+S.
    w.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
    QTest::mouseClick(Child<QPushButton>(w.dlg, "m_btnOpen"), Qt::LeftButton);
    QTest::keyClick(&w.dlg, Qt::Key_O, Qt::ControlModifier);
    w.dlg.OpenCapture(QString::fromStdString(pcap.string()));
    QTest::mouseClick(Child<QPushButton>(w.dlg, "m_btnSave"), Qt::LeftButton);
    QTest::keyClick(&w.dlg, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(w.messages.size(), size_t{5});
    for (const Message& m : w.messages) QCOMPARE(m, Message("Stop the capture first", "Warning"));
    QCOMPARE(asked, 0);
    QVERIFY(w.dlg.Source().Streaming());
    // The caption names the stream once its header has come.
    QCOMPARE(w.dlg.windowTitle(), QStringLiteral("Tapwatch v2.0"));
    // A stream runs like a capture: counts, its name and the time it has run.
    QTRY_VERIFY(ShownStatus(w.dlg).contains(QStringLiteral("Stream: refuse.fifo")));
    QVERIFY(ShownStatus(w.dlg).contains(QStringLiteral("0 dropped")));
    QTRY_COMPARE(ShownStatus(w.dlg).filter(QStringLiteral("Elapsed: 0:0")).size(), 1);
    w.dlg.OnCapture();
    QVERIFY(w.WaitRead(2000));
}

void CaptureFilesDlgTest::saveAsPcap() {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    Window w;
    const fs::path saved = m_dir / "saved.pcap";
    w.dlg.SetPcapFileChooser([&](QWidget*) { return QString::fromStdString(saved.string()); });
    QTest::mouseClick(Child<QPushButton>(w.dlg, "m_btnSave"), Qt::LeftButton);
    QCOMPARE(w.messages.size(), size_t{1});
    QCOMPARE(w.messages[0], Message("No packet to save", "Warning"));
    QVERIFY(!fs::exists(saved));

    w.dlg.OpenCapture(QString::fromStdString(pcap.string()));
    QVERIFY(w.WaitRead());
    w.dlg.show();
    w.dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.dlg));
    QTest::keyClick(&w.dlg, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(w.messages.size(), size_t{2});
    QCOMPARE(w.messages[1], Message("The capture was saved", "Success"));
    QCOMPARE(LogRows(saved), LogRows(pcap));
    const auto tcpdump = [](const fs::path& p) {
        std::string out;
        if (FILE* pipe = popen(
                ("tcpdump -n -tt --nano -xx -r '" + p.string() + "' 2>/dev/null").c_str(), "r")) {
            char buffer[65536];
            size_t n;
            while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
            pclose(pipe);
        }
        return out;
    };
    const std::string original = tcpdump(pcap);
    QVERIFY(!original.empty());
    QCOMPARE(tcpdump(saved), original);

    // A folder that does not exist.
    w.dlg.SetPcapFileChooser(
        [&](QWidget*) { return QString::fromStdString((m_dir / "none" / "c.pcap").string()); });
    QTest::mouseClick(Child<QPushButton>(w.dlg, "m_btnSave"), Qt::LeftButton);
    QCOMPARE(w.messages.size(), size_t{3});
    QCOMPARE(w.messages[2], Message("Couldn't save the capture file !", "Error"));
}

void CaptureFilesDlgTest::streamFromAFifo() {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Tcp742, 200, "flow.pcap");
    const std::string bytes = ReadFile(pcap);
    const fs::path fifo = m_dir / "stream.fifo";
    fs::remove(fifo);
    QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);

    Window w;
    w.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
    auto* capture = Child<QPushButton>(w.dlg, "m_btnCapture");
    w.dlg.OpenCapture(QString::fromStdString(fifo.string()));
    QCOMPARE(capture->text(), QStringLiteral("Stop"));
    for (const char* name : {"m_btnClear", "m_btnSaveXml", "m_btnDecode", "m_btnSetFilter"})
        QVERIFY2(!Child<QWidget>(w.dlg, name)->isEnabled(), name);
    QVERIFY(w.dlg.findChild<QProgressDialog*>() == nullptr);

    const int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    // The header and 20 frames, then nothing while the writer stays.
    const size_t part = 24 + 20 * (16 + 14 + 20 + 20 + 742);
    QCOMPARE(write(fd, bytes.data(), part), static_cast<ssize_t>(part));
    QTRY_COMPARE(w.dlg.Model().rowCount(), 20);
    QCOMPARE(capture->text(), QStringLiteral("Stop"));

    // Stop, on a silent writer, within 100 ms.
    QElapsedTimer stop;
    stop.start();
    QTest::mouseClick(capture, Qt::LeftButton);
    QVERIFY(w.WaitRead(2000));
    QVERIFY2(stop.elapsed() < 100, qPrintable(QString::number(stop.elapsed())));
    close(fd);
    QCOMPARE(capture->text(), QStringLiteral("Capture"));
    for (const char* name : {"m_btnClear", "m_btnSaveXml", "m_btnDecode", "m_btnSetFilter"})
        QVERIFY2(Child<QWidget>(w.dlg, name)->isEnabled(), name);
    QVERIFY(w.messages.empty());
    QVERIFY(w.questions.empty());
    QCOMPARE(w.dlg.Session().Phase(), CapturePhase::Idle);

    // Stream rows cannot be read again: closing asks.
    w.answer = false;
    w.dlg.close();
    QCOMPARE(w.questions.size(), size_t{1});
    QCOMPARE(w.questions[0],
             Message("20 captured packets have not been saved. Discard them?", "Warning"));
    QVERIFY(w.dlg.isVisible());

    // Closing the window while a stream waits on a silent writer returns.
    w.dlg.OpenCapture(QString::fromStdString(fifo.string()));
    QCOMPARE(w.questions.size(), size_t{2});
    w.answer = true;
    w.dlg.OpenCapture(QString::fromStdString(fifo.string()));
    QVERIFY(w.dlg.Source().Streaming());
    const int silent = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    QVERIFY(silent >= 0);
    QElapsedTimer closing;
    closing.start();
    w.dlg.close();
    QVERIFY(!w.dlg.isVisible());
    QVERIFY2(closing.elapsed() < 100, qPrintable(QString::number(closing.elapsed())));
    close(silent);
}

void CaptureFilesDlgTest::unsavedRowsAskBeforeEachWayOfClosing() {
    const Message question("6 captured packets have not been saved. Discard them?", "Warning");
    // Enter in the list closes nothing (the main window's tests check it).
    const char* ways[] = {"close box", "Escape"};
    for (const char* way : ways) {
        Window w;
        w.LiveRows(6);
        w.dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&w.dlg));
        auto* list = Child<QTableView>(w.dlg, "m_list");
        list->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));
        const auto closeIt = [&] {
            if (std::string(way) == "close box") {
                w.dlg.close();
            } else {
                QTest::keyClick(list, Qt::Key_Escape);
            }
        };
        w.answer = false;
        closeIt();
        QVERIFY2(w.dlg.isVisible(), way);
        QCOMPARE(w.questions.size(), size_t{1});
        QCOMPARE(w.questions[0], question);
        QCOMPARE(w.dlg.Model().rowCount(), 6);
        QCOMPARE(w.dlg.Packets().Count(), size_t{6});

        w.answer = true;
        closeIt();
        QTRY_VERIFY2(!w.dlg.isVisible(), way);
        QCOMPARE(w.questions.size(), size_t{2});
    }
}

void CaptureFilesDlgTest::unsavedRowsAskBeforeOpenAndCapture() {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    Window w;
    w.LiveRows(4);
    w.dlg.SetOpenFileChooser([&](QWidget*) { return QString::fromStdString(pcap.string()); });
    const Message question("4 captured packets have not been saved. Discard them?", "Warning");

    // No keeps the rows: Open, a drop's open, Capture.
    QTest::mouseClick(Child<QPushButton>(w.dlg, "m_btnOpen"), Qt::LeftButton);
    w.dlg.OpenCapture(QString::fromStdString(pcap.string()));
    auto* capture = Child<QPushButton>(w.dlg, "m_btnCapture");
    QTest::mouseClick(capture, Qt::LeftButton);
    QCOMPARE(w.questions.size(), size_t{3});
    for (const Message& q : w.questions) QCOMPARE(q, question);
    QVERIFY(!w.dlg.Source().Busy());
    QCOMPARE(w.dlg.Session().Phase(), CapturePhase::Idle);
    QCOMPARE(capture->text(), QStringLiteral("Capture"));
    QCOMPARE(w.dlg.Packets().Count(), size_t{4});
    QVERIFY(w.messages.empty());

    // Yes goes on.
    w.answer = true;
    QTest::mouseClick(Child<QPushButton>(w.dlg, "m_btnOpen"), Qt::LeftButton);
    QCOMPARE(w.questions.size(), size_t{4});
    QVERIFY(w.WaitRead());
    QCOMPARE(w.dlg.Model().rowCount(), 3000);

    // A capture start after Yes empties the store (this window has no
    // interface list, so the start then fails).
    w.LiveRows(4);
    QTest::mouseClick(capture, Qt::LeftButton);
    QCOMPARE(w.questions.size(), size_t{5});
    QTRY_COMPARE(w.dlg.Session().Phase(), CapturePhase::Idle);
    QCOMPARE(w.dlg.Packets().Count(), size_t{0});
    QCOMPARE(w.messages.size(), size_t{1});
    QCOMPARE(w.messages[0].first, std::string("Unable to open live adapter"));
}

void CaptureFilesDlgTest::noQuestionForFileRowsSavedRowsOrTheHotKey() {
    const fs::path pcap = Capture(capture_gen::CaptureKind::Mix, 3000, "mix.pcap");
    {
        // Rows opened from a regular file.
        Window w;
        w.dlg.show();
        w.dlg.OpenCapture(QString::fromStdString(pcap.string()));
        QVERIFY(w.WaitRead());
        w.dlg.close();
        QVERIFY(!w.dlg.isVisible());
        QVERIFY(w.questions.empty());
    }
    for (const char* save : {"m_btnSave", "m_btnSaveXml"}) {
        // Rows saved as pcap or as XML.
        Window w;
        w.LiveRows(3);
        const fs::path out = m_dir / (std::string(save) + ".out");
        w.dlg.SetPcapFileChooser([&](QWidget*) { return QString::fromStdString(out.string()); });
        w.dlg.SetLogFileChooser([&](QWidget*) { return QString::fromStdString(out.string()); });
        w.dlg.show();
        QTest::mouseClick(Child<QPushButton>(w.dlg, save), Qt::LeftButton);
        QCOMPARE(w.messages.size(), size_t{1});
        QCOMPARE(w.messages[0].second, std::string("Success"));
        w.dlg.close();
        QVERIFY2(!w.dlg.isVisible(), save);
        QVERIFY(w.questions.empty());
    }
    {
        // Ctrl+F12 keeps its one keystroke.
        Window w;
        w.LiveRows(3);
        w.dlg.OnHotKey();
        QVERIFY(w.questions.empty());
        QTRY_COMPARE(w.dlg.Session().Phase(), CapturePhase::Idle);
        QCOMPARE(w.dlg.Packets().Count(), size_t{0});
    }
}

QTEST_MAIN(CaptureFilesDlgTest)
#include "capture_files_dlg_test.moc"
