// The main window's status bar: one label per field of StatusTexts, refreshed
// on the packet list's tick.
#include <QLabel>
#include <QStatusBar>

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "capture/capture_session.h"
#include "ui_capture_dlg.h"

void CCaptureDlg::SetUpStatusBar() {
    QStatusBar* bar = m_ui->m_statusBar;
    const char* names[] = {"m_statusPackets", "m_statusShowing", "m_statusDropped",
                           "m_statusLeftOut", "m_statusSource",  "m_statusElapsed",
                           "m_statusFilter"};
    for (const char* name : names) {
        auto* label = new QLabel(bar);
        label->setObjectName(QLatin1String(name));
        m_statusLabels.push_back(label);
    }
    for (size_t i = 0; i + 1 < m_statusLabels.size(); ++i) bar->addWidget(m_statusLabels[i]);
    // A long filter is cut at the window's edge rather than widening the window;
    // its tooltip holds it whole.
    QLabel* filter = m_statusLabels.back();
    filter->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    filter->setMinimumWidth(1);
    bar->addWidget(filter, 1);
    connect(m_model, &PacketListModel::refreshed, this, &CCaptureDlg::UpdateStatusBar);
}

void CCaptureDlg::SetShownSource(ShownSource source) {
    m_shown = std::move(source);
    UpdateStatusBar();
}

CaptureStatistics CCaptureDlg::Statistics() const {
    CaptureStatistics statistics;
    if (m_shown.kind == SourceKind::Interface) {
        if (m_session) statistics = m_session->Statistics();
    } else if (m_source) {
        // A file or stream: only frames there was no memory for are dropped.
        const IntakeCounters counters = m_source->Counters();
        statistics.received = counters.received;
        statistics.dropped = counters.dropped;
        statistics.leftOut = counters.leftOut;
        statistics.storeBytes = counters.storeBytes;
    }
    // The rows shown: Clear empties the list without a new capture.
    statistics.rows = m_packets.Count();
    return statistics;
}

void CCaptureDlg::UpdateStatusBar() {
    if (m_statusLabels.empty()) return;
    const CapturePhase phase = m_session ? m_session->Phase() : CapturePhase::Idle;
    const bool streaming = m_source != nullptr && m_source->Streaming();
    const bool reading = m_source != nullptr && m_source->Busy();
    const bool active =
        phase == CapturePhase::Starting || phase == CapturePhase::Running || streaming;
    if (active && !m_bCaptureActive) m_captureClock.start();
    m_bCaptureActive = active;
    m_bCaptured = m_bCaptured || phase != CapturePhase::Idle;

    StatusInput input;
    input.rows = m_model->EntriesTaken();
    if (m_model->Filtered()) input.shown = static_cast<uint64_t>(m_model->rowCount());
    // Counts belong to a capture or a stream, not to a file read again.
    input.hasStatistics =
        m_shown.kind == SourceKind::Interface
            ? m_bCaptured
            : m_shown.kind == SourceKind::StandardInput || m_shown.kind == SourceKind::Fifo;
    if (input.hasStatistics) input.statistics = Statistics();
    input.dataContainsSet = !m_filterDlg.DataContains().Load()->empty();
    input.source = m_shown;
    input.running = active;
    if (active) input.elapsedSeconds = static_cast<uint64_t>(m_captureClock.elapsed() / 1000);
    // While a capture runs, the filter it compiled; otherwise the one the next
    // capture will compile, which a rejected Apply leaves as it was.
    input.filter =
        phase == CapturePhase::Idle && !reading ? *m_filterDlg.Filter().Load() : m_strCaptureFilter;

    const StatusTexts texts = BuildStatusTexts(input);
    const std::string* ordered[] = {&texts.packets, &texts.showing, &texts.dropped, &texts.leftOut,
                                    &texts.source,  &texts.elapsed, &texts.filter};
    for (size_t i = 0; i < m_statusLabels.size(); ++i) {
        QLabel* label = m_statusLabels[i];
        const QString text = QString::fromStdString(*ordered[i]);
        if (label->text() != text) label->setText(text);
        label->setVisible(!text.isEmpty());
    }
    QLabel* filter = m_statusLabels.back();
    if (filter->toolTip() != filter->text()) filter->setToolTip(filter->text());
}
