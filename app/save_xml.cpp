#include "app/save_xml.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <climits>
#include <thread>

#include "xml/capture_log.h"

namespace {

constexpr int kPollMs = 50;

// Turns closing the progress dialog (close box, Escape) into a cancel request
// while the dialog stays up: it goes only once the worker has finished, so the
// window cannot be used while the save still reads the packets.
class CancelOnClose : public QObject {
  public:
    CancelOnClose(QProgressDialog& dialog, SaveControl& control)
        : QObject(&dialog), m_dialog(dialog), m_control(control) {}

    void Cancel() {
        if (m_control.cancel.exchange(true)) return;
        m_dialog.setLabelText(QStringLiteral("Cancelling..."));
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_dialog) {
            const bool escape = event->type() == QEvent::KeyPress &&
                                static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
            if (escape || event->type() == QEvent::Close) {
                Cancel();
                event->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QProgressDialog& m_dialog;
    SaveControl& m_control;
};

}  // namespace

QString AskLogFile(QWidget* parent) {
    // The overwrite question is the dialog's default.
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save XML"),
                                        QStringLiteral("snifflog.xml"),
                                        QStringLiteral("XML file (*.xml)"));
}

int SaveLogWithProgress(QWidget* parent, const std::string& path,
                        std::vector<StoredPacket> packets) {
    return RunSaveWithProgress(
        parent, QStringLiteral("Save XML"), packets.size(),
        [&](SaveControl* control) { return SaveCaptureLog(path, packets, control); });
}

int RunSaveWithProgress(QWidget* parent, const QString& title, size_t count,
                        const std::function<int(SaveControl* control)>& save) {
    const int total = static_cast<int>(std::min<size_t>(count, INT_MAX));
    SaveControl control;
    std::atomic<int> result{SAVE_WRITE_FAILED};

    QProgressDialog progress(QStringLiteral("Saving the packets..."), QStringLiteral("Cancel"), 0,
                             total, parent);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(0);
    // The Cancel button asks the worker to stop instead of hiding the dialog.
    QObject::disconnect(&progress, SIGNAL(canceled()), &progress, SLOT(cancel()));
    auto* closer = new CancelOnClose(progress, control);
    progress.installEventFilter(closer);
    QObject::connect(&progress, &QProgressDialog::canceled, closer, &CancelOnClose::Cancel);

    // The bar is driven directly: the dialog's own setValue runs a nested
    // processEvents when the dialog is modal.
    auto* bar = new QProgressBar(&progress);
    bar->setRange(0, total);
    bar->setValue(0);
    progress.setBar(bar);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, bar, [&control, bar, total] {
        const size_t written = control.packetsWritten.load(std::memory_order_relaxed);
        bar->setValue(static_cast<int>(std::min<size_t>(written, static_cast<size_t>(total))));
    });
    poll.start(kPollMs);
    progress.show();

    QEventLoop loop;
    std::thread worker([&] {
        result.store(save(&control));
        // Queued to the window thread; the loop ends there, never here.
        QMetaObject::invokeMethod(
            &progress, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    poll.stop();
    progress.removeEventFilter(closer);
    progress.hide();
    return result.load();
}
