// What the Decode mode window tests share: a small capture of three hosts,
// the window's controls found by name, and helpers for modal windows and for
// name lookups that block until a test lets them go.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "protocols/decode.h"
#include "sessions/decode_dlg.h"
#include "tests/sessions/packet_builder.h"
#include "tools/capture_gen/generator.h"

namespace decode_dlg_test {

using namespace test_packets;

inline const HostAddress kA{10, 0, 0, 5};
inline const HostAddress kB{192, 168, 1, 1};
inline const HostAddress kC{172, 16, 0, 9};

inline PacketRef Seg(HostAddress src, uint16_t sport, HostAddress dst, uint16_t dport, uint32_t seq,
                     std::string payload) {
    Tcp t;
    t.src = src;
    t.dst = dst;
    t.sport = sport;
    t.dport = dport;
    t.seq = seq;
    t.flags = PSH | ACK;
    t.payload = std::move(payload);
    return TcpPacket(t);
}

// Hosts A, B, C in that order. A has the sessions A:1042-B:80 (packets 0, 2)
// and A:2000-C:443 (packets 3, 6); B has the first, C the second.
inline PacketSnapshot Capture() {
    return {Seg(kA, 1042, kB, 80, 10, "one\r\nline two"),
            UdpPacket(kC, kA, 53, 53),
            Seg(kB, 80, kA, 1042, 5, "reply"),
            Seg(kC, 443, kA, 2000, 7, "secure"),
            ArpPacket(kA, kB),
            UdpPacket({9, 9, 9, 9}, kA, 1, 2),
            Seg(kA, 2000, kC, 443, 1, "hello")};
}

inline PacketSnapshot HttpCapture() {
    PacketSnapshot packets;
    for (const auto& f : capture_gen::GenerateFrames(capture_gen::CaptureKind::Http,
                                                     capture_gen::kHttpSessionFrames, 7))
        packets.push_back(DecodeFrame(f.data.data(), static_cast<int>(f.data.size())));
    return packets;
}

template <typename T>
inline T* Child(QWidget* w, const char* name) {
    T* child = w->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no child %s", name);
    return child;
}

struct Controls {
    explicit Controls(QWidget* w)
        : host(Child<QComboBox>(w, "m_comboHost")),
          format(Child<QComboBox>(w, "m_comboFormat")),
          style(Child<QComboBox>(w, "m_comboStyle")),
          sessions(Child<QListWidget>(w, "m_listSessions")),
          upper(Child<QTextEdit>(w, "m_editUpper")),
          lower(Child<QTextEdit>(w, "m_editLower")),
          stream(Child<QPlainTextEdit>(w, "m_editStream")),
          resolve(Child<QCheckBox>(w, "m_checkResolve")),
          copy(Child<QPushButton>(w, "m_btnCopy")),
          close(Child<QPushButton>(w, "m_btnClose")),
          slider(Child<QSlider>(w, "m_slider")) {}
    QComboBox* host;
    QComboBox* format;
    QComboBox* style;
    QListWidget* sessions;
    QTextEdit* upper;
    QTextEdit* lower;
    QPlainTextEdit* stream;
    QCheckBox* resolve;
    QPushButton* copy;
    QPushButton* close;
    QSlider* slider;

    int SelectedRow() const {
        const auto items = sessions->selectedItems();
        return items.size() == 1 ? sessions->row(items.front()) : -1;
    }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < sessions->count(); ++i) rows << sessions->item(i)->text();
        return rows;
    }
    void ClickRow(int row) const {
        QTest::mouseClick(sessions->viewport(), Qt::LeftButton, {},
                          sessions->visualItemRect(sessions->item(row)).center());
    }
};

// What the stream area must hold for the window's current session: the
// renderer's runs with each CR LF as one line break.
inline QString ExpectedStream(const CDecodeLogic& logic) {
    const auto runs =
        RenderStream(logic.StreamPackets(), logic.Sessions()[logic.CurrentSession()].packet,
                     logic.Style(), logic.Ascii());
    std::string all;
    for (const auto& run : runs) all += run.text;
    QString text = QString::fromLatin1(all);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

inline QImage IconImage(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage();
}
inline QImage ResourceImage(int id) {
    return IconImage(QIcon(QStringLiteral(":/icons/%1.svg").arg(id)));
}

// The first name /etc/hosts gives 127.0.0.1, empty when it gives none.
inline QString LoopbackName() {
    std::ifstream hosts("/etc/hosts");
    std::string line;
    while (std::getline(hosts, line)) {
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string address, name;
        if (fields >> address >> name && address == "127.0.0.1")
            return QString::fromStdString(name);
    }
    return {};
}

// Answers only once opened; counts the calls that reached it.
struct Gate {
    std::mutex lock;
    std::condition_variable opened;
    bool open = false;
    std::atomic<int> calls{0};
    void Open() {
        {
            std::scoped_lock l(lock);
            open = true;
        }
        opened.notify_all();
    }
};

class BlockingResolver : public IHostResolver {
  public:
    explicit BlockingResolver(std::shared_ptr<Gate> gate) : m_gate(std::move(gate)) {}
    std::string ResolveHostName(std::string_view) const override {
        ++m_gate->calls;
        std::unique_lock l(m_gate->lock);
        m_gate->opened.wait(l, [this] { return m_gate->open; });
        return "held.example";
    }

  private:
    std::shared_ptr<Gate> m_gate;
};

// Runs `check` on the next modal window to open, then closes that window.
inline void OnNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check = std::move(check)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            OnNextModal(check);
            return;
        }
        check(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
}

}  // namespace decode_dlg_test
