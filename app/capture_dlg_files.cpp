// The main window's side of capture files: the file dialogs, the questions,
// the read progress, the caption naming the file, and files dropped on the
// window. CaptureSource decides; this only shows.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "app/capture_dlg.h"
#include "app/capture_files.h"
#include "app/packet_list_model.h"

namespace {

// The read progress counts in thousandths of the file.
constexpr int kProgressSteps = 1000;
constexpr int kProgressPollMs = 50;

// The local file of a drop, or nothing.
QString DroppedFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls() || mime->urls().size() != 1) return {};
    const QUrl url = mime->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

std::string CCaptureDlg::AskOpenPath() {
    return (m_openChooser ? m_openChooser(this) : AskCaptureFile(this)).toStdString();
}

std::string CCaptureDlg::AskSavePath() {
    // With a display filter, the title says how many rows the file takes.
    const QString title = m_model->Filtered()
                              ? QStringLiteral("Save the %1 packets shown").arg(m_model->rowCount())
                              : QString();
    return (m_pcapChooser ? m_pcapChooser(this) : AskPcapFile(this, title)).toStdString();
}

bool CCaptureDlg::AskYesNo(const std::string& text, const std::string& caption) {
    if (m_questionSink) return m_questionSink(text, caption);
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int CCaptureDlg::SavePcap(const std::string& path, std::vector<StoredPacket> packets,
                          int linkType) {
    return SavePcapWithProgress(this, path, std::move(packets), linkType);
}

void CCaptureDlg::ShowCaptureSource(const ShownSource& source) {
    SetShownSource(source);
    m_strCaptureFilter = *m_filterDlg.Filter().Load();
}

ShownSource CCaptureDlg::ShownCaptureSource() const {
    return m_shown;
}

void CCaptureDlg::SetCaptureName(const std::string& name) {
    setWindowTitle(name.empty() ? QString::fromLatin1(kCaption)
                                : QStringLiteral("%1 - %2").arg(QString::fromLatin1(kCaption),
                                                                QString::fromStdString(name)));
}

void CCaptureDlg::ShowReadProgress(uint64_t totalBytes) {
    HideReadProgress();
    m_nReadTotal = totalBytes;
    // Window-modal but not run in a loop of its own: the read goes on in a
    // worker, the list fills and the window paints while the dialog shows.
    m_readProgress = new QProgressDialog(QStringLiteral("Reading the capture file..."),
                                         QStringLiteral("Cancel"), 0, kProgressSteps, this);
    m_readProgress->setWindowTitle(QStringLiteral("Open"));
    m_readProgress->setWindowModality(Qt::WindowModal);
    m_readProgress->setAutoReset(false);
    m_readProgress->setAutoClose(false);
    m_readProgress->setMinimumDuration(0);
    // Driven through its bar: the dialog's own setValue runs a nested
    // processEvents when the dialog is modal.
    auto* bar = new QProgressBar(m_readProgress);
    bar->setRange(0, kProgressSteps);
    bar->setValue(0);
    m_readProgress->setBar(bar);
    connect(m_readProgress, &QProgressDialog::canceled, this, [this] {
        if (m_source) m_source->Stop();
    });
    m_readProgressTimer = new QTimer(m_readProgress);
    connect(m_readProgressTimer, &QTimer::timeout, bar, [this, bar] {
        const uint64_t read = m_source->BytesRead();
        const uint64_t total = std::max<uint64_t>(m_nReadTotal, 1);
        bar->setValue(static_cast<int>(std::min<uint64_t>(read, total) * kProgressSteps / total));
    });
    m_readProgressTimer->start(kProgressPollMs);
    m_readProgress->show();
}

void CCaptureDlg::HideReadProgress() {
    if (m_readProgress == nullptr) return;
    m_readProgressTimer->stop();
    m_readProgress->hide();
    m_readProgress->deleteLater();
    m_readProgress = nullptr;
    m_readProgressTimer = nullptr;
}

void CCaptureDlg::OnOpen() {
    if (m_source) m_source->OnOpen();
}

void CCaptureDlg::OpenCapture(const QString& path) {
    if (m_source) m_source->Open(path.toStdString());
}

void CCaptureDlg::OnSavePcap() {
    if (m_source) m_source->OnSave();
}

void CCaptureDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CCaptureDlg::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // After the drop has ended: Open may show message boxes.
    QMetaObject::invokeMethod(
        this, [this, path] { OpenCapture(path); }, Qt::QueuedConnection);
}
