// SPDX-License-Identifier: MIT
#include "ui/epc_gtin_dlg.h"

#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>

#include "protocol/gs1.h"
#include "protocol/hex_text.h"
#include "ui/gs1_texts.h"
#include "ui_epc_gtin_dlg.h"

namespace kvara {

namespace {

// The bit counts of the length choices: 0 lets the serial decide.
constexpr int kBitsOfChoice[] = {0, 96, 198};

struct LastValues {
    QString gtin;
    QString serial;
    int prefixLength = 0;  // 0: the form's own
    int filter = 0;
    int bitsChoice = 0;
};

LastValues& Last() {
    static LastValues values;
    return values;
}

}  // namespace

CEpcFromGtinDlg::CEpcFromGtinDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CEpcFromGtinDlg>()) {
    m_ui->setupUi(this);
    m_ui->gtinField->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,14}")), m_ui->gtinField));
    // The values of the last time the dialog was used in this session: a series of tags often
    // differs only in the serial.
    const LastValues& last = Last();
    m_ui->gtinField->setText(last.gtin);
    m_ui->serialField->setText(last.serial);
    if (last.prefixLength > 0) {
        m_ui->prefixLengthSpin->setValue(last.prefixLength);
    }
    m_ui->filterSpin->setValue(last.filter);
    m_ui->bitsCombo->setCurrentIndex(last.bitsChoice);
    connect(this, &QDialog::finished, this, [this] {
        Last() = LastValues{m_ui->gtinField->text(), m_ui->serialField->text(),
                            m_ui->prefixLengthSpin->value(), m_ui->filterSpin->value(),
                            m_ui->bitsCombo->currentIndex()};
    });
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
        sgtin ? gs1::Encode(*sgtin.value) : gs1::Result<ByteBuffer>::Fail(sgtin.reason);
    if (!encoded) {
        m_ui->resultLabel->setText(tr("Kein EPC: %1").arg(Gs1ReasonText(encoded.reason)));
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
