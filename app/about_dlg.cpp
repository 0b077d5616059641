#include "app/about_dlg.h"

#include <QIcon>

#include "ui_about_dlg.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::AboutDlg>()) {
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->m_picture->setPixmap(QIcon(QStringLiteral(":/bitmaps/129.svg")).pixmap(m_ui->m_picture->size()));
    m_ui->m_btnOk->SetFlat(false, true);
    connect(m_ui->m_btnOk, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;
