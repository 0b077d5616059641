#include "app/filter_bar.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr char kFailedStyle[] = "QLineEdit { background: #ffd7d7; }";

}  // namespace

FilterBar::FilterBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("m_filterBar"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    auto* label = new QLabel(QStringLiteral("Display filter:"), this);
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("m_displayFilter"));
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    m_combo->setMaxCount(kHistory);
    m_combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_combo->setMinimumContentsLength(10);
    m_combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    QLineEdit* edit = m_combo->lineEdit();
    edit->setPlaceholderText(QStringLiteral("pcap expression, as tcpdump takes (Ctrl+/)"));
    edit->setClearButtonEnabled(true);
    // The line edit's keys come through the combo box, its focus proxy.
    m_combo->installEventFilter(this);
    edit->installEventFilter(this);
    label->setBuddy(m_combo);
    row->addWidget(label);
    row->addWidget(m_combo, 1);
    column->addLayout(row);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("m_displayFilterError"));
    m_message->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_message->setWordWrap(true);
    m_message->hide();
    column->addWidget(m_message);

    // The clear button empties the edit and shows every row at once.
    for (QAction* action : edit->findChildren<QAction*>()) {
        connect(action, &QAction::triggered, this, [this] { emit applyRequested(QString()); });
    }
    // An expression picked from the history applies as typed.
    connect(m_combo, &QComboBox::activated, this,
            [this](int index) { emit applyRequested(m_combo->itemText(index)); });
}

QLineEdit* FilterBar::Edit() const {
    return m_combo->lineEdit();
}

QString FilterBar::Text() const {
    return m_combo->currentText();
}

void FilterBar::SetText(const QString& text) {
    m_combo->setEditText(text);
}

void FilterBar::ShowResult(const QString& expression, const QString& message) {
    m_bFailed = !message.isEmpty();
    m_combo->lineEdit()->setStyleSheet(m_bFailed ? QString::fromLatin1(kFailedStyle) : QString());
    m_message->setText(message);
    m_message->setVisible(m_bFailed);
    if (m_bFailed) return;
    m_applied = expression;
    const QString trimmed = expression.trimmed();
    if (trimmed.isEmpty()) return;
    // The newest first, each once.
    const int old = m_combo->findText(trimmed);
    if (old >= 0) m_combo->removeItem(old);
    m_combo->insertItem(0, trimmed);
    m_combo->setEditText(expression);
}

bool FilterBar::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_combo || watched == m_combo->lineEdit()) &&
        event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit applyRequested(Text());
            return true;
        }
        if (key == Qt::Key_Escape) {
            if (!m_bFailed) m_combo->setEditText(m_applied);
            emit leaveRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
