#include "app/capture_dlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "app/about_dlg.h"
#include "app/always_on_top.h"
#include "app/copy_packet.h"
#include "app/detail_tree.h"
#include "app/packet_list_model.h"
#include "app/window_request.h"
#include "capture/capture_session.h"
#include "common/message_texts.h"
#include "controls/icon_button.h"
#include "controls/window_alpha.h"
#include "hotkey/hotkey.h"
#include "sessions/decode_dlg.h"
#include "sessions/tcp_packet.h"
#include "ui_capture_dlg.h"
#include "xml/capture_log.h"
#include "xml/detail_items.h"

namespace {

constexpr int kColumnWidths[COL_COUNT] = {45, 60, 55, 120, 120, 68, 68, 55};
// The packet list can shrink to its header and this many rows.
constexpr int kFewestRows = 3;

constexpr char kAboutItem[] = "&About TapwatchGUI...";

// Icons of the Open and Save buttons.
constexpr unsigned kOpenIcon = 170;
constexpr unsigned kSavePcapIcon = 171;

// The command columns: every control as wide as the template's, the buttons as
// high; the pitch is the columns' spacing.
constexpr int kColumnWidth = 124;
constexpr int kButtonHeight = 32;
constexpr int kAlwaysOnTopHeight = 28;
// The template's window with two more command buttons at the same pitch and
// the status bar: the smallest first size, and the window's minimum.
constexpr QSize kFirstSize(846, 650);
// The banner's picture, drawn at the template's size and stretched with it.
constexpr QSize kBannerSize(38, 466);

// The list's font: Tahoma where it is installed, else a sans font that is.
QFont ListFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    if (QFontInfo(font).family().compare(QLatin1String("Tahoma"), Qt::CaseInsensitive) != 0) {
        font = QFont(QStringLiteral("DejaVu Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(13);
    }
    return font;
}

}  // namespace

CCaptureDlg::CCaptureDlg(bool startHotKey, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CaptureDlg>()), m_filterDlg(this) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/icons/128.svg")));
    m_ui->m_banner->setPixmap(QIcon(QStringLiteral(":/bitmaps/164.svg")).pixmap(kBannerSize));

    SetUpButtons();
    SetUpList();
    SetUpInterfaceList();
    SetUpStatusBar();
    SetUpView();
    m_ui->m_slider->setRange(90, 255);
    m_ui->m_slider->setValue(255);

    m_session = std::make_unique<CaptureSession>(*this, m_packets, m_filterDlg.Filter(),
                                                 m_filterDlg.DataContains());
    ClearPackets();
    m_source = std::make_unique<CaptureSource>(
        *this, *this, m_packets, m_filterDlg.Filter(), m_filterDlg.DataContains(),
        [this] { return m_session ? m_session->Phase() : CapturePhase::Idle; });
    setAcceptDrops(true);

