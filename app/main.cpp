// CCaptureApp: runs the main window; when it closes, the program ends.
// `tapwatch FILE` opens a capture file, `tapwatch -` reads a capture streamed
// on standard input and `tapwatch FIFO` one written into a FIFO;
// `tapwatch -Y EXPR FILE` opens it with the display filter EXPR set.
#include <QApplication>
#include <QTimer>
#include <cstring>

#include "app/capture_dlg.h"
#include "resources/init_resources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tapwatch"));
    InitTapwatchResources();
    CCaptureDlg window;
    if (!window.Initialise()) return 1;
    int next = 1;
    if (next + 1 < argc && std::strcmp(argv[next], "-Y") == 0) {
        // Set before the file's rows arrive, so they are tested as they come;
        // one that does not compile leaves the bar red and every row shown.
        window.SetDisplayFilter(QString::fromLocal8Bit(argv[next + 1]));
        next += 2;
    }
    window.show();
    if (next < argc) {
        // Once the window shows, so that the read's progress has its owner.
        const QString path = QString::fromLocal8Bit(argv[next]);
        QTimer::singleShot(0, &window, [&window, path] { window.OpenCapture(path); });
    }
    window.exec();
    return 0;
}
