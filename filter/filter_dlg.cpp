#include "filter/filter_dlg.h"

#include <QMessageBox>
#include <QShowEvent>
#include <QString>
#include <utility>

#include "resources/init_resources.h"
#include "ui_filter_dlg.h"

namespace {

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

std::string ToStdString(const QString& text) {
    return text.toStdString();
}

}  // namespace

CFilterDlg::CFilterDlg(QWidget* parent, NeighbourTableSource neighbours)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::FilterDlg>()),
      m_form(*this, std::move(neighbours)) {
    InitTapwatchResources();
    m_ui->setupUi(this);
    // A fixed modal frame with a caption and a close box only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    connect(m_ui->m_btnApply, &QPushButton::clicked, this, [this] { m_form.OnApplyFilter(); });
    connect(m_ui->m_btnClearAll, &QPushButton::clicked, this, [this] { m_form.OnClearAll(); });
    // clicked() comes after the click has toggled the box, as the handlers expect.
    connect(m_ui->m_btnTracking, &QPushButton::clicked, this, [this] { m_form.OnTracking(); });
    connect(m_ui->m_btnMonitoring, &QPushButton::clicked, this, [this] { m_form.OnMonitoring(); });
}

CFilterDlg::~CFilterDlg() = default;

void CFilterDlg::showEvent(QShowEvent* event) {
    // Spontaneous show events come from the window system (a restore), not
    // from an opening.
    if (!event->spontaneous()) OnInitDialog();
    QDialog::showEvent(event);
}

void CFilterDlg::OnInitDialog() {
    m_form.OnInitDialog();

    m_ui->m_btnTracking->SetIconResource(145);
    m_ui->m_btnTracking->SetTooltipText(
        "Engage the IP tracking mode\nOnly the traffic between the specified source and "
        "destination IPs will be tapped",
        true);
    m_ui->m_btnTracking->SetFlat(true, true);

    m_ui->m_btnClearAll->SetIconResource(134);
    m_ui->m_btnClearAll->SetTooltipText("Clear all fields on this form", true);
    m_ui->m_btnClearAll->SetFlat(false, true);

    m_ui->m_btnApply->SetIconResource(149);
    m_ui->m_btnApply->SetTooltipText("Validate the filter", true);
    m_ui->m_btnApply->SetFlat(false, true);

    m_ui->m_btnMonitoring->SetIconResource(145);
    m_ui->m_btnMonitoring->SetTooltipText(
        "Engage the IP monitoring mode\nOnly the traffic going through the specified IP will be "
        "tapped",
        true);
    m_ui->m_btnMonitoring->SetFlat(true, true);

    // A new window gives the focus to its first tab stop; this one is only
    // hidden between openings and would otherwise keep the last focus.
    m_ui->m_btnApply->setFocus(Qt::OtherFocusReason);
}

void CFilterDlg::SaveFields(FilterFields& fields) {
    fields.m_strDestIP = ToStdString(m_ui->m_editDestIP->text());
    fields.m_strDestMac = ToStdString(m_ui->m_editDestMac->text());
    fields.m_strDestPort = ToStdString(m_ui->m_editDestPort->text());
    fields.m_bTracking = m_ui->m_btnTracking->GetCheck();
    fields.m_bMonitoring = m_ui->m_btnMonitoring->GetCheck();
    fields.m_strDataContains = ToStdString(m_ui->m_editDataContains->text());
    fields.m_strSourceIP = ToStdString(m_ui->m_editSourceIP->text());
    fields.m_strSourceMac = ToStdString(m_ui->m_editSourceMac->text());
    fields.m_strSourcePort = ToStdString(m_ui->m_editSourcePort->text());
    fields.m_strGatewayIP = ToStdString(m_ui->m_editGatewayIP->text());
    fields.m_nProtocol = m_ui->m_comboProtocol->currentIndex();
}

void CFilterDlg::LoadFields(const FilterFields& fields) {
    m_ui->m_editDestIP->setText(ToQString(fields.m_strDestIP));
    m_ui->m_editDestMac->setText(ToQString(fields.m_strDestMac));
    m_ui->m_editDestPort->setText(ToQString(fields.m_strDestPort));
    m_ui->m_btnTracking->SetCheck(fields.m_bTracking);
    m_ui->m_btnMonitoring->SetCheck(fields.m_bMonitoring);
    m_ui->m_editDataContains->setText(ToQString(fields.m_strDataContains));
    m_ui->m_editSourceIP->setText(ToQString(fields.m_strSourceIP));
    m_ui->m_editSourceMac->setText(ToQString(fields.m_strSourceMac));
    m_ui->m_editSourcePort->setText(ToQString(fields.m_strSourcePort));
    m_ui->m_editGatewayIP->setText(ToQString(fields.m_strGatewayIP));
    const int index = fields.m_nProtocol;
    m_ui->m_comboProtocol->setCurrentIndex(
        index >= 0 && index < m_ui->m_comboProtocol->count() ? index : -1);
}

void CFilterDlg::SetDestIPEnabled(bool enabled) {
    m_ui->m_editDestIP->setEnabled(enabled);
}

void CFilterDlg::ShowMessage(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), QMessageBox::Ok,
                    this);
    box.exec();
}

void CFilterDlg::EndDialog() {
    accept();
}