    connect(m_ui->m_btnCapture, &QPushButton::clicked, this, &CCaptureDlg::OnCapture);
    connect(m_ui->m_btnClear, &QPushButton::clicked, this, &CCaptureDlg::OnClear);
    connect(m_ui->m_btnSaveXml, &QPushButton::clicked, this, &CCaptureDlg::OnSaveXml);
    connect(m_ui->m_btnAbout, &QPushButton::clicked, this, &CCaptureDlg::OnAbout);
    connect(m_ui->m_btnDecode, &QPushButton::clicked, this, &CCaptureDlg::OnDecode);
    connect(m_ui->m_btnSetFilter, &QPushButton::clicked, this, &CCaptureDlg::OnSetFilter);
    connect(m_ui->m_btnCopy, &QPushButton::clicked, this, &CCaptureDlg::OnCopyPacket);
    connect(m_ui->m_btnStatistics, &QPushButton::clicked, this, &CCaptureDlg::OnStatistics);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this), &QShortcut::activated, this,
            &CCaptureDlg::OnStatistics);
    connect(m_ui->m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CCaptureDlg::OnPacketSelectionChanged);
    m_ui->m_bytes->FollowTree(m_ui->m_tree);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_detailsRow = -1;
        m_numDigits = m_timeDigits = 0;
    });
    connect(m_model, &PacketListModel::refreshed, this, &CCaptureDlg::FitNumberColumns);
    connect(m_ui->m_btnAlwaysOnTop, &QPushButton::toggled, this, &CCaptureDlg::OnAlwaysOnTop);
    connect(m_ui->m_btnOpen, &QPushButton::clicked, this, &CCaptureDlg::OnOpen);
    connect(m_ui->m_btnSave, &QPushButton::clicked, this, &CCaptureDlg::OnSavePcap);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, this,
            &CCaptureDlg::OnOpen);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, this,
            &CCaptureDlg::OnSavePcap);

    if (startHotKey) {
        m_hotKeyRequest = WindowRequest::Create(*this, [this] { OnHotKey(); });
        m_hotKey = StartHotKeyPoller([request = m_hotKeyRequest](std::stop_token stop) {
            return request->RequestAndWait(stop);
        });
    }
    UpdateStatusBar();
    SetFirstSize();
    // The keyboard starts in the packet list.
    m_ui->m_list->setFocus(Qt::OtherFocusReason);
    // The filter sees the slider's mouse releases, and every dialog and
    // progress window shown over this one and hidden again, so that the window
    // gets the keyboard back once they have gone.
    qApp->installEventFilter(this);
}

CCaptureDlg::~CCaptureDlg() {
    qApp->removeEventFilter(this);
    ShutDown();
    m_ui->m_list->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
}

bool CCaptureDlg::Initialise() {
    return m_session->FillDeviceList() != CaptureSession::kDevicesFailed;
}

void CCaptureDlg::SetUpButtons() {
    struct Setup {
        CIconButton* button;
        unsigned icon;
        const char* tooltip;
    };
    const Setup setups[] = {
        {m_ui->m_btnCapture, IDI_CAPTURE,
         "Capture the packet\nPress Ctrl+F12 from any application for starting/stopping a capture"},
        {m_ui->m_btnClear, 134, "Clear the log window"},
        {m_ui->m_btnSaveXml, 137, "Save the log as an XML file"},
        {m_ui->m_btnAbout, 138, nullptr},
        {m_ui->m_btnDecode, 141, "Reassemble the TCP session in human readable format"},
        {m_ui->m_btnSetFilter, 150, "Set a filter for the next capture"},
        {m_ui->m_btnCopy, 143, "Copy the current selected packet to clipboard"},
        {m_ui->m_btnStatistics, 172,
         "Statistics: I/O graph, protocol hierarchy, conversations and endpoints (Ctrl+T)"},
        {m_ui->m_btnOpen, kOpenIcon, "Open a capture file (pcap, pcapng)"},
        {m_ui->m_btnSave, kSavePcapIcon, "Save the capture as a pcap file"},
    };
    for (const Setup& s : setups) {
        s.button->SetIconResource(s.icon);
        s.button->SetFlat(false, true);
        s.button->SetTooltipText(s.tooltip, true);
        s.button->setAutoDefault(false);
    }
    // Every control of the two command columns gets the column's width, and
    // every button the template's height, whatever the column holds.
    for (QVBoxLayout* column : {m_ui->m_commandColumn, m_ui->m_detailsColumn}) {
        for (int i = 0; i < column->count(); ++i) {
            QWidget* control = column->itemAt(i)->widget();
            if (control == nullptr) continue;
            control->setFixedWidth(kColumnWidth);
            if (qobject_cast<CIconButton*>(control) != nullptr)
                control->setFixedHeight(kButtonHeight);
        }
    }
    m_ui->m_btnAlwaysOnTop->setFixedHeight(kAlwaysOnTopHeight);
}

