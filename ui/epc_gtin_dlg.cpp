// SPDX-License-Identifier: MIT
#include "ui/epc_gtin_dlg.h"

#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>

#include "protocol/gs1.h"
#include "protocol/hex_text.h"
#include "ui_epc_gtin_dlg.h"

namespace kvara {

namespace {

// The bit counts of the length choices: 0 lets the serial decide.
constexpr int kBitsOfChoice[] = {0, 96, 198};

}  // namespace

CEpcFromGtinDlg::CEpcFromGtinDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CEpcFromGtinDlg>()) {
    m_ui->setupUi(this);
    m_ui->gtinField->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,14}")), m_ui->gtinField));
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui->gtinField, &QLineEdit::textChanged, this, &CEpcFromGtinDlg::Update);
    connect(m_ui->serialField, &QLineEdit::textChanged, this, &CEpcFromGtinDlg::Update);
    connect(m_ui->prefixLengthSpin, &QSpinBox::valueChanged, this, &CEpcFromGtinDlg::Update);
    connect(m_ui->filterSpin, &QSpinBox::valueChanged, this, &CEpcFromGtinDlg::Update);
    connect(m_ui->bitsCombo, &QComboBox::currentIndexChanged, this, &CEpcFromGtinDlg::Update);
    Update();
}

CEpcFromGtinDlg::~CEpcFromGtinDlg() = default;

void CEpcFromGtinDlg::Update() {
    m_epc.clear();
    QPushButton* ok = m_ui->buttonBox->button(QDialogButtonBox::Ok);
    const std::string gtin = m_ui->gtinField->text().toStdString();
    if (gtin.empty()) {
        m_ui->resultLabel->setText(tr("Geben Sie die GTIN und die Seriennummer ein."));
        m_ui->resultLabel->setStyleSheet(QString());
        ok->setEnabled(false);
        return;
    }
    const int choice = std::clamp(m_ui->bitsCombo->currentIndex(), 0, 2);
    const auto sgtin =
        gs1::SgtinFromGtin(gtin, m_ui->prefixLengthSpin->value(), m_ui->filterSpin->value(),
                           m_ui->serialField->text().toStdString(), kBitsOfChoice[choice]);
    const auto encoded =
        sgtin ? gs1::Encode(*sgtin.value) : gs1::Result<ByteBuffer>::Fail(sgtin.error);
    if (!encoded) {
        m_ui->resultLabel->setText(tr("Kein EPC: %1").arg(QString::fromStdString(encoded.error)));
        m_ui->resultLabel->setStyleSheet(QStringLiteral("color: #c00000"));
        ok->setEnabled(false);
        return;
    }
    m_epc = *encoded.value;
    m_ui->resultLabel->setText(
        QStringLiteral("%1\n%2").arg(QString::fromStdString(sgtin.value->TagUri()),
                                     QString::fromStdString(FormatHexBytes(m_epc))));
    m_ui->resultLabel->setStyleSheet(QString());
    ok->setEnabled(true);
}

}  // namespace kvara
