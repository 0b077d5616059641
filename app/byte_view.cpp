#include "app/byte_view.h"

#include <QFontDatabase>
#include <QTextBlock>
#include <QTreeWidget>

#include "app/detail_tree.h"

namespace {

// Lines of bytes the view asks room for: a short frame's headers whole.
constexpr int kShownLines = 8;

}  // namespace

CByteView::CByteView(QWidget* parent) : QPlainTextEdit(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    setWordWrapMode(QTextOption::NoWrap);
}

void CByteView::ShowFrame(const StoredPacket& packet) {
    if (packet.frame == nullptr) {
        Clear();
        return;
    }
    m_dump = ByteDump({packet.frame->Bytes(), packet.frame->capturedLength});
    setExtraSelections({});
    setPlainText(
        QString::fromLatin1(m_dump.Text().data(), static_cast<qsizetype>(m_dump.Text().size())));
}

void CByteView::Clear() {
    m_dump = ByteDump();
    setExtraSelections({});
    clear();
}

void CByteView::Highlight(uint32_t offset, uint32_t length) {
    QList<QTextEdit::ExtraSelection> selections;
    QTextCharFormat format;
    format.setBackground(palette().brush(QPalette::Active, QPalette::Highlight));
    format.setForeground(palette().brush(QPalette::Active, QPalette::HighlightedText));
    const std::vector<ByteDump::Range> ranges = m_dump.Ranges(offset, length);
    selections.reserve(static_cast<qsizetype>(ranges.size()));
    for (const ByteDump::Range& range : ranges) {
        QTextCursor cursor(document());
        cursor.setPosition(static_cast<int>(range.begin));
        cursor.setPosition(static_cast<int>(range.end), QTextCursor::KeepAnchor);
        selections.append({cursor, format});
    }
    setExtraSelections(selections);
    if (ranges.empty()) return;
    // The first highlighted line in sight, from its offset column.
    QTextCursor first(document());
    first.setPosition(static_cast<int>(ranges.front().begin));
    first.movePosition(QTextCursor::StartOfBlock);
    setTextCursor(first);
    ensureCursorVisible();
}

void CByteView::FollowTree(const QTreeWidget* tree) {
    connect(tree, &QTreeWidget::itemSelectionChanged, this, [this, tree] {
        const QList<QTreeWidgetItem*> selected = tree->selectedItems();
        const BytePlace place = selected.isEmpty() ? BytePlace{} : ItemPlace(selected.front());
        Highlight(place.offset, place.length);
    });
}

QSize CByteView::sizeHint() const {
    const QSize hint = QPlainTextEdit::sizeHint();
    const int lines = kShownLines * fontMetrics().lineSpacing();
    return {hint.width(),
            lines + 2 * frameWidth() + static_cast<int>(2 * document()->documentMargin())};
}