void CCaptureDlg::SetUpList() {
    m_model = new PacketListModel(m_packets, this);
    QTableView* list = m_ui->m_list;
    list->setModel(m_model);
    list->setFont(ListFont());
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSortingEnabled(false);
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* header = list->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 0; c < COL_COUNT; ++c) list->setColumnWidth(c, kColumnWidths[c]);
    // The last column takes whatever width the others leave, never less than
    // its own.
    header->setMinimumSectionSize(
        std::min(*std::min_element(std::begin(kColumnWidths), std::end(kColumnWidths)),
                 header->minimumSectionSize()));
    header->setStretchLastSection(true);
    // Uniform rows keep a list of a million rows as quick as one of ten.
    QHeaderView* rows = list->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(QFontMetrics(list->font()).height() + 4);
    // The Details pane may take all of the height but the header and a few
    // rows, with room for the horizontal scroll bar that wide columns bring.
    list->setMinimumHeight(header->sizeHint().height() + kFewestRows * rows->defaultSectionSize() +
                           2 * list->frameWidth() +
                           list->horizontalScrollBar()->sizeHint().height());
    connect(m_model, &PacketListModel::rowsArrived, list, [list] { list->scrollToBottom(); });
}

void CCaptureDlg::SetUpInterfaceList() {
    QComboBox* combo = m_ui->m_combo;
    // The closed box keeps the column's width and shows the whole entry as its
    // tooltip; the open list is as wide as its longest entry.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(1);
    connect(combo, &QComboBox::currentIndexChanged, this, [combo](int index) {
        combo->setToolTip(combo->itemData(index, Qt::ToolTipRole).toString());
    });
}

void CCaptureDlg::FitNumberColumns() {
    QTableView* list = m_ui->m_list;
    const auto digits = [](uint64_t value) {
        int n = 1;
        for (; value >= 10; value /= 10) ++n;
        return n;
    };
    const auto widen = [list](int column, int count) {
        // Cells of digits only: as wide as the widest digit repeated, with the
        // margins the item delegate puts around a cell's text.
        const QFontMetrics metrics(list->font());
        QChar widest = u'0';
        for (char16_t d = u'1'; d <= u'9'; ++d) {
            if (metrics.horizontalAdvance(QChar(d)) > metrics.horizontalAdvance(widest))
                widest = QChar(d);
        }
        QStyleOptionViewItem option;
        option.initFrom(list->viewport());
        option.font = list->font();
        option.fontMetrics = metrics;
        option.features = QStyleOptionViewItem::HasDisplay;
        option.text = QString(count, widest);
        const int need = list->style()
                             ->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list)
                             .width();
        // The last column also takes the spare width: this is its least.
        if (need > list->columnWidth(column)) list->setColumnWidth(column, need);
    };
    const size_t rows = m_model->EntriesTaken();
    const int numDigits = digits(rows > 0 ? static_cast<uint64_t>(rows - 1) : 0);
    if (numDigits > m_numDigits) {
        m_numDigits = numDigits;
        widen(COL_NUM, numDigits);
    }
    const int timeDigits = digits(m_model->LargestTime());
    if (timeDigits > m_timeDigits) {
        m_timeDigits = timeDigits;
        widen(COL_TIME, timeDigits);
    }
}

void CCaptureDlg::SetFirstSize() {
    // The lists take the height: the packet list most of it, three parts to
    // one for the tree and one for the bytes.
    m_ui->m_splitter->setStretchFactor(0, 3);
    m_ui->m_splitter->setStretchFactor(1, 1);
    m_ui->m_splitter->setStretchFactor(2, 1);
    // The command column stands beside the panes: its first control level
    // with the top of the packet list (below the panel's title), its last
    // with the bottom of the bytes.
    const int top =
        m_ui->mainPanel->contentsMargins().top() + m_ui->m_mainLayout->contentsMargins().top();
    const int bottom = m_ui->bytesPanel->contentsMargins().bottom() +
                       m_ui->m_bytesLayout->contentsMargins().bottom();
    QMargins column = m_ui->m_rightColumn->contentsMargins();
    column.setTop(top);
    column.setBottom(bottom);
    m_ui->m_rightColumn->setContentsMargins(column);
    // Controls not shown yet leave their layouts' cached sizes as they were
    // when their own sizes change: measure afresh.
    for (QLayout* layout : findChildren<QLayout*>()) layout->invalidate();
    layout()->activate();
    const QSize first = kFirstSize.expandedTo(sizeHint()).expandedTo(minimumSizeHint());
    setMinimumSize(first);
    resize(first);
}

