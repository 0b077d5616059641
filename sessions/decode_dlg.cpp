#include "sessions/decode_dlg.h"

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QIcon>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <mutex>
#include <thread>
#include <utility>

#include "controls/icon_button.h"
#include "controls/window_alpha.h"
#include "resources/init_resources.h"
#include "ui_decode_dlg.h"

namespace {

// The template's size of the window.
constexpr QSize kFirstSize(872, 488);
// A session row at its widest: both ports and the address at their longest.
constexpr char kWidestSessionRow[] = "65535 -> 255.255.255.255[65535]";

// Icon resources of the images kHostImage, kCurrentHostImage and kSessionImage,
// loaded once: every host item and session row shares them.
const QIcon& ImageIcon(int image) {
    static const QIcon none;
    static const QIcon icons[] = {QIcon(QStringLiteral(":/icons/153.svg")),
                                  QIcon(QStringLiteral(":/icons/154.svg")),
                                  QIcon(QStringLiteral(":/icons/163.svg"))};
    if (image < 0 || image >= static_cast<int>(std::size(icons))) return none;
    return icons[image];
}

QTextCharFormat RunFormat(const StyledRun& run) {
    QTextCharFormat format;
    format.setForeground(QColor(run.r, run.g, run.b));
    format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    format.setFontUnderline(false);
    return format;
}

void AppendRunsAt(QTextCursor& cursor, const std::vector<StyledRun>& runs, bool& pendingCr) {
    // Neighbouring runs of one format go in as one piece; the whole append is
    // one edit, laid out once.
    // The line breaks are those of AppendShownText, the same text the
    // command-line rendering writes.
    cursor.beginEditBlock();
    std::string piece;
    for (size_t i = 0; i < runs.size(); ++i) {
        AppendShownText(piece, runs[i].text, pendingCr);
        const bool last = i + 1 == runs.size();
        if (last || runs[i + 1].Colour() != runs[i].Colour() || runs[i + 1].bold != runs[i].bold) {
            // The renderer writes bytes, not UTF-8: every byte is one character.
            cursor.insertText(
                QString::fromLatin1(piece.data(), static_cast<qsizetype>(piece.size())),
                RunFormat(runs[i]));
            piece.clear();
        }
    }
    cursor.endEditBlock();
}

}  // namespace

