#include "app/copy_packet.h"

#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

#include "xml/packet_document.h"

void ShowPacketText(QWidget* parent, const QString& text) {
    QDialog box(parent);
    box.setObjectName(QStringLiteral("packetTextBox"));
    box.setWindowTitle(QStringLiteral("mmmmok"));
    box.setModal(true);

    auto* view = new QPlainTextEdit(&box);
    view->setObjectName(QStringLiteral("packetText"));
    view->setReadOnly(true);
    // A packet is one line of markup without blanks to break at.
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setWordWrapMode(QTextOption::WrapAnywhere);
    view->setPlainText(text);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);

    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(view);
    layout->addWidget(buttons);

    QScreen* screen = parent != nullptr && parent->screen() != nullptr
                          ? parent->screen()
                          : QGuiApplication::primaryScreen();
    QSize size(640, 420);
    if (screen != nullptr) {
        const QSize available = screen->availableSize() * 8 / 10;
        size = size.boundedTo(available);
        box.setMaximumSize(available);
    }
    box.resize(size);
    box.exec();
}

void CopyPacketToClipboard(QWidget* parent, const CProtocolLayer* root) {
    const QString text = QString::fromStdString(ClipboardText(root));
    ShowPacketText(parent, text);
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text);
}
