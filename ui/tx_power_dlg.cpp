#include "ui/tx_power_dlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "common/string_table.h"
#include "reader/kvara.h"
#include "ui/message_box.h"

namespace kvara {

namespace {
constexpr int kEntries = 15;
}

CTXPowerDlg::CTXPowerDlg(int handle, QWidget* parent) : QDialog(parent), m_handle(handle) {
    setObjectName(QStringLiteral("txPowerDialog"));
    setWindowTitle(tr("Sendeleistung einstellen"));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(new QLabel(tr("Sendeleistung: "), this));
    m_list = new QComboBox(this);
    m_list->setObjectName(QStringLiteral("powerList"));
    for (int i = 0; i < kEntries; ++i) {
        m_list->addItem(QString::number(13 + i));
    }
    layout->addWidget(m_list);
    layout->addWidget(new QLabel(tr("dBm"), this));
    auto* read = new QPushButton(tr("Lesen"), this);
    read->setObjectName(QStringLiteral("powerReadButton"));
    read->setAutoDefault(false);
    m_write = new QPushButton(tr("Schreiben"), this);
    m_write->setObjectName(QStringLiteral("powerWriteButton"));
    m_write->setAutoDefault(false);
    auto* close = new QPushButton(tr("Schliessen"), this);
    close->setObjectName(QStringLiteral("powerCloseButton"));
    close->setDefault(true);
    layout->addWidget(read);
    layout->addWidget(m_write);
    layout->addWidget(close);
    connect(read, &QPushButton::clicked, this, &CTXPowerDlg::ReadPower);
    connect(m_write, &QPushButton::clicked, this, &CTXPowerDlg::WritePower);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    // Nothing to write until a level is selected: an empty list would mean 12 dBm otherwise.
    connect(m_list, &QComboBox::currentIndexChanged, this, [this](int index) { m_write->setEnabled(index >= 0); });

    m_list->setCurrentIndex(-1);
    m_write->setEnabled(false);
    unsigned short power = 0;
    if (KvaraGetTxPower(m_handle, &power) == 0) {
        m_list->setCurrentIndex(IndexOfPower(power));
    }
}

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
        ShowMessage(this, QString::fromStdString(LoadString(132)));
    }
}

}  // namespace kvara
