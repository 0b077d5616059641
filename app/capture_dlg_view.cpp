// The main window's view over the packet list: the display filter bar, the
// find bar, go to packet, sorting by a column, the rows' context menu, and
// the commands that act on the rows shown (Save XML, Decode, Copy). The work
// over many rows runs on the model's view worker; this only shows.
#include <QAction>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/capture_dlg.h"
#include "app/copy_packet.h"
#include "app/detail_tree.h"
#include "app/filter_bar.h"
#include "app/find_bar.h"
#include "app/packet_list_model.h"
#include "capture/capture_session.h"
#include "common/message_texts.h"
#include "sessions/decode_dlg.h"
#include "sessions/tcp_packet.h"
#include "ui_capture_dlg.h"
#include "view/conversation_filter.h"

namespace {

constexpr int kNoteMs = 5000;
constexpr char kFilterItem[] = "Filter on this conversation";
constexpr char kDecodeItem[] = "Decode this conversation";

}  // namespace

void CCaptureDlg::SetUpView() {
    QTableView* list = m_ui->m_list;
    // The filter bar above the list and the find bar under it, in the list's place.
    auto* pane = new QWidget(m_ui->mainPanel);
    auto* column = new QVBoxLayout(pane);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    m_filterBar = new FilterBar(pane);
    m_findBar = new FindBar(pane);
    delete m_ui->m_mainLayout->replaceWidget(list, pane);
    column->addWidget(m_filterBar);
    column->addWidget(list, 1);
    column->addWidget(m_findBar);
    // The filter bar comes just before the list in the tab chain.
    setTabOrder(list->previousInFocusChain(),
                m_filterBar->findChild<QWidget*>(QStringLiteral("m_displayFilter")));

    connect(m_filterBar, &FilterBar::applyRequested, this, &CCaptureDlg::SetDisplayFilter);
    connect(m_model, &PacketListModel::filterRefused, m_filterBar, &FilterBar::ShowResult);
    connect(m_filterBar, &FilterBar::leaveRequested, list, [list] { list->setFocus(); });
    connect(m_findBar, &FindBar::findRequested, this, &CCaptureDlg::OnFind);
    connect(m_findBar, &FindBar::closeRequested, this, [this, list] {
        m_findBar->hide();
        list->setFocus();
    });
    const auto shortcut = [this](QKeySequence keys, auto slot) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Slash), [this] {
        m_filterBar->Edit()->setFocus(Qt::ShortcutFocusReason);
        m_filterBar->Edit()->selectAll();
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { m_findBar->Open(); });
    shortcut(QKeySequence(Qt::Key_F3), [this] { OnFind(true); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { OnFind(false); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_G), &CCaptureDlg::OnGoTo);

    QHeaderView* header = list->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    connect(header, &QHeaderView::sectionClicked, this, &CCaptureDlg::OnSortColumn);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, &CCaptureDlg::OnListMenu);

    // A rebuilt list selects the packet selected before, wherever it went.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this, list] {
        const int row = FirstSelectedRow(list);
        m_keepEntry.reset();
        if (row >= 0) m_keepEntry = m_model->StoreIndex(row);
        m_keepGeneration = m_model->Generation();
        m_keepScroll = list->verticalScrollBar()->value();
    });
    connect(m_model, &PacketListModel::viewRebuilt, this, [this, list](bool arrived) {
        const int row = m_keepEntry && m_keepGeneration == m_model->Generation()
                            ? m_model->RowOf(*m_keepEntry)
                            : -1;
        if (row >= 0) {
            list->selectionModel()->setCurrentIndex(
                m_model->index(row, 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        // Rows joining a sorted list leave it where it was.
        if (arrived)
            list->verticalScrollBar()->setValue(m_keepScroll);
        else if (row >= 0)
            list->scrollTo(m_model->index(row, 0), QAbstractItemView::PositionAtCenter);
        UpdateStatusBar();
    });
}

void CCaptureDlg::SetDisplayFilter(const QString& expression) {
    m_filterBar->SetText(expression);
    std::string error;
    if (!m_model->SetDisplayFilter(expression.toStdString(), error)) {
        m_filterBar->ShowResult(expression, QString::fromStdString(error));
        return;
    }
    m_filterBar->ShowResult(expression, {});
    UpdateStatusBar();
}

bool CCaptureDlg::ShownPackets(std::vector<StoredPacket>& packets) {
    if (!m_model->Filtered()) return false;
    packets = m_model->ShownPackets();
    return true;
}

void CCaptureDlg::SelectRow(int row) {
    QTableView* list = m_ui->m_list;
    const QModelIndex index = m_model->index(row, std::max(list->currentIndex().column(), 0));
    list->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->scrollTo(index);
}

void CCaptureDlg::ShowNote(const QString& note) {
    m_ui->m_statusBar->showMessage(note, kNoteMs);
}

void CCaptureDlg::OnFind(bool forward) {
    QString problem;
    const std::optional<FindPattern> pattern = m_findBar->Pattern(problem);
    if (!pattern) {
        if (!problem.isEmpty()) ShowNote(problem);
        if (m_findBar->isHidden() || problem.isEmpty()) m_findBar->Open();
        return;
    }
    const int selected = FirstSelectedRow(m_ui->m_list);
    const std::optional<size_t> from =
        selected >= 0 ? std::optional<size_t>(static_cast<size_t>(selected)) : std::nullopt;
    const ShownRows shown = m_model->Shown();
    const uint64_t generation = m_model->Generation();
    const QString what = m_findBar->Shown();
    m_model->Worker().Post([this, shown, generation, from, forward, pattern = *pattern,
                            what](const std::atomic<bool>& cancel) {
        const FindResult result =
            FindRow(m_packets, generation, shown, from, forward, pattern, &cancel);
        if (!result.complete) return;
        QMetaObject::invokeMethod(
            this,
            [this, result, shown, generation, what, forward] {
                // The list changed meanwhile: its rows are no longer these.
                const ShownRows now = m_model->Shown();
                if (generation != m_model->Generation() || now.rows != shown.rows ||
                    (!shown.rows && result.position && *result.position >= now.count))
                    return;
                if (!result.position) {
                    ShowNote(QStringLiteral("No packet contains \u201c%1\u201d").arg(what));
                    return;
                }
                SelectRow(static_cast<int>(*result.position));
                if (result.wrapped)
                    ShowNote(forward ? QStringLiteral("Find passed the last packet and went on "
                                                      "from the first")
                                     : QStringLiteral("Find passed the first packet and went on "
                                                      "from the last"));
            },
            Qt::QueuedConnection);
    });
}

void CCaptureDlg::OnGoTo() {
    if (m_model->rowCount() == 0) return;
    const int selected = FirstSelectedRow(m_ui->m_list);
    const int current = selected >= 0 ? static_cast<int>(m_model->StoreIndex(selected)) : 0;
    const int largest = static_cast<int>(std::max<size_t>(m_model->EntriesTaken(), 1) - 1);
    bool ok = false;
    const int num =
        QInputDialog::getInt(this, QStringLiteral("Go to packet"),
                             QStringLiteral("Packet number (Num):"), current, 0, largest, 1, &ok);
    if (!ok) return;
    int row = m_model->RowOf(static_cast<size_t>(num));
    if (row < 0) {
        const std::optional<size_t> nearest =
            NearestShown(m_model->Shown(), static_cast<size_t>(num));
        if (!nearest) return;
        row = static_cast<int>(*nearest);
        ShowNote(QStringLiteral("Packet %1 is not shown: packet %2 is the nearest shown")
                     .arg(num)
                     .arg(m_model->StoreIndex(row)));
    }
    SelectRow(row);
}

void CCaptureDlg::OnSortColumn(int column) {
    QHeaderView* header = m_ui->m_list->horizontalHeader();
    RowOrder order;
    if (column != COL_NUM) {
        const RowOrder now = m_model->Order();
        order.column = column;
        order.descending = now.column == column && !now.descending;
    }
    header->setSortIndicatorShown(!order.CaptureOrder());
    header->setSortIndicator(column, order.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_model->SetOrder(order);
}

void CCaptureDlg::OnListMenu(const QPoint& position) {
    QTableView* list = m_ui->m_list;
    const QModelIndex index = list->indexAt(position);
    if (!index.isValid()) return;
    SelectRow(index.row());
    const std::optional<StoredPacket> packet = m_model->Packet(index.row());
    if (!packet) return;
    const std::string conversation = ConversationFilter(packet->root.get());
    QMenu menu(this);
    QAction* filter = menu.addAction(QString::fromLatin1(kFilterItem));
    filter->setEnabled(!conversation.empty());
    QAction* decode = menu.addAction(QString::fromLatin1(kDecodeItem));
    decode->setEnabled(AsTcpPacket(packet->root.get()).has_value());
    const QAction* chosen = menu.exec(list->viewport()->mapToGlobal(position));
    if (chosen == filter) {
        SetDisplayFilter(QString::fromStdString(conversation));
    } else if (chosen == decode) {
        OnDecode();
    }
}

void CCaptureDlg::OnSaveXml() {
    // A stream being read may empty the store under the save, as a capture may.
    if ((m_session && m_session->Phase() == CapturePhase::Running) ||
        (m_source && m_source->Busy())) {
        ShowMessage(kStopFirstMessage, kWarningCaption);
        return;
    }
    // The rows shown, in capture order; the copy holds the store's lock only
    // while it copies the references.
    const uint64_t generation = m_model->Generation();
    std::vector<StoredPacket> packets = m_model->ShownPackets();
    if (packets.empty()) {
        ShowMessage(kNoPacketMessage, kWarningCaption);
        return;
    }
    const QString path = m_logFileChooser ? m_logFileChooser(this) : AskLogFile(this);
    if (path.isEmpty()) return;
    const size_t count = packets.size();
    const bool whole = count == m_packets.Count();
    const int result = SaveLogWithProgress(this, path.toStdString(), std::move(packets));
    if (result == SAVE_OK) {
        if (m_source && whole) m_source->Guard().MarkSaved(generation, count);
        ShowMessage("Packets saved to the XML file !", kSuccessCaption);
    } else if (result != SAVE_CANCELLED) {
        ShowMessage("Couldn't save the log file !", kErrorCaption);
    }
}

void CCaptureDlg::OnDecode() {
    // One copy of the references of the rows shown, in capture order: the
    // window keeps the chains alive whatever happens to the store while it is open.
    std::vector<size_t> indices;
    const std::vector<StoredPacket> stored = m_model->ShownPackets(&indices);
    if (stored.empty()) {
        ShowMessage("You must have captured packets to access this feature", kWarningCaption);
        return;
    }
    PacketSnapshot roots;
    roots.reserve(stored.size());
    bool decodable = false;
    for (const StoredPacket& packet : stored) {
        decodable = decodable || AsTcpPacket(packet.root.get()).has_value();
        roots.push_back(packet.root);
    }
    if (!decodable) {
        ShowMessage("Sorry but there is no packet available for decode", kWarningCaption);
        return;
    }
    // The selected row's place among the packets handed over; -1 for none.
    int preselect = -1;
    if (const int row = FirstSelectedRow(m_ui->m_list); row >= 0) {
        const auto at = std::lower_bound(indices.begin(), indices.end(), m_model->StoreIndex(row));
        if (at != indices.end() && *at == m_model->StoreIndex(row))
            preselect = static_cast<int>(at - indices.begin());
    }
    CDecodeDlg decode(std::move(roots), preselect, this);
    decode.exec();
}

void CCaptureDlg::OnCopyPacket() {
    // The copied reference keeps the chain alive whatever happens to the store.
    const std::optional<StoredPacket> packet = m_model->Packet(FirstSelectedRow(m_ui->m_list));
    if (!packet) return;
    CopyPacketToClipboard(this, packet->root.get());
}
