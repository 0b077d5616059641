// The main window on a real X server, for tapwatch_x11_test.sh:
//   window_probe controls   prints where the Transparency slider and Always
//                           on top sit in the window at its first size
//                           ("slider X Y W H", "ontop X Y W H", "capture X Y W H"), then ends;
//   window_probe maximise   shows the window, asks the window manager to
//                           maximise it, prints "first W H", "maximised W H",
//                           "screen W H" (the screen's work area), "list W H"
//                           and "maxlist W H" (the packet list before and
//                           after), "window ID", then stays until killed.
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <cstring>

#include "app/capture_dlg.h"
#include "resources/init_resources.h"

namespace {

void Print(const char* what, const QRect& r) {
    std::printf("%s %d %d %d %d\n", what, r.x(), r.y(), r.width(), r.height());
}

void Print(const char* what, const QSize& s) {
    std::printf("%s %d %d\n", what, s.width(), s.height());
}

QRect InWindow(const QWidget* w) {
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    QApplication app(argc, argv);
    InitTapwatchResources();
    CCaptureDlg window(false);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 10000)) return 1;
    auto* list = window.findChild<QTableView*>(QStringLiteral("m_list"));

    if (std::strcmp(argv[1], "controls") == 0) {
        Print("slider", InWindow(window.findChild<QSlider*>(QStringLiteral("m_slider"))));
        Print("ontop", InWindow(window.findChild<QWidget*>(QStringLiteral("m_btnAlwaysOnTop"))));
        Print("capture", InWindow(window.findChild<QWidget*>(QStringLiteral("m_btnCapture"))));
        return 0;
    }
    if (std::strcmp(argv[1], "maximise") != 0) return 2;

    const QSize first = window.size();
    const QSize firstList = list->size();
    // Let the window manager place the window before asking for more.
    QTest::qWait(500);
    window.showMaximized();
    QElapsedTimer clock;
    clock.start();
    QSize last;
    int steady = 0;
    // Done when the size has grown and stayed put for a while.
    while (clock.elapsed() < 10000 && steady < 10) {
        QTest::qWait(50);
        steady = window.size() != first && window.size() == last ? steady + 1 : 0;
        last = window.size();
    }
    Print("first", first);
    Print("maximised", window.size());
    Print("screen", window.screen()->availableGeometry().size());
    Print("list", firstList);
    Print("maxlist", list->size());
    std::printf("window %llu\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);
    return app.exec();
}
