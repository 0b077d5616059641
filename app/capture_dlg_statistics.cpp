// The main window's side of the Statistics window: what it may ask of the list.

#include "app/capture_dlg.h"
#include "app/packet_list_model.h"
#include "app/statistics_window.h"
#include "view/shown_rows.h"

void CCaptureDlg::OnStatistics() {
    if (m_statistics == nullptr) {
        StatisticsWindow::Hooks hooks;
        hooks.setDisplayFilter = [this](const std::string& expression) {
            SetDisplayFilter(QString::fromStdString(expression));
        };
        hooks.selectPacket = [this](size_t index) {
            // The packet's own row, or the nearest row shown.
            int row = m_model->RowOf(index);
            if (row < 0) {
                const auto nearest = NearestShown(m_model->Shown(), index);
                if (!nearest) return;
                row = static_cast<int>(*nearest);
            }
            SelectRow(row);
            activateWindow();
        };
        hooks.drops = [this] { return Statistics().dropped; };
        m_statistics = new StatisticsWindow(m_packets, *m_model, std::move(hooks), this);
    }
    m_statistics->show();
    m_statistics->raise();
    m_statistics->activateWindow();
    m_statistics->Refresh();
}