QFont DecodeStreamFont() {
    QFont font(QStringLiteral("Lucida Sans Unicode"));
    font.setPixelSize(15);
    font.setWeight(QFont::Normal);
    if (QFontInfo(font).family().compare(QLatin1String("Lucida Sans Unicode"),
                                         Qt::CaseInsensitive) != 0) {
        font = QFont(QStringLiteral("DejaVu Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(15);
    }
    return font;
}

// What the lookup threads share with the window: the window while it lives.
// A thread posts its answer holding the lock, so the window cannot go while a
// post is under way, and after the window cut the channel nothing is posted.
struct CDecodeDlg::LookupChannel {
    std::mutex lock;
    CDecodeDlg* window = nullptr;
};

CDecodeDlg::CDecodeDlg(PacketSnapshot packets, int preselect, QWidget* parent,
                       std::shared_ptr<const IHostResolver> resolver)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::DecodeDlg>()),
      m_channel(std::make_shared<LookupChannel>()) {
    InitTapwatchResources();
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_channel->window = this;
    if (!resolver) resolver = std::make_shared<CSystemHostResolver>();

    const struct {
        CIconButton* button;
        unsigned icon;
        const char* tooltip;
    } buttons[] = {
        {m_ui->m_btnClose, 134, "Close this window"},
        {m_ui->m_btnCopy, 143, "Copy the current decoded stream to clipboard"},
    };
    for (const auto& b : buttons) {
        b.button->SetIconResource(b.icon);
        b.button->SetTooltipText(b.tooltip, true);
        b.button->SetFlat(false, true);
        b.button->setAutoDefault(false);
    }

    for (QTextEdit* box : {m_ui->m_editUpper, m_ui->m_editLower}) {
        box->document()->setDocumentMargin(1);
        box->setUndoRedoEnabled(false);
    }
    m_ui->m_editStream->setUndoRedoEnabled(false);
    m_ui->m_editStream->setFont(DecodeStreamFont());
    m_ui->m_listSessions->setUniformItemSizes(true);
    SetUpLayout();
    m_ui->m_slider->installEventFilter(this);

    connect(m_ui->m_btnClose, &QPushButton::clicked, this, [this] { done(0); });
    connect(m_ui->m_btnCopy, &QPushButton::clicked, this, &CDecodeDlg::OnCopy);
    // `activated` comes from the user only; the logic's own changes stay quiet.
    connect(m_ui->m_comboHost, &QComboBox::activated, this, &CDecodeDlg::OnHostActivated);
    connect(m_ui->m_comboFormat, &QComboBox::activated, this,
            [this](int item) { m_logic->OnDataFormat(item); });
    connect(m_ui->m_comboStyle, &QComboBox::activated, this,
            [this](int item) { m_logic->OnHeaderStyle(item); });
    connect(m_ui->m_listSessions, &QListWidget::itemSelectionChanged, this,
            &CDecodeDlg::OnSessionSelectionChanged);
    connect(m_ui->m_checkResolve, &QCheckBox::clicked, this, [this] { m_logic->OnResolveDns(); });

    m_logic = std::make_unique<CDecodeLogic>(*this, std::move(packets), std::move(resolver));
    m_logic->Initialise(preselect);
}

void CDecodeDlg::SetUpLayout() {
    // The left side takes the spare width; the session list keeps the width
    // of the widest row a session can have, so no row is ever cut.
    m_ui->m_windowLayout->setStretch(0, 1);
    m_ui->m_windowLayout->setStretch(1, 0);
    m_ui->m_decodedLayout->setStretch(0, 1);
    m_ui->m_groupSessions->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    QListWidget* list = m_ui->m_listSessions;
    QStyleOptionViewItem row;
    row.initFrom(list);
    row.font = list->font();
    row.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    row.text = QString::fromLatin1(kWidestSessionRow);
    row.icon = ImageIcon(kSessionImage);
    row.decorationSize = list->iconSize();
    const int rowWidth =
        list->style()->sizeFromContents(QStyle::CT_ItemViewItem, &row, QSize(), list).width();
    list->setMinimumWidth(rowWidth + 2 * list->frameWidth() + 2 * list->spacing() +
                          list->verticalScrollBar()->sizeHint().width());

    // Both format boxes as wide as the wider one needs.
    const int formatWidth =
        std::max(m_ui->m_comboFormat->sizeHint().width(), m_ui->m_comboStyle->sizeHint().width());
    m_ui->m_comboFormat->setMinimumWidth(formatWidth);
    m_ui->m_comboStyle->setMinimumWidth(formatWidth);

    setSizeGripEnabled(true);
    SetFirstSize();
}

void CDecodeDlg::SetFirstSize() {
    // The template's size, or what the controls need when that is more; never
    // smaller. Controls not shown yet leave their layouts' cached sizes as they
    // were when their own sizes change: measure afresh.
    for (QLayout* layout : findChildren<QLayout*>()) layout->invalidate();
    layout()->activate();
    const QSize first = kFirstSize.expandedTo(sizeHint()).expandedTo(minimumSizeHint());
    setMinimumSize(first);
    resize(first);
}

CDecodeDlg::~CDecodeDlg() {
    // Answers still on their way are dropped from here on.
    std::scoped_lock lock(m_channel->lock);
    m_channel->window = nullptr;
}

void CDecodeDlg::done(int result) {
    if (m_logic) m_logic->CancelLookups();
    QDialog::done(result);
}

QTextEdit* CDecodeDlg::Box(EndpointBox box) const {
    return box == EndpointBox::Upper ? m_ui->m_editUpper : m_ui->m_editLower;
}

void CDecodeDlg::InsertHostItem(int index, const std::string& text, int image, int selectedImage) {
    QComboBox* combo = m_ui->m_comboHost;
    const QSignalBlocker block(combo);
    index = std::clamp(index, 0, combo->count());
    combo->insertItem(index, ImageIcon(image), QString::fromStdString(text));
    m_hostImages.insert(m_hostImages.begin() + index, {image, selectedImage});
    // An insertion before the current item moves it.
    if (m_nShownCurrent >= index) ++m_nShownCurrent;
    UpdateHostImages();
}

void CDecodeDlg::SetCurrentHost(int index) {
    const QSignalBlocker block(m_ui->m_comboHost);
    m_ui->m_comboHost->setCurrentIndex(index < m_ui->m_comboHost->count() ? index : -1);
    UpdateHostImages();
}

int CDecodeDlg::CurrentHost() const {
    return m_ui->m_comboHost->currentIndex();
}

void CDecodeDlg::UpdateHostImages() {
    QComboBox* combo = m_ui->m_comboHost;
    const int current = combo->currentIndex();
    if (current == m_nShownCurrent) return;
    const auto show = [&](int item, bool selected) {
        if (item < 0 || item >= combo->count() || item >= static_cast<int>(m_hostImages.size()))
            return;
        const auto [image, selectedImage] = m_hostImages[static_cast<size_t>(item)];
        combo->setItemIcon(item, ImageIcon(selected ? selectedImage : image));
    };
    show(m_nShownCurrent, false);
    show(current, true);
    m_nShownCurrent = current;
}

void CDecodeDlg::OnHostActivated() {
    UpdateHostImages();
    m_logic->OnHostChanged();
}

void CDecodeDlg::ClearSessionRows() {
    const QSignalBlocker block(m_ui->m_listSessions);
    m_ui->m_listSessions->clear();
}

void CDecodeDlg::InsertSessionRow(int row, const std::string& text, int image) {
    QListWidget* list = m_ui->m_listSessions;
    const QSignalBlocker block(list);
    const QString label = QString::fromStdString(text);
    auto* item = new QListWidgetItem(ImageIcon(image), label);
    item->setToolTip(label);
    list->insertItem(std::clamp(row, 0, list->count()), item);
}

void CDecodeDlg::SelectSessionRow(int row) {
    QListWidget* list = m_ui->m_listSessions;
    const QSignalBlocker block(list);
    // Selecting is not focusing: the keyboard stays where the user (or, at
    // opening, the system) put it, so the host selector keeps stepping.
    list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    if (QListWidgetItem* item = list->item(row)) list->scrollToItem(item);
}

void CDecodeDlg::OnSessionSelectionChanged() {
    const QList<QListWidgetItem*> selected = m_ui->m_listSessions->selectedItems();
    if (selected.isEmpty()) return;
    m_logic->OnSessionSelected(m_ui->m_listSessions->row(selected.front()));
}

void CDecodeDlg::SetEndpointText(EndpointBox box, const std::string& text) {
    Box(box)->setPlainText(QString::fromStdString(text));
}

void CDecodeDlg::AppendEndpointRun(EndpointBox box, const StyledRun& run) {
    QTextCursor cursor(Box(box)->document());
    cursor.movePosition(QTextCursor::End);
    // Host names may be UTF-8; the one-line box takes no line breaks.
    QString text = QString::fromStdString(run.text);
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    cursor.insertText(text, RunFormat(run));
}

void CDecodeDlg::ClearStream() {
    m_ui->m_editStream->clear();
    m_bStreamPendingCr = false;
}

void CDecodeDlg::AppendStreamRuns(const std::vector<StyledRun>& runs) {
    QTextCursor cursor(m_ui->m_editStream->document());
    cursor.movePosition(QTextCursor::End);
    AppendRunsAt(cursor, runs, m_bStreamPendingCr);
}

void CDecodeDlg::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

bool CDecodeDlg::IsResolveDnsChecked() const {
    return m_ui->m_checkResolve->isChecked();
}

void CDecodeDlg::RepaintNow() {
    if (isVisible()) repaint();
}

void CDecodeDlg::StartEndpointLookup(EndpointLookup lookup) {
    std::thread([channel = m_channel, lookup = std::move(lookup)] {
        lookup.Run([&channel](EndpointAnswer answer) {
            std::scoped_lock lock(channel->lock);
            if (channel->window == nullptr) return;
            QPointer<CDecodeDlg> window(channel->window);
            QMetaObject::invokeMethod(
                channel->window,
                [window, answer = std::move(answer)] {
                    if (window && window->m_logic) window->m_logic->OnEndpointResolved(answer);
                },
                Qt::QueuedConnection);
        });
    }).detach();
}

void CDecodeDlg::OnCopy() {
    QPlainTextEdit* stream = m_ui->m_editStream;
    const QTextCursor cursor = stream->textCursor();
    // The user's selection, or the whole stream when there is none.
    const QString text =
        cursor.hasSelection() ? cursor.selection().toPlainText() : stream->toPlainText();
    QApplication::clipboard()->setText(text);
}

void CDecodeDlg::OnTransparency() {
    OnTransparencyReleased(this, m_ui->m_slider->value());
}

bool CDecodeDlg::eventFilter(QObject* watched, QEvent* event) {
    // The opacity follows the slider when the mouse lets go of it, after a
    // drag of the thumb or a click on the track; keyboard moves wait for that.
    // Other mouse buttons neither drag nor click the slider.
    if (watched == m_ui->m_slider && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        QMetaObject::invokeMethod(this, &CDecodeDlg::OnTransparency, Qt::QueuedConnection);
    return QDialog::eventFilter(watched, event);
}