CIconButton* CCaptureDlg::Button(int controlId) const {
    switch (controlId) {
        case IDC_CAPTURE:
            return m_ui->m_btnCapture;
        case IDC_CLEAR:
            return m_ui->m_btnClear;
        case IDC_SAVE_XML:
            return m_ui->m_btnSaveXml;
        case IDC_DECODE:
            return m_ui->m_btnDecode;
        case IDC_SET_FILTER:
            return m_ui->m_btnSetFilter;
        default:
            return nullptr;
    }
}

void CCaptureDlg::RunOnWindowThread(std::function<void()> task) {
    QMetaObject::invokeMethod(
        this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void CCaptureDlg::ResetInterfaceList() {
    m_ui->m_combo->clear();
    m_ui->m_combo->view()->setMinimumWidth(0);
}

void CCaptureDlg::AddInterfaceEntry(const std::string& text, const std::string& wholeText) {
    QComboBox* combo = m_ui->m_combo;
    combo->addItem(QString::fromStdString(text));
    combo->setItemData(combo->count() - 1, QString::fromStdString(wholeText), Qt::ToolTipRole);
    // The open list grows to hold this entry whole, room for a scroll bar
    // included.
    QAbstractItemView* view = combo->view();
    QStyleOptionViewItem option;
    option.initFrom(view);
    // The delegate would otherwise take the list's present width as a minimum.
    option.rect = QRect();
    const QModelIndex index = combo->model()->index(combo->count() - 1, 0);
    const int entry = std::max(view->itemDelegate()->sizeHint(option, index).width(),
                               view->fontMetrics().horizontalAdvance(combo->itemText(index.row())));
    const int needed =
        entry + 2 * view->frameWidth() + view->verticalScrollBar()->sizeHint().width();
    view->setMinimumWidth(std::max(view->minimumWidth(), needed));
    if (combo->count() == 1) combo->setToolTip(combo->itemData(0, Qt::ToolTipRole).toString());
}

void CCaptureDlg::SelectInterface(int index) {
    m_ui->m_combo->setCurrentIndex(index);
}

int CCaptureDlg::SelectedInterface() const {
    return m_ui->m_combo->currentIndex();
}

void CCaptureDlg::EnableControl(int controlId, bool enable) {
    if (controlId == IDC_INTERFACES) {
        m_ui->m_combo->setEnabled(enable);
    } else if (CIconButton* button = Button(controlId)) {
        button->setEnabled(enable);
    }
}

void CCaptureDlg::SetCaptureButton(int iconId, const std::string& caption) {
    m_ui->m_btnCapture->SetIconResource(static_cast<unsigned>(iconId));
    m_ui->m_btnCapture->setText(QString::fromStdString(caption));
    if (iconId == IDI_STOP && m_session) {
        // A capture starts: on the selected interface, with the filter the
        // controller is about to compile.
        const std::vector<InterfaceEntry>& interfaces = m_session->Interfaces();
        const size_t selected = static_cast<size_t>(std::max(SelectedInterface(), 0));
        SetShownSource({SourceKind::Interface,
                        selected < interfaces.size() ? interfaces[selected].name : std::string()});
        m_strCaptureFilter = *m_filterDlg.Filter().Load();
    }
}

void CCaptureDlg::ShowMessage(const std::string& text, const std::string& caption) {
    if (m_messageSink) {
        m_messageSink(text, caption);
        return;
    }
    QMessageBox box(caption == kErrorCaption ? QMessageBox::Critical : QMessageBox::Warning,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    this);
    if (caption == kSuccessCaption) box.setIcon(QMessageBox::Information);
    box.exec();
}

void CCaptureDlg::ClearPackets() {
    m_model->ClearPackets();
    // The caption names the file whose rows the list shows, if any.
    setWindowTitle(QString::fromLatin1(kCaption));
}

void CCaptureDlg::OnCapture() {
    if (m_session == nullptr || m_source == nullptr) return;
    if (!m_source->BeforeCaptureToggle()) return;
    m_session->OnCapture();
}

void CCaptureDlg::OnHotKey() {
    if (m_session == nullptr || m_source == nullptr) return;
    if (m_source->StopForHotKey()) return;
    m_session->OnCapture();
}

void CCaptureDlg::OnClear() {
    if (m_session && m_session->Phase() == CapturePhase::Running) {
        ShowMessage(kStopFirstMessage, kWarningCaption);
        return;
    }
    ClearPackets();
}

void CCaptureDlg::OnSetFilter() {
    m_filterDlg.exec();
}

void CCaptureDlg::OnPacketSelectionChanged() {
    const int row = FirstSelectedRow(m_ui->m_list);
    if (row < 0 || row == m_detailsRow) return;
    m_detailsRow = row;
    m_ui->m_tree->clear();
    m_ui->m_bytes->Clear();
    const std::optional<StoredPacket> packet = m_model->Packet(row);
    if (!packet) return;
    std::vector<DetailItem> items;
    if (!DetailItemsOf(*packet, items)) return;
    FillDetailTree(m_ui->m_tree, items);
    m_ui->m_bytes->ShowFrame(*packet);
}

void CCaptureDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CCaptureDlg::OnAlwaysOnTop(bool checked) {
    SetAlwaysOnTop(this, checked);
}

void CCaptureDlg::OnTransparency() {
    OnTransparencyReleased(this, m_ui->m_slider->value());
}

bool CCaptureDlg::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
        watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (IsOwnModal(widget)) TrackModal(widget, event->type() == QEvent::Show);
        return false;
    }
    // The opacity follows the slider when the mouse lets go of it: after a
    // drag of the thumb and after a click on the track, not on keyboard moves.
    // Other buttons neither drag nor click the slider.
    if (watched == m_ui->m_slider && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        QMetaObject::invokeMethod(this, &CCaptureDlg::OnTransparency, Qt::QueuedConnection);
    }
    // Home and End go to the first and the last packet, as in a list: the
    // table would move along the row, and rows are what is selected here.
    if (watched == m_ui->m_list && event->type() == QEvent::KeyPress && m_model->rowCount() > 0) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Home || key == Qt::Key_End) {
            QTableView* list = m_ui->m_list;
            const int row = key == Qt::Key_End ? m_model->rowCount() - 1 : 0;
            list->setCurrentIndex(m_model->index(row, std::max(list->currentIndex().column(), 0)));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CCaptureDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            close();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter presses the focused push button and does nothing elsewhere:
            // the packet list holds the keyboard most of the time.
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->animateClick();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CCaptureDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The window system offers no window menu to extend, so the about item
    // sits in the window's own context menu.
    QMenu menu(this);
    menu.addAction(QString::fromLatin1(kAboutItem), this, &CCaptureDlg::OnAbout);
    menu.exec(event->globalPos());
}

void CCaptureDlg::closeEvent(QCloseEvent* event) {
    if (!m_bShutDown && m_source && !m_source->ConfirmClose()) {
        event->ignore();
        return;
    }
    ShutDown();
    QDialog::closeEvent(event);
}

void CCaptureDlg::ShutDown() {
    if (m_bShutDown) return;
    m_bShutDown = true;
    // The poller may be waiting for a toggle that this thread will never run
    // now; stopping it ends that wait.
    m_hotKey.reset();
    if (m_hotKeyRequest) m_hotKeyRequest->Disconnect();
    HideReadProgress();
    // Stops a file or stream being read; its worker ends at once.
    m_source.reset();
    // Stops a running capture and joins its controller and readers.
    m_session.reset();
}
