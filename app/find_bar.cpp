#include "app/find_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

FindBar::FindBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("m_findBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* label = new QLabel(QStringLiteral("Find:"), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("m_findText"));
    m_edit->setPlaceholderText(QStringLiteral("text, or bytes such as de ad be ef"));
    m_edit->installEventFilter(this);
    label->setBuddy(m_edit);
    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("m_findMode"));
    m_mode->addItems({QStringLiteral("Text"), QStringLiteral("Hex bytes")});
    m_case = new QCheckBox(QStringLiteral("Match case"), this);
    m_case->setObjectName(QStringLiteral("m_findCase"));
    auto* previous = new QPushButton(QStringLiteral("Previous"), this);
    auto* next = new QPushButton(QStringLiteral("Next"), this);
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("\u00d7"));
    close->setAutoRaise(true);
    close->setToolTip(QStringLiteral("Close the find bar (Escape)"));
    for (QPushButton* button : {previous, next}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }
    previous->setToolTip(QStringLiteral("Previous match (Shift+F3)"));
    next->setToolTip(QStringLiteral("Next match (F3)"));
    row->addWidget(label);
    row->addWidget(m_edit, 1);
    row->addWidget(m_mode);
    row->addWidget(m_case);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(close);
    connect(m_mode, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_case->setEnabled(index == 0); });
    connect(previous, &QPushButton::clicked, this, [this] { emit findRequested(false); });
    connect(next, &QPushButton::clicked, this, [this] { emit findRequested(true); });
    connect(close, &QToolButton::clicked, this, &FindBar::closeRequested);
    hide();
}

std::optional<FindPattern> FindBar::Pattern(QString& problem) const {
    const QString text = m_edit->text();
    if (text.isEmpty()) return std::nullopt;
    FindPattern pattern;
    if (m_mode->currentIndex() == 1) {
        const std::optional<std::string> bytes = ParseHexBytes(text.toStdString());
        if (!bytes) {
            problem = QStringLiteral("\u201c%1\u201d is not hexadecimal bytes").arg(text);
            return std::nullopt;
        }
        pattern.bytes = *bytes;
        return pattern;
    }
    pattern.bytes = text.toStdString();
    pattern.caseSensitive = m_case->isChecked();
    return pattern;
}

QString FindBar::Shown() const {
    return m_edit->text();
}

void FindBar::Open() {
    show();
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            emit findRequested(!(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            emit closeRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
