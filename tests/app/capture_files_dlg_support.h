// The capture file window tests' pieces: a main window whose message boxes
// and questions are recorded, its widgets by name, its rows as text, and
// tapwatch-log's rows of a file to hold them against.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "test_frames.h"

namespace fs = std::filesystem;

using Message = std::pair<std::string, std::string>;

template <class T>
T* Child(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("no %s", name);
    return widget;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline QStringList Lines(const QString& text) {
    return text.split('\n', Qt::SkipEmptyParts);
}

// tapwatch-log's rows of `path`, one line per packet.
inline QStringList LogRows(const fs::path& path, const std::string& filter = {}) {
    std::string command = std::string(TAPWATCH_LOG_TOOL) + " --rows";
    if (!filter.empty()) command += " --filter '" + filter + "'";
    command += " '" + path.string() + "' 2>/dev/null";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return Lines(QString::fromStdString(out));
}

// The window's rows as tapwatch-log writes them: cells joined by tabs.
inline QStringList WindowRows(const QAbstractItemModel& model) {
    QStringList rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c) cells << model.index(r, c).data().toString();
        rows << cells.join('\t');
    }
    return rows;
}

// A window whose boxes are recorded and whose questions get `answer`.
struct Window {
    Window() : dlg(false) {
        dlg.SetMessageSink(
            [this](const std::string& t, const std::string& c) { messages.emplace_back(t, c); });
        dlg.SetQuestionSink([this](const std::string& t, const std::string& c) {
            questions.emplace_back(t, c);
            return answer;
        });
    }
    // Waits until the read has ended and every stored packet has its row.
    bool WaitRead(int ms = 30000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            // The list has caught up with the store: same generation, same count.
            const PacketStore::Extent store = dlg.Packets().CurrentExtent();
            if (!dlg.Source().Busy() && dlg.Model().Generation() == store.generation &&
                static_cast<size_t>(dlg.Model().rowCount()) == store.count)
                return true;
            QTest::qWait(10);
        }
        return false;
    }
    // Rows that a live capture put in the store.
    void LiveRows(int count) {
        dlg.ClearPackets();
        for (int i = 0; i < count; ++i) dlg.Packets().Append({Ipv4Chain(false, 2, 5000, 53), 0});
        dlg.Model().Refresh();
    }

    CCaptureDlg dlg;
    std::vector<Message> messages;
    std::vector<Message> questions;
    bool answer = false;
};
