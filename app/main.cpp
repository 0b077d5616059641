// CCaptureApp: runs the main window; when it closes, the program ends.
// `tapwatch FILE` opens a capture file, `tapwatch -` reads a capture streamed
// on standard input and `tapwatch FIFO` one written into a FIFO.
#include <QApplication>
#include <QTimer>

#include "app/capture_dlg.h"
#include "resources/init_resources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tapwatch"));
    InitTapwatchResources();
    CCaptureDlg window;
    if (!window.Initialise()) return 1;
    window.show();
    if (argc > 1) {
        // Once the window shows, so that the read's progress has its owner.
        const QString path = QString::fromLocal8Bit(argv[1]);
        QTimer::singleShot(0, &window, [&window, path] { window.OpenCapture(path); });
    }
    window.exec();
    return 0;
}
