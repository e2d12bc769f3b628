// SPDX-License-Identifier: MIT
#include "ui/tx_power_dlg.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "common/string_table.h"
#include "reader/kvara.h"
#include "ui/message_box.h"
#include "ui_tx_power_dlg.h"

namespace kvara {

namespace {
constexpr int kEntries = 15;
}

CTXPowerDlg::CTXPowerDlg(int handle, QWidget* parent)
    : QDialog(parent), m_handle(handle), m_ui(std::make_unique<Ui::CTXPowerDlg>()) {
    m_ui->setupUi(this);
    m_list = m_ui->powerList;
    m_write = m_ui->powerWriteButton;
    for (int i = 0; i < kEntries; ++i) {
        m_list->addItem(QString::number(PowerOfIndex(i) / 10));
    }
    connect(m_ui->powerReadButton, &QPushButton::clicked, this, &CTXPowerDlg::ReadPower);
    connect(m_write, &QPushButton::clicked, this, &CTXPowerDlg::WritePower);
    connect(m_ui->powerCloseButton, &QPushButton::clicked, this, &QDialog::accept);
    // Nothing to write until a level is selected: an empty list would mean 12 dBm otherwise.
    connect(m_list, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_write->setEnabled(index >= 0); });

    connect(m_list, &QComboBox::currentIndexChanged, m_ui->powerStatus, &QLabel::clear);
    m_list->setCurrentIndex(-1);
    m_write->setEnabled(false);
    ReadPower();
}

CTXPowerDlg::~CTXPowerDlg() = default;

int CTXPowerDlg::IndexOfPower(int tenths) {
    const int index = tenths / 10 - 13;
    return index >= 0 && index < kEntries ? index : -1;
}

void CTXPowerDlg::ReadPower() {
    unsigned short power = 0;
    if (KvaraGetTxPower(m_handle, &power) == 0) {
        m_list->setCurrentIndex(IndexOfPower(power));
    }
}

void CTXPowerDlg::WritePower() {
    const int index = m_list->currentIndex();
    if (index < 0) {
        return;
    }
    if (KvaraSetTxPower(m_handle, PowerOfIndex(index), 1) != 0) {
        m_ui->powerStatus->clear();
        ShowMessage(this, QString::fromStdString(LoadString(132)));
        return;
    }
    // What the reader holds now, read back: the confirmation the user sees.
    unsigned short power = 0;
    if (KvaraGetTxPower(m_handle, &power) == 0 && power == PowerOfIndex(index)) {
        m_ui->powerStatus->setText(tr("Gespeichert: %1 dBm").arg(power / 10));
    } else {
        m_ui->powerStatus->setText(
            tr("Gespeichert, aber nicht bestätigt: der Leser meldet "
               "eine andere Sendeleistung"));
    }
}

}  // namespace kvara
