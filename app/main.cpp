// CCaptureApp: runs the main window; when it closes, the program ends.
#include <QApplication>

#include "app/capture_dlg.h"
#include "resources/init_resources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tapwatch"));
    InitTapwatchResources();
    CCaptureDlg window;
    if (!window.Initialise()) return 1;
    window.show();
    window.exec();
    return 0;
}
